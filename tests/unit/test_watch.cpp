// The watch of a site: events over rounds, the request budget, the site file.
#include "core/app/i18n.h"
#include "core/watch/budget.h"
#include "core/watch/site.h"
#include "core/watch/watch.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>

namespace {

TWatchAnswer Unit(const std::string& mac, const std::string& address, const std::string& firmware = "1.0",
                  const std::string& name = "Hall", const std::string& family = "Orvex")
{
    TWatchAnswer a;
    a.MAC = mac;
    a.Family = family;
    a.Name = name;
    a.Address = address;
    a.Firmware = firmware;
    a.TypeName = "Box";
    return a;
}

const std::string kA = "00:0A:59:00:00:01";
const std::string kB = "00:0A:59:00:00:02";
const std::string kC = "00:0A:59:00:00:03";

std::vector<std::string> Kinds(const std::vector<TWatchEvent>& events)
{
    std::vector<std::string> kinds;
    for (const TWatchEvent& e : events)
        kinds.push_back(WatchEventName(e.Kind));
    return kinds;
}

// One whole round at `now` in which the answers given are heard; its events, answers' first.
std::vector<TWatchEvent> Round(TWatch& watch, int64_t now, const std::vector<TWatchAnswer>& answers)
{
    watch.BeginRound(now);
    std::vector<TWatchEvent> events;
    for (const TWatchAnswer& a : answers)
        for (TWatchEvent& e : watch.Answer(a, now + 100))
            events.push_back(std::move(e));
    for (TWatchEvent& e : watch.EndRound(now + 1000))
        events.push_back(std::move(e));
    return events;
}

TWatchUnit ExpectedUnit(const std::string& mac, const std::string& family = "Orvex")
{
    TWatchUnit unit;
    unit.Key = *WatchKeyOf(mac, family);
    unit.Last = Unit(mac, "10.0.0.9");
    unit.Expected = true;
    unit.Note = "rack 3";
    return unit;
}

}  // namespace

TEST(WatchEvents, NewUnitsAndChangesInTheirOrder)
{
    TWatch watch;
    std::vector<TWatchEvent> events = Round(watch, 1000, {Unit(kA, "10.0.0.1"), Unit(kB, "10.0.0.2", "1.0", "Hall", "HWG")});
    EXPECT_EQ(Kinds(events), (std::vector<std::string>{"new", "new"}));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].MAC, kB);
    EXPECT_EQ(events[1].Family, "HWG");
    EXPECT_EQ(events[1].Address, "10.0.0.2");
    EXPECT_EQ(events[1].Time, 1100);
    // The same MAC in another family is another unit; another form of the MAC is the same one.
    EXPECT_EQ(Kinds(Round(watch, 2000, {Unit("00-0a-59-00-00-01", "10.0.0.1"), Unit(kA, "10.0.0.3", "1.0", "Hall", "HWG")})),
              (std::vector<std::string>{"new"}));
    EXPECT_EQ(watch.Units().size(), 3u);

    const TWatchAnswer b = Unit(kB, "10.0.0.2", "1.0", "Hall", "HWG");
    const TWatchAnswer otherFamily = Unit(kA, "10.0.0.3", "1.0", "Hall", "HWG");
    events = Round(watch, 3000, {Unit(kA, "10.0.0.7", "2.0", "Roof"), b, otherFamily});
    EXPECT_EQ(Kinds(events), (std::vector<std::string>{"address", "firmware", "name"}));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].Old, "10.0.0.1");
    EXPECT_EQ(events[0].New, "10.0.0.7");
    EXPECT_EQ(events[1].Old, "1.0");
    EXPECT_EQ(events[1].New, "2.0");
    EXPECT_EQ(events[2].Old, "Hall");
    EXPECT_EQ(events[2].New, "Roof");
    EXPECT_EQ(events[2].Name, "Roof");
    EXPECT_EQ(events[2].Address, "10.0.0.7");
    EXPECT_TRUE(Round(watch, 4000, {Unit(kA, "10.0.0.7", "2.0", "Roof"), b, otherFamily}).empty());
    // An answer that names no unit is not kept.
    EXPECT_TRUE(watch.Answer(Unit("not a mac", "10.0.0.8"), 5000).empty());
    EXPECT_TRUE(watch.Answer(Unit(kA, "10.0.0.8", "1.0", "Hall", ""), 5000).empty());
    EXPECT_EQ(watch.Units().size(), 3u);
}

TEST(WatchEvents, GoneAfterTwoRoundsOnceAndBack)
{
    TWatch watch;
    Round(watch, 1000, {Unit(kA, "10.0.0.1"), Unit(kB, "10.0.0.2")});
    const TWatchKey a = *WatchKeyOf(kA, "Orvex");
    EXPECT_TRUE(Round(watch, 2000, {Unit(kB, "10.0.0.2")}).empty());
    EXPECT_EQ(watch.Find(a)->Missed, 1);
    EXPECT_FALSE(watch.Find(a)->Gone);
    // Heard again before the second round: nothing is lost.
    EXPECT_TRUE(Round(watch, 3000, {Unit(kA, "10.0.0.1"), Unit(kB, "10.0.0.2")}).empty());
    EXPECT_EQ(watch.Find(a)->Missed, 0);

    EXPECT_TRUE(Round(watch, 4000, {Unit(kB, "10.0.0.2")}).empty());
    std::vector<TWatchEvent> events = Round(watch, 5000, {Unit(kB, "10.0.0.2")});
    EXPECT_EQ(Kinds(events), (std::vector<std::string>{"gone"}));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].MAC, kA);
    EXPECT_EQ(events[0].Address, "10.0.0.1");
    EXPECT_EQ(events[0].Time, 6000);
    EXPECT_TRUE(watch.Find(a)->Gone);
    EXPECT_EQ(watch.Find(a)->LastSeen, 3100);
    EXPECT_TRUE(Round(watch, 6000, {Unit(kB, "10.0.0.2")}).empty());
    EXPECT_TRUE(Round(watch, 7000, {Unit(kB, "10.0.0.2")}).empty());

    events = Round(watch, 8000, {Unit(kA, "10.0.0.5"), Unit(kB, "10.0.0.2")});
    EXPECT_EQ(Kinds(events), (std::vector<std::string>{"back", "address"}));
    EXPECT_FALSE(watch.Find(a)->Gone);
    EXPECT_EQ(watch.Rounds(), 8);
}

TEST(WatchEvents, ExpectedUnitsMissingAfterTwoRoundsOnce)
{
    TWatch watch;
    watch.Expect({ExpectedUnit(kA), ExpectedUnit(kB)});
    EXPECT_EQ(watch.ExpectedCount(), 2);
    EXPECT_EQ(watch.ExpectedAnswered(), 0);
    // An expected unit that answers is there: no event, not even for its differing values.
    EXPECT_TRUE(Round(watch, 1000, {Unit(kA, "10.0.0.1")}).empty());
    EXPECT_EQ(watch.ExpectedAnswered(), 1);
    std::vector<TWatchEvent> events = Round(watch, 2000, {Unit(kA, "10.0.0.1")});
    EXPECT_EQ(Kinds(events), (std::vector<std::string>{"missing"}));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].MAC, kB);
    EXPECT_EQ(events[0].Address, "10.0.0.9");
    const TWatchKey b = *WatchKeyOf(kB, "Orvex");
    EXPECT_TRUE(watch.Find(b)->Missing);
    EXPECT_FALSE(watch.Find(b)->Gone);
    EXPECT_EQ(watch.Find(b)->Note, "rack 3");
    EXPECT_TRUE(Round(watch, 3000, {Unit(kA, "10.0.0.1")}).empty());
    EXPECT_EQ(Kinds(Round(watch, 4000, {Unit(kA, "10.0.0.1"), Unit(kB, "10.0.0.2")})),
              (std::vector<std::string>{"back"}));
    EXPECT_FALSE(watch.Find(b)->Missing);
    EXPECT_EQ(watch.ExpectedAnswered(), 2);
    // One gone is no longer counted as there; back, it is again.
    Round(watch, 5000, {Unit(kB, "10.0.0.2")});
    EXPECT_EQ(Kinds(Round(watch, 6000, {Unit(kB, "10.0.0.2")})), (std::vector<std::string>{"gone"}));
    EXPECT_EQ(watch.ExpectedAnswered(), 1);
    Round(watch, 7000, {Unit(kA, "10.0.0.1"), Unit(kB, "10.0.0.2")});
    EXPECT_EQ(watch.ExpectedAnswered(), 2);
}

TEST(WatchEvents, ResetForgetsTheHeardAndKeepsTheExpected)
{
    TWatch watch;
    watch.Expect({ExpectedUnit(kA)});
    TWatchAnswer routed = Unit(kB, "192.168.7.2");
    routed.Unicast = true;
    Round(watch, 1000, {Unit(kA, "10.0.0.1"), routed});
    EXPECT_EQ(watch.UnicastAddresses(), (std::vector<std::string>{"192.168.7.2"}));
    watch.Reset();
    EXPECT_EQ(watch.Units().size(), 1u);
    EXPECT_TRUE(watch.UnicastAddresses().empty());
    const TWatchUnit* a = watch.Find(*WatchKeyOf(kA, "Orvex"));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->LastSeen, 0);
    EXPECT_EQ(watch.ExpectedAnswered(), 0);
    // Not missing until two more rounds; a unit heard before the Reset is new again.
    EXPECT_TRUE(Round(watch, 2000, {}).empty());
    EXPECT_EQ(Kinds(Round(watch, 3000, {routed})), (std::vector<std::string>{"new", "missing"}));
}

// Find Devices while watching: the units heard before that answer the new list's first round are
// no new devices (a change is still told, and a gone one comes back); a round ending that had
// begun before the new list does not forget them; one that stays silent through the first round
// is forgotten, and new when it answers after.
TEST(WatchEvents, NewListsFirstRoundTakesTheKnownUnitsBack)
{
    TWatch watch;
    Round(watch, 1000, {Unit(kA, "10.0.0.1"), Unit(kB, "10.0.0.2"), Unit(kC, "10.0.0.3")});
    Round(watch, 2000, {Unit(kA, "10.0.0.1"), Unit(kB, "10.0.0.2")});
    EXPECT_EQ(Kinds(Round(watch, 3000, {Unit(kA, "10.0.0.1"), Unit(kB, "10.0.0.2")})), (std::vector<std::string>{"gone"}));
    watch.BeginRound(4000);
    watch.Reset();  // pressed during a round, which ends before the new list's begins
    EXPECT_TRUE(watch.Units().empty());
    EXPECT_TRUE(watch.EndRound(4500).empty());
    watch.BeginRound(5000);
    EXPECT_TRUE(watch.Answer(Unit(kA, "10.0.0.1"), 5100).empty());
    EXPECT_EQ(Kinds(watch.Answer(Unit(kC, "10.0.0.3"), 5200)), (std::vector<std::string>{"back"}));
    EXPECT_TRUE(watch.EndRound(5500).empty());
    EXPECT_EQ(watch.Units().size(), 2u);
    EXPECT_EQ(Kinds(Round(watch, 6000, {Unit(kA, "10.0.0.1"), Unit(kB, "10.0.0.2"), Unit(kC, "10.0.0.3")})),
              (std::vector<std::string>{"new"}));
}

// A single cycle without rounds (the window's Find Devices with no watch): an expected unit it
// did not hear is missing at its end, once; a missing unit stays missing across Reset until it
// answers (then back), and a unit that answered is not missing.
TEST(WatchEvents, CheckOfOneCycleAndMissingKeptAcrossReset)
{
    TWatch watch;
    watch.Expect({ExpectedUnit(kA), ExpectedUnit(kB)});
    watch.Answer(Unit(kA, "10.0.0.1"), 1000);
    const std::vector<TWatchEvent> missing = watch.EndCheck(2000);
    EXPECT_EQ(Kinds(missing), (std::vector<std::string>{"missing"}));
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0].MAC, kB);
    EXPECT_TRUE(watch.EndCheck(2500).empty());
    const TWatchKey a = *WatchKeyOf(kA, "Orvex");
    const TWatchKey b = *WatchKeyOf(kB, "Orvex");
    watch.Reset();
    EXPECT_TRUE(watch.Find(b)->Missing);
    EXPECT_FALSE(watch.Find(a)->Missing);
    EXPECT_EQ(watch.ExpectedAnswered(), 0);
    // Missing across the Reset: no second event, neither from a check nor from rounds.
    watch.Answer(Unit(kA, "10.0.0.1"), 3000);
    EXPECT_TRUE(watch.EndCheck(3500).empty());
    EXPECT_TRUE(Round(watch, 4000, {Unit(kA, "10.0.0.1")}).empty());
    EXPECT_TRUE(Round(watch, 5000, {Unit(kA, "10.0.0.1")}).empty());
    EXPECT_EQ(Kinds(watch.Answer(Unit(kB, "10.0.0.2"), 6000)), (std::vector<std::string>{"back"}));
    EXPECT_FALSE(watch.Find(b)->Missing);
    EXPECT_EQ(watch.ExpectedAnswered(), 2);
}

TEST(WatchEvents, TextsInEnglishAndCzech)
{
    TWatchEvent e;
    e.Kind = TWatchEventKind::Name;
    e.Old = "Hall";
    e.New = "Roof\n\x1B[31m";
    InitTranslation(PYXET_BIN_DIR "/");
    EXPECT_EQ(WatchEventText(e), "name Hall → Roof\\x0A\\x1B[31m");
    e.Kind = TWatchEventKind::New;
    EXPECT_EQ(WatchEventText(e), "new device");
    UseLanguage("cs");
    const std::string czechNew = WatchEventText(e);
    e.Kind = TWatchEventKind::Name;
    e.Old = "Hall";
    e.New = "Roof";
    const std::string czechName = WatchEventText(e);
    e.Kind = TWatchEventKind::Missing;
    const std::string czechMissing = WatchEventText(e);
    UseLanguage("en");
    EXPECT_EQ(czechNew, "nové zařízení");
    EXPECT_EQ(czechName, "název Hall → Roof");
    EXPECT_EQ(czechMissing, "chybí");
}

TEST(RequestBudget, FiveSecondsPerKeyEachKeyOnItsOwn)
{
    TRequestBudget budget;
    const std::string eth0 = BroadcastBudgetKey("Orvex", "eth0");
    const std::string eth1 = BroadcastBudgetKey("Orvex", "eth1");
    const std::string hwg = BroadcastBudgetKey("HWG", "eth0");
    const std::string unit = UnicastBudgetKey("192.168.7.2");
    EXPECT_NE(eth0, eth1);
    EXPECT_NE(eth0, hwg);
    EXPECT_NE(unit, UnicastBudgetKey("192.168.7.3"));
    EXPECT_EQ(budget.NextAllowed(eth0, 10000), 10000);
    EXPECT_TRUE(budget.Take(eth0, 10000));
    // Five seconds, to the millisecond.
    EXPECT_EQ(budget.NextAllowed(eth0, 11000), 15000);
    EXPECT_FALSE(budget.Take(eth0, 14999));
    EXPECT_EQ(budget.NextAllowed(eth0, 14999), 15000);
    // The refused request did not move the time on.
    EXPECT_TRUE(budget.Take(eth1, 11000));
    EXPECT_TRUE(budget.Take(hwg, 11000));
    EXPECT_TRUE(budget.Take(unit, 11000));
    EXPECT_TRUE(budget.Take(eth0, 15000));
    EXPECT_EQ(budget.NextAllowed(eth0, 30000), 30000);
    EXPECT_FALSE(budget.Take(unit, 12000));
    budget.Clear();
    EXPECT_TRUE(budget.Take(unit, 12000));
}

namespace {

TExportDevice Device(const std::string& mac, const std::string& family, const std::string& name)
{
    TExportDevice d;
    d.Info.MAC = mac;
    d.Info.Name = name;
    d.Info.PeerIP = "10.0.0.1";
    d.Info.FirmwareRev = "2.1";
    d.Info.TypeName = "Box";
    d.Family = family;
    d.Line = name;
    return d;
}

class SiteFile : public ::testing::Test {
protected:
    std::string Write(const std::string& bytes)
    {
        const std::string path = Dir.filePath(QStringLiteral("site.csv")).toStdString();
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        return path;
    }
    std::optional<std::vector<TSiteUnit>> Read(const std::string& bytes)
    {
        Error.clear();
        return ReadSite(Write(bytes), Error);
    }
    // The refusal of the bytes.
    std::string Refusal(const std::string& bytes)
    {
        const auto site = Read(bytes);
        EXPECT_FALSE(site.has_value());
        return Error;
    }
    QTemporaryDir Dir;
    std::string Error;
};

}  // namespace

TEST_F(SiteFile, WrittenAndReadBack)
{
    ASSERT_TRUE(Dir.isValid());
    const std::vector<TExportDevice> devices = {
        Device(kA, "Orvex", "Hall, \"east\"\r\nsecond line"),
        Device(kB, "HWG", "Kotelna č. 2"),
        Device("00:0A:59:00:00:03", "Orvex", " padded "),
    };
    TSiteUnit open;
    open.Unit.MAC = kB;
    open.Unit.Family = "HWG";
    open.Note = "by the door, \"left\"\nlow";
    size_t records = 0;
    const std::string csv = SiteCsv(devices, {open}, &records);
    EXPECT_EQ(records, 3u);
    const std::string header = csv.substr(0, csv.find("\r\n"));
    EXPECT_EQ(header, "TypeCode,TypeName,MAC,Name,PeerIP,IP,Mask,Gateway,DNS1,DNS2,Dhcp,FirmwareRev,HTTPPort,"
                      "TelnetPort,CanSetDefault,CanRestart,Family,Line,IPConflict,Expected,Note");
    const auto site = Read(csv);
    ASSERT_TRUE(site.has_value()) << Error;
    ASSERT_EQ(site->size(), 3u);
    EXPECT_EQ((*site)[0].Unit.MAC, kA);
    EXPECT_EQ((*site)[0].Unit.Family, "Orvex");
    EXPECT_EQ((*site)[0].Unit.Name, "Hall, \"east\"\r\nsecond line");
    EXPECT_EQ((*site)[0].Unit.Address, "10.0.0.1");
    EXPECT_EQ((*site)[0].Unit.Firmware, "2.1");
    EXPECT_EQ((*site)[0].Unit.TypeName, "Box");
    EXPECT_TRUE((*site)[0].Expected);
    EXPECT_EQ((*site)[0].Note, "");
    EXPECT_EQ((*site)[1].Unit.Name, "Kotelna č. 2");
    EXPECT_EQ((*site)[1].Unit.Family, "HWG");
    EXPECT_EQ((*site)[1].Note, "by the door, \"left\"\nlow");
    EXPECT_EQ((*site)[2].Unit.Name, " padded ");

    const std::vector<TWatchUnit> units = ExpectedUnits(*site);
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[1].Key, *WatchKeyOf(kB, "HWG"));
    EXPECT_TRUE(units[1].Expected);
    EXPECT_EQ(units[1].Note, "by the door, \"left\"\nlow");
    EXPECT_EQ(units[1].Last.Name, "Kotelna č. 2");
    EXPECT_EQ(units[1].LastSeen, 0);

    // Saved again with that site open and one unit silent: the silent unit keeps its record as
    // read, every field of it; a unit the site does not expect stays so.
    std::vector<TSiteUnit> opened = *site;
    opened[2].Expected = false;
    const std::vector<TExportDevice> answered(devices.begin(), devices.begin() + 1);
    std::vector<TExportDevice> answeredAndUnexpected = answered;
    answeredAndUnexpected.push_back(devices[2]);
    const auto again = Read(SiteCsv(answered, opened, &records));
    EXPECT_EQ(records, 3u);
    ASSERT_TRUE(again.has_value()) << Error;
    ASSERT_EQ(again->size(), 3u);
    EXPECT_EQ((*again)[0].Unit.MAC, kA);
    EXPECT_EQ((*again)[1].Unit.MAC, kB);
    EXPECT_EQ((*again)[1].Values, (*site)[1].Values);
    EXPECT_EQ((*again)[1].Note, "by the door, \"left\"\nlow");
    EXPECT_TRUE((*again)[1].Expected);
    EXPECT_FALSE((*again)[2].Expected);
    const auto unexpected = Read(SiteCsv(answeredAndUnexpected, opened));
    ASSERT_TRUE(unexpected.has_value()) << Error;
    ASSERT_EQ(unexpected->size(), 3u);
    EXPECT_EQ((*unexpected)[1].Unit.MAC, "00:0A:59:00:00:03");
    EXPECT_FALSE((*unexpected)[1].Expected);
}

TEST_F(SiteFile, ExpectedValuesAndOptionalColumns)
{
    for (const char* yes : {"1", "yes", "YES", "True", " true ", "tRUE"})
        EXPECT_EQ(ParseExpected(yes), std::optional<bool>(true)) << yes;
    for (const char* no : {"0", "no", "No", "FALSE", "false\t"})
        EXPECT_EQ(ParseExpected(no), std::optional<bool>(false)) << no;
    for (const char* neither : {"", "2", "y", "maybe", "yes please"})
        EXPECT_FALSE(ParseExpected(neither).has_value()) << neither;

    // Without Expected every unit is expected; without Note the notes are empty; LF ends too.
    auto site = Read("family,mac\n" "Orvex," + kA + "\n\nHWG," + kB + "\n");
    ASSERT_TRUE(site.has_value()) << Error;
    ASSERT_EQ(site->size(), 2u);
    EXPECT_TRUE((*site)[0].Expected && (*site)[1].Expected);
    EXPECT_EQ((*site)[1].Unit.Family, "HWG");

    site = Read("MAC,Family,Expected\r\n" + kA + ",Orvex,no\r\n" + kB + ",Orvex,Yes\r\n");
    ASSERT_TRUE(site.has_value()) << Error;
    ASSERT_EQ(site->size(), 2u);
    EXPECT_FALSE((*site)[0].Expected);
    EXPECT_TRUE((*site)[1].Expected);
    const std::vector<TWatchUnit> units = ExpectedUnits(*site);
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units[0].Last.MAC, kB);
}

TEST_F(SiteFile, RefusalsNameTheLine)
{
    EXPECT_EQ(Refusal(""), "Line 1: the site file has no header");
    EXPECT_EQ(Refusal(kA + ",Orvex\r\n"), "Line 1: the site file has no MAC column");
    EXPECT_EQ(Refusal("\r\nName,MAC\r\nx," + kA + "\r\n"), "Line 2: the site file has no Family column");
    EXPECT_EQ(Refusal("MAC,Family\r\n" + kA + ",Orvex\r\n00:0A:59:00:00,Orvex\r\n"),
              "Line 3, column 1: 00:0A:59:00:00 is not a MAC address");
    EXPECT_EQ(Refusal("MAC,Family\r\n" + kA + ",\r\n"), "Line 2, column 2: the family is empty");
    EXPECT_EQ(Refusal("Note,MAC,Family,Expected\r\n\"a\nb\"," + kA + ",Orvex,maybe\r\n"),
              "Line 2, column 4: Expected is maybe, not 1, 0, yes, no, true or false");
    EXPECT_EQ(Refusal("MAC,Family,Name\r\n" + kA + ",Orvex,Hall\xFF\r\n"), "Line 2, column 29: the text is not UTF-8");
    EXPECT_EQ(Refusal("MAC,Family,Name\r\n" + kA + ",Orvex,\"Hall\r\n"),
              "Line 2, column 25: a quoted field is not closed");
    Error.clear();
    EXPECT_FALSE(ReadSite(Dir.filePath(QStringLiteral("none.csv")).toStdString(), Error).has_value());
    EXPECT_NE(Error.find("none.csv"), std::string::npos) << Error;

    InitTranslation(PYXET_BIN_DIR "/");
    UseLanguage("cs");
    const std::string czech = Refusal("MAC,Family\r\nxx,Orvex\r\n");
    UseLanguage("en");
    EXPECT_EQ(czech, "Řádek 2, sloupec 1: xx není adresa MAC");
}

TEST_F(SiteFile, RowAndSizeLimits)
{
    std::string rows = "MAC,Family\r\n";
    for (int k = 0; k < kMaxSiteRows; ++k)
        rows += kA + ",Orvex\r\n";
    const auto most = Read(rows);
    ASSERT_TRUE(most.has_value()) << Error;
    EXPECT_EQ(most->size(), static_cast<size_t>(kMaxSiteRows));
    EXPECT_EQ(Refusal(rows + kB + ",Orvex\r\n"),
              "Line " + std::to_string(kMaxSiteRows + 2) + ": the site file has more than 100000 devices");

    // A note as long as the limit allows; one byte more, on its line 3, is refused.
    const std::string start = "MAC,Family,Note\r\n" + kA + ",Orvex,\"\n";
    const std::string large = start + std::string(static_cast<size_t>(kMaxSiteBytes) - start.size() - 1, 'x') + "\"";
    const auto largest = Read(large);
    ASSERT_TRUE(largest.has_value()) << Error;
    ASSERT_EQ(largest->size(), 1u);
    EXPECT_EQ(largest->front().Note.size(), static_cast<size_t>(kMaxSiteBytes) - start.size());  // with its line break
    EXPECT_EQ(Refusal(large + "\n"), "Line 3: the site file is larger than 16 MiB");
}
