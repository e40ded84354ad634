// The history of each device's configurations, in temporary folders: a version only when the
// configuration changed, the clash suffix, pruning beyond Keep, finding a version by number or
// day, and an index that is missing, damaged or behind the files.
#include "core/config/history.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {
constexpr const char* kMac = "00:1a:2B-3c:4d:5e";
constexpr const char* kFolderName = "001A2B3C4D5E";
// 2026-12-10 10:15:00 UTC
constexpr int64_t kTen = 1796897700;

QByteArray Config(const char* community, const char* indent = "  ")
{
    return QByteArray("<?xml version=\"1.0\"?>\n<setup>\n") + indent + "<snmp community=\"" + community
        + "\"/>\n" + indent + "<name>Boiler room</name>\n</setup>\n";
}

std::string ReadText(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class History : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/pyxet-history-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        Dir = tmpl;
    }
    void TearDown() override { fs::remove_all(Dir); }
    fs::path DeviceDir() const { return Dir / kFolderName; }
    fs::path Dir;
};
}  // namespace

TEST_F(History, NamesOfDevicesAndVersions)
{
    EXPECT_EQ(HistoryMacName("00-1a-2b-3c-4d-5e"), kFolderName);
    EXPECT_EQ(HistoryMacName("001A2B3C4D5E"), kFolderName);
    EXPECT_EQ(HistoryMacName(""), "");
    EXPECT_EQ(HistoryMacName("N/A"), "");
    EXPECT_EQ(HistoryVersionName(kTen), "20261210T101500Z");
    EXPECT_EQ(HistoryVersionTime("20261210T101500Z"), kTen);
    EXPECT_EQ(HistoryVersionTime("20261210T101500Z-2"), kTen);
    const char* notVersions[] = {"20261210T101500", "20261210T101500Z-1", "20261210T101500Z-02", "20260231T101500Z",
                                 "20261210T106000Z", "20261210t101500Z", "20261210T101500Z-", "index"};
    for (const char* name : notVersions)
        EXPECT_FALSE(HistoryVersionTime(name)) << name;
    EXPECT_EQ(HistoryFolder("", "/home/eva/.local/share/pyxet/"), "/home/eva/.local/share/pyxet/history/");
    EXPECT_EQ(HistoryFolder("/srv/configs", "/ignored/"), "/srv/configs/");
}

TEST_F(History, AVersionOnlyWhenTheConfigurationChanged)
{
    THistory history(Dir.string());
    const THistoryKept first = history.Keep(kMac, Config("public"), kTen);
    ASSERT_TRUE(first.Ok) << first.Error;
    EXPECT_TRUE(first.Added);
    EXPECT_EQ(first.Version.Version, "20261210T101500Z");
    EXPECT_EQ(first.Version.Path, (DeviceDir() / "20261210T101500Z.xml").string());
    EXPECT_EQ(ReadText(first.Version.Path), Config("public").toStdString()) << "the bytes as downloaded";

    // Only its indentation differs: the same configuration, nothing added.
    const THistoryKept same = history.Keep(kMac, Config("public", "\t"), kTen + 60);
    ASSERT_TRUE(same.Ok);
    EXPECT_FALSE(same.Added);
    EXPECT_EQ(same.Version.Version, "20261210T101500Z");
    EXPECT_EQ(history.Versions(kMac).size(), 1u);

    const THistoryKept changed = history.Keep("00:1A:2B:3C:4D:5E", Config("private"), kTen + 3600);
    ASSERT_TRUE(changed.Added);
    const std::vector<THistoryVersion> versions = history.Versions(kMac);
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_EQ(versions[0].Version, "20261210T111500Z") << "newest first";
    EXPECT_EQ(versions[0].Changes, 1);
    EXPECT_EQ(versions[0].Time, kTen + 3600);
    EXPECT_EQ(versions[0].Size, Config("private").size());
    EXPECT_EQ(versions[1].Changes, -1) << "the first has nothing before it";
    EXPECT_EQ(history.Devices(), std::vector<std::string>{kFolderName});

    // No MAC: nothing kept.
    const THistoryKept none = history.Keep("", Config("x"), kTen);
    EXPECT_FALSE(none.Ok);
    EXPECT_FALSE(none.Error.empty());
    EXPECT_EQ(history.Devices().size(), 1u);
}

TEST_F(History, ClashesGetASuffixAndTheClockNeverGoesBack)
{
    THistory history(Dir.string());
    ASSERT_TRUE(history.Keep(kMac, Config("a"), kTen).Added);
    EXPECT_EQ(history.Keep(kMac, Config("b"), kTen).Version.Version, "20261210T101500Z-2");
    EXPECT_EQ(history.Keep(kMac, Config("c"), kTen).Version.Version, "20261210T101500Z-3");
    // A clock set back: the new version still comes after the newest one.
    EXPECT_EQ(history.Keep(kMac, Config("d"), kTen - 86400).Version.Version, "20261210T101500Z-4");
    std::vector<THistoryVersion> versions = history.Versions(kMac);
    ASSERT_EQ(versions.size(), 4u);
    EXPECT_EQ(versions[0].Version, "20261210T101500Z-4");
    EXPECT_EQ(versions[3].Version, "20261210T101500Z");
    EXPECT_EQ(ReadText(versions[2].Path), Config("b").toStdString());
    // Ten and more at once: -10 comes after -9, whatever the letters say.
    const char* more[] = {"e", "f", "g", "h", "i", "j"};
    for (const char* community : more)
        history.Keep(kMac, Config(community), kTen);
    versions = history.Versions(kMac);
    ASSERT_EQ(versions.size(), 10u);
    EXPECT_EQ(versions[0].Version, "20261210T101500Z-10");
    EXPECT_EQ(versions[1].Version, "20261210T101500Z-9");
}

TEST_F(History, TheOldestGoBeyondKeep)
{
    THistory history(Dir.string(), 3);
    const char* communities[] = {"a", "b", "c", "d", "e"};
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(history.Keep(kMac, Config(communities[i]), kTen + i * 60).Added);
    const std::vector<THistoryVersion> versions = history.Versions(kMac);
    ASSERT_EQ(versions.size(), 3u);
    EXPECT_EQ(ReadText(versions[0].Path), Config("e").toStdString());
    EXPECT_EQ(ReadText(versions[2].Path), Config("c").toStdString());
    EXPECT_EQ(versions[2].Changes, -1) << "the one before it is gone";
    EXPECT_EQ(versions[1].Changes, 1);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(DeviceDir()))
        files += entry.path().extension() == ".xml";
    EXPECT_EQ(files, 3) << "the removed versions' files are gone";
}

TEST_F(History, FindByNumberOrDay)
{
    THistory history(Dir.string());
    history.Keep(kMac, Config("a"), kTen - 2 * 86400);  // 2026-12-08
    history.Keep(kMac, Config("b"), kTen - 86400);      // 2026-12-09 10:15
    history.Keep(kMac, Config("c"), kTen - 86400 + 13 * 3600 + 44 * 60 + 59);  // 2026-12-09 23:59:59
    history.Keep(kMac, Config("d"), kTen);              // 2026-12-10
    const struct {
        const char* Which;
        const char* Version;  // "" none
        const char* Why;
    } rows[] = {
        {"", "20261210T101500Z", "the newest"},
        {"1", "20261210T101500Z", "the newest"},
        {"2", "20261209T235959Z", "the second newest"},
        {"4", "20261208T101500Z", "the oldest"},
        {"5", "", "beyond the oldest"},
        {"0", "", "numbers start at 1"},
        {"2026-12-09", "20261209T235959Z", "the newest on that day"},
        {"2026-12-31", "20261210T101500Z", "the newest before a later day"},
        {"2026-12-07", "", "before the first"},
        {"2026-02-30", "", "no such day"},
        {"2026-1-09", "", "neither form"},
        {"yesterday", "", "neither form"},
    };
    for (const auto& row : rows) {
        const std::optional<THistoryVersion> found = history.Find(kMac, row.Which);
        EXPECT_EQ(found ? found->Version : "", row.Version) << row.Which << ": " << row.Why;
    }
    EXPECT_FALSE(history.Find("00:00:00:00:00:01", "1")) << "a device without history";
}

TEST_F(History, AMissingOrDamagedIndexIsRebuiltFromTheFiles)
{
    THistory history(Dir.string());
    history.Keep(kMac, Config("a"), kTen);
    history.Keep(kMac, Config("b"), kTen + 60);
    history.Keep(kMac, Config("c"), kTen + 120);
    const std::vector<THistoryVersion> good = history.Versions(kMac);
    const fs::path index = DeviceDir() / kHistoryIndexName;
    ASSERT_TRUE(fs::exists(index));
    const struct {
        const char* Text;  // nullptr: no index
        const char* Why;
    } damages[] = {
        {nullptr, "missing"},
        {"", "empty"},
        {"pyxet-history 1\n20261210T101500Z\t120\t-1\n", "names fewer versions than there are"},
        {"pyxet-history 1\n20261210T101500Z\t1\t-1\n20261210T101600Z\tx\t1\n20261210T101700Z\t1\t1\n", "a bad size"},
        {"pyxet-history 1\n20261210T101500Z\t1\t-1\n20261210T101600Z\t1\t1\n20261210T101700Z\t1\t1", "cut short"},
        {"something else\n", "another file"},
    };
    for (const auto& damage : damages) {
        fs::remove(index);
        if (damage.Text)
            std::ofstream(index, std::ios::binary) << damage.Text;
        const std::vector<THistoryVersion> versions = history.Versions(kMac);
        ASSERT_EQ(versions.size(), good.size()) << damage.Why;
        for (size_t i = 0; i < good.size(); ++i) {
            EXPECT_EQ(versions[i].Version, good[i].Version) << damage.Why;
            EXPECT_EQ(versions[i].Size, good[i].Size) << damage.Why;
            EXPECT_EQ(versions[i].Changes, good[i].Changes) << damage.Why;
        }
        EXPECT_EQ(ReadText(index).rfind("pyxet-history 1\n", 0), 0u) << damage.Why << ": written again";
    }
    // Rebuilt and written again: the next keep goes on from it.
    EXPECT_NE(ReadText(index).find("20261210T101700Z\t"), std::string::npos);
    ASSERT_TRUE(history.Keep(kMac, Config("d"), kTen + 180).Added);
    EXPECT_EQ(history.Versions(kMac).size(), 4u);

    // A version file removed by hand: the index no longer matches and is not believed.
    fs::remove(DeviceDir() / "20261210T101600Z.xml");
    const std::vector<THistoryVersion> left = history.Versions(kMac);
    ASSERT_EQ(left.size(), 3u);
    EXPECT_EQ(left[1].Version, "20261210T101700Z");
    EXPECT_EQ(left[1].Changes, 1) << "compared with the version now before it";
}
