#!/usr/bin/env python3
"""Keeps the "#:" lines of the translation catalogues true: each entry names the source files
under src/ that translate its English text (a string literal of C++ handed to _() or, as the
singular of a text with a count, to _n(), adjacent literals joined, or a <string> of a Qt Designer form; a text translated through a constant is
named by every file that holds it).

  po-references.py --check [REPO]   exit 1 and name each entry whose files differ or are gone
  po-references.py --write [REPO]   rewrite the "#:" lines in place
"""
import html
import re
import sys
from pathlib import Path

BETWEEN = re.compile(r'^\s*$')
UI_STRING = re.compile(r'<string(?:\s[^>/]*)?>(.*?)</string>', re.S)
ESCAPES = {'n': '\n', 't': '\t', 'r': '\r', '"': '"', '\\': '\\', "'": "'", '0': '\0', 'a': '\a', 'b': '\b',
           'f': '\f', 'v': '\v', '?': '?'}


def unescape(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == '\\' and i + 1 < len(text):
            n = text[i + 1]
            if n == 'x':
                m = re.match(r'[0-9a-fA-F]+', text[i + 2:])
                if m:
                    out.append(chr(int(m.group(0), 16)))
                    i += 2 + len(m.group(0))
                    continue
            out.append(ESCAPES.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return ''.join(out)


def literals(source):
    """(start, end, text) of each string literal of C++ source, comments and characters skipped."""
    i, n = 0, len(source)
    while i < n:
        c = source[i]
        if source.startswith('//', i):
            i = source.find('\n', i)
            i = n if i < 0 else i
        elif source.startswith('/*', i):
            i = source.find('*/', i + 2)
            i = n if i < 0 else i + 2
        elif c in '"\'':
            j = i + 1
            while j < n and source[j] != c and source[j] != '\n':
                j += 2 if source[j] == '\\' else 1
            if c == '"':
                yield i, j + 1, unescape(source[i + 1:j])
            i = j + 1
        else:
            i += 1


def cpp_texts(source):
    """The string literals of a C++ file, adjacent ones joined as the compiler joins them: those
    handed to _() straight, and all of them."""
    marked, texts, last_end, current, current_marked = set(), set(), None, None, False
    for start, end, piece in literals(source):
        if current is not None and BETWEEN.match(source[last_end:start]):
            current += piece
        else:
            if current is not None:
                (marked if current_marked else texts).add(current)
            current = piece
            current_marked = re.search(r'\b_n?\(\s*$', source[max(0, start - 40):start]) is not None
        last_end = end
    if current is not None:
        (marked if current_marked else texts).add(current)
    return marked, texts | marked


def ui_texts(source):
    return {html.unescape(m.group(1)) for m in UI_STRING.finditer(source)}


def source_texts(repo):
    """Each source file under src/ with the texts it translates and all the texts it holds."""
    files = {}
    for path in sorted((repo / 'src').rglob('*')):
        if path.suffix in ('.cpp', '.h'):
            files[path.relative_to(repo).as_posix()] = cpp_texts(path.read_text(encoding='utf-8'))
        elif path.suffix == '.ui':
            texts = ui_texts(path.read_text(encoding='utf-8'))
            files[path.relative_to(repo).as_posix()] = (texts, texts)
    return files


def po_string(lines, i, keyword):
    """The text of `keyword "..."` starting at line i, with its continuation lines; and the next line."""
    assert lines[i].startswith(keyword + ' ')
    parts = [lines[i][len(keyword) + 1:]]
    i += 1
    while i < len(lines) and lines[i].startswith('"'):
        parts.append(lines[i])
        i += 1
    return ''.join(unescape(p.strip()[1:-1]) for p in parts), i


def main():
    if len(sys.argv) < 2 or sys.argv[1] not in ('--check', '--write'):
        print(__doc__, file=sys.stderr)
        return 2
    repo = Path(sys.argv[2] if len(sys.argv) > 2 else Path(__file__).resolve().parent.parent)
    files = source_texts(repo)
    bad = 0
    for po in sorted((repo / 'locale').glob('*/default.po')):
        lines = po.read_text(encoding='utf-8').split('\n')
        out, i, refs = [], 0, None
        while i < len(lines):
            line = lines[i]
            if line.startswith('#:'):
                refs = (len(out), line)
                out.append(line)
                i += 1
                continue
            if line.startswith('msgid '):
                msgid, j = po_string(lines, i, 'msgid')
                if msgid:
                    # The files that translate the text where they write it; else (a text kept in a
                    # constant and translated elsewhere) every file that holds it.
                    found = [f for f, (marked, _) in files.items() if msgid in marked]
                    found = found or [f for f, (_, texts) in files.items() if msgid in texts]
                    want = '#: ' + ' '.join(found) if found else None
                    have = refs[1] if refs else None
                    if not found:
                        print(f'{po.relative_to(repo)}: no source file under src/ holds {msgid!r}', file=sys.stderr)
                        bad += 1
                    elif want != have:
                        if sys.argv[1] == '--check':
                            print(f'{po.relative_to(repo)}: {msgid!r}: {have or "no #: line"}, but {want}',
                                  file=sys.stderr)
                            bad += 1
                        elif refs:
                            out[refs[0]] = want
                        else:
                            out.append(want)
                out.extend(lines[i:j])
                i, refs = j, None
                continue
            if not line.strip():
                refs = None
            out.append(line)
            i += 1
        if sys.argv[1] == '--write':
            po.write_text('\n'.join(out), encoding='utf-8')
    if bad:
        print(f'po-references: {bad} entr{"y" if bad == 1 else "ies"} to mend', file=sys.stderr)
        return 1
    print('po-references: every entry names the source files that hold its text')
    return 0


if __name__ == '__main__':
    sys.exit(main())
