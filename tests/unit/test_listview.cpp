// What the device list shows: the type filter, column sorts, new-device rows and the All box.
#include "core/devices/listview.h"

#include "core/log/actionlog.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class TListDevice : public TProduct {
public:
    void Update() override {}
    void FactoryDefault() override {}
    void Restart() override {}
};

// A DeviceList as the registry holds it: lines with their devices, in this order.
struct TListFixture {
    std::vector<TDeviceEntry> List;

    TProduct* Add(const std::string& type, const std::string& name, const std::string& ip = "N/A")
    {
        auto device = std::make_unique<TListDevice>();
        device->Info.TypeName = type;
        device->Info.Name = name;
        device->Info.IP = ip;
        TProduct* raw = device.get();
        List.push_back({type + " " + name, std::move(device)});
        return raw;
    }
};

std::vector<std::string> NamesOf(const std::vector<TDeviceRow>& rows)
{
    std::vector<std::string> names;
    for (const TDeviceRow& row : rows)
        names.push_back(row.Device->Info.Name);
    return names;
}

} // namespace

TEST(TypeFilter, FirstEntryOrNoneKeepsEveryRow)
{
    TListFixture f;
    f.Add("Poseidon 2261", "Bravo");
    EXPECT_FALSE(FilterRows(f.List, 0, "All devices").has_value()) << "\"All devices\" shows DeviceList itself";
    EXPECT_FALSE(FilterRows(f.List, -1, "").has_value()) << "no entry chosen";
    EXPECT_FALSE(FilterRows({}, 0, "All devices").has_value());
}

TEST(TypeFilter, KeepsTheExactTypeInListOrder)
{
    TListFixture f;
    TProduct* bravo = f.Add("Poseidon 2261", "Bravo");
    f.Add("Damocles 2404", "Alpha");
    f.Add("poseidon 2261", "Lower");  // the filter, unlike the filter box's entries, tells case apart
    f.Add("Poseidon 2261 ", "Blank");
    f.Add("Poseidon 2261", "Charlie");
    f.Add("", "Nameless");

    const auto rows = FilterRows(f.List, 1, "Poseidon 2261");
    ASSERT_TRUE(rows.has_value());
    EXPECT_EQ(NamesOf(*rows), (std::vector<std::string>{"Bravo", "Charlie"}));
    EXPECT_EQ((*rows)[0].Device, bravo);
    EXPECT_EQ((*rows)[0].Line, "Poseidon 2261 Bravo") << "each row keeps its own line";

    EXPECT_EQ(NamesOf(FilterRows(f.List, 3, "poseidon 2261").value()), (std::vector<std::string>{"Lower"}));
    EXPECT_EQ(NamesOf(FilterRows(f.List, 2, "").value()), (std::vector<std::string>{"Nameless"}))
        << "an unnamed type is an entry like any other";
    const auto none = FilterRows(f.List, 1, "Gone 1000");
    ASSERT_TRUE(none.has_value()) << "a type nobody has narrows to nothing, it does not show all";
    EXPECT_TRUE(none->empty());
}

TEST(TypeFilter, BoxGetsOneEntryPerTypeLetterCaseIgnored)
{
    const std::vector<std::string> entries = {"All devices", "Poseidon 2261", "Čidlo"};
    struct {
        const char* Type;
        bool Needed;
        const char* Why;
    } const rows[] = {
        {"Poseidon 2261", false, "already there"},
        {"POSEIDON 2261", false, "letter case ignored"},
        {"čidlo", false, "letter case ignored beyond ASCII"},
        {"Poseidon 2262", true, "another type"},
        {"Poseidon 2261 ", true, "a trailing blank makes another name"},
        {"all devices", false, "the first entry counts too"},
        {"", true, "an unnamed type gets an empty entry"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(NeedsFilterEntry(entries, r.Type), r.Needed) << r.Why << ": \"" << r.Type << '"';
    EXPECT_FALSE(NeedsFilterEntry({"All devices", ""}, "")) << "one empty entry is enough";
    EXPECT_TRUE(NeedsFilterEntry({}, "All devices"));
}

TEST(Search, MatchesEachShownFieldLetterCaseIgnored)
{
    TProductInfo info;
    info.TypeName = "Poseidon 2261";
    info.Name = "Čidlo Kotelna";
    info.MAC = "00:0A:14:1E:28:32";
    info.PeerIP = "10.77.1.20";
    info.IP = "192.168.5.7";
    info.FirmwareRev = "2.1.0";
    info.Mask = "255.255.0.0";  // not searched: not shown in the list
    struct {
        const char* Text;
        bool Match;
        const char* Why;
    } const rows[] = {
        {"", true, "empty text keeps every row"},
        {"poseidon", true, "type, other case"},
        {"KOTEL", true, "name, other case"},
        {"čidlo", true, "name, letter case ignored beyond ASCII"},
        {"ČIDLO", true, "the same the other way round"},
        {"1e:28", true, "MAC, lower case"},
        {"77.1.2", true, "answering address"},
        {"192.168.5", true, "configured address"},
        {"2.1.0", true, "firmware revision"},
        {"255.255", false, "the mask is not shown"},
        {"Kotelna Poseidon", false, "the text is looked for within one field"},
        {"00:0A:14:1E:28:32:", false, "longer than the field"},
        {"cidlo", true, "accents ignored"},
        {"CIDLO kot", true, "accents and letter case ignored together"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(TDeviceSearch(r.Text).Matches(info), r.Match) << r.Why << ": \"" << r.Text << '"';
    EXPECT_TRUE(TDeviceSearch().Empty());
    EXPECT_FALSE(TDeviceSearch("x").Empty());
}

TEST(Search, KeyIgnoresLetterCaseAndAccents)
{
    const auto key = [](const char* text) { return SearchKey(text); };
    EXPECT_EQ(key("Teploměr"), u"teplomer");
    EXPECT_EQ(key("TEPLOMĚR"), u"teplomer");
    EXPECT_EQ(key("Příliš žluťoučký kůň úpěl ďábelské ódy"), u"prilis zlutoucky kun upel dabelske ody");
    EXPECT_EQ(key("ŘEŽŤŇĎ"), u"reztnd");
    // Decomposed input (as some systems type it) gives the same key as composed input.
    EXPECT_EQ(key("te\u0301plome\u030Cr"), u"teplomer");
    EXPECT_EQ(key("Łódź"), u"łodz") << "a letter without a separable accent stays";
    EXPECT_EQ(key("00:0A:14:1E"), u"00:0a:14:1e");
    EXPECT_EQ(key(""), u"");

    TProductInfo info;
    info.Name = "Teploměr sklad";
    info.TypeName = "Čidlo";
    EXPECT_TRUE(TDeviceSearch("teplomer").Matches(info)) << "the plain letters find the accented name";
    EXPECT_TRUE(TDeviceSearch("TEPLOMĚR").Matches(info));
    EXPECT_TRUE(TDeviceSearch("ŠKLAD").Matches(info)) << "an accent typed where the name has none";
    EXPECT_TRUE(TDeviceSearch("cidl").Matches(info)) << "the type name too";
    EXPECT_FALSE(TDeviceSearch("teplomerr").Matches(info));
}

TEST(Search, NarrowsTheTypeFilterInListOrder)
{
    TListFixture f;
    f.Add("Poseidon 2261", "Boiler room", "10.0.0.3");
    f.Add("Damocles 2404", "Boiler door", "10.0.0.4");
    f.Add("Poseidon 2261", "Attic", "10.0.0.5");
    f.Add("Poseidon 2261", "Second boiler", "10.0.0.6");

    EXPECT_FALSE(FilterRows(f.List, 0, "All devices", TDeviceSearch("")).has_value())
        << "neither narrows: DeviceList itself";
    EXPECT_EQ(NamesOf(FilterRows(f.List, 0, "All devices", TDeviceSearch("BOILER")).value()),
              (std::vector<std::string>{"Boiler room", "Boiler door", "Second boiler"}));
    EXPECT_EQ(NamesOf(FilterRows(f.List, 1, "Poseidon 2261", TDeviceSearch("boiler")).value()),
              (std::vector<std::string>{"Boiler room", "Second boiler"}));
    EXPECT_EQ(NamesOf(FilterRows(f.List, 1, "Poseidon 2261", TDeviceSearch("")).value()),
              (std::vector<std::string>{"Boiler room", "Attic", "Second boiler"}))
        << "empty text leaves the type filter alone";
    const auto none = FilterRows(f.List, 0, "All devices", TDeviceSearch("cellar"));
    ASSERT_TRUE(none.has_value()) << "text nobody has narrows to nothing, it does not show all";
    EXPECT_TRUE(none->empty());
}

TEST(ColumnSort, OneDirectionForAllColumnsTurnsOnEveryClick)
{
    EXPECT_FALSE(ColumnButtonClick(false, 0).Sort) << "no devices: nothing happens";
    EXPECT_FALSE(ColumnButtonClick(false, 0).Ascending) << "and the direction stays";
    EXPECT_TRUE(ColumnButtonClick(true, 0).Ascending);

    // Name, Name, MAC from the start of a run: ascending, descending, ascending.
    bool ascending = false;
    std::vector<bool> seen;
    for (int click = 0; click < 3; ++click) {
        const TSortClick c = ColumnButtonClick(ascending, 1);
        ASSERT_TRUE(c.Sort);
        ascending = c.Ascending;
        seen.push_back(ascending);
    }
    EXPECT_EQ(seen, (std::vector<bool>{true, false, true}));
}

TEST(ColumnSort, RowsFollowTheComparatorAndDirection)
{
    TListFixture f;
    f.Add("Poseidon 2261", "Bravo", "192.168.2.10");
    TProduct* alpha = f.Add("Damocles 2404", "Alpha", "N/A");
    f.Add("Poseidon 2261", "Charlie", "192.168.1.20");

    EXPECT_EQ(NamesOf(SortedRows(f.List, CompareName, true)), (std::vector<std::string>{"Alpha", "Bravo", "Charlie"}));
    EXPECT_EQ(NamesOf(SortedRows(f.List, CompareName, false)), (std::vector<std::string>{"Charlie", "Bravo", "Alpha"}));
    EXPECT_EQ(NamesOf(SortedRows(f.List, CompareIp, true)), (std::vector<std::string>{"Charlie", "Bravo", "Alpha"}))
        << "addresses as numbers, no address last";
    EXPECT_EQ(NamesOf(SortedRows(f.List, CompareIp, false)), (std::vector<std::string>{"Alpha", "Bravo", "Charlie"}));

    const std::vector<TDeviceRow> rows = SortedRows(f.List, CompareName, true);
    EXPECT_EQ(rows[0].Device, alpha);
    EXPECT_EQ(rows[0].Line, "Damocles 2404 Alpha") << "a row keeps its device's line";
    EXPECT_EQ(f.List[0].Device->Info.Name, "Bravo") << "DeviceList keeps its order";
    EXPECT_TRUE(SortedRows({}, CompareName, true).empty());
}

TEST(RowColours, NewDevicesOnlyFromTheSecondCycleOn)
{
    TActionLogger log;  // registration logs its steps
    SetCurrentLogger(&log);
    const TProductTable table = {"1=Poseidon+2261"};
    auto add = [&](TDeviceRegistry& registry, const std::string& name) {
        auto device = std::make_unique<TListDevice>();
        device->Info.TypeCode = 1;
        device->Info.Name = name;
        registry.AddDevice(std::move(device), table, nullptr);
    };

    TDeviceRegistry registry;
    add(registry, "Alpha");
    const std::string alphaLine = registry.DeviceList()[0].Line;
    EXPECT_FALSE(IsNewDeviceRow(registry, alphaLine)) << "first cycle: nothing stands out";
    EXPECT_FALSE(IsNewDeviceRow(registry, "anything"));

    registry.BeginCycle();
    add(registry, "Alpha");
    add(registry, "Delta");
    EXPECT_FALSE(IsNewDeviceRow(registry, alphaLine)) << "found again";
    EXPECT_TRUE(IsNewDeviceRow(registry, registry.DeviceList()[1].Line)) << "not listed before";
    std::string otherCase = alphaLine;
    otherCase[otherCase.find("Alpha")] = 'a';
    EXPECT_TRUE(IsNewDeviceRow(registry, otherCase)) << "the line must match exactly, letter case too";

    // A cycle after one that found nothing has no previous devices: nothing stands out again.
    registry.BeginCycle();
    registry.BeginCycle();
    add(registry, "Echo");
    EXPECT_FALSE(IsNewDeviceRow(registry, registry.DeviceList()[0].Line));
    SetCurrentLogger(nullptr);
}

TEST(AllBox, StateFollowsTheCount)
{
    EXPECT_EQ(AllBoxState(0, 3), TAllBoxState::Unchecked);
    EXPECT_EQ(AllBoxState(1, 3), TAllBoxState::Partial);
    EXPECT_EQ(AllBoxState(2, 3), TAllBoxState::Partial);
    EXPECT_EQ(AllBoxState(3, 3), TAllBoxState::Checked);
    EXPECT_EQ(AllBoxState(0, 0), TAllBoxState::Unchecked) << "an empty list has nothing checked";
    EXPECT_EQ(AllBoxState(1, 1), TAllBoxState::Checked);
}

TEST(AllBox, RowTogglesCountOneStepWithinTheRows)
{
    // Checking two of three rows grays the box, the third checks it, one unchecked grays it again.
    int count = 0;
    std::vector<TAllBoxState> states;
    for (bool nowChecked : {true, true, true, false}) {
        const TCheckCount c = RowCheckToggled(count, nowChecked, 3);
        count = c.Count;
        states.push_back(c.AllBox);
    }
    EXPECT_EQ(count, 2);
    EXPECT_EQ(states, (std::vector<TAllBoxState>{TAllBoxState::Partial, TAllBoxState::Partial, TAllBoxState::Checked,
                                                 TAllBoxState::Partial}));

    struct {
        int Count;
        bool NowChecked;
        int Rows;
        int Expected;
        TAllBoxState Box;
        const char* Why;
    } const rows[] = {
        {0, false, 3, 0, TAllBoxState::Unchecked, "never below none"},
        {3, true, 3, 3, TAllBoxState::Checked, "never above the rows"},
        {1, false, 3, 0, TAllBoxState::Unchecked, "last mark removed"},
        {5, false, 3, 3, TAllBoxState::Checked, "a count beyond the rows is brought back to them"},
        {0, true, 0, 0, TAllBoxState::Unchecked, "no rows"},
    };
    for (const auto& r : rows) {
        const TCheckCount c = RowCheckToggled(r.Count, r.NowChecked, r.Rows);
        EXPECT_EQ(c.Count, r.Expected) << r.Why;
        EXPECT_EQ(c.AllBox, r.Box) << r.Why;
    }
}

TEST(AllBox, ClickSetsEveryRowUnlessGrayed)
{
    EXPECT_EQ(AllBoxChecks(TAllBoxState::Checked, 3), 3);
    EXPECT_EQ(AllBoxChecks(TAllBoxState::Unchecked, 3), 0);
    EXPECT_FALSE(AllBoxChecks(TAllBoxState::Partial, 3).has_value()) << "the grayed state changes no row";
    EXPECT_EQ(AllBoxChecks(TAllBoxState::Checked, 0), 0);
}

// The Name cell shows the name the row's line was filed with: a setup sent since changed the
// device's Name, not its line.
TEST(Cells, NameAsTheLineHoldsIt)
{
    TProductInfo info;
    info.TypeName = "Poseidon 2261";
    info.MAC = "00:0A:59:00:00:01";
    info.PeerIP = "10.0.0.1";
    info.FirmwareRev = "1.0";
    const struct {
        std::string Filed;
        const char* Why;
    } names[] = {
        {"Hall", "short, padded in the line"},
        {"Kotelna a strojovna v patře 3, teploměr!", "longer than its 28 characters"},
        {std::string(28, 'x'), "exactly its width"},
        {"Teploměr č. 5", "letters of two bytes"},
        {"", "no name"},
        {"a  b", "blanks inside"},
    };
    for (const auto& n : names) {
        info.Name = n.Filed;
        const std::string line = TDeviceRegistry::DisplayLine(info);
        EXPECT_EQ(FiledName(line, info), n.Filed) << n.Why << ": the device's own name";
        info.Name = "Renamed since";
        EXPECT_EQ(FiledName(line, info), n.Filed) << n.Why;
        info.Name = "";
        EXPECT_EQ(FiledName(line, info), n.Filed) << n.Why << ": renamed to nothing";
    }
    // A type name longer than its 20 characters moves the name along.
    info.TypeName = "A very long type name of 33 chars";
    info.Name = "Hall";
    const std::string line = TDeviceRegistry::DisplayLine(info);
    info.Name = "Other";
    EXPECT_EQ(FiledName(line, info), "Hall");
    // A line that is not the device's gives the device's name.
    EXPECT_EQ(FiledName("something else entirely", info), "Other");
}
