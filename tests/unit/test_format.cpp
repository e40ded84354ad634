#include "core/log/format.h"

#include <gtest/gtest.h>

TEST(Format, HexIsUpperCaseAndPaddingNeverCuts)
{
    EXPECT_EQ(Format("%2.2x:%x", 0xab, 255), "AB:FF");
    EXPECT_EQ(Format("%-5s|", "ab"), "ab   |");
    EXPECT_EQ(Format("%-3s|", "abcdef"), "abcdef|");
    EXPECT_EQ(Format("100%% %d", 7), "100% 7");
    EXPECT_EQ(Format("%s", std::string(300, 'x').c_str()).size(), 300u);
}
