// The shown form of device texts.
#include "core/log/safetext.h"

#include <algorithm>
#include <optional>

namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr char32_t kReplacement = 0xFFFD;

bool PlainAscii(unsigned char c) { return c >= 0x20 && c < 0x7F && c != '\\'; }

bool WrittenOut(char32_t c)
{
    return (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x061C || c == 0x200E || c == 0x200F
           || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (c & 0x3F));
}

void AppendEscape(std::string& out, char32_t c)
{
    out += "\\u{";
    int shift = c > 0xFFFF ? 20 : 12;
    for (; shift >= 0; shift -= 4)
        out += kHex[(c >> shift) & 0xF];
    out += '}';
}

// The character that starts at text[at] and how many bytes it takes. A sequence that is not
// UTF-8 gives no character and the length of its longest start that a valid sequence could
// have (at least one byte).
std::optional<char32_t> Decode(std::string_view text, size_t at, size_t& length)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    length = 1;
    int more = 0;
    char32_t c = 0;
    unsigned char low = 0x80;  // the range the second byte must lie in (Unicode table 3-7)
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2;
        c = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;  // below: overlong
        if (lead == 0xED)
            high = 0x9F;  // above: surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3;
        c = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;  // below: overlong
        if (lead == 0xF4)
            high = 0x8F;  // above: beyond U+10FFFF
    } else {
        return std::nullopt;  // a continuation byte, C0/C1 (overlong two-byte forms), F5-FF
    }
    for (int k = 0; k < more; ++k) {
        if (at + length >= text.size())
            return std::nullopt;
        const auto next = static_cast<unsigned char>(text[at + length]);
        if (next < (k == 0 ? low : 0x80) || next > (k == 0 ? high : 0xBF))
            return std::nullopt;
        c = (c << 6) | (next & 0x3F);
        ++length;
    }
    return c;
}

}  // namespace

std::string SafeText(std::string_view text)
{
    size_t plain = 0;
    while (plain < text.size() && PlainAscii(static_cast<unsigned char>(text[plain])))
        ++plain;
    std::string out(text.substr(0, plain));
    if (plain == text.size())
        return out;
    out.reserve(text.size() + 16);
    for (size_t at = plain; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x80) {
            if (PlainAscii(byte)) {
                out += static_cast<char>(byte);
            } else if (byte == '\\') {
                out += "\\\\";
            } else {
                out += "\\x";
                out += kHex[byte >> 4];
                out += kHex[byte & 0xF];
            }
            ++at;
            continue;
        }
        size_t length = 0;
        const std::optional<char32_t> c = Decode(text, at, length);
        if (!c)
            AppendUtf8(out, kReplacement);
        else if (WrittenOut(*c))
            AppendEscape(out, *c);
        else
            out.append(text.substr(at, length));
        at += length;
    }
    return out;
}

size_t SafeTextLength(std::string_view text)
{
    if (std::all_of(text.begin(), text.end(), [](char c) { return PlainAscii(static_cast<unsigned char>(c)); }))
        return text.size();
    const std::string safe = SafeText(text);
    return size_t(
        std::count_if(safe.begin(), safe.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}
