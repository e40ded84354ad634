// INI text file: reading values, changing keys in place, and replacing the file atomically.
#include "core/app/inifile.h"

#include "core/app/atomicfile.h"

#include "core/log/format.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr const char* kBom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return std::string(s.substr(b, e - b));
}

// Names match without regard to the case of ASCII letters.
char FoldedChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

bool SameText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldedChar(a[i]) != FoldedChar(b[i]))
            return false;
    return true;
}

std::string Folded(std::string s)
{
    for (char& c : s)
        c = FoldedChar(c);
    return s;
}

// A section header is a line whose first non-blank character is "["; the name runs to the "]".
bool SectionOf(std::string_view line, std::string& name)
{
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i >= line.size() || line[i] != '[')
        return false;
    const std::size_t close = line.find(']', i + 1);
    name = Trim(line.substr(i + 1, close == std::string_view::npos ? std::string_view::npos : close - i - 1));
    return true;
}

// A key line holds "=" and is neither a header nor a comment (first non-blank character ";").
bool KeyOf(std::string_view line, std::string& key, std::size_t& eq)
{
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i >= line.size() || line[i] == ';' || line[i] == '[')
        return false;
    eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = Trim(line.substr(0, eq));
    return true;
}

std::string SysError(const char* what, const std::string& path)
{
    return Format("%s %s: %s", what, path.c_str(), std::strerror(errno));
}
} // namespace

void TIniFile::Parse(std::string text)
{
    Content = std::move(text);
    const std::string& data = Content;
    Lines.clear();
    Eol = "\n";
    bool eolFound = false;
    const std::size_t size = data.size();
    // Index of the first c in [from, to), or to (memchr: a settings file may be megabytes).
    const auto find = [&data](char c, std::size_t from, std::size_t to) {
        const void* at = std::memchr(data.data() + from, c, to - from);
        return at ? static_cast<std::size_t>(static_cast<const char*>(at) - data.data()) : to;
    };
    std::size_t pos = 0;
    std::size_t nextLf = find('\n', 0, size);  // the first LF at or after pos, or size
    while (pos < size) {
        if (nextLf < pos)
            nextLf = find('\n', pos, size);
        const std::size_t brk = find('\r', pos, nextLf);
        TLine line;
        line.Offset = pos;
        line.Length = brk - pos;
        if (brk == size) {
            pos = size;
        } else {
            // An LF ends the line together with the CRs before it (CR LF, CR CR LF as some
            // editors and transfers leave it); a CR that no LF follows ends a line by itself.
            std::size_t end = brk;
            while (end < size && data[end] == '\r')
                ++end;
            end = end < size && data[end] == '\n' ? end + 1 : brk + 1;
            line.End = data.substr(brk, end - brk);
            pos = end;
            if (!eolFound) {
                // Added lines take the file's own kind of line end.
                Eol = line.End == "\n" || line.End == "\r" ? line.End : "\r\n";
                eolFound = true;
            }
        }
        Lines.push_back(std::move(line));
    }
}

TIniFile::TLine TIniFile::NewLine(std::string text, std::string end)
{
    TLine line;
    line.Changed = true;
    line.Own = std::move(text);
    line.End = std::move(end);
    return line;
}

std::string_view TIniFile::TextOf(std::size_t i) const
{
    const TLine& line = Lines[i];
    return line.Changed ? std::string_view(line.Own) : std::string_view(Content).substr(line.Offset, line.Length);
}

std::string TIniFile::Text() const
{
    std::size_t size = 0;
    for (std::size_t i = 0; i < Lines.size(); ++i)
        size += TextOf(i).size() + Lines[i].End.size();
    std::string text;
    text.reserve(size);
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        text += TextOf(i);
        text += Lines[i].End;
    }
    return text;
}

long TIniFile::FindSection(const std::string& section) const
{
    std::string name;
    for (std::size_t i = 0; i < Lines.size(); ++i)
        if (SectionOf(LineForHeader(i), name) && SameText(name, section))
            return static_cast<long>(i);
    return -1;
}

std::string_view TIniFile::LineForHeader(std::size_t i) const
{
    // A byte order mark before the first header is not part of its name.
    const std::string_view text = TextOf(i);
    return i == 0 && text.starts_with(kBom) ? text.substr(3) : text;
}

long TIniFile::FindKey(long header, const std::string& key) const
{
    std::string name;
    std::size_t eq = 0;
    for (std::size_t i = static_cast<std::size_t>(header) + 1; i < Lines.size(); ++i) {
        if (SectionOf(TextOf(i), name))
            break;
        if (KeyOf(TextOf(i), name, eq) && SameText(name, key))
            return static_cast<long>(i);
    }
    return -1;
}

long TIniFile::FindEntry(const std::string& section, const std::string& key) const
{
    const long header = section.empty() || key.empty() ? -1 : FindSection(section);
    return header < 0 ? -1 : FindKey(header, key);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const
{
    const long at = FindEntry(section, key);
    if (at < 0)
        return def;
    const std::string_view text = TextOf(static_cast<std::size_t>(at));
    return std::string(text.substr(text.find('=') + 1));
}

bool TIniFile::HasKey(const std::string& section, const std::string& key) const
{
    return FindEntry(section, key) >= 0;
}

std::vector<std::string> TIniFile::Sections() const
{
    std::vector<std::string> names;
    std::set<std::string> seen;
    std::string name;
    for (std::size_t i = 0; i < Lines.size(); ++i)
        if (SectionOf(LineForHeader(i), name) && !name.empty() && seen.insert(Folded(name)).second)
            names.push_back(name);
    return names;
}

std::vector<std::string> TIniFile::Keys(const std::string& section) const
{
    std::vector<std::string> names;
    const long header = section.empty() ? -1 : FindSection(section);
    if (header < 0)
        return names;
    std::set<std::string> seen;
    std::string name;
    std::size_t eq = 0;
    for (std::size_t i = static_cast<std::size_t>(header) + 1; i < Lines.size() && !SectionOf(TextOf(i), name); ++i)
        if (KeyOf(TextOf(i), name, eq) && !name.empty() && seen.insert(Folded(name)).second)
            names.push_back(name);
    return names;
}

bool TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    const auto breaksLine = [](const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; };
    if (Trim(section).empty() || Trim(key).empty() || breaksLine(section) || breaksLine(key) || breaksLine(value)
        || section.find(']') != std::string::npos || key.find('=') != std::string::npos
        || Trim(key)[0] == ';' || Trim(key)[0] == '[')
        return false;

    const long header = FindSection(section);
    if (header >= 0) {
        const long at = FindKey(header, key);
        if (at >= 0) {
            TLine& line = Lines[static_cast<std::size_t>(at)];
            const std::string_view text = TextOf(static_cast<std::size_t>(at));
            std::string changed(text.substr(0, text.find('=') + 1));
            changed += value;
            line.Own = std::move(changed);
            line.Changed = true;
            return true;
        }
        // After the section's last key line, so that comments and blank lines that lead into
        // the next section stay in front of it.
        std::size_t insert = static_cast<std::size_t>(header) + 1;
        std::string name;
        std::size_t eq = 0;
        for (std::size_t i = insert; i < Lines.size() && !SectionOf(TextOf(i), name); ++i)
            if (KeyOf(TextOf(i), name, eq))
                insert = i + 1;
        if (insert == Lines.size() && Lines.back().End.empty())
            Lines.back().End = Eol;
        Lines.insert(Lines.begin() + static_cast<long>(insert), NewLine(key + "=" + value, Eol));
        return true;
    }
    if (!Lines.empty() && Lines.back().End.empty())
        Lines.back().End = Eol;
    Lines.push_back(NewLine("[" + section + "]", Eol));
    Lines.push_back(NewLine(key + "=" + value, Eol));
    return true;
}

bool TIniFile::Load(const std::string& path, std::string* error, TLoadError* why)
{
    Parse({});
    const auto fail = [&](TLoadError kind, const std::string& reason) {
        if (error)
            *error = reason;
        if (why)
            *why = kind;
        return false;
    };
    if (why)
        *why = TLoadError::None;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return true;
        return fail(TLoadError::Unreadable, SysError("Cannot open", path));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(TLoadError::Unreadable, Format("Not a regular file: %s", path.c_str()));
    }
    const std::string tooLarge = Format("File too large: %s", path.c_str());
    if (static_cast<std::size_t>(st.st_size) > kMaxFileSize) {
        ::close(fd);
        return fail(TLoadError::TooLarge, tooLarge);
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const std::string reason = SysError("Cannot read", path);
            ::close(fd);
            return fail(TLoadError::Unreadable, reason);
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
        if (text.size() > kMaxFileSize) {  // it grew while being read
            ::close(fd);
            return fail(TLoadError::TooLarge, tooLarge);
        }
    }
    ::close(fd);
    Parse(std::move(text));
    return true;
}

bool TIniFile::WriteTo(int fd) const
{
    // Short lines are gathered into larger writes; a long value goes out as it is, without a
    // copy of the whole text (a settings file may be megabytes).
    constexpr std::size_t kChunk = 64 * 1024;
    std::string buffer;
    buffer.reserve(kChunk);
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        const std::string_view text = TextOf(i);
        if (buffer.size() + text.size() > kChunk) {
            if (!WriteAll(fd, buffer))
                return false;
            buffer.clear();
        }
        if (text.size() > kChunk) {
            if (!WriteAll(fd, text))
                return false;
        } else {
            buffer += text;
        }
        buffer += Lines[i].End;
    }
    return WriteAll(fd, buffer);
}

bool TIniFile::Save(const std::string& path, std::string* error) const
{
    // A file its owner made read-only stays as it is, also for root, who could write it anyway.
    TAtomicFile file;
    int reason = 0;
    if (file.BeginUnnamed(path, reason, TExistingFile::ReplaceWritable) && WriteTo(file.Fd()) && file.Commit(reason))
        return true;
    if (reason == 0)
        reason = errno;  // the write
    if (error)
        *error = Format("Cannot write %s: %s", path.c_str(), FileErrorText(reason).c_str());
    return false;
}

namespace {
// Earlier versions saved through ".<name>.XXXXXX" beside the file, X from [A-Za-z0-9]; what
// their killed saves left goes too.
bool IsEarlierTemporary(const std::string& name, const std::string& base)
{
    const std::string prefix = "." + base + ".";
    constexpr std::size_t kSuffixLength = 6;
    return name.size() == prefix.size() + kSuffixLength && name.compare(0, prefix.size(), prefix) == 0
        && name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", prefix.size())
               == std::string::npos;
}
} // namespace

void TIniFile::RemoveStaleTemporaries(const std::string& path)
{
    std::string target;
    int error = 0;
    if (!ResolveLinks(path, target, error))
        return;
    const std::string base = target.substr(target.rfind('/') + 1);
    RemoveLeftoverTemporaries(FolderOf(target), [&base](const std::string& name) {
        return IsTemporaryName(name) || IsEarlierTemporary(name, base);
    });
}

std::string ReadIniString(const std::string& path, const std::string& section, const std::string& key,
                          const std::string& def)
{
    TIniFile ini;
    ini.Load(path);  // an unreadable file reads as empty: every value gives its default
    return ini.ReadString(section, key, def);
}

bool WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value, std::string* error)
{
    TIniFile ini;
    // A file that exists but cannot be read is left alone rather than replaced by one key.
    if (!ini.Load(path, error))
        return false;
    if (!ini.WriteString(section, key, value)) {
        if (error)
            *error = Format("Cannot store key %s in section %s", key.c_str(), section.c_str());
        return false;
    }
    return ini.Save(path, error);
}
