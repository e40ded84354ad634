// DeviceList and PreviousList: display lines, order, duplicates, ownership and the log lines of
// registration.
#include "core/devices/registry.h"

#include "core/log/actionlog.h"
#include "czechlocale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

// A device that tells the test when it is destroyed.
class TFakeDevice : public TProduct {
public:
    explicit TFakeDevice(std::vector<std::string>* destroyed = nullptr) : Destroyed(destroyed) {}
    ~TFakeDevice() override
    {
        if (Destroyed)
            Destroyed->push_back(Info.Name);
    }
    void Update() override {}
    void FactoryDefault() override {}
    void Restart() override {}
    std::vector<std::string>* Destroyed;
};

std::unique_ptr<TFakeDevice> Device(int type, std::string name, std::string mac = "00:0A:14:1E:28:32",
                                    std::string peer = "10.77.0.9", std::vector<std::string>* destroyed = nullptr)
{
    auto d = std::make_unique<TFakeDevice>(destroyed);
    d->Info.TypeCode = type;
    d->Info.Name = std::move(name);
    d->Info.MAC = std::move(mac);
    d->Info.PeerIP = std::move(peer);
    d->Info.FirmwareRev = "2.3.5";
    return d;
}

const TProductTable kTable = {"0=Unknown", "3=Poseidon+2261", "65=Poseidon2+3266", "3=Shadowed"};

class Registry : public ::testing::Test {
protected:
    void SetUp() override { SetCurrentLogger(&Log); }
    void TearDown() override { SetCurrentLogger(nullptr); }

    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        for (const TDeviceEntry& e : List.DeviceList())
            lines.push_back(e.Line);
        return lines;
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const TDeviceEntry& e : List.DeviceList())
            names.push_back(e.Device->Info.Name);
        return names;
    }
    std::vector<std::pair<std::string, int>> Logged() const
    {
        std::vector<std::pair<std::string, int>> out;
        for (const TLogLine& l : Log.ActionLog)
            out.emplace_back(l.Text, l.Level);
        return out;
    }

    TActionLogger Log;
    std::vector<std::string> DestroyedNames;  // names of destroyed devices; outlives List
    TDeviceRegistry List;
    TUDPServer* const Server = reinterpret_cast<TUDPServer*>(0x1000);  // only stored, never used
};

}  // namespace

TEST(DisplayLine, PadsEachColumnAndNeverCuts)
{
    TProductInfo info;
    info.TypeName = "Poseidon 2261";
    info.Name = "Boiler room";
    info.MAC = "00:0A:14:1E:28:32";
    info.PeerIP = "10.0.0.5";
    info.FirmwareRev = "2.3.5";
    EXPECT_EQ(TDeviceRegistry::DisplayLine(info),
              "Poseidon 2261        Boiler room                  00:0A:14:1E:28:32   10.0.0.5          2.3.5");

    // An unnamed type leaves 20 blanks; over-long fields push the later columns right.
    info.TypeName = "";
    info.Name = std::string(40, 'n');
    info.PeerIP = "255.255.255.255";
    const std::string line = TDeviceRegistry::DisplayLine(info);
    EXPECT_EQ(line, std::string(20, ' ') + " " + std::string(40, 'n') + " 00:0A:14:1E:28:32   255.255.255.255   2.3.5");

    // Widths count characters, not UTF-8 bytes, so the columns stay aligned.
    info.TypeName = "Čidlo";
    info.Name = "Kotelna – teploměr č. 2";  // 23 characters, 27 bytes
    info.PeerIP = "10.0.0.5";
    EXPECT_EQ(TDeviceRegistry::DisplayLine(info),
              "Čidlo                Kotelna – teploměr č. 2      00:0A:14:1E:28:32   10.0.0.5          2.3.5");
}

TEST_F(Registry, CompletesAndFilesDevicesInCaseInsensitiveOrder)
{
    List.AddDevice(Device(3, "gamma"), kTable, Server);
    List.AddDevice(Device(3, "Beta"), kTable, Server);
    List.AddDevice(Device(3, "alpha"), kTable, Server);
    List.AddDevice(Device(3, "Delta", "00:00:00:00:00:01"), kTable, Server);
    List.AddDevice(Device(65, "Alpha"), kTable, Server);  // other type: a later column of its own
    List.AddDevice(Device(99, "zulu"), kTable, Server);   // no table entry: empty type sorts first

    // A byte-wise order would put "Beta" and "Delta" before "alpha".
    EXPECT_EQ(Names(), (std::vector<std::string>{"zulu", "alpha", "Beta", "Delta", "gamma", "Alpha"}));
    const TProduct& first = *List.DeviceList()[1].Device;
    EXPECT_EQ(first.Info.TypeName, "Poseidon 2261");  // first matching entry, "+" made blank
    EXPECT_EQ(first.UdpServer, Server);
    EXPECT_EQ(List.DeviceList()[5].Device->Info.TypeName, "Poseidon2 3266");
    EXPECT_EQ(List.DeviceList()[0].Device->Info.TypeName, "");
    for (const TDeviceEntry& e : List.DeviceList())
        EXPECT_EQ(e.Line, TDeviceRegistry::DisplayLine(e.Device->Info));
}

TEST_F(Registry, FilesLinesInTheUsersCollation)
{
    TCzechLocale czech;
    ASSERT_TRUE(czech.Available) << TCzechLocale::kMissing;
    List.AddDevice(Device(3, "Dvůr", "00:00:00:00:00:01"), kTable, Server);
    List.AddDevice(Device(3, "Čidlo", "00:00:00:00:00:02"), kTable, Server);
    List.AddDevice(Device(3, "Cesta", "00:00:00:00:00:03"), kTable, Server);
    List.AddDevice(Device(3, "čIDLO", "00:00:00:00:00:02"), kTable, Server);  // the same line, case aside

    // Byte order would put "Čidlo" (C4 8C) after "Dvůr".
    EXPECT_EQ(Names(), (std::vector<std::string>{"Cesta", "Čidlo", "Dvůr"}));
}

TEST_F(Registry, DuplicateKeepsTheFirstDeviceAndIsLoggedLikeAnyAnswer)
{
    std::vector<TProduct*> registered;
    List.OnRegister = [&](TProduct* d) {
        registered.push_back(d);
        // The window's part runs between the two log lines.
        EXPECT_EQ(Log.ActionLog.back().Text, " Found " + d->Info.Name + " device at " + d->Info.PeerIP);
    };

    List.AddDevice(Device(3, "Boiler", "00:0A:14:1E:28:32", "10.77.0.9", &DestroyedNames), kTable, Server);
    // The same answer again, and one that differs only in letter case: both are the same device.
    List.AddDevice(Device(3, "Boiler", "00:0A:14:1E:28:32", "10.77.0.9", &DestroyedNames), kTable, Server);
    List.AddDevice(Device(3, "BOILER", "00:0a:14:1e:28:32", "10.77.0.9", &DestroyedNames), kTable, Server);

    ASSERT_EQ(List.DeviceList().size(), 1u);
    EXPECT_EQ(List.DeviceList()[0].Device->Info.Name, "Boiler");
    EXPECT_EQ(DestroyedNames, (std::vector<std::string>{"Boiler", "BOILER"}));  // the two late copies
    ASSERT_EQ(registered.size(), 3u);
    EXPECT_EQ(registered[0], List.DeviceList()[0].Device.get());

    const std::vector<std::pair<std::string, int>> expected = {
        {" Found Boiler device at 10.77.0.9", LOG_INFO}, {" Product was added: Poseidon 2261", LOG_DEBUG},
        {" Found Boiler device at 10.77.0.9", LOG_INFO}, {" Product was added: Poseidon 2261", LOG_DEBUG},
        {" Found BOILER device at 10.77.0.9", LOG_INFO}, {" Product was added: Poseidon 2261", LOG_DEBUG},
    };
    EXPECT_EQ(Logged(), expected);

    // A new name or a new address is a new entry beside the old one.
    List.AddDevice(Device(3, "Boiler", "00:0A:14:1E:28:32", "10.77.0.10"), kTable, Server);
    List.AddDevice(Device(3, "Boiler room", "00:0A:14:1E:28:32", "10.77.0.9"), kTable, Server);
    EXPECT_EQ(List.DeviceList().size(), 3u);
}

TEST_F(Registry, NewCycleRemembersTheLinesAndFreesTheDevices)
{
    List.AddDevice(Device(3, "b", "00:00:00:00:00:02", "10.77.0.2", &DestroyedNames), kTable, Server);
    List.AddDevice(Device(3, "a", "00:00:00:00:00:01", "10.77.0.1", &DestroyedNames), kTable, Server);
    const std::vector<std::string> before = Lines();
    bool freedFirst = false;
    List.OnFreed = [&] { freedFirst = DestroyedNames.empty() && List.DeviceList().size() == 2; };

    List.BeginCycle();

    EXPECT_TRUE(freedFirst);  // the view drops its pointers while the devices still exist
    EXPECT_TRUE(List.DeviceList().empty());
    EXPECT_EQ(DestroyedNames.size(), 2u);
    EXPECT_EQ(List.PreviousList(), before);
    EXPECT_TRUE(List.InPreviousList(before[1]));
    std::string otherCase = before[0];
    std::transform(otherCase.begin(), otherCase.end(), otherCase.begin(), ::toupper);
    EXPECT_FALSE(List.InPreviousList(otherCase));  // known devices match exactly, case included


    // A cycle that found nothing leaves nothing to compare with.
    List.BeginCycle();
    EXPECT_TRUE(List.PreviousList().empty());
    EXPECT_FALSE(List.InPreviousList(before[0]));
}

// A device's name reaches the log in its shown form, while the list files the device under the
// line of its own texts and the device keeps them.
TEST_F(Registry, NamesWithControlsAreLoggedOnOneLineAndFiledAsSent)
{
    const std::string name = "Boiler\r\nERROR\tforged\x1B[31m\xE2\x80\xAE";
    List.AddDevice(Device(3, name, "00:0A:14:1E:28:32", "10.77.0.9"), kTable, Server);
    ASSERT_EQ(List.DeviceList().size(), 1u);
    const TDeviceEntry& entry = List.DeviceList()[0];
    EXPECT_EQ(entry.Device->Info.Name, name);
    EXPECT_EQ(entry.Line, TDeviceRegistry::DisplayLine(entry.Device->Info));
    EXPECT_NE(entry.Line.find(name), std::string::npos);
    ASSERT_GE(Log.ActionLog.size(), 1u);
    EXPECT_EQ(Log.ActionLog[0].Text, " Found Boiler\\x0D\\x0AERROR\\x09forged\\x1B[31m\\u{202E} device at 10.77.0.9");
    EXPECT_EQ(Log.ActionLog[0].Level, LOG_INFO);
}

// A watched unit that answers with a new address or name keeps its object and its place in the
// list's order moves with its new line; the old line is gone and PreviousList stays as it was.
TEST_F(Registry, RefilesAChangedAnswerUnderItsNewLine)
{
    List.AddDevice(Device(3, "b", "00:00:00:00:00:02", "10.77.0.2"), kTable, Server);
    List.AddDevice(Device(3, "a", "00:00:00:00:00:01", "10.77.0.1"), kTable, Server);
    List.BeginCycle();
    List.AddDevice(Device(3, "b", "00:00:00:00:00:02", "10.77.0.2", &DestroyedNames), kTable, Server);
    List.AddDevice(Device(3, "a", "00:00:00:00:00:01", "10.77.0.1", &DestroyedNames), kTable, Server);
    List.AddDevice(Device(3, "c", "00:00:00:00:00:03", "10.77.0.3", &DestroyedNames), kTable, Server);
    const std::vector<std::string> previous = List.PreviousList();
    TProduct* a = List.DeviceList()[0].Device.get();
    const std::string oldLine = List.DeviceList()[0].Line;

    TProductInfo answer = Device(3, "d", "00:00:00:00:00:01", "10.77.0.41")->Info;
    EXPECT_EQ(List.Refile(a, answer, kTable), 2);

    EXPECT_EQ(Names(), (std::vector<std::string>{"b", "c", "d"}));
    EXPECT_EQ(List.DeviceList()[2].Device.get(), a);  // the same object, views keep it
    EXPECT_EQ(a->Info.PeerIP, "10.77.0.41");
    EXPECT_EQ(a->Info.TypeName, "Poseidon 2261");
    EXPECT_EQ(List.DeviceList()[2].Line, TDeviceRegistry::DisplayLine(a->Info));
    const std::vector<std::string> lines = Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), oldLine), 0);
    EXPECT_EQ(List.PreviousList(), previous);
    EXPECT_FALSE(List.InPreviousList(List.DeviceList()[2].Line));  // shown as new
    EXPECT_TRUE(DestroyedNames.empty());

    // Refiled under its own line (nothing changed), under another unit's line, or not listed.
    EXPECT_EQ(List.Refile(a, a->Info, kTable), 2);
    EXPECT_EQ(List.Refile(a, List.DeviceList()[0].Device->Info, kTable), -1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"b", "c", "d"}));
    auto stranger = Device(3, "x", "00:00:00:00:00:09");
    EXPECT_EQ(List.Refile(stranger.get(), answer, kTable), -1);
    EXPECT_EQ(List.DeviceList().size(), 3u);
}

// While units are kept, an answer of a listed unit is no new entry: the same line is dropped
// unlogged, other fields re-file the listed device and tell the window; a new unit is filed and
// registered as in any cycle. Off again, answers are filed by their lines alone.
TEST_F(Registry, KeptUnitsAreRefiledNotListedTwice)
{
    std::vector<TProduct*> registered;
    List.OnRegister = [&](TProduct* d) { registered.push_back(d); };
    std::vector<std::pair<int, int>> refiled;
    List.OnRefiled = [&](TProduct*, int from, int to) { refiled.emplace_back(from, to); };
    List.AddDevice(Device(3, "b", "00:00:00:00:00:02", "10.77.0.2"), kTable, Server);
    List.AddDevice(Device(3, "a", "00:00:00:00:00:01", "10.77.0.1"), kTable, Server);
    TProduct* a = List.DeviceList()[0].Device.get();
    List.SetKeepUnits(true);
    EXPECT_EQ(List.UnitOf("00:00:00:00:00:01", ""), a);
    const size_t logged = Log.ActionLog.size();

    List.AddDevice(Device(3, "a", "00:00:00:00:00:01", "10.77.0.1", &DestroyedNames), kTable, Server);
    EXPECT_EQ(Log.ActionLog.size(), logged);
    EXPECT_EQ(registered.size(), 2u);
    EXPECT_EQ(DestroyedNames, (std::vector<std::string>{"a"}));

    List.AddDevice(Device(3, "c", "00:00:00:00:00:01", "10.77.0.51"), kTable, Server);
    EXPECT_EQ(Names(), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(List.DeviceList()[1].Device.get(), a);
    EXPECT_EQ(refiled, (std::vector<std::pair<int, int>>{{0, 1}}));
    EXPECT_EQ(List.LastFiledRow(), -1);
    EXPECT_EQ(registered.size(), 2u);
    // The new line is the unit's now: the same answer again changes nothing, the old one
    // re-files it back.
    List.AddDevice(Device(3, "c", "00:00:00:00:00:01", "10.77.0.51"), kTable, Server);
    EXPECT_EQ(refiled, (std::vector<std::pair<int, int>>{{0, 1}}));
    List.AddDevice(Device(3, "a", "00:00:00:00:00:01", "10.77.0.1"), kTable, Server);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(refiled, (std::vector<std::pair<int, int>>{{0, 1}, {1, 0}}));

    List.AddDevice(Device(3, "d", "00:00:00:00:00:04", "10.77.0.4"), kTable, Server);
    EXPECT_EQ(registered.size(), 3u);
    EXPECT_EQ(List.UnitOf("00:00:00:00:00:04", ""), List.DeviceList()[2].Device.get());
    List.AddDevice(Device(3, "d", "00:00:00:00:00:04", "10.77.0.4"), kTable, Server);
    EXPECT_EQ(registered.size(), 3u);
    EXPECT_EQ(refiled.size(), 2u);

    List.SetKeepUnits(false);
    List.AddDevice(Device(3, "e", "00:00:00:00:00:01", "10.77.0.1"), kTable, Server);
    EXPECT_EQ(List.DeviceList().size(), 4u);
    EXPECT_EQ(List.UnitOf("00:00:00:00:00:01", ""), nullptr);
}
