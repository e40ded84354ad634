// The progress window's line looks: keyword rules in English and Czech.
#include "core/http/progresslook.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgressLineLook, KeywordRulesInBothLanguages)
{
    const TColourRole black = TColourRole::ProgressPlain, green = TColourRole::ProgressSucceeded,
                      red = TColourRole::ProgressFailed;
    const struct {
        const char* Line;
        TColourRole Role;
        bool Bold, Underline;
        const char* Why;
    } rows[] = {
        {"Backup Succeeded", green, true, false, "result line, success"},
        {"Restore Failed", red, true, false, "result line, failure"},
        {"Z\xC3\xA1loha dokon\xC4\x8D" "ena", green, true, false, "Czech success (UTF-8)"},
        {"Obnova selhala", red, true, false, "Czech failure"},
        {"Succeeded but Failed", red, true, false, "both: the failure test comes later"},
        {"Hall sensor  (10.77.1.20)", black, true, false, "device line"},
        {"(10.77.1.20)", black, false, false, "a parenthesis first counts not"},
        {"Processes Summary:", black, false, true, "summary heading"},
        {"Souhrn zpracov\xC3\xA1n\xC3\xAD:", black, false, true, "Czech summary heading"},
        {"Souhrn aktualizace:", black, false, true, "older Czech summary heading"},
        {"A Summary (x) Failed", red, false, true, "underline replaces bold, the colour stays"},
        {"Succeeded", black, false, false, "a keyword at the very start counts not"},
        {"Failed twice: Failed", black, false, false, "only the first occurrence is looked at"},
        {"Upgrade unsuccessful.", black, false, false, "no keyword (letter case matters)"},
        {"succeeded", black, false, false, "lower case"},
        {"Uploading...                250.00 kB/s ", black, false, false, "rate line"},
        {"------------------------------------------", black, false, false, "separator"},
        {"Successful: 1", black, false, false, "counter line"},
        {"", black, false, false, "empty line"},
        {"Z\xC3\xA1loha dokon\xC3\xA8" "ena", black, false, false, "the Windows-1250 spelling is not UTF-8"},
    };
    for (const auto& row : rows) {
        const TProgressLineLook look = ProgressLineLook(row.Line);
        EXPECT_EQ(row.Role, look.Role) << row.Why;
        EXPECT_EQ(row.Bold, look.Bold) << row.Why;
        EXPECT_EQ(row.Underline, look.Underline) << row.Why;
    }
}

} // namespace
