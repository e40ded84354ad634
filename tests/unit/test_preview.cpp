// The preview before a write, from bytes in memory: the differences per device with its identity
// places marked, a common file that would move the devices' addresses and names, each device's
// own body when it keeps its identity, and the devices that could not be read or are not written.
#include "coreapp.h"
#include "logcapture.h"

#include "core/app/i18n.h"
#include "core/http/preview.h"

#include <gtest/gtest.h>

namespace {
QByteArray Own(const char* ip, const char* name, const char* community)
{
    return QByteArray("<?xml version=\"1.0\"?>\n<setup>\n  <network><ip>") + ip + "</ip><mask>255.255.255.0</mask></network>\n"
        + "  <name>" + name + "</name>\n  <snmp community=\"" + community + "\"/>\n</setup>\n";
}

TDeviceResult Fetched(const QByteArray& config, const std::string& version = "")
{
    TDeviceResult result;
    result.Ok = true;
    result.Config = config;
    result.HistoryVersion = version;
    return result;
}

TDeviceResult NotFetched(const std::string& error)
{
    TDeviceResult result;
    result.Error = error;
    return result;
}

TPreviewTarget Target(const QByteArray& bytes)
{
    TPreviewTarget target;
    target.Found = true;
    target.Bytes = bytes;
    return target;
}

class Preview : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        UseLanguage("en");
    }
    const std::vector<TBatchDevice> Devices = {{"Alpha", "10.0.0.5", "00:0A:14:1E:28:32"},
                                               {"Bravo", "10.0.0.6", "00:0A:14:1E:28:33"},
                                               {"Gone", "10.0.0.7", "00:0A:14:1E:28:34"}};
    const QByteArray Common = Own("192.168.1.10", "Common", "private");
};
}  // namespace

TEST_F(Preview, ACommonFileThatCarriesAnAddressChangesIdentityPlaces)
{
    TPreviewInput input;
    input.Devices = Devices;
    input.Fetched = {Fetched(Own("10.0.0.5", "Alpha", "public"), "20261210T101500Z"),
                     Fetched(Own("10.0.0.6", "Bravo", "private")), NotFetched("Connection refused")};
    input.Targets = {Target(Common)};
    const TPreview preview = BuildPreview(input);
    ASSERT_EQ(preview.Devices.size(), 3u);
    EXPECT_TRUE(preview.ChangesIdentity);
    EXPECT_EQ(preview.Unreadable, 1);

    const TPreviewDevice& alpha = preview.Devices[0];
    EXPECT_TRUE(alpha.Read);
    EXPECT_TRUE(alpha.Write);
    EXPECT_EQ(alpha.Differences.size(), 3u);
    ASSERT_EQ(alpha.IdentityChanges.size(), 2u);
    EXPECT_EQ(IdentityChangeText(alpha.IdentityChanges[0], alpha.Identity), "IP address 10.0.0.5 → 192.168.1.10");
    EXPECT_EQ(IdentityChangeText(alpha.IdentityChanges[1], alpha.Identity), "Name Alpha → Common");
    EXPECT_EQ(PreviewDeviceSummary(alpha), "Alpha  (10.0.0.5): 3 differences, 2 identity places would change");
    EXPECT_EQ(alpha.HistoryVersion, "20261210T101500Z");

    const TPreviewDevice& bravo = preview.Devices[1];
    EXPECT_EQ(bravo.Differences.size(), 2u) << "its community is the common one already";
    EXPECT_EQ(bravo.IdentityChanges.size(), 2u);

    const TPreviewDevice& gone = preview.Devices[2];
    EXPECT_FALSE(gone.Read);
    EXPECT_EQ(gone.ReadError, "Connection refused");
    EXPECT_TRUE(gone.Differences.empty());
    EXPECT_EQ(PreviewDeviceSummary(gone), "Gone  (10.0.0.7): could not be read: Connection refused");
    // Without keeping identity every device is written as before: the batch reports its own failures.
    EXPECT_EQ(PreviewRefusals(preview), std::vector<std::string>(3));
    EXPECT_EQ(PreviewBodies(preview), std::vector<QByteArray>(3));

    const std::vector<std::string> lines = PreviewLines(preview);
    const std::vector<std::string> expected = {
        "Alpha  (10.0.0.5): 3 differences, 2 identity places would change",
        "  ! IP address 10.0.0.5 → 192.168.1.10",
        "  ! Name Alpha → Common",
        "  /setup/snmp/@community: public → private",
        "Bravo  (10.0.0.6): 2 differences, 2 identity places would change",
        "  ! IP address 10.0.0.6 → 192.168.1.10",
        "  ! Name Bravo → Common",
        "Gone  (10.0.0.7): could not be read: Connection refused"};
    EXPECT_EQ(lines, expected);

    // Identity values told apart: the MAC in another form, and an extra place named by its path.
    const TDeviceIdentity identity{"00:0A:14:1E:28:32", "10.0.0.5", "10.0.0.9", "Alpha"};
    EXPECT_EQ(IdentityChangeText({"/setup/mac", TDifferenceKind::Changed, "000a141e2832", "00:00:00:00:00:01", true},
                                 identity),
              "MAC address 000a141e2832 → 00:00:00:00:00:01");
    EXPECT_EQ(IdentityChangeText({"/setup/peer", TDifferenceKind::Changed, "10.0.0.9", "1.2.3.4", true}, identity),
              "IP address 10.0.0.9 → 1.2.3.4");
    EXPECT_EQ(IdentityChangeText({"/setup/loc", TDifferenceKind::OnlyLeft, "Hall", "", true}, identity),
              "/setup/loc: Hall → (none)");
}

TEST_F(Preview, KeepingEachDevicesIdentitySendsItsOwnBodyOrNone)
{
    TPreviewInput input;
    input.Devices = Devices;
    input.Fetched = {Fetched(Own("10.0.0.5", "Alpha", "public")), Fetched(Own("10.0.0.6", "Bravo", "public")),
                     NotFetched(SharedAddressRefusal("10.0.0.7", 1))};
    input.Targets = {Target(Common)};
    input.KeepIdentity = true;
    const TPreview preview = BuildPreview(input);
    ASSERT_EQ(preview.Devices.size(), 3u);
    EXPECT_TRUE(preview.ChangesIdentity) << "what the plain file would do";

    for (size_t i = 0; i < 2; ++i) {
        const TPreviewDevice& device = preview.Devices[i];
        EXPECT_TRUE(device.Write) << i;
        EXPECT_TRUE(device.IdentityChanges.empty()) << i;
        ASSERT_EQ(device.Differences.size(), 1u) << i;
        EXPECT_EQ(device.Differences[0].Path, "/setup/snmp/@community");
    }
    EXPECT_EQ(preview.Devices[0].Body, Own("10.0.0.5", "Alpha", "private")) << "every other byte as the file has it";
    EXPECT_EQ(preview.Devices[1].Body, Own("10.0.0.6", "Bravo", "private"));

    const TPreviewDevice& twin = preview.Devices[2];
    EXPECT_FALSE(twin.Write);
    EXPECT_NE(twin.NotWritten.find(SharedAddressRefusal("10.0.0.7", 1)), std::string::npos) << twin.NotWritten;
    const std::vector<QByteArray> bodies = PreviewBodies(preview);
    EXPECT_EQ(bodies[0], preview.Devices[0].Body);
    EXPECT_TRUE(bodies[2].isNull());
    const std::vector<std::string> refusals = PreviewRefusals(preview);
    EXPECT_EQ(refusals[0], "");
    EXPECT_EQ(refusals[2], twin.NotWritten);

    // A value the common file's encoding cannot hold: that device is not written.
    TPreviewInput latin = input;
    latin.Devices.resize(1);
    latin.Fetched = {Fetched(QByteArray("<?xml version=\"1.0\"?>\n<setup><name>Čerpadlo</name></setup>\n"))};
    latin.Devices[0].Name = "Čerpadlo";
    latin.Targets = {Target("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<setup><name>Pump</name></setup>\n")};
    const TPreview held = BuildPreview(latin);
    ASSERT_EQ(held.Devices.size(), 1u);
    EXPECT_FALSE(held.Devices[0].Write);
    EXPECT_EQ(held.Devices[0].NotWritten.rfind("Not written: ", 0), 0u) << held.Devices[0].NotWritten;
}

TEST_F(Preview, RestoreOfEachDevicesOwnFileAndTheVersionBeforeTheWrite)
{
    TPreviewInput input;
    input.Devices = {Devices[0], Devices[1]};
    input.Fetched = {Fetched(Own("10.0.0.5", "Alpha", "public"), "20261210T101500Z"),
                     Fetched("<setup><name>Bravo</setup>", "20261210T101501Z")};
    TPreviewTarget missing;
    missing.Error = "Configuration not found";
    input.Targets = {Target(Own("10.0.0.5", "Alpha", "private")), missing};
    const TPreview preview = BuildPreview(input);
    ASSERT_EQ(preview.Devices.size(), 2u);
    EXPECT_FALSE(preview.ChangesIdentity) << "one file per device is not a common file";
    EXPECT_EQ(preview.Devices[0].Differences.size(), 1u);
    EXPECT_FALSE(preview.Devices[1].Read) << "not well-formed";
    EXPECT_FALSE(preview.Devices[1].Write);
    EXPECT_EQ(preview.Devices[1].NotWritten, "Configuration not found");

    // A current configuration that is not well-formed is compared line by line.
    TPreviewInput broken = input;
    broken.Targets = {Target(Own("10.0.0.5", "Alpha", "private"))};
    const TPreview lines = BuildPreview(broken);
    EXPECT_TRUE(lines.Devices[1].LineCompare);
    EXPECT_FALSE(lines.Devices[1].Differences.empty());
    EXPECT_EQ(lines.Unreadable, 1);

    EXPECT_EQ(VersionBeforeWriteLine(preview.Devices[0]),
              "Configuration of 10.0.0.5 before the write: history version 20261210T101500Z of 000A141E2832.");
    TPreviewDevice none = preview.Devices[0];
    none.HistoryVersion.clear();
    EXPECT_EQ(VersionBeforeWriteLine(none), "");
    TLogCapture log;
    LogVersionsBeforeWrite(preview);
    ASSERT_EQ(log.Lines().size(), 1u) << "the device not written logs none";
    EXPECT_EQ(log.Message(0), VersionBeforeWriteLine(preview.Devices[0]));
}
