// Reading a configuration file into a tree, bounded in size and depth, refusing declared
// entities before anything could be expanded, and keeping where each value stands in the text.
#include "core/config/configdoc.h"

#include "core/app/i18n.h"
#include "core/config/configcodec.h"
#include "core/log/format.h"

#include <QFile>
#include <QXmlStreamReader>

namespace {

bool IsXmlSpace(QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Trimmed of XML white space only (a no-break space is content).
QStringView TrimXml(QStringView text)
{
    qsizetype start = 0, end = text.size();
    while (start < end && IsXmlSpace(text[start]))
        ++start;
    while (end > start && IsXmlSpace(text[end - 1]))
        --end;
    return text.mid(start, end - start);
}

// UTF-8 of a name or value; most are ASCII, which needs no detour through QString and QByteArray.
std::string Utf8(QStringView text)
{
    std::string out(static_cast<size_t>(text.size()), '\0');
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x80)
            return text.toUtf8().toStdString();
        out[static_cast<size_t>(i)] = static_cast<char>(c);
    }
    return out;
}

struct TRawAttribute {
    QStringView QualifiedName;
    qsizetype Start = 0;
    qsizetype Length = 0;
};

// The attributes of a start tag as written, the reader having found the tag well-formed:
// <name a="1" b = '2'>. Attribute values hold no '<' and each ends at its own quote.
std::vector<TRawAttribute> ScanStartTag(QStringView text, qsizetype tagStart, qsizetype tagEnd)
{
    std::vector<TRawAttribute> found;
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
    return found;
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
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    size_t end = open.Text.size();
    while (end > 0 && space(open.Text[end - 1]))
        --end;
    open.Text.resize(end);
    e.Text = std::move(open.Text);
    if (open.ContentRuns == 1) {
        const QStringView raw = QStringView(decoded).mid(open.SpanStart, open.SpanEnd - open.SpanStart);
        const QStringView trimmed = TrimXml(raw);
        e.TextSpan = {open.SpanStart + (trimmed.data() - raw.data()), trimmed.size()};
    } else if (open.ContentRuns == 0 && open.ContentStart >= 0) {
        e.TextSpan = {open.ContentStart, 0};
    }
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
    QXmlStreamReader reader(base ? text.sliced(base) : text);
    std::vector<TOpenElement> open;
    open.reserve(64);
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
                open.back().Element->Children.emplace_back();
                element = &open.back().Element->Children.back();
            }
            element->NamespaceURI = Utf8(reader.namespaceUri());
            element->Name = Utf8(reader.name());
            const qsizetype tagStart = text.lastIndexOf(u'<', offset - 1);
            const bool empty = offset >= 2 && text[offset - 2] == u'/';
            const QXmlStreamAttributes attributes = reader.attributes();
            if (!attributes.isEmpty()) {
                const std::vector<TRawAttribute> raw = ScanStartTag(text, tagStart, offset);
                element->Attributes.reserve(attributes.size());
                for (const QXmlStreamAttribute& a : attributes) {
                    TConfigAttribute attribute{Utf8(a.namespaceUri()), Utf8(a.name()), Utf8(a.value()), {}};
                    for (const TRawAttribute& r : raw)
                        if (r.QualifiedName == a.qualifiedName())
                            attribute.Span = {r.Start, r.Length};
                    element->Attributes.push_back(std::move(attribute));
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
                o.Text = Utf8(part);
            } else
                o.Text += Utf8(reader.text());
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
