// Firmware revisions compared number by number: the "(older)" mark of a verified upgrade.
#include "core/devices/revision.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct TRevisionCase {
    std::string A, B;
    std::optional<int> Order;  // CompareRevisions(A, B); none: not comparable
    const char* Reason;
};

class CompareRevisionsTest : public testing::TestWithParam<TRevisionCase> {};

TEST_P(CompareRevisionsTest, ComparesNumberByNumberOrNotAtAll)
{
    const TRevisionCase& c = GetParam();
    EXPECT_EQ(CompareRevisions(c.A, c.B), c.Order) << c.Reason;
    // The other way round: the opposite order, or again nothing.
    const std::optional<int> reversed = c.Order ? std::optional<int>(-*c.Order) : std::nullopt;
    EXPECT_EQ(CompareRevisions(c.B, c.A), reversed) << c.Reason << " (reversed)";
    EXPECT_EQ(IsOlderRevision(c.A, c.B), c.Order == 1) << c.Reason << " (B after A)";
}

const std::string kHuge = "123456789012345678901234567890";

INSTANTIATE_TEST_SUITE_P(
    Table, CompareRevisionsTest,
    testing::Values(
        TRevisionCase{"2.14.0", "2.16.0", -1, "the middle number decides"},
        TRevisionCase{"2.16.0", "2.14.0", 1, "a downgrade"},
        TRevisionCase{"2.9", "2.10", -1, "numbers, not texts: 9 < 10"},
        TRevisionCase{"2.10", "2.10", 0, "equal"},
        TRevisionCase{"1.0", "1.0.1", -1, "a missing number counts as 0"},
        TRevisionCase{"1.0", "1.0.0", 0, "trailing zeros change nothing"},
        TRevisionCase{"1.00", "1.0", 0, "leading zeros change nothing"},
        TRevisionCase{"007", "7", 0, "leading zeros of a single number"},
        TRevisionCase{"3", "2.99", 1, "a single number"},
        TRevisionCase{"0", "0.0.0.0", 0, "zero"},
        TRevisionCase{"1.0b", "1.0", std::nullopt, "a letter in a number"},
        TRevisionCase{"v2.1", "2.0", std::nullopt, "a prefix"},
        TRevisionCase{"N/A", "1.0", std::nullopt, "no revision"},
        TRevisionCase{"", "1.0", std::nullopt, "empty"},
        TRevisionCase{"", "", std::nullopt, "both empty"},
        TRevisionCase{"1..2", "1.0.2", std::nullopt, "an empty part"},
        TRevisionCase{"1.0.", "1.0", std::nullopt, "a trailing dot"},
        TRevisionCase{".1", "0.1", std::nullopt, "a leading dot"},
        TRevisionCase{" 1.0", "1.0", std::nullopt, "a blank"},
        TRevisionCase{"-1.0", "1.0", std::nullopt, "a sign"},
        TRevisionCase{"1.+2", "1.2", std::nullopt, "a plus sign"},
        TRevisionCase{kHuge + ".1", kHuge + ".2", -1, "numbers past 64 bits: no overflow"},
        TRevisionCase{kHuge, "9" + kHuge.substr(1), -1, "equal lengths past 64 bits"},
        TRevisionCase{"18446744073709551616", "18446744073709551615", 1, "2^64 against 2^64 - 1"},
        TRevisionCase{"4294967296", "4294967295", 1, "2^32 against 2^32 - 1"},
        TRevisionCase{"0000000000000000000000000001", "2", -1, "long only by its zeros"},
        TRevisionCase{std::string(5000, '9'), std::string(4999, '9'), 1, "very long"},
        TRevisionCase{std::string(2000, '1') + "." + std::string(2000, '1'),
                      std::string(2000, '1') + "." + std::string(2000, '1'), 0, "very long, equal"}));

TEST(IsOlderRevision, OnlyALowerRevisionAfterIsOlder)
{
    EXPECT_TRUE(IsOlderRevision("2.16.0", "2.14.0"));
    EXPECT_FALSE(IsOlderRevision("2.14.0", "2.16.0"));
    EXPECT_FALSE(IsOlderRevision("2.14.0", "2.14.0"));
    EXPECT_FALSE(IsOlderRevision("2.16.0", "2.14.0-rc1")) << "not comparable: no mark";
}

}  // namespace
