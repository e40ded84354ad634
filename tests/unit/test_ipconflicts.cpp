// IP conflicts: which addresses count, which pairs are reported (once per cycle), which devices
// are marked, and how the registry logs them.
#include "core/devices/ipconflicts.h"
#include "core/devices/registry.h"

#include "logcapture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class TFakeDevice : public TProduct {
public:
    void Update() override {}
    void FactoryDefault() override {}
    void Restart() override {}
};

std::unique_ptr<TProduct> Device(const std::string& name, const std::string& mac, const std::string& ip,
                                 const std::string& peer = "10.77.0.9")
{
    auto d = std::make_unique<TFakeDevice>();
    d->Info.TypeCode = 3;
    d->Info.Name = name;
    d->Info.MAC = mac;
    d->Info.IP = ip;
    d->Info.PeerIP = peer;
    d->Info.FirmwareRev = "1.0";
    return d;
}

const TProductTable kTable = {"3=Poseidon+2261"};

}  // namespace

TEST(IpConflicts, WhichAddressesCount)
{
    const struct {
        const char* IP;
        bool Counts;
        const char* Why;
    } cases[] = {
        {"10.77.1.10", true, "an ordinary address"},
        {"255.255.255.255", true, "odd, but an address a device may report"},
        {"0.0.0.0", false, "no address yet (waiting for DHCP): many devices report it"},
        {"N/A", false, "the device has no address field"},
        {"", false, "nothing reported"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CountsForIpConflicts(c.IP), c.Counts) << c.IP << ": " << c.Why;
}

TEST(IpConflicts, PairsOfDifferentMacsBehindOneAddress)
{
    using C = std::vector<TIpConflict>;
    // Two devices, one address: one pair, the earlier one first.
    EXPECT_EQ(FindIpConflicts({{"10.0.0.5", "00:0A:00:00:00:01"}, {"10.0.0.5", "00:0A:00:00:00:02"}}),
              (C{{"10.0.0.5", "00:0A:00:00:00:01", "00:0A:00:00:00:02"}}));
    // One device listed twice (a new name, a second family) is no conflict, letter case aside.
    EXPECT_EQ(FindIpConflicts({{"10.0.0.5", "00:0A:00:00:00:0A"}, {"10.0.0.5", "00:0a:00:00:00:0a"}}), C{});
    // Different addresses, and addresses that do not count, make no pair.
    EXPECT_EQ(FindIpConflicts({{"10.0.0.5", "00:0A:00:00:00:01"}, {"10.0.0.6", "00:0A:00:00:00:02"}}), C{});
    EXPECT_EQ(FindIpConflicts({{"0.0.0.0", "00:0A:00:00:00:01"}, {"0.0.0.0", "00:0A:00:00:00:02"},
                               {"N/A", "00:0A:00:00:00:03"}, {"N/A", "00:0A:00:00:00:04"}}),
              C{});
    // Three devices on one address: every pair once, in the order the answers made them.
    EXPECT_EQ(FindIpConflicts({{"10.0.0.5", "A1"}, {"10.0.0.7", "B1"}, {"10.0.0.5", "A2"}, {"10.0.0.5", "A3"}}),
              (C{{"10.0.0.5", "A1", "A2"}, {"10.0.0.5", "A1", "A3"}, {"10.0.0.5", "A2", "A3"}}));
    // A pair already made is not made again by a second entry of one of its devices.
    EXPECT_EQ(FindIpConflicts({{"10.0.0.5", "A1"}, {"10.0.0.5", "A2"}, {"10.0.0.5", "a2"}, {"10.0.0.5", "A1"}}),
              (C{{"10.0.0.5", "A1", "A2"}}));
}

TEST(IpConflicts, MarksEveryEntryAndNamesTheOthers)
{
    TIpConflicts conflicts;
    const int a = 0, a2 = 0, b = 0, lone = 0, c = 0;  // identities only
    EXPECT_TRUE(conflicts.Add(&a, "10.0.0.5", "00:0A:00:00:00:01").empty());
    EXPECT_TRUE(conflicts.Add(&lone, "10.0.0.6", "00:0A:00:00:00:03").empty());
    EXPECT_FALSE(conflicts.InConflict(&a));  // alone so far

    EXPECT_EQ(conflicts.Add(&b, "10.0.0.5", "00:0A:00:00:00:02").size(), 1u);
    EXPECT_TRUE(conflicts.Add(&a2, "10.0.0.5", "00:0a:00:00:00:01").empty());  // a again, renamed
    EXPECT_TRUE(conflicts.InConflict(&a));
    EXPECT_TRUE(conflicts.InConflict(&a2));
    EXPECT_TRUE(conflicts.InConflict(&b));
    EXPECT_FALSE(conflicts.InConflict(&lone));
    EXPECT_FALSE(conflicts.InConflict(&c));  // never filed
    EXPECT_EQ(conflicts.AddressOf(&b), "10.0.0.5");
    EXPECT_EQ(conflicts.AddressOf(&lone), "");
    EXPECT_EQ(conflicts.OthersOf(&b), (std::vector<std::string>{"00:0A:00:00:00:01"}));  // a once
    EXPECT_EQ(conflicts.OthersOf(&a2), (std::vector<std::string>{"00:0A:00:00:00:02"}));
    EXPECT_TRUE(conflicts.OthersOf(&lone).empty());

    // A new cycle reports the pair again.
    conflicts.Clear();
    EXPECT_FALSE(conflicts.InConflict(&a));
    EXPECT_TRUE(conflicts.Add(&a, "10.0.0.5", "00:0A:00:00:00:01").empty());
    EXPECT_EQ(conflicts.Add(&b, "10.0.0.5", "00:0A:00:00:00:02").size(), 1u);
}

TEST(IpConflicts, RegistryLogsEachPairOncePerCycleAfterTheRegistration)
{
    TLogCapture log;
    TDeviceRegistry list;
    std::vector<bool> markedWhenShown;
    list.OnRegister = [&](TProduct* d) { markedWhenShown.push_back(list.IpConflicts().InConflict(d)); };

    list.AddDevice(Device("Boiler", "00:0A:14:00:00:01", "10.77.1.10", "10.77.1.10"), kTable, nullptr);
    list.AddDevice(Device("Cellar", "00:0A:14:00:00:02", "10.77.1.10", "10.77.1.11"), kTable, nullptr);
    list.AddDevice(Device("Cellar", "00:0A:14:00:00:02", "10.77.1.10", "10.77.1.11"), kTable, nullptr);  // again
    list.AddDevice(Device("Cellar 2", "00:0A:14:00:00:02", "10.77.1.10", "10.77.1.11"), kTable, nullptr);
    list.AddDevice(Device("Waiting", "00:0A:14:00:00:03", "0.0.0.0"), kTable, nullptr);
    list.AddDevice(Device("Waiting too", "00:0A:14:00:00:04", "0.0.0.0"), kTable, nullptr);

    // The new device is marked before the window shows it.
    EXPECT_EQ(markedWhenShown, (std::vector<bool>{false, true, false, true, false, false}));
    std::vector<std::string> warnings;
    for (size_t i = 0; i < log.Lines().size(); ++i)
        if (log.Lines()[i].Level == LOG_WARNING) {
            warnings.push_back(log.Message(i));
            // After the registration's own two lines.
            EXPECT_EQ(log.Message(i - 1), "Product was added: Poseidon 2261");
        }
    EXPECT_EQ(warnings, (std::vector<std::string>{"IP address 10.77.1.10 is used by 00:0A:14:00:00:01 and 00:0A:14:00:00:02"}));
    for (const TDeviceEntry& e : list.DeviceList())
        EXPECT_EQ(list.IpConflicts().InConflict(e.Device.get()), e.Device->Info.IP == "10.77.1.10") << e.Line;

    // The next cycle starts afresh: the pair is reported again when it shows up again.
    list.BeginCycle();
    list.AddDevice(Device("Boiler", "00:0A:14:00:00:01", "10.77.1.10", "10.77.1.10"), kTable, nullptr);
    EXPECT_FALSE(list.IpConflicts().InConflict(list.DeviceList()[0].Device.get()));
    list.AddDevice(Device("Cellar", "00:0A:14:00:00:02", "10.77.1.10", "10.77.1.11"), kTable, nullptr);
    EXPECT_EQ(log.Lines().back().Level, LOG_WARNING);
}

// A watched unit answers from a new address and is re-filed in place: it takes its conflicts
// along (marks and the warning), each pair still told once a cycle, none told twice.
TEST(IpConflicts, AWatchedUnitRefiledUnderANewAddressTakesItsConflictsAlong)
{
    TLogCapture log;
    TDeviceRegistry list;
    const auto warnings = [&log] {
        std::vector<std::string> out;
        for (size_t i = 0; i < log.Lines().size(); ++i)
            if (log.Lines()[i].Level == LOG_WARNING)
                out.push_back(log.Message(i));
        return out;
    };
    const auto marked = [&list] {
        std::vector<std::string> out;
        for (const TDeviceEntry& e : list.DeviceList())
            if (list.IpConflicts().InConflict(e.Device.get()))
                out.push_back(e.Device->Info.Name);
        return out;
    };
    list.SetKeepUnits(true);
    list.AddDevice(Device("Boiler", "00:0A:14:00:00:01", "10.77.1.10", "10.77.1.10"), kTable, nullptr);
    list.AddDevice(Device("Cellar", "00:0A:14:00:00:02", "10.77.1.10", "10.77.1.11"), kTable, nullptr);
    list.AddDevice(Device("Roof", "00:0A:14:00:00:03", "10.77.1.30", "10.77.1.30"), kTable, nullptr);
    const std::string boilerCellar = "IP address 10.77.1.10 is used by 00:0A:14:00:00:01 and 00:0A:14:00:00:02";
    EXPECT_EQ(warnings(), std::vector<std::string>{boilerCellar});

    // Cellar takes the Roof's address: the old pair's marks go, the new pair is told once.
    list.AddDevice(Device("Cellar", "00:0A:14:00:00:02", "10.77.1.30", "10.77.1.31"), kTable, nullptr);
    const std::string roofCellar = "IP address 10.77.1.30 is used by 00:0A:14:00:00:03 and 00:0A:14:00:00:02";
    EXPECT_EQ(warnings(), (std::vector<std::string>{boilerCellar, roofCellar}));
    EXPECT_EQ(marked(), (std::vector<std::string>{"Cellar", "Roof"}));
    list.AddDevice(Device("Cellar", "00:0A:14:00:00:02", "10.77.1.30", "10.77.1.31"), kTable, nullptr);  // again
    // Back at the Boiler's address, and away again: marked there, the pair not told twice.
    list.AddDevice(Device("Cellar", "00:0A:14:00:00:02", "10.77.1.10", "10.77.1.11"), kTable, nullptr);
    EXPECT_EQ(marked(), (std::vector<std::string>{"Boiler", "Cellar"}));
    list.AddDevice(Device("Cellar", "00:0A:14:00:00:02", "10.77.1.40", "10.77.1.40"), kTable, nullptr);
    EXPECT_EQ(marked(), std::vector<std::string>{});
    EXPECT_EQ(warnings(), (std::vector<std::string>{boilerCellar, roofCellar}));
    EXPECT_EQ(list.DeviceList().size(), 3u);
}
