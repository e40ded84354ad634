// The address list of a search on other subnets: forms, refusals and the limit.
#include "core/devices/addressspec.h"
#include "core/devices/netinterfaces.h"

#include <gtest/gtest.h>

namespace {
std::vector<std::string> Texts(const std::vector<uint32_t>& addresses)
{
    std::vector<std::string> texts;
    for (const uint32_t a : addresses)
        texts.push_back(AddressText(a));
    return texts;
}
} // namespace

TEST(AddressSpec, AddressesRangesAndBlocks)
{
    const TAddressSpecs specs = ParseAddressSpecs(" 10.1.2.3,10.1.2.9-10.1.2.11;\n10.1.3.254-255 10.2.0.0/30\t");
    ASSERT_TRUE(specs.Ok()) << specs.Error;
    EXPECT_EQ(Texts(specs.Addresses),
              (std::vector<std::string>{"10.1.2.3", "10.1.2.9", "10.1.2.10", "10.1.2.11", "10.1.3.254", "10.1.3.255",
                                        "10.2.0.0", "10.2.0.1", "10.2.0.2", "10.2.0.3"}));
    // A block written from an address inside it means the whole block; duplicates go once.
    EXPECT_EQ(Texts(ParseAddressSpecs("10.2.0.2/31 10.2.0.3 10.2.0.2").Addresses),
              (std::vector<std::string>{"10.2.0.2", "10.2.0.3"}));
    EXPECT_EQ(ParseAddressSpecs("10.9.0.0/16").Addresses.size(), 65536u);
    EXPECT_EQ(Texts(ParseAddressSpecs("10.9.8.7/32").Addresses), std::vector<std::string>{"10.9.8.7"});
}

TEST(AddressSpec, BadSpecsAreAllNamed)
{
    const TAddressSpecs specs =
        ParseAddressSpecs("10.1.2.3 10.1.2 10.1.2.50-10.1.2.10 10.1.2.0/33 x 127.0.0.1 224.0.0.1 10.1.2.3-300 0.1.2.3/24");
    EXPECT_FALSE(specs.Ok());
    EXPECT_EQ(specs.Bad, (std::vector<std::string>{"10.1.2", "10.1.2.50-10.1.2.10", "10.1.2.0/33", "x", "127.0.0.1",
                                                   "224.0.0.1", "10.1.2.3-300", "0.1.2.3/24"}));
    EXPECT_EQ(specs.Error, "Not an address, range or CIDR block: 10.1.2, 10.1.2.50-10.1.2.10, 10.1.2.0/33, x, "
                           "127.0.0.1, 224.0.0.1, 10.1.2.3-300, 0.1.2.3/24");
    EXPECT_TRUE(specs.Addresses.empty());
    EXPECT_EQ(ParseAddressSpecs(" , ;\n").Error, "No address given.");
}

TEST(AddressSpec, AtMost65536Addresses)
{
    EXPECT_TRUE(ParseAddressSpecs("10.9.0.0/16 10.9.4.4").Ok()) << "a duplicate does not count twice";
    const TAddressSpecs one = ParseAddressSpecs("10.9.0.0/16 10.10.0.0");
    EXPECT_FALSE(one.Ok());
    EXPECT_EQ(one.Error, "65537 addresses in one search; at most 65536 are allowed.");
    EXPECT_TRUE(one.Addresses.empty());
    const TAddressSpecs huge = ParseAddressSpecs("10.0.0.0/8");
    EXPECT_EQ(huge.Error, "16777216 addresses in one search; at most 65536 are allowed.");
    EXPECT_FALSE(ParseAddressSpecs("1.0.0.0-223.255.255.255").Ok());
}
