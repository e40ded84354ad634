// Reading a configuration file into a tree, bounded in size and depth, refusing declared
// entities before anything could be expanded, and keeping where each value stands in the text.
#include "core/config/configdoc.h"

#include "core/app/i18n.h"
#include "core/config/configcodec.h"
#include "core/log/format.h"

#include <QFile>
#include <QXmlStreamReader>

#include <algorithm>
#include <iterator>
#include <thread>

namespace {

// Appends the UTF-8 of a name or value. Most are ASCII, which is narrowed in one pass without a
// detour through QString and QByteArray.
void AppendUtf8(QStringView text, std::string& out)
{
    if (text.isEmpty())  // most namespaces
        return;
    const size_t at = out.size();
    const size_t n = static_cast<size_t>(text.size());
    out.resize(at + n);
    const char16_t* in = text.utf16();
    char* to = out.data() + at;
    char16_t any = 0;
    for (size_t i = 0; i < n; ++i) {
        any |= in[i];
        to[i] = static_cast<char>(in[i]);
    }
    if (any >= 0x80) {
        out.resize(at);
        const QByteArray utf8 = text.toUtf8();
        out.append(utf8.constData(), static_cast<size_t>(utf8.size()));
    }
}

struct TRawAttribute {
    QStringView QualifiedName;
    qsizetype Start = 0;
    qsizetype Length = 0;
};

// The attributes of a start tag as written, the reader having found the tag well-formed:
// <name a="1" b = '2'>. Attribute values hold no '<' and each ends at its own quote.
// `found` is cleared first (one vector serves every tag of a document).
void ScanStartTag(QStringView text, qsizetype tagStart, qsizetype tagEnd, std::vector<TRawAttribute>& found)
{
    found.clear();
    qsizetype i = tagStart + 1;
    const auto nameEnd = [&](qsizetype from) {
        while (from < tagEnd && !IsXmlSpace(text[from]) && text[from] != u'=' && text[from] != u'/' && text[from] != u'>')
            ++from;
        return from;
    };
    i = nameEnd(i);
    while (i < tagEnd) {
        while (i < tagEnd && IsXmlSpace(text[i]))
            ++i;
        if (i >= tagEnd || text[i] == u'/' || text[i] == u'>')
            break;
        const qsizetype nameStart = i;
        i = nameEnd(i);
        const QStringView name = text.mid(nameStart, i - nameStart);
        while (i < tagEnd && (IsXmlSpace(text[i]) || text[i] == u'='))
            ++i;
        if (i >= tagEnd)
            break;
        const QChar quote = text[i];
        const qsizetype close = text.indexOf(quote, i + 1);
        if (close < 0 || close >= tagEnd)
            break;
        found.push_back({name, i + 1, close - i - 1});
        i = close + 1;
    }
}

// The name of the first entity a DTD declares, when it declares any.
QString DeclaredEntity(const QXmlStreamReader& reader)
{
    const QXmlStreamEntityDeclarations entities = reader.entityDeclarations();
    if (!entities.isEmpty())
        return entities.first().name().toString();
    // Also those the reader keeps no record of (parameter entities): the declaration as written.
    const QStringView dtd = reader.text();
    const qsizetype at = dtd.indexOf(u"<!ENTITY");
    if (at < 0)
        return {};
    qsizetype i = at + 8;
    while (i < dtd.size() && (IsXmlSpace(dtd[i]) || dtd[i] == u'%'))
        ++i;
    const qsizetype start = i;
    while (i < dtd.size() && !IsXmlSpace(dtd[i]) && dtd[i] != u'>' && dtd[i] != u'"' && dtd[i] != u'\'')
        ++i;
    return i > start ? dtd.mid(start, i - start).toString() : QStringLiteral("?");
}

// An element being read: its text so far and the stretches of the text that hold it.
struct TOpenElement {
    TConfigElement* Element = nullptr;
    std::string Text;  // UTF-8
    qsizetype ContentStart = -1;  // after its start tag; -1 for <x/>
    qsizetype RunStart = -1, RunEnd = -1;  // the stretch of text read last, as written
    bool RunCounted = false;
    int ContentRuns = 0;  // stretches that hold more than white space
    qsizetype SpanStart = -1, SpanEnd = -1;
};

std::string TooLarge()
{
    return Format(_("The file is larger than %d MiB."), static_cast<int>(kMostConfigBytes / (1024 * 1024)));
}

void Fail(TConfigDocument& doc, std::string error, int line = 0, int column = 0)
{
    doc.Ok = false;
    doc.Error = std::move(error);
    doc.Line = line;
    doc.Column = column;
    doc.Root = {};
}

void CloseElement(TOpenElement& open, const QString& decoded)
{
    TConfigElement& e = *open.Element;
    open.Text.resize(TrimXmlSpace(std::string_view(open.Text)).size());  // what begins it is trimmed already
    e.Text = std::move(open.Text);
    if (open.ContentRuns == 1) {
        const QStringView raw = QStringView(decoded).mid(open.SpanStart, open.SpanEnd - open.SpanStart);
        const QStringView trimmed = TrimXmlSpace(raw);
        e.TextSpan = {open.SpanStart + (trimmed.data() - raw.data()), trimmed.size()};
    } else if (open.ContentRuns == 0 && open.ContentStart >= 0) {
        e.TextSpan = {open.ContentStart, 0};
    }
}

// The line and column (from 1) just after `before`, counting line ends as XML does (CR LF, CR
// and LF are one each).
std::pair<int, int> LineAndColumn(QStringView before)
{
    int line = 1;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < before.size(); ++i) {
        if (before[i] == u'\n' || (before[i] == u'\r' && (i + 1 == before.size() || before[i + 1] != u'\n'))) {
            ++line;
            lineStart = i + 1;
        }
    }
    return {line, static_cast<int>(before.size() - lineStart) + 1};
}

}  // namespace

TConfigDocument ReadConfig(const QByteArray& bytes)
{
    TConfigDocument doc;
    if (bytes.size() > kMostConfigBytes) {
        Fail(doc, TooLarge());
        return doc;
    }
    TConfigCodec codec;
    std::string error;
    if (!DetectConfigCodec(bytes, codec, error)) {
        Fail(doc, error);
        return doc;
    }
    doc.Encoding = codec.Name;
    if (!DecodeConfigText(codec, bytes, doc.Decoded)) {
        Fail(doc, Format(_("The file is not valid %s text."), codec.Name.c_str()));
        return doc;
    }

    // The text is decoded already: the reader takes it as it is, whatever its declaration names.
    // Byte order marks left at the start of the text (a second one, a third) the reader would
    // pass over unseen, shifting its positions: it is given the text after them.
    const QString& text = doc.Decoded;
    qsizetype base = 0;
    while (base < text.size() && text[base] == QChar(0xFEFF))
        ++base;
    // XML has no character U+0000, yet the stream reader passes over one after a ']' unseen: the
    // tree would lack it while its place held it, and a file with it would compare equal to one
    // without. Refused as the reader refuses the other characters XML does not have.
    if (const qsizetype nul = text.indexOf(QChar(0), base); nul >= 0) {
        const auto [line, column] = LineAndColumn(QStringView(text).sliced(base, nul - base));
        Fail(doc,
             Format(_("Not well-formed XML at line %d, column %d: %s"), line, column,
                    _("the character U+0000, which XML does not allow")),
             line, column);
        return doc;
    }
    QXmlStreamReader reader(base ? text.sliced(base) : text);
    std::vector<TOpenElement> open;
    open.reserve(64);
    std::vector<TRawAttribute> raw;
    // The children read so far of each open element (by depth): one list per depth serves every
    // element there, so an element's own list is allocated once, to its size.
    std::vector<std::vector<TConfigElement>> children;
    bool rootSeen = false;
    qsizetype previous = base;  // where the token before ended (a text token also takes the '<' after it)
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        const qsizetype offset = base + reader.characterOffset();
        switch (token) {
        case QXmlStreamReader::DTD: {
            // Refused here, before the first element, so no entity is ever expanded.
            const QString entity = DeclaredEntity(reader);
            if (!entity.isEmpty()) {
                Fail(doc, Format(_("The file declares the entity \"%s\"; a configuration that declares entities is "
                                   "not read."),
                                 entity.toStdString().c_str()));
                return doc;
            }
            break;
        }
        case QXmlStreamReader::EntityReference:
            Fail(doc,
                 Format(_("The file uses the entity \"%s\", which it does not declare (line %d, column %d)."),
                        reader.name().toString().toStdString().c_str(), static_cast<int>(reader.lineNumber()),
                        static_cast<int>(reader.columnNumber())),
                 static_cast<int>(reader.lineNumber()), static_cast<int>(reader.columnNumber()));
            return doc;
        case QXmlStreamReader::StartElement: {
            if (static_cast<int>(open.size()) >= kMostConfigDepth) {
                Fail(doc, Format(_n("Elements are nested more than %d level deep.",
                                    "Elements are nested more than %d levels deep.", kMostConfigDepth),
                                 kMostConfigDepth));
                return doc;
            }
            TConfigElement* element = nullptr;
            if (open.empty()) {
                element = &doc.Root;
                rootSeen = true;
            } else {
                element = &children[open.size() - 1].emplace_back();
            }
            if (children.size() <= open.size())
                children.emplace_back();
            AppendUtf8(reader.namespaceUri(), element->NamespaceURI);
            AppendUtf8(reader.name(), element->Name);
            const bool empty = offset >= 2 && text[offset - 2] == u'/';
            const QXmlStreamAttributes& attributes = reader.attributes();
            if (!attributes.isEmpty()) {
                ScanStartTag(text, text.lastIndexOf(u'<', offset - 1), offset, raw);
                element->Attributes.resize(static_cast<size_t>(attributes.size()));
                for (qsizetype i = 0; i < attributes.size(); ++i) {
                    const QXmlStreamAttribute& a = attributes[i];
                    TConfigAttribute& attribute = element->Attributes[static_cast<size_t>(i)];
                    AppendUtf8(a.namespaceUri(), attribute.NamespaceURI);
                    AppendUtf8(a.name(), attribute.Name);
                    AppendUtf8(a.value(), attribute.Value);
                    // As written, as a rule in the same order; one the DTD adds has no place.
                    const QStringView qualified = a.qualifiedName();
                    const size_t at = static_cast<size_t>(i);
                    if (at < raw.size() && raw[at].QualifiedName == qualified) {
                        attribute.Span = {raw[at].Start, raw[at].Length};
                        continue;
                    }
                    for (const TRawAttribute& r : raw)
                        if (r.QualifiedName == qualified)
                            attribute.Span = {r.Start, r.Length};
                }
            }
            TOpenElement o;
            o.Element = element;
            o.ContentStart = empty ? -1 : offset;
            open.push_back(std::move(o));
            break;
        }
        case QXmlStreamReader::EndElement:
            if (!open.empty()) {
                // Its children, gathered where they were read, kept in a list of their number.
                std::vector<TConfigElement>& gathered = children[open.size() - 1];
                if (!gathered.empty()) {
                    std::vector<TConfigElement>& kept = open.back().Element->Children;
                    kept.reserve(gathered.size());
                    std::move(gathered.begin(), gathered.end(), std::back_inserter(kept));
                    gathered.clear();
                }
                CloseElement(open.back(), text);
                open.pop_back();
            }
            break;
        case QXmlStreamReader::Characters: {
            if (open.empty())
                break;
            TOpenElement& o = open.back();
            // As written: a CDATA section starts at the '<' the text token before it took; a text
            // token ends before the '<' it took.
            qsizetype start = previous, end = offset;
            if (reader.isCDATA()) {
                if (start > 0 && text[start - 1] == u'<' && QStringView(text).mid(start, 8) == u"![CDATA[")
                    --start;
            } else if (end > start && text[end - 1] == u'<') {
                --end;
            }
            if (o.RunEnd != start) {
                o.RunStart = start;
                o.RunCounted = false;
            }
            o.RunEnd = end;
            // White space before the text is trimmed away: only what follows text is kept.
            if (o.Text.empty()) {
                QStringView part = reader.text();
                while (!part.isEmpty() && IsXmlSpace(part.front()))
                    part = part.sliced(1);
                AppendUtf8(part, o.Text);
            } else {
                AppendUtf8(reader.text(), o.Text);
            }
            if (!reader.isWhitespace()) {
                if (!o.RunCounted) {
                    ++o.ContentRuns;
                    o.RunCounted = true;
                }
                o.SpanStart = o.RunStart;
                o.SpanEnd = o.RunEnd;
            }
            break;
        }
        default:
            break;
        }
        previous = offset;
    }
    if (reader.hasError() || !rootSeen) {
        const int line = static_cast<int>(reader.lineNumber());
        const int column = std::max(1, static_cast<int>(reader.columnNumber()));
        const QString why = reader.hasError() ? reader.errorString() : QString();
        Fail(doc, Format(_("Not well-formed XML at line %d, column %d: %s"), line, column, why.toStdString().c_str()),
             line, column);
        return doc;
    }
    doc.Ok = true;
    return doc;
}

std::pair<TConfigDocument, TConfigDocument> ReadConfigPair(const QByteArray& left, const QByteArray& right)
{
    std::pair<TConfigDocument, TConfigDocument> both;
    {
        std::jthread other([&] { both.second = ReadConfig(right); });
        both.first = ReadConfig(left);
    }  // joins the other
    return both;
}

TConfigDocument ReadConfigFile(const std::string& path)
{
    TConfigDocument doc;
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        doc.Error = Format(_("Cannot read the file %s: %s"), path.c_str(), file.errorString().toStdString().c_str());
        return doc;
    }
    // One byte more than the bound tells a file that is too large, also where no size is known.
    if (file.size() > kMostConfigBytes) {
        Fail(doc, TooLarge());
        return doc;
    }
    const QByteArray bytes = file.read(kMostConfigBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        doc.Error = Format(_("Cannot read the file %s: %s"), path.c_str(), file.errorString().toStdString().c_str());
        return doc;
    }
    return ReadConfig(bytes);
}
