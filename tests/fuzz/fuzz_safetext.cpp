// SafeText on any bytes: the result is valid UTF-8 with no character that acts rather than
// shows (C0, DEL, C1, the line and paragraph separators, the bidirectional controls), and a
// text that needs nothing written out comes back unchanged.
#include "core/log/safetext.h"
#include "fuzz_common.h"

#include <string>
#include <string_view>

namespace {
// Decodes strict UTF-8; false on any ill-formed sequence. Each character is handed to check.
template <typename F> bool ForEachCharacter(std::string_view text, F check)
{
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        uint32_t c = 0;
        size_t n = 0;
        if (b < 0x80) {
            c = b;
            n = 1;
        } else if (b >= 0xC2 && b <= 0xDF) {
            c = b & 0x1F;
            n = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            c = b & 0x0F;
            n = 3;
        } else if (b >= 0xF0 && b <= 0xF4) {
            c = b & 0x07;
            n = 4;
        } else {
            return false;
        }
        if (i + n > text.size())
            return false;
        for (size_t k = 1; k < n; ++k) {
            const auto t = static_cast<unsigned char>(text[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (t & 0x3F);
        }
        if ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        if (!check(c))
            return false;
        i += n;
    }
    return true;
}

bool Acts(uint32_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x061C ||
           c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string shown = SafeText(input);
    FUZZ_CHECK(ForEachCharacter(shown, [](uint32_t c) { return !Acts(c); }));
    bool plain = true;
    const bool valid = ForEachCharacter(input, [&](uint32_t c) {
        plain = plain && !Acts(c) && c != '\\';
        return true;
    });
    if (valid && plain)
        FUZZ_CHECK(shown == input);
    return 0;
}
