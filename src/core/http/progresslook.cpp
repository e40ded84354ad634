#include "core/http/progresslook.h"

namespace {
// The first occurrence of the keyword lies after the first character (the rule of the window
// these lines were first drawn in: a position greater than 1, counted from 1).
bool Contains(const std::string& line, const char* keyword)
{
    const size_t at = line.find(keyword);
    return at != std::string::npos && at > 0;
}
} // namespace

TProgressLineLook ProgressLineLook(const std::string& line)
{
    TProgressLineLook look;
    if (Contains(line, "Succeeded") || Contains(line, "dokon\xC4\x8D" "ena")) {
        look.Role = TColourRole::ProgressSucceeded;
        look.Bold = true;
    }
    if (Contains(line, "Failed") || Contains(line, "selhala")) {
        look.Role = TColourRole::ProgressFailed;
        look.Bold = true;
    }
    if (Contains(line, "("))
        look.Bold = true;
    // "zpracování:" ends the Czech heading of every batch; "aktualizace:" was its older wording.
    if (Contains(line, "Summary") || Contains(line, "zpracov\xC3\xA1n\xC3\xAD:") || Contains(line, "aktualizace:")) {
        look.Bold = false;
        look.Underline = true;
    }
    return look;
}
