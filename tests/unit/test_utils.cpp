// Address text conversions: each parser's acceptance rules, as the protocol code relies on them.
#include "core/devices/utils.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using Ip = std::array<uint8_t, 4>;
using Mac = std::array<uint8_t, 6>;

TEST(FormatAddress, MacIsUpperCaseZeroPaddedAndIpIsDecimalInByteOrder)
{
    const uint8_t mac[6] = {0, 26, 43, 60, 77, 255};
    EXPECT_EQ(FormatMac(mac), "00:1A:2B:3C:4D:FF");
    const uint8_t letters[6] = {0xab, 0xcd, 0xef, 0x0a, 0xb0, 0x0f};
    EXPECT_EQ(FormatMac(letters), "AB:CD:EF:0A:B0:0F");

    const uint8_t ip[4] = {192, 168, 1, 10};
    EXPECT_EQ(FormatIp(ip), "192.168.1.10");
    const uint8_t high[4] = {255, 0, 128, 7};
    EXPECT_EQ(FormatIp(high), "255.0.128.7");  // bytes read as unsigned
}

struct TryParseIpCase {
    const char* Text;
    bool Ok;
    Ip Bytes;  // when Ok
    const char* Reason;
};

class TryParseIpTest : public testing::TestWithParam<TryParseIpCase> {};

TEST_P(TryParseIpTest, AcceptsLikeStrtolAndWritesOnlyOnSuccess)
{
    const TryParseIpCase& c = GetParam();
    Ip out{0x5A, 0x5A, 0x5A, 0x5A};
    EXPECT_EQ(TryParseIp(c.Text, out.data()), c.Ok) << c.Reason;
    const Ip untouched{0x5A, 0x5A, 0x5A, 0x5A};
    EXPECT_EQ(out, c.Ok ? c.Bytes : untouched) << c.Reason;
}

INSTANTIATE_TEST_SUITE_P(Table, TryParseIpTest, testing::Values(
    TryParseIpCase{"", true, {0, 0, 0, 0}, "the empty text is 0.0.0.0"},
    TryParseIpCase{"192.168.1.20", true, {192, 168, 1, 20}, "plain address"},
    TryParseIpCase{" 10. 0. 0. 1", true, {10, 0, 0, 1}, "a blank before each number is skipped"},
    TryParseIpCase{"\t10.\n0.\v0.\r1", true, {10, 0, 0, 1}, "strtol's white space, not only blanks"},
    TryParseIpCase{"1..2.3", true, {1, 0, 2, 3}, "an empty part counts 0"},
    TryParseIpCase{"1.2.3.", true, {1, 2, 3, 0}, "an empty fourth part counts 0"},
    TryParseIpCase{"1.2.3.4.5", true, {1, 2, 3, 4}, "text after the fourth number is ignored"},
    TryParseIpCase{"1.2.3.255x", true, {1, 2, 3, 255}, "255 is the largest part; trailing text ignored"},
    TryParseIpCase{"+1.2.3.4", true, {1, 2, 3, 4}, "a plus sign is allowed"},
    TryParseIpCase{"256.1.1.1", false, {}, "part above 255"},
    TryParseIpCase{"-1.2.3.4", false, {}, "negative part"},
    TryParseIpCase{"4294967296.1.1.1", false, {}, "2^32 must not wrap to 0"},
    TryParseIpCase{"1.2.3", false, {}, "only three parts"},
    TryParseIpCase{"   ", false, {}, "blanks alone: no digits, the position stays on a blank"},
    TryParseIpCase{"1 .2.3.4", false, {}, "a blank after a number is not a dot"}));

struct ParseIpCase {
    const char* Text;
    Ip Bytes;
    const char* Reason;
};

class ParseIpTest : public testing::TestWithParam<ParseIpCase> {};

TEST_P(ParseIpTest, StrictDigitsAndDotsElseAllOnes)
{
    const ParseIpCase& c = GetParam();
    Ip out{0x5A, 0x5A, 0x5A, 0x5A};
    ParseIp(c.Text, out.data());
    EXPECT_EQ(out, c.Bytes) << c.Reason;
}

constexpr Ip kFailed{0xFF, 0xFF, 0xFF, 0xFF};

INSTANTIATE_TEST_SUITE_P(Table, ParseIpTest, testing::Values(
    ParseIpCase{"192.168.1.10", {192, 168, 1, 10}, "plain address"},
    ParseIpCase{"192.168.001.010", {192, 168, 1, 10}, "leading zeros, still decimal"},
    ParseIpCase{"1.2.3.4x", {1, 2, 3, 4}, "any non-dot ends the text after the fourth number"},
    ParseIpCase{"10.0.0.5/24", {10, 0, 0, 5}, "a prefix length ends the text"},
    ParseIpCase{"1.2.3.4.", kFailed, "a dot after the fourth number"},
    ParseIpCase{" 1.2.3.4", kFailed, "no leading blank"},
    ParseIpCase{"+1.2.3.4", kFailed, "no sign"},
    ParseIpCase{"1000.1.1.1", kFailed, "above 255"},
    ParseIpCase{"256.0.0.1", kFailed, "256 is one too many"},
    ParseIpCase{"1.2.3.2560", kFailed, "stops reading above 255 and fails"},
    ParseIpCase{"", kFailed, "the empty text"},
    ParseIpCase{"1.2.3", kFailed, "three numbers"},
    ParseIpCase{"1..2.3", kFailed, "an empty part"}));

struct ParseMacCase {
    const char* Text;
    bool Ok;
    const char* Reason;
};

class ParseMacTest : public testing::TestWithParam<ParseMacCase> {};

TEST_P(ParseMacTest, SixHexPairsWithOptionalSingleSeparators)
{
    const ParseMacCase& c = GetParam();
    Mac out{};
    EXPECT_EQ(ParseMac(c.Text, out.data()), c.Ok ? 0 : -1) << c.Reason;
    if (c.Ok) {
        EXPECT_EQ(out, (Mac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E})) << c.Reason;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ParseMacTest, testing::Values(
    ParseMacCase{"00:1A:2B:3C:4D:5E", true, "colons"},
    ParseMacCase{"00-1a-2b-3c-4d-5e", true, "dashes and lower case"},
    ParseMacCase{"001A2B3C4D5E", true, "no separators"},
    ParseMacCase{"00:1A-2B3C:4D5E", true, "mixed and missing separators"},
    ParseMacCase{"00:1A:2B:3C:4D:5E:", true, "one separator after the sixth byte"},
    ParseMacCase{" \t\r\n00:1A:2B:3C:4D:5E", true, "leading white space is skipped"},
    ParseMacCase{"00:1A:2B:3C:4D:5E ", false, "trailing blank is left over"},
    ParseMacCase{"0:1A:2B:3C:4D:5E", false, "single first digit"},
    ParseMacCase{"00::1A:2B:3C:4D:5E", false, "two separators in a row"},
    ParseMacCase{"00:1A:2B:3C:4D:5E:6F", false, "a seventh byte is left over"},
    ParseMacCase{"00:1A:2B:3C:4D", false, "five bytes"},
    ParseMacCase{"0G:1A:2B:3C:4D:5E", false, "G is no hex digit"},
    ParseMacCase{"", false, "the empty text"}));

TEST(ParseMac, BytesBeforeTheFailureStayWritten)
{
    Mac out{0x11, 0x11, 0x11, 0x11, 0x11, 0x11};
    EXPECT_EQ(ParseMac("AB:CD:E", out.data()), -1);
    EXPECT_EQ(out, (Mac{0xAB, 0xCD, 0x11, 0x11, 0x11, 0x11}));
}

struct TextBetweenCase {
    const char* Text;
    const char* Expected;
    const char* Reason;
};

class TextBetweenTest : public testing::TestWithParam<TextBetweenCase> {};

TEST_P(TextBetweenTest, HeadingMarkers)
{
    const TextBetweenCase& c = GetParam();
    EXPECT_EQ(TextBetween(c.Text, "<h1>", "</h1>"), c.Expected) << c.Reason;
}

INSTANTIATE_TEST_SUITE_P(Table, TextBetweenTest, testing::Values(
    TextBetweenCase{"<html><body><h1>Upload OK</h1></body></html>", "Upload OK", "one heading"},
    TextBetweenCase{"<h1>Nahráno</h1>", "Nahráno", "multi-byte letters inside"},
    TextBetweenCase{"<h1>first</h1><h1>second</h1>", "first", "the first pair counts"},
    TextBetweenCase{"<h1>no end marker", "", "without an end marker the result is empty"},
    TextBetweenCase{"<h1></h1>", "", "nothing between the markers"},
    TextBetweenCase{"</h1> then <h1>late", "", "end marker before the start marker"},
    TextBetweenCase{"<H1>upper</H1>", "", "letter case counts"},
    TextBetweenCase{"abcdefgh</h1>", "defgh", "no start marker: the piece starts at position 4"},
    TextBetweenCase{"abc</h1>", "", "no start marker and too short a prefix"}));

TEST(Utf8Prefix, NeverEndsInsideACharacter)
{
    struct Case {
        std::string Text;
        size_t Max;
        std::string Expected;
        const char* Reason;
    };
    const std::string a29(29, 'a');
    const std::string a31(31, 'a');
    const Case cases[] = {
        {std::string(40, 'x'), 32, std::string(32, 'x'), "ASCII: cut at the limit exactly"},
        {"short", 32, "short", "a shorter text whole"},
        {a29 + "\xC4\x8D\xC5\x99\xC5\xBE", 32, a29 + "\xC4\x8D", "ř would be split after its first byte"},
        {a31 + "\xC4\x8D", 32, a31, "a two-byte letter across the limit"},
        {a29 + "\xC4\x8D" + "x", 32, a29 + "\xC4\x8D" + "x", "exactly 32 bytes"},
        {a29 + "\xE2\x82\xAC" + "x", 32, a29 + "\xE2\x82\xAC", "a three-byte sign ending at the limit"},
        {a31 + "\xE2\x82\xAC", 32, a31, "a three-byte sign after one byte"},
        {std::string(30, 'a') + "\xE2\x82\xAC", 32, std::string(30, 'a'), "a three-byte sign after two bytes"},
        {a29 + "\xF0\x9F\x98\x80", 32, a29, "a four-byte character after three bytes"},
        {std::string(28, 'a') + "\xF0\x9F\x98\x80" + "x", 32, std::string(28, 'a') + "\xF0\x9F\x98\x80",
         "a four-byte character ending at the limit"},
        {a31 + "\x80\x80", 32, a31 + "\x80", "stray continuation bytes: cut where they stand"},
        {std::string(28, 'a') + "\x80\x80\x80\x80\x80", 32, std::string(28, 'a') + "\x80\x80\x80\x80",
         "a run of stray continuation bytes is not taken for a character"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::string(Utf8Prefix(c.Text, c.Max)), c.Expected) << c.Reason;
}

} // namespace
