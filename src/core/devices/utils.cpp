// Address text conversions. Each parser keeps the acceptance rules its callers rely on: the Orvex
// update wants the forgiving strtol-style TryParseIp, the HWG update the strict ParseIp, the
// Orvex commands ParseMac. None of them reads outside the text it is given.
#include "core/devices/utils.h"

#include "core/log/format.h"

#include <QString>

#include <cstdio>
#include <cstring>

namespace {

// The character at index i, or '\0' past the end: the parsers treat the end like a terminator.
char At(const std::string& text, size_t i) { return i < text.size() ? text[i] : '\0'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// White space as the C library's isspace knows it in the "C" locale.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a number the way strtol(…, 10) does, starting at pos: blanks, an optional sign, digits.
// Without digits the value is 0 and pos stays where it was. The magnitude saturates, so a long
// run of digits reads as "too large" rather than overflowing.
long ReadStrtol(const std::string& text, size_t& pos)
{
    constexpr long kSaturated = 1L << 20;  // far above any byte value
    size_t i = pos;
    while (IsSpace(At(text, i)))
        ++i;
    bool negative = false;
    if (At(text, i) == '+' || At(text, i) == '-') {
        negative = At(text, i) == '-';
        ++i;
    }
    if (!IsDigit(At(text, i)))
        return 0;
    long value = 0;
    while (IsDigit(At(text, i))) {
        if (value < kSaturated)
            value = value * 10 + (At(text, i) - '0');
        ++i;
    }
    pos = i;
    return negative ? -value : value;
}

} // namespace

std::string MacHexText(const std::string& mac)
{
    uint8_t bytes[6];
    if (mac.empty() || ParseMac(mac, bytes) != 0)
        return {};
    char text[13];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", bytes[0], bytes[1], bytes[2], bytes[3], bytes[4],
                  bytes[5]);
    return text;
}

std::string FormatMac(const uint8_t mac[6])
{
    return Format("%2.2x:%2.2x:%2.2x:%2.2x:%2.2x:%2.2x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
}

std::string FormatIp(const uint8_t ip[4])
{
    return Format("%d.%d.%d.%d", ip[0], ip[1], ip[2], ip[3]);
}

bool TryParseIp(const std::string& text, uint8_t out[4])
{
    if (text.empty()) {
        out[0] = out[1] = out[2] = out[3] = 0;
        return true;
    }
    uint8_t bytes[4];
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        const long value = ReadStrtol(text, pos);
        if (value < 0 || value > 255)
            return false;
        bytes[part] = static_cast<uint8_t>(value);
        if (part < 3 && At(text, pos) != '.')
            return false;
        ++pos;
    }
    for (int i = 0; i < 4; ++i)
        out[i] = bytes[i];
    return true;
}

void ParseIp(const std::string& text, uint8_t out[4])
{
    ParseIpChecked(text, out);
}

bool ParseIpChecked(const std::string& text, uint8_t out[4])
{
    uint8_t bytes[4];
    int count = 0;
    size_t pos = 0;
    bool ok = false;
    for (;;) {
        if (!IsDigit(At(text, pos)))
            break;
        int value = 0;
        while (IsDigit(At(text, pos)) && value <= 255) {
            value = value * 10 + (At(text, pos) - '0');
            ++pos;
        }
        if (value > 255)
            break;
        bytes[count++] = static_cast<uint8_t>(value);
        if (At(text, pos) == '.') {
            ++pos;
            if (count == 4)
                break;  // a dot after the fourth number
            continue;
        }
        ok = count == 4;  // anything else ends the text
        break;
    }
    for (int i = 0; i < 4; ++i)
        out[i] = ok ? bytes[i] : 0xFF;
    return ok;
}

int ParseMac(const std::string& text, uint8_t out[6])
{
    size_t pos = 0;
    while (IsSpace(At(text, pos)))
        ++pos;
    for (int i = 0; i < 6; ++i) {
        const int high = HexValue(At(text, pos));
        const int low = high < 0 ? -1 : HexValue(At(text, pos + 1));
        if (low < 0)
            return -1;
        out[i] = static_cast<uint8_t>(high * 16 + low);  // written at once, also when a later byte fails
        pos += 2;
        if (At(text, pos) == '-' || At(text, pos) == ':')
            ++pos;
    }
    return pos == text.size() ? 0 : -1;
}

// Positions count from 1, 0 meaning "absent". Without a start marker the piece begins at the
// position equal to the marker's length; an end marker before the start gives an empty text.
// The search is a byte search, which in UTF-8 never matches inside a character. An empty marker
// is found at position 1.
std::string TextBetween(const std::string& text, const std::string& startMarker, const std::string& endMarker)
{
    const size_t startAt = text.find(startMarker);
    const size_t endAt = text.find(endMarker);
    const long p1 = startAt == std::string::npos ? 0 : static_cast<long>(startAt) + 1;
    const long p2 = endAt == std::string::npos ? 0 : static_cast<long>(endAt) + 1;
    const long s = p1 + static_cast<long>(startMarker.size());
    const long n = p2 - s;
    if (n < 1 || s < 1 || s > static_cast<long>(text.size()))
        return {};
    return text.substr(static_cast<size_t>(s - 1), static_cast<size_t>(n));
}

std::string ValidUtf8(std::string_view bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())).toStdString();
}

std::string FieldText(const uint8_t* field, size_t width)
{
    const auto* end = static_cast<const uint8_t*>(std::memchr(field, 0, width));
    return std::string(reinterpret_cast<const char*>(field), end ? static_cast<size_t>(end - field) : width);
}

size_t Utf8Length(std::string_view text)
{
    size_t characters = 0;
    for (const char c : text)
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return characters;
}

std::string_view Utf8Prefix(std::string_view text, size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    // Back from the first byte left out over at most three continuation bytes to the lead byte
    // of the character they belong to; if that character reaches past the cut, leave it out.
    const auto byte = [&text](size_t at) { return static_cast<unsigned char>(text[at]); };
    size_t lead = maxBytes;
    while (lead > 0 && maxBytes - lead < 3 && (byte(lead) & 0xC0) == 0x80)
        --lead;
    const unsigned char first = byte(lead);
    const size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    return text.substr(0, lead < maxBytes && first >= 0xC0 && lead + length > maxBytes ? lead : maxBytes);
}

uint64_t MacKey(const uint8_t mac[6])
{
    uint64_t key = 0;
    for (int k = 0; k < 6; ++k)
        key = key << 8 | mac[k];
    return key;
}

std::optional<uint64_t> MacKeyOf(const std::string& text)
{
    uint8_t mac[6] = {};
    if (ParseMac(text, mac) != 0)
        return std::nullopt;
    return MacKey(mac);
}
