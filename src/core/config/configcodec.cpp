// Encodings of configuration files: detection from the byte order mark and the XML
// declaration, strict decoding, encoding of a value to be put back, byte offsets of positions.
#include "core/config/configcodec.h"

#include "core/app/i18n.h"
#include "core/log/format.h"

#include <QStringDecoder>

#include <iconv.h>

#include <algorithm>
#include <array>
#include <unordered_map>

namespace {

// A single-byte encoding as iconv knows it: each byte's character (kUndefined where the
// encoding has none) and the way back.
constexpr char16_t kUndefined = 0xFFFF;

struct TByteTable {
    bool Ok = false;
    std::array<char16_t, 256> Chars{};
    std::unordered_map<char16_t, uint8_t> Bytes;
};

TByteTable MakeByteTable(const char* iconvName)
{
    TByteTable table;
    iconv_t cd = iconv_open("UTF-16LE", iconvName);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return table;
    for (int b = 0; b < 256; ++b) {
        char in = static_cast<char>(b);
        unsigned char out[8] = {};
        char* inPtr = &in;
        size_t inLeft = 1;
        char* outPtr = reinterpret_cast<char*>(out);
        size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        // One byte must give exactly one UTF-16 unit; anything else is a byte the encoding lacks.
        if (r == static_cast<size_t>(-1) || inLeft != 0 || sizeof out - outLeft != 2) {
            table.Chars[b] = kUndefined;
            continue;
        }
        const char16_t c = static_cast<char16_t>(out[0] | (out[1] << 8));
        table.Chars[b] = c;
        table.Bytes.emplace(c, static_cast<uint8_t>(b));
    }
    iconv_close(cd);
    table.Ok = true;
    return table;
}

const TByteTable* ByteTable(TConfigCodecKind kind)
{
    static const TByteTable windows1250 = MakeByteTable("WINDOWS-1250");
    static const TByteTable iso88592 = MakeByteTable("ISO-8859-2");
    const TByteTable* table = nullptr;
    if (kind == TConfigCodecKind::Windows1250)
        table = &windows1250;
    else if (kind == TConfigCodecKind::Iso88592)
        table = &iso88592;
    return table && table->Ok ? table : nullptr;
}

struct TCodecName {
    const char* Name;
    TConfigCodecKind Kind;
};

// Names compared without regard to case.
constexpr TCodecName kCodecNames[] = {
    {"UTF-8", TConfigCodecKind::Utf8},          {"UTF8", TConfigCodecKind::Utf8},
    {"UTF-16", TConfigCodecKind::Utf16LE},      {"UTF-16LE", TConfigCodecKind::Utf16LE},
    {"UTF-16BE", TConfigCodecKind::Utf16BE},    {"ISO-8859-1", TConfigCodecKind::Latin1},
    {"ISO8859-1", TConfigCodecKind::Latin1},    {"ISO_8859-1", TConfigCodecKind::Latin1},
    {"LATIN1", TConfigCodecKind::Latin1},       {"L1", TConfigCodecKind::Latin1},
    {"US-ASCII", TConfigCodecKind::Ascii},      {"ASCII", TConfigCodecKind::Ascii},
    {"WINDOWS-1250", TConfigCodecKind::Windows1250}, {"CP1250", TConfigCodecKind::Windows1250},
    {"X-CP1250", TConfigCodecKind::Windows1250},     {"ISO-8859-2", TConfigCodecKind::Iso88592},
    {"ISO8859-2", TConfigCodecKind::Iso88592},  {"ISO_8859-2", TConfigCodecKind::Iso88592},
    {"LATIN2", TConfigCodecKind::Iso88592},     {"L2", TConfigCodecKind::Iso88592},
};

bool IsUtf16(TConfigCodecKind kind) { return kind == TConfigCodecKind::Utf16LE || kind == TConfigCodecKind::Utf16BE; }

// The encoding named by the declaration at the start of `head` ("" when there is none).
std::string DeclaredEncoding(const QString& head)
{
    if (!head.startsWith(u"<?xml") || head.size() < 6 || !IsXmlSpace(head[5]))
        return {};
    const qsizetype end = head.indexOf(u"?>");
    const QStringView decl = QStringView(head).left(end < 0 ? head.size() : end);
    qsizetype at = decl.indexOf(u"encoding");
    while (at >= 0) {
        qsizetype i = at + 8;
        // "encoding" must stand alone before its '='.
        const bool alone = at > 0 && IsXmlSpace(decl[at - 1]);
        while (i < decl.size() && IsXmlSpace(decl[i]))
            ++i;
        if (alone && i < decl.size() && decl[i] == u'=') {
            ++i;
            while (i < decl.size() && IsXmlSpace(decl[i]))
                ++i;
            if (i >= decl.size() || (decl[i] != u'"' && decl[i] != u'\''))
                return {};
            const QChar quote = decl[i];
            const qsizetype close = decl.indexOf(quote, i + 1);
            if (close < 0)
                return {};
            return decl.mid(i + 1, close - i - 1).toString().toStdString();
        }
        at = decl.indexOf(u"encoding", at + 8);
    }
    return {};
}

}  // namespace

bool DetectConfigCodec(const QByteArray& bytes, TConfigCodec& codec, std::string& error)
{
    const auto at = [&](qsizetype i) { return i < bytes.size() ? static_cast<uint8_t>(bytes[i]) : 0x100; };
    TConfigCodec found;
    bool marked = true;  // a byte order mark or the pattern of "<?" fixes the encoding family
    if (at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
        found = {TConfigCodecKind::Utf8, 3, "UTF-8"};
    } else if (at(0) == 0xFF && at(1) == 0xFE) {
        found = {TConfigCodecKind::Utf16LE, 2, "UTF-16"};
    } else if (at(0) == 0xFE && at(1) == 0xFF) {
        found = {TConfigCodecKind::Utf16BE, 2, "UTF-16"};
    } else if (at(0) == 0x3C && at(1) == 0x00) {
        found = {TConfigCodecKind::Utf16LE, 0, "UTF-16"};
    } else if (at(0) == 0x00 && at(1) == 0x3C) {
        found = {TConfigCodecKind::Utf16BE, 0, "UTF-16"};
    } else {
        found = {TConfigCodecKind::Utf8, 0, "UTF-8"};
        marked = false;
    }

    // The declaration is ASCII in every encoding taken here; its first 512 characters suffice.
    constexpr qsizetype kHead = 512;
    QString head;
    const QByteArray rest = bytes.mid(found.BomBytes, IsUtf16(found.Kind) ? 2 * kHead : kHead);
    if (IsUtf16(found.Kind)) {
        for (qsizetype i = 0; i + 1 < rest.size(); i += 2) {
            const uint8_t a = static_cast<uint8_t>(rest[i]), b = static_cast<uint8_t>(rest[i + 1]);
            head.append(QChar(found.Kind == TConfigCodecKind::Utf16LE ? (a | b << 8) : (a << 8 | b)));
        }
    } else {
        head = QString::fromLatin1(rest);
    }
    const std::string declared = DeclaredEncoding(head);
    if (!declared.empty()) {
        const TCodecName* named = nullptr;
        for (const TCodecName& n : kCodecNames)
            if (QString::fromStdString(declared).compare(QLatin1StringView(n.Name), Qt::CaseInsensitive) == 0)
                named = &n;
        if (!named || ((named->Kind == TConfigCodecKind::Windows1250 || named->Kind == TConfigCodecKind::Iso88592) &&
                       !ByteTable(named->Kind))) {
            error = Format(_("The encoding \"%s\" is not supported."), declared.c_str());
            return false;
        }
        if (IsUtf16(named->Kind) != IsUtf16(found.Kind) ||
            (marked && !IsUtf16(found.Kind) && named->Kind != TConfigCodecKind::Utf8)) {
            error = Format(_("The file's bytes do not match the encoding \"%s\" it declares."), declared.c_str());
            return false;
        }
        if (!IsUtf16(found.Kind))
            found.Kind = named->Kind;
        found.Name = declared;
    }
    codec = found;
    return true;
}

bool DecodeConfigText(const TConfigCodec& codec, const QByteArray& bytes, QString& text)
{
    const QByteArrayView data = QByteArrayView(bytes).sliced(std::min(codec.BomBytes, bytes.size()));
    switch (codec.Kind) {
    case TConfigCodecKind::Utf8: {
        // A second byte order mark stays a character, so that positions keep mapping to bytes.
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        QString out = decoder.decode(data);
        if (decoder.hasError())
            return false;
        text = std::move(out);
        return true;
    }
    case TConfigCodecKind::Utf16LE:
    case TConfigCodecKind::Utf16BE: {
        if (data.size() % 2)
            return false;
        QString out(data.size() / 2, Qt::Uninitialized);
        char16_t* p = reinterpret_cast<char16_t*>(out.data());
        const bool little = codec.Kind == TConfigCodecKind::Utf16LE;
        for (qsizetype i = 0; i < data.size(); i += 2) {
            const uint8_t a = static_cast<uint8_t>(data[i]), b = static_cast<uint8_t>(data[i + 1]);
            p[i / 2] = static_cast<char16_t>(little ? (a | b << 8) : (a << 8 | b));
        }
        text = std::move(out);
        return true;
    }
    case TConfigCodecKind::Latin1:
        text = QString::fromLatin1(data);
        return true;
    case TConfigCodecKind::Ascii:
        for (char c : data)
            if (static_cast<uint8_t>(c) >= 0x80)
                return false;
        text = QString::fromLatin1(data);
        return true;
    case TConfigCodecKind::Windows1250:
    case TConfigCodecKind::Iso88592: {
        const TByteTable* table = ByteTable(codec.Kind);
        if (!table)
            return false;
        QString out(data.size(), Qt::Uninitialized);
        char16_t* p = reinterpret_cast<char16_t*>(out.data());
        for (qsizetype i = 0; i < data.size(); ++i) {
            const char16_t c = table->Chars[static_cast<uint8_t>(data[i])];
            if (c == kUndefined)
                return false;
            p[i] = c;
        }
        text = std::move(out);
        return true;
    }
    }
    return false;
}

bool EncodeConfigText(TConfigCodecKind kind, QStringView text, QByteArray& out)
{
    QByteArray bytes;
    switch (kind) {
    case TConfigCodecKind::Utf8:
        bytes = text.toUtf8();
        break;
    case TConfigCodecKind::Utf16LE:
    case TConfigCodecKind::Utf16BE:
        bytes.reserve(text.size() * 2);
        for (QChar c : text) {
            const char16_t u = c.unicode();
            const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
            bytes.append(kind == TConfigCodecKind::Utf16LE ? low : high);
            bytes.append(kind == TConfigCodecKind::Utf16LE ? high : low);
        }
        break;
    case TConfigCodecKind::Latin1:
    case TConfigCodecKind::Ascii: {
        const char16_t most = kind == TConfigCodecKind::Latin1 ? 0xFF : 0x7F;
        for (QChar c : text) {
            if (c.unicode() > most)
                return false;
            bytes.append(static_cast<char>(c.unicode()));
        }
        break;
    }
    case TConfigCodecKind::Windows1250:
    case TConfigCodecKind::Iso88592: {
        const TByteTable* table = ByteTable(kind);
        if (!table)
            return false;
        for (QChar c : text) {
            const auto b = table->Bytes.find(c.unicode());
            if (b == table->Bytes.end())
                return false;
            bytes.append(static_cast<char>(b->second));
        }
        break;
    }
    }
    out = std::move(bytes);
    return true;
}

qsizetype ConfigByteOffset(TConfigCodecKind kind, QStringView text, qsizetype position)
{
    switch (kind) {
    case TConfigCodecKind::Utf8: {
        qsizetype bytes = 0;
        for (qsizetype i = 0; i < position && i < text.size(); ++i) {
            const char16_t u = text[i].unicode();
            // Each half of a surrogate pair stands for two of the four bytes of its character.
            bytes += u < 0x80 ? 1 : u < 0x800 ? 2 : (u >= 0xD800 && u <= 0xDFFF) ? 2 : 3;
        }
        return bytes;
    }
    case TConfigCodecKind::Utf16LE:
    case TConfigCodecKind::Utf16BE:
        return position * 2;
    case TConfigCodecKind::Latin1:
    case TConfigCodecKind::Ascii:
    case TConfigCodecKind::Windows1250:
    case TConfigCodecKind::Iso88592:
        return position;
    }
    return position;
}
