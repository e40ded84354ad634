// The encodings a configuration file may be written in, and the way between its bytes and the
// decoded text: UTF-8, UTF-16 (either byte order), ISO-8859-1 and US-ASCII through Qt, and
// windows-1250 and ISO-8859-2 through the C library's iconv. Decoding is strict (a byte the
// encoding does not define refuses the file), so that every position of the decoded text maps
// back to one byte offset and a value can be put back into the original bytes in place.
#pragma once
#include <QByteArray>
#include <QString>
#include <QStringView>

#include <string>
#include <string_view>

enum class TConfigCodecKind { Utf8, Utf16LE, Utf16BE, Latin1, Ascii, Windows1250, Iso88592 };

struct TConfigCodec {
    TConfigCodecKind Kind = TConfigCodecKind::Utf8;
    qsizetype BomBytes = 0;  // the byte order mark the file starts with (not part of the text)
    std::string Name;        // as the declaration names it; "UTF-8" or "UTF-16" when it names none
};

// The encoding of a file: its byte order mark, else the first bytes' pattern, then the XML
// declaration's encoding. False with a translated reason for an encoding named that is not one
// of the above, or a declaration that contradicts the byte order mark.
bool DetectConfigCodec(const QByteArray& bytes, TConfigCodec& codec, std::string& error);

// The bytes after the byte order mark decoded. False when a byte sequence is not valid in it.
bool DecodeConfigText(const TConfigCodec& codec, const QByteArray& bytes, QString& text);

// A text encoded in the file's encoding (no byte order mark). False when a character cannot
// be written in it.
bool EncodeConfigText(TConfigCodecKind kind, QStringView text, QByteArray& out);

// The number of bytes the first `position` characters of the decoded text take in the file
// (the byte order mark not counted).
qsizetype ConfigByteOffset(TConfigCodecKind kind, QStringView text, qsizetype position);

// XML's white space: space, tab, carriage return, line feed (a no-break space is content).
constexpr bool IsXmlSpace(char32_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
inline bool IsXmlSpace(QChar c) { return IsXmlSpace(char32_t{c.unicode()}); }

// A text (std::string_view or QStringView) without the white space at its ends.
template <class TView> TView TrimXmlSpace(TView text)
{
    decltype(text.size()) start = 0, end = text.size();
    while (start < end && IsXmlSpace(text[start]))
        ++start;
    while (end > start && IsXmlSpace(text[end - 1]))
        --end;
    return TView(text.data() + start, end - start);
}
