// How the progress window draws one of its lines, decided from keywords in the line's text in
// either interface language: results green or red and bold, device lines bold, the summary
// heading underlined.
#pragma once
#include "core/app/colours.h"

#include <string>

struct TProgressLineLook {
    TColourRole Role = TColourRole::ProgressPlain;  // its colours: SchemeColours
    bool Bold = false;
    bool Underline = false;
};

// The rules, in order (a later one wins): "Succeeded"/"dokončena" green bold; "Failed"/"selhala"
// red bold; "(" bold; "Summary"/"zpracování:"/"aktualizace:" underlined instead of bold. A keyword counts only
// where its first occurrence is after the line's first character. Texts are UTF-8.
TProgressLineLook ProgressLineLook(const std::string& line);
