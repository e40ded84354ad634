// Units that share their address: which answers of a cycle make a unit share (another MAC from
// the same sender address; every answer of the cycle, whatever a filter shows), the reason it is
// given, and the batches, which start no transfer for it and still serve the unit alone.
#include "../fakeupgrade.h"
#include "logcapture.h"
#include "plandevices.h"

#include "core/app/i18n.h"
#include "core/devices/registry.h"
#include "core/devices/sharedaddress.h"
#include "core/http/batch.h"
#include "core/http/http.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<TProduct> Device(int type, const std::string& name, const std::string& mac, const std::string& peer)
{
    auto d = std::make_unique<TSilent<TProductOrvex>>();
    d->Info.TypeCode = type;
    d->Info.Name = name;
    d->Info.MAC = mac;
    d->Info.PeerIP = peer;
    d->Info.IP = peer;
    d->Info.FirmwareRev = "1.0";
    return d;
}

const TProductTable kOrvexTable = {"1=Orvex+Relay", "3=Orvex+Sensor"};
const TProductTable kHwgTable = {"1=Poseidon+2261"};

class TRecordedLines : public TProgressLines {
public:
    void AddLine(const std::string& text) override { Lines.push_back(text); }
    void ReplaceLine(const std::string& text) override
    {
        if (!Lines.empty())
            Lines.back() = text;
    }
    void EndDevice(const std::string& failure) override { Failures.push_back(failure); }
    std::vector<std::string> Lines;
    std::vector<std::string> Failures;
};

}  // namespace

TEST(SharedAddress, WhoSharesWithHowMany)
{
    const struct {
        std::vector<TIpClaim> Answers;
        std::vector<int> Others;
        const char* Why;
    } cases[] = {
        {{{"192.168.1.80", "00:0A:14:00:00:01"}}, {0}, "a unit alone"},
        {{{"192.168.1.80", "00:0A:14:00:00:01"}, {"192.168.1.80", "00:0a:14:00:00:01"}},
         {0, 0},
         "one unit answering through both families (one MAC, its letters in either case) shares with nobody"},
        {{{"192.168.1.80", "00:0A:14:00:00:01"}, {"192.168.1.80", "00:0A:14:00:00:02"}}, {1, 1}, "two units"},
        {{{"192.168.1.80", "00:0A:14:00:00:01"},
          {"192.168.1.81", "00:0A:14:00:00:09"},
          {"192.168.1.80", "00:0A:14:00:00:02"},
          {"192.168.1.80", "00:0A:14:00:00:03"},
          {"192.168.1.80", "00:0A:14:00:00:02"}},
         {2, 0, 2, 2, 2},
         "three units on one address (one of them twice) and one beside them"},
        {{{"10.0.0.1", "00:0A:14:00:00:01"}, {"10.0.0.2", "00:0A:14:00:00:01"}},
         {0, 0},
         "one MAC on two addresses: each address has one unit"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AddressSharers(c.Answers), c.Others) << c.Why;
}

// The registry holds every answer of the cycle: what a type filter, a search, --type or --family
// hides later still counts, and a unit listed through both families (two rows, one MAC) does not.
TEST(SharedAddress, EveryAnswerOfTheCycleCounts)
{
    TDeviceRegistry list;
    list.AddDevice(Device(1, "Orvex device", "00:0A:14:00:00:01", "192.168.1.80"), kOrvexTable, nullptr);
    list.AddDevice(Device(3, "Orvex device", "00:0A:14:00:00:02", "192.168.1.80"), kOrvexTable, nullptr);
    list.AddDevice(Device(3, "Orvex device", "00:0A:14:00:00:03", "192.168.1.80"), kOrvexTable, nullptr);
    list.AddDevice(Device(1, "Boiler", "00:0A:14:00:00:04", "192.168.1.81"), kOrvexTable, nullptr);
    list.AddDevice(Device(1, "Boiler", "00:0A:14:00:00:04", "192.168.1.81"), kHwgTable, nullptr);
    ASSERT_EQ(list.DeviceList().size(), 5u);

    const TAddressSharers sharing = AddressSharers(list);
    std::map<std::string, std::vector<int>> byMac;
    for (const TDeviceEntry& entry : list.DeviceList())
        byMac[entry.Device->Info.MAC].push_back(SharersOf(sharing, entry.Device.get()));
    // The one of type 1 shares with the two of type 3, shown or not.
    EXPECT_EQ(byMac["00:0A:14:00:00:01"], std::vector<int>{2});
    EXPECT_EQ(byMac["00:0A:14:00:00:02"], std::vector<int>{2});
    EXPECT_EQ(byMac["00:0A:14:00:00:03"], std::vector<int>{2});
    EXPECT_EQ(byMac["00:0A:14:00:00:04"], (std::vector<int>{0, 0})) << "both rows of the unit alone";
    EXPECT_EQ(sharing.size(), 3u) << "only the units that share are listed";
    EXPECT_EQ(SharersOf(sharing, nullptr), 0);
}

// A unit a watch has marked gone shares with nobody: its old address may be another's now.
TEST(SharedAddress, UnitsAwayCountForNoOne)
{
    TDeviceRegistry list;
    list.AddDevice(Device(1, "Gone", "00:0A:14:00:00:01", "192.168.1.80"), kOrvexTable, nullptr);
    list.AddDevice(Device(3, "Here", "00:0A:14:00:00:02", "192.168.1.80"), kOrvexTable, nullptr);
    list.AddDevice(Device(3, "There", "00:0A:14:00:00:03", "192.168.1.80"), kOrvexTable, nullptr);
    const auto away = [](const TProduct& device) { return device.Info.Name == "Gone"; };
    const TAddressSharers sharing = AddressSharers(list, away);
    std::map<std::string, int> byName;
    for (const TDeviceEntry& entry : list.DeviceList())
        byName[entry.Device->Info.Name] = SharersOf(sharing, entry.Device.get());
    EXPECT_EQ(byName, (std::map<std::string, int>{{"Gone", 0}, {"Here", 1}, {"There", 1}}));
    EXPECT_EQ(SharersOf(AddressSharers(list), list.DeviceList()[0].Device.get()), 2);
}

TEST(SharedAddress, TheReasonCountsTheOthers)
{
    UseLanguage("en");
    EXPECT_EQ(SharedAddressRefusal("192.168.1.80", 2),
              "Shares 192.168.1.80 with 2 other devices; give each its own address first (Actions → Set Up Checked "
              "Devices...)");
    EXPECT_EQ(SharedAddressRefusal("10.0.0.7", 1),
              "Shares 10.0.0.7 with 1 other device; give each its own address first (Actions → Set Up Checked "
              "Devices...)");
}

// The batches over two units that share 127.0.0.5 (a web server there would take whatever came)
// and one alone at 127.0.0.6: the two are not started, each block says why and names its MAC,
// the log has the reason as an error, and the one alone is upgraded as ever.
TEST(SharedAddress, BatchesStartNothingForUnitsThatShare)
{
    UseLanguage("en");
    const std::string image = testing::TempDir() + "shared-image.kri";
    std::ofstream(image, std::ios::binary) << std::string(2000, 'K');
    TFakeUpgradeDevice shared("127.0.0.5", TFakeUpgradeDevice::TAfter::NewRevision);
    TFakeUpgradeDevice alone("127.0.0.6", TFakeUpgradeDevice::TAfter::NewRevision);
    ASSERT_TRUE(shared.Listening && alone.Listening);
    const std::vector<TBatchDevice> devices = {
        {.Name = "Unit", .PeerIP = "127.0.0.5", .MAC = "00:0A:14:00:00:01", .SharesWith = 1},
        {.Name = "Alone", .PeerIP = "127.0.0.6", .MAC = "00:0A:14:00:00:03"},
        {.Name = "Unit", .PeerIP = "127.0.0.5", .MAC = "00:0A:14:00:00:02", .SharesWith = 1}};
    const std::string reason =
        "Shares 127.0.0.5 with 1 other device; give each its own address first (Actions → Set Up Checked Devices...)";
    const std::string separator(42, '-');

    TLogCapture log;
    THTTPModule http;
    TRecordedLines lines;
    TTransferBatch batch(http, lines);
    const std::vector<TDeviceResult> results = batch.Upgrade(devices, image);
    std::remove(image.c_str());

    EXPECT_EQ(lines.Lines,
              (std::vector<std::string>{"Unit  (127.0.0.5)", reason, "Upgrade Failed (00:0A:14:00:00:01)", separator,
                                        "Alone  (127.0.0.6)", "Upgrade successful.", "Upgrade Succeeded", separator,
                                        "Unit  (127.0.0.5)", reason, "Upgrade Failed (00:0A:14:00:00:02)", separator,
                                        "Processes Summary:", "Successful: 1", "Unsuccessful: 2"}));
    EXPECT_EQ(lines.Failures, (std::vector<std::string>{reason, "", reason}));
    ASSERT_EQ(results.size(), 3u);
    EXPECT_FALSE(results[0].Ok);
    EXPECT_EQ(results[0].Error, reason);
    EXPECT_EQ(results[0].Host, "127.0.0.5");
    EXPECT_FALSE(results[0].NeedsLogin);
    EXPECT_TRUE(results[1].Ok);
    EXPECT_FALSE(results[2].Ok);
    EXPECT_EQ(shared.Uploads(), 0) << "nothing was sent to the shared address";
    EXPECT_EQ(alone.Uploads(), 1);

    int reasons = 0;
    for (size_t i = 0; i < log.Lines().size(); ++i) {
        const std::string message = log.Message(i);
        EXPECT_EQ(message.find("127.0.0.5 starting"), std::string::npos) << message;
        if (message == reason) {
            EXPECT_EQ(log.Lines()[i].Level, LOG_ERROR);
            ++reasons;
        }
    }
    EXPECT_EQ(reasons, 2);

    // Backup, restore, common configuration, save and load: the same block with their labels.
    const std::string folder = testing::TempDir() + "shared-backup";
    const std::string common = folder + "/setup_127.0.0.5_.xml";  // there, so that only the refusal stops it
    std::filesystem::create_directories(folder);
    const struct {
        const char* Label;
        std::function<std::vector<TDeviceResult>(TTransferBatch&)> Run;
    } commands[] = {
        {"Backup", [&](TTransferBatch& b) { return b.Backup({devices[0]}, folder); }},
        {"Restore", [&](TTransferBatch& b) { return b.Restore({devices[0]}, folder); }},
        {"Restore", [&](TTransferBatch& b) { return b.RestoreCommon({devices[0]}, common); }},
        {"Saving", [&](TTransferBatch& b) { return b.Save(devices[0], folder + "/saved.xml"); }},
        {"Loading", [&](TTransferBatch& b) { return b.Load(devices[0], common); }},
    };
    for (const auto& command : commands) {
        std::ofstream(common) << "<setup/>";
        TRecordedLines out;
        TTransferBatch configBatch(http, out);
        log.Logger.ActionLog.clear();
        const std::vector<TDeviceResult> done = command.Run(configBatch);
        ASSERT_EQ(done.size(), 1u) << command.Label;
        EXPECT_FALSE(done[0].Ok) << command.Label;
        EXPECT_EQ(done[0].Error, reason) << command.Label;
        ASSERT_GE(out.Lines.size(), 4u) << command.Label;
        EXPECT_EQ(std::vector<std::string>(out.Lines.begin(), out.Lines.begin() + 4),
                  (std::vector<std::string>{"Unit  (127.0.0.5)", reason,
                                            std::string(command.Label) + " Failed (00:0A:14:00:00:01)", separator}))
            << command.Label;
        for (const TLogLine& line : log.Lines())
            EXPECT_EQ(line.Text.find("request"), std::string::npos) << command.Label << ": " << line.Text;
    }
    EXPECT_EQ(shared.Uploads(), 0);
    std::remove(common.c_str());
    std::remove((folder + "/saved.xml").c_str());
}
