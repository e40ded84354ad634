// Column orderings of the device list.
#include "core/devices/sorting.h"
#include "czechlocale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {
TProductInfo WithIp(const std::string& ip)
{
    TProductInfo info;
    info.IP = ip;
    info.PeerIP = "10.0.0.1";
    return info;
}
} // namespace

TEST(Sorting, IpKeyReadsAddressesLikeInetAddr)
{
    struct {
        const char* Text;
        uint32_t Key;
        const char* Why;
    } const rows[] = {
        {"192.168.1.20", 0xC0A80114, "plain dotted quad, first number most significant"},
        {"255.255.255.254", 0xFFFFFFFE, "one below the no-address key"},
        {"10.1", 0x0A000001, "short form: last number fills the rest"},
        {"0x0A.1.2.3", 0x0A010203, "hexadecimal part"},
        {"N/A", 0xFFFFFFFF, "device without an address"},
        {"", 0xFFFFFFFF, "empty text"},
        {"256.1.1.1", 0xFFFFFFFF, "part out of range"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(IpSortKey(r.Text), r.Key) << r.Why << ": \"" << r.Text << '"';
}

TEST(Sorting, IpComparesNumbersNotTextAndUsesTheConfiguredAddress)
{
    const TProductInfo a = WithIp("192.168.1.20"), b = WithIp("192.168.2.10"), none = WithIp("N/A");
    EXPECT_EQ(CompareIp(a, b, true), -1) << "as text \"192.168.2.10\" < \"192.168.1.20\" would be wrong";
    EXPECT_EQ(CompareIp(a, b, false), 1);
    EXPECT_EQ(CompareIp(b, a, true), 1);
    EXPECT_EQ(CompareIp(none, b, true), 1) << "no address sorts after every address";
    EXPECT_EQ(CompareIp(none, WithIp("255.255.255.255"), true), 0) << "same key as the broadcast address";
    EXPECT_EQ(CompareIp(a, a, false), 0);

    TProductInfo peerDiffers = WithIp("192.168.1.20");
    peerDiffers.PeerIP = "1.1.1.1";
    EXPECT_EQ(CompareIp(a, peerDiffers, true), 0) << "the sender address plays no part";
}

TEST(Sorting, TextColumnsPickTheirFieldAndDirection)
{
    struct {
        TDeviceComparator Compare;
        std::string TProductInfo::*Field;
        const char* Column;
    } const columns[] = {
        {CompareType, &TProductInfo::TypeName, "Type"},
        {CompareName, &TProductInfo::Name, "Name"},
        {CompareMac, &TProductInfo::MAC, "MAC"},
        {CompareRev, &TProductInfo::FirmwareRev, "Firmware Rev."},
    };
    for (const auto& c : columns) {
        SCOPED_TRACE(c.Column);
        TProductInfo a, b;
        // Every other text field orders the other way, so a comparator reading the wrong field fails.
        for (auto field : {&TProductInfo::TypeName, &TProductInfo::Name, &TProductInfo::MAC, &TProductInfo::FirmwareRev}) {
            a.*field = "Zulu";
            b.*field = "Alpha";
        }
        a.*c.Field = "Alpha";
        b.*c.Field = "Bravo";
        EXPECT_EQ(c.Compare(a, b, true), -1);
        EXPECT_EQ(c.Compare(a, b, false), 1);
        EXPECT_EQ(c.Compare(b, a, true), 1);
        EXPECT_EQ(c.Compare(a, a, true), 0);
        b.*c.Field = "alpha";
        EXPECT_NE(c.Compare(a, b, true), 0) << "letter case counts";
    }
}

TEST(Sorting, TextColumnsFollowTheUsersCollation)
{
    TCzechLocale czech;
    ASSERT_TRUE(czech.Available) << TCzechLocale::kMissing;
    const struct {
        TDeviceComparator Compare;
        std::string TProductInfo::*Field;
        const char* Column;
    } columns[] = {
        {CompareType, &TProductInfo::TypeName, "Type"},
        {CompareName, &TProductInfo::Name, "Name"},
        {CompareMac, &TProductInfo::MAC, "MAC"},
        {CompareRev, &TProductInfo::FirmwareRev, "Firmware Rev."},
    };
    for (const auto& c : columns) {
        SCOPED_TRACE(c.Column);
        std::vector<TProductInfo> rows(3);
        // Byte order would put "Čidlo" (C4 8C) after "Dvůr".
        rows[0].*c.Field = "Dvůr";
        rows[1].*c.Field = "Čidlo";
        rows[2].*c.Field = "Cesta";
        auto sorted = [&](bool ascending) {
            std::sort(rows.begin(), rows.end(), [&](const TProductInfo& a, const TProductInfo& b) {
                return c.Compare(a, b, ascending) < 0;
            });
            std::vector<std::string> texts;
            for (const TProductInfo& row : rows)
                texts.push_back(row.*c.Field);
            return texts;
        };
        EXPECT_EQ(sorted(true), (std::vector<std::string>{"Cesta", "Čidlo", "Dvůr"}));
        EXPECT_EQ(sorted(false), (std::vector<std::string>{"Dvůr", "Čidlo", "Cesta"}));
    }
}
