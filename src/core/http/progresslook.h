// How the progress window draws one of its lines, decided from keywords in the line's text in
// either interface language: results green or red and bold, device lines bold, the summary
// heading underlined.
#pragma once
#include <cstdint>
#include <string>

struct TProgressLineLook {
    uint32_t Rgb = 0x000000;  // text colour, 0xRRGGBB
    bool Bold = false;
    bool Underline = false;
};

// The rules, in order (a later one wins): "Succeeded"/"dokončena" green bold; "Failed"/"selhala"
// red bold; "(" bold; "Summary"/"zpracování:"/"aktualizace:" underlined instead of bold. A keyword counts only
// where its first occurrence is after the line's first character. Texts are UTF-8.
TProgressLineLook ProgressLineLook(const std::string& line);

constexpr uint32_t kProgressBackground = 0xFFFBF0;  // cream, RGB (255, 251, 240), every line
constexpr uint32_t kProgressGreen = 0x008000;
constexpr uint32_t kProgressRed = 0xFF0000;
