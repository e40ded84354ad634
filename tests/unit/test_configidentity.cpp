// Identity places of a device's configuration, the common file with a device's own values put
// back at them, and the grouping of a fleet's drift from a reference.
#include "core/app/i18n.h"
#include "core/config/drift.h"
#include "core/config/identity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TConfigDocument Read(const QByteArray& text) { return ReadConfig(text); }

const TDeviceIdentity kDevice{"00:0A:14:80:12:34", "10.0.0.5", "192.168.7.5", "Hall 1"};

class ConfigIdentity : public ::testing::Test {
protected:
    void SetUp() override { UseLanguage("en"); }
};

TEST_F(ConfigIdentity, PlacesHoldTheDevicesOwnValuesExactly)
{
    const TConfigDocument own = Read("<setup>\n"
                                     "  <network ip=\" 10.0.0.5 \" gw=\"10.0.0.1\" mask=\"255.255.255.0\">\n"
                                     "    <mac>000a14801234</mac>\n"
                                     "    <hw>00-0A-14-80-12-34</hw>\n"
                                     "    <answer>192.168.7.5</answer>\n"
                                     "    <ntp>10.0.0.50</ntp>\n"               // only begins with the address
                                     "    <url>http://10.0.0.5/</url>\n"         // only contains it
                                     "    <other>00:0A:14:80:12:35</other>\n"   // another MAC
                                     "  </network>\n"
                                     "  <name>Hall 1</name><title>Hall 1 north</title><loc>hall 1</loc>\n"
                                     "  <dns>N/A</dns><empty></empty>\n"
                                     "  <ports><port id=\"1\" host=\"10.0.0.5\"/><port id=\"2\" host=\"10.0.0.6\"/></ports>\n"
                                     "</setup>");
    ASSERT_TRUE(own.Ok) << own.Error;
    const std::vector<std::string> expected = {
        "/setup/network/@ip",   "/setup/network/mac", "/setup/network/hw", "/setup/network/answer",
        "/setup/name",          "/setup/ports/port[id=1]/@host",
        "/setup/snmp/location",  // the extra path, though this file lacks it
    };
    EXPECT_EQ(expected, IdentityPlaces(own, kDevice, {"/setup/snmp/location", "/setup/name", ""}));

    // A device that reports "N/A" or nothing for a value has no place for it.
    const TDeviceIdentity unknown{"", "N/A", "", "N/A"};
    EXPECT_TRUE(IdentityPlaces(own, unknown).empty());
    const TConfigDocument na = Read("<s><a>N/A</a><b></b></s>");
    EXPECT_TRUE(IdentityPlaces(na, unknown).empty());
    EXPECT_TRUE(IdentityPlaces(na, kDevice).empty());
}

TEST_F(ConfigIdentity, MarkIdentity)
{
    std::vector<TConfigDifference> differences = {
        {"/setup/network/ip", TDifferenceKind::Changed, "10.0.0.5", "10.0.0.6"},
        {"/setup/network", TDifferenceKind::OnlyLeft, "x", ""},
        {"/setup/name", TDifferenceKind::Changed, "Hall 1", "Hall 2"},
        {"/setup/snmp/community", TDifferenceKind::Changed, "public", "private"},
    };
    MarkIdentity(differences, {"/setup/network/ip", "/setup/name"});
    EXPECT_TRUE(differences[0].Identity);
    EXPECT_FALSE(differences[1].Identity);
    EXPECT_TRUE(differences[2].Identity);
    EXPECT_FALSE(differences[3].Identity);
}

// ---- Keeping a device's identity in a common file ----------------------------------------------------------

TEST_F(ConfigIdentity, KeepIdentityPutsOwnValuesBackAndNothingElse)
{
    const QByteArray common = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                              "<!-- the approved configuration -->\r\n"
                              "<setup>\r\n"
                              "\t<network  ip = '192.168.1.10'   mask=\"255.255.255.0\"/>\r\n"
                              "\t<name>\r\n      Common  \r\n\t</name>\r\n"
                              "\t<snmp><community>fleet</community><location><![CDATA[Room]]></location></snmp>\r\n"
                              "</setup>\r\n";
    const QByteArray ownBytes = "<setup><network ip=\"10.0.0.5\" mask=\"255.0.0.0\"/>"
                                "<name>Hall &amp; \"Dock\" &lt;1&gt; Žďár</name>"
                                "<snmp><community>old</community><location>a'b</location></snmp></setup>";
    const TConfigDocument own = Read(ownBytes);
    ASSERT_TRUE(own.Ok) << own.Error;
    const TKeptIdentity kept =
        KeepIdentity(common, own, {"/setup/network/@ip", "/setup/name", "/setup/snmp/location", "/setup/none"});
    ASSERT_TRUE(kept.Ok) << kept.Error;
    const QByteArray expected = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                                "<!-- the approved configuration -->\r\n"
                                "<setup>\r\n"
                                "\t<network  ip = '10.0.0.5'   mask=\"255.255.255.0\"/>\r\n"
                                "\t<name>\r\n      Hall &amp; &quot;Dock&quot; &lt;1&gt; \xC5\xBD\xC4\x8F\xC3\xA1r  \r\n\t</name>\r\n"
                                "\t<snmp><community>fleet</community><location>a&apos;b</location></snmp>\r\n"
                                "</setup>\r\n";
    EXPECT_EQ(expected, kept.Bytes);
    // Read back, it carries the device's values and the common ones.
    const TConfigDocument back = Read(kept.Bytes);
    ASSERT_TRUE(back.Ok) << back.Error;
    EXPECT_EQ("Hall & \"Dock\" <1> Žďár", back.Root.Children.at(1).Text);
    EXPECT_EQ("10.0.0.5", back.Root.Children.at(0).Attributes.at(0).Value);
    EXPECT_EQ("255.255.255.0", back.Root.Children.at(0).Attributes.at(1).Value);

    // Nothing to change: the same bytes.
    const TKeptIdentity same = KeepIdentity(common, Read(common), {"/setup/network/@ip", "/setup/name"});
    ASSERT_TRUE(same.Ok) << same.Error;
    EXPECT_EQ(common, same.Bytes);
}

TEST_F(ConfigIdentity, KeepIdentityInWindows1250)
{
    // "Společná" in windows-1250, a quote in an attribute.
    const QByteArray common = "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n"
                              "<setup><name>Spole\xE8n\xE1</name><unit label=\"x\" ip=\"192.168.1.10\"/></setup>\n";
    const TConfigDocument own = Read("<setup><name>Čidlo \"Sever\"</name><unit ip=\"10.0.0.5\" label=\"y\"/></setup>");
    ASSERT_TRUE(own.Ok) << own.Error;
    const TKeptIdentity kept = KeepIdentity(common, own, {"/setup/name", "/setup/unit/@ip"});
    ASSERT_TRUE(kept.Ok) << kept.Error;
    EXPECT_EQ(QByteArray("<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n"
                         "<setup><name>\xC8idlo &quot;Sever&quot;</name><unit label=\"x\" ip=\"10.0.0.5\"/></setup>\n"),
              kept.Bytes);
    const TConfigDocument back = Read(kept.Bytes);
    ASSERT_TRUE(back.Ok) << back.Error;
    EXPECT_EQ("Čidlo \"Sever\"", back.Root.Children.at(0).Text);

    // A value the encoding cannot hold.
    const TConfigDocument japanese = Read("<setup><name>倉庫</name></setup>");
    const TKeptIdentity refused = KeepIdentity(common, japanese, {"/setup/name"});
    EXPECT_FALSE(refused.Ok);
    EXPECT_EQ("The value \"倉庫\" at /setup/name cannot be written in the encoding windows-1250.", refused.Error);
}

TEST_F(ConfigIdentity, KeepIdentityRefusesWhatItCannotKeep)
{
    const QByteArray common = "<setup><name>Common</name><ip/><pieces>a<b/>c</pieces></setup>";
    const struct {
        const char* Why;
        QByteArray Own;
        std::string Place;
        std::string Error;
    } cases[] = {
        {"the common file lacks the place", "<setup><host>h1</host></setup>", "/setup/host",
         "The common file has no /setup/host to take the device's own value."},
        {"the device's file lacks the place", "<setup/>", "/setup/name",
         "The device's own configuration has no /setup/name to keep."},
        {"an element written <x/>", "<setup><ip>10.0.0.5</ip></setup>", "/setup/ip",
         "The common file has no room for a value at /setup/ip."},
        {"text in pieces", "<setup><pieces>z</pieces></setup>", "/setup/pieces",
         "The common file has no room for a value at /setup/pieces."},
    };
    for (const auto& c : cases) {
        const TKeptIdentity kept = KeepIdentity(common, Read(c.Own), {c.Place});
        EXPECT_FALSE(kept.Ok) << c.Why;
        EXPECT_EQ(c.Error, kept.Error) << c.Why;
    }
    const TKeptIdentity broken = KeepIdentity("<setup>", Read("<setup/>"), {"/setup/name"});
    EXPECT_FALSE(broken.Ok);
    EXPECT_EQ(0u, broken.Error.rfind("The common file cannot be read: Not well-formed XML at line 1", 0)) << broken.Error;
    // A place neither file has is nothing to keep.
    const TKeptIdentity neither = KeepIdentity(common, Read("<setup/>"), {"/setup/snmp/location"});
    ASSERT_TRUE(neither.Ok) << neither.Error;
    EXPECT_EQ(common, neither.Bytes);
}

// ---- Drift ------------------------------------------------------------------------------------------------------

TEST(ConfigDrift, GroupsBySharedDifferencesWithoutIdentity)
{
    const TConfigDifference ip{"/setup/ip", TDifferenceKind::Changed, "10.0.0.1", "10.0.0.9", true};
    const TConfigDifference community{"/setup/snmp/community", TDifferenceKind::Changed, "public", "private"};
    const TConfigDifference community2{"/setup/snmp/community", TDifferenceKind::Changed, "public", "secret"};
    const TConfigDifference extra{"/setup/extra", TDifferenceKind::OnlyRight, "", "1"};
    const auto device = [](std::vector<TConfigDifference> d) {
        TDriftDevice out;
        out.Read = true;
        out.Differences = std::move(d);
        return out;
    };
    TDriftDevice unreadable;
    unreadable.Error = "Connection refused";
    const std::vector<TDriftDevice> devices = {
        device({ip, community}),     // 0
        device({}),                  // 1 matches
        device({community2}),        // 2
        device({community, ip}),     // 3 same as 0 (identity left out)
        unreadable,                  // 4
        device({ip}),                // 5 matches apart from identity
        device({extra, community}),  // 6 same set as 7, other order
        device({community, extra}),  // 7
        device({community}),         // 8 same as 0
    };
    const TDrift drift = GroupDrift(devices);
    ASSERT_EQ(4u, drift.Groups.size());
    EXPECT_EQ((std::vector<size_t>{1, 5}), drift.Groups[0].Devices);
    EXPECT_TRUE(drift.Groups[0].Differences.empty());
    EXPECT_EQ((std::vector<size_t>{0, 3, 8}), drift.Groups[1].Devices);
    EXPECT_EQ(std::vector<TConfigDifference>{community}, drift.Groups[1].Differences);
    EXPECT_EQ((std::vector<size_t>{6, 7}), drift.Groups[2].Devices);
    EXPECT_EQ((std::vector<TConfigDifference>{extra, community}), drift.Groups[2].Differences);
    EXPECT_EQ((std::vector<size_t>{2}), drift.Groups[3].Devices);
    EXPECT_EQ(std::vector<size_t>{4}, drift.Unreadable);

    // With no device matching, the largest group comes first.
    const TDrift none = GroupDrift({device({community2}), device({community}), device({community})});
    ASSERT_EQ(2u, none.Groups.size());
    EXPECT_EQ((std::vector<size_t>{1, 2}), none.Groups[0].Devices);
    EXPECT_TRUE(none.Unreadable.empty());
}

}  // namespace
