#include "core/log/format.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {

// Rewrites every %x conversion into %X; everything else is passed through unchanged.
std::string UpperHex(const char* fmt)
{
    std::string out;
    for (const char* p = fmt; *p; ++p) {
        out += *p;
        if (*p != '%')
            continue;
        ++p;
        if (*p == '%') { out += '%'; continue; }
        // flags, width, precision and length modifiers
        while (*p && std::string_view("-+ #0123456789.*hlLqjzt'").find(*p) != std::string_view::npos)
            out += *p++;
        if (!*p)
            break;
        out += (*p == 'x') ? 'X' : *p;
    }
    return out;
}

} // namespace

std::string Format(const char* fmt, ...)
{
    const std::string f = UpperHex(fmt ? fmt : "");
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    char small[256];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int n = std::vsnprintf(small, sizeof small, f.c_str(), ap);
    std::string result;
    if (n >= 0 && static_cast<size_t>(n) < sizeof small) {
        result.assign(small, static_cast<size_t>(n));
    } else if (n >= 0) {
        std::vector<char> big(static_cast<size_t>(n) + 1);
        std::vsnprintf(big.data(), big.size(), f.c_str(), ap2);
        result.assign(big.data(), static_cast<size_t>(n));
    }
#pragma GCC diagnostic pop
    va_end(ap2);
    va_end(ap);
    return result;
}
