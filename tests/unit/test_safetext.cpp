#include "core/log/safetext.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace {

// True when the text holds no byte below 0x20, no DEL and no C1, separator or bidi control.
bool NothingActs(const std::string& text)
{
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return false;
    }
    for (const char* acting : {"\xC2\x85", "\xC2\x9B", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAE", "\xE2\x81\xA6"})
        if (text.find(acting) != std::string::npos)
            return false;
    return true;
}

}  // namespace

TEST(SafeText, OrdinaryTextPassesUnchanged)
{
    EXPECT_EQ(SafeText(""), "");
    EXPECT_EQ(SafeText("Kotelna 2"), "Kotelna 2");
    const std::string czech = "Kotelna – teploměr č. 2, Žluťoučký kůň úpěl ďábelské ódy";
    EXPECT_EQ(SafeText(czech), czech);
    // Other scripts, a character beyond the BMP, a U+FFFD the device sent and a zero-width
    // joiner are characters, not controls.
    const std::string other = "Привет 日本 \xF0\x9F\x94\xA5 \xEF\xBF\xBD \xE2\x80\x8D ~!\"#$%&'()*+,-./:;<=>?@[]^_`{|}";
    EXPECT_EQ(SafeText(other), other);
}

TEST(SafeText, LineBreaksTabsAndEscapesAreWrittenOut)
{
    EXPECT_EQ(SafeText("a\nb"), "a\\x0Ab");
    EXPECT_EQ(SafeText("a\r\nERROR\tforged"), "a\\x0D\\x0AERROR\\x09forged");
    EXPECT_EQ(SafeText("\x1B[31mred\x1B[0m"), "\\x1B[31mred\\x1B[0m");
    EXPECT_EQ(SafeText("nul\0end"s), "nul\\x00end");
    EXPECT_EQ(SafeText("\x01\x1F\x7F"), "\\x01\\x1F\\x7F");
    EXPECT_EQ(SafeText("\x07\x08\x0B\x0C"), "\\x07\\x08\\x0B\\x0C");
}

TEST(SafeText, BackslashIsDoubledSoEscapesReadBackUniquely)
{
    EXPECT_EQ(SafeText("C:\\dir"), "C:\\\\dir");
    // A device cannot pass off a written-out escape as one of ours: the two differ when shown.
    EXPECT_NE(SafeText("a\\x0Ab"), SafeText("a\nb"));
    EXPECT_EQ(SafeText("a\\x0Ab"), "a\\\\x0Ab");
    EXPECT_NE(SafeText("\\u{202E}"), SafeText("\xE2\x80\xAE"));
}

TEST(SafeText, C1ControlsSeparatorsAndBidiControlsAreWrittenOut)
{
    EXPECT_EQ(SafeText("\xC2\x80"), "\\u{0080}");
    EXPECT_EQ(SafeText("a\xC2\x85"
                       "b"),
              "a\\u{0085}b");  // NEL, a line break to some readers
    EXPECT_EQ(SafeText("\xC2\x9B"
                       "31m"),
              "\\u{009B}31m");  // CSI, an escape sequence in one
    EXPECT_EQ(SafeText("\xC2\x9F"), "\\u{009F}");
    EXPECT_EQ(SafeText("\xC2\xA0"), "\xC2\xA0");  // no-break space: a character
    EXPECT_EQ(SafeText("a\xE2\x80\xA8"
                       "b\xE2\x80\xA9"),
              "a\\u{2028}b\\u{2029}");
    EXPECT_EQ(SafeText("\xD8\x9C"), "\\u{061C}");
    EXPECT_EQ(SafeText("\xE2\x80\x8E\xE2\x80\x8F"), "\\u{200E}\\u{200F}");
    EXPECT_EQ(SafeText("\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAC\xE2\x80\xAD\xE2\x80\xAE"),
              "\\u{202A}\\u{202B}\\u{202C}\\u{202D}\\u{202E}");
    EXPECT_EQ(SafeText("\xE2\x81\xA6\xE2\x81\xA7\xE2\x81\xA8\xE2\x81\xA9"), "\\u{2066}\\u{2067}\\u{2068}\\u{2069}");
    // Neighbours of the ranges stay.
    EXPECT_EQ(SafeText("\xE2\x80\xA7\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA"),
              "\xE2\x80\xA7\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA");
    // "txt.exe" turned round to read "exe.txt".
    EXPECT_EQ(SafeText("report\xE2\x80\xAEtxt.exe"), "report\\u{202E}txt.exe");
}

TEST(SafeText, InvalidUtf8BecomesReplacementCharacters)
{
    const std::string r = "\xEF\xBF\xBD";
    EXPECT_EQ(SafeText("a\x80"
                       "b"),
              "a" + r + "b");                       // stray continuation byte
    EXPECT_EQ(SafeText("a\xFF\xFE"), "a" + r + r);  // never in UTF-8
    EXPECT_EQ(SafeText("\xC4"), r);                 // cut short at the end
    EXPECT_EQ(SafeText("\xC4"
                       "a"),
              r + "a");                              // cut short by an ASCII byte
    EXPECT_EQ(SafeText("\xE2\x80"), r);              // one longest start, one U+FFFD
    EXPECT_EQ(SafeText("\xE2\x80\n"), r + "\\x0A");  // the control after it still shows
    EXPECT_EQ(SafeText("\xF0\x9F\x94"), r);
    EXPECT_EQ(SafeText("\xC0\x8A"), r + r);  // overlong line feed
    EXPECT_EQ(SafeText("\xC1\xBF"), r + r);
    EXPECT_EQ(SafeText("\xE0\x80\x8A"), r + r + r);               // overlong, three bytes
    EXPECT_EQ(SafeText("\xF0\x80\x80\x8A"), r + r + r + r);       // overlong, four bytes
    EXPECT_EQ(SafeText("\xED\xA0\x80"), r + r + r);               // surrogate U+D800
    EXPECT_EQ(SafeText("\xED\xBF\xBF"), r + r + r);               // surrogate U+DFFF
    EXPECT_EQ(SafeText("\xED\x9F\xBF"), "\xED\x9F\xBF");          // U+D7FF is a character
    EXPECT_EQ(SafeText("\xF4\x90\x80\x80"), r + r + r + r);       // above U+10FFFF
    EXPECT_EQ(SafeText("\xF4\x8F\xBF\xBF"), "\xF4\x8F\xBF\xBF");  // U+10FFFF itself
    EXPECT_EQ(SafeText("\xF5\x80\x80\x80"), r + r + r + r);
    // An overlong form of a C1 control is no way round: replaced, never passed.
    EXPECT_EQ(SafeText("\xE0\x82\x85"), r + r + r);
}

TEST(SafeText, ResultIsOneShowableLine)
{
    std::string every;
    for (int b = 0; b < 256; ++b)
        every += static_cast<char>(b);
    every += "\xE2\x80\xA8\xE2\x80\xAE\xD8\x9C";
    const std::string shown = SafeText(every);
    EXPECT_TRUE(NothingActs(shown)) << shown;
    // Showing twice doubles the backslashes again: the form is made once, where shown.
    EXPECT_EQ(SafeText(SafeText("a\nb")), "a\\\\x0Ab");
}

TEST(SafeText, LengthCountsTheCharactersOfTheSafeForm)
{
    // The device list sizes its rows by this count, so it must agree with what is shown,
    // escapes and replacement characters included.
    const std::string line = "Orvex 16                 Kotelna";
    EXPECT_EQ(SafeTextLength(line), line.size());
    EXPECT_EQ(SafeTextLength(""), 0u);
    EXPECT_EQ(SafeTextLength("a\\b"), 4u);              // a\\b
    EXPECT_EQ(SafeTextLength("a\nb"), 6u);              // a\x0Ab
    EXPECT_EQ(SafeTextLength("\x7F"), 4u);              // \x7F
    EXPECT_EQ(SafeTextLength("teploměr č. 2"), 13u);    // two-byte letters count once
    EXPECT_EQ(SafeTextLength("x\xE2\x80\xAEy"), 10u);   // x\u{202E}y
    EXPECT_EQ(SafeTextLength("\xF0\x9F\x94\xA5"), 1u);  // one character beyond the BMP
    EXPECT_EQ(SafeTextLength("a\xC3"), 2u);             // a cut sequence: one U+FFFD
    for (const std::string& text : {"Device 4217"s, "\\\\"s, "\t\r"s, "\xC2\x85\xFF\xFE"s, "Žluťoučký\x01kůň"s}) {
        const std::string safe = SafeText(text);
        size_t characters = 0;
        for (const char c : safe)
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        EXPECT_EQ(SafeTextLength(text), characters) << safe;
    }
}
