// The program's one text formatter: printf-like, with hexadecimal digits always in upper case.
#pragma once
#include <string>

// Formats like printf, except that %x writes upper-case digits (as %X does). "%-20s" pads on
// the right and never cuts. A null %s argument writes "(null)".
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
