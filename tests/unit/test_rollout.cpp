// Firmware rollouts without a network: the order of waves, the halt rule, the skip rule, the kinds
// line, the retry waits, and the upgrade journal (its JSON, its files, its writer and resume).
#include "core/app/i18n.h"
#include "core/http/rollout.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
constexpr int64_t kT0 = 1796958374;  // 2026-12-11T03:06:14Z

const TUnitKind kSenseT{"Orvex", 32, "Orvex Sense T"};
const TUnitKind kSenseTH{"Orvex", 33, "Orvex Sense TH"};
const TUnitKind kPoseidon{"HWG", 34, "Poseidon 2250"};
const TUnitKind kUnknown{};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The waves as text: "F[0] F[1,2] [3,4]" (F for a first unit's wave).
std::string WavesText(const std::vector<TWave>& waves)
{
    std::string text;
    for (const TWave& wave : waves) {
        text += std::string(text.empty() ? "" : " ") + (wave.First ? "F[" : "[");
        for (size_t i = 0; i < wave.Units.size(); ++i)
            text += (i ? "," : "") + std::to_string(wave.Units[i]);
        text += "]";
    }
    return text;
}

TJournalUnit Unit(const std::string& mac, const TUnitKind& kind, const std::string& address)
{
    TJournalUnit unit;
    unit.MAC = mac;
    unit.Family = kind.Family;
    unit.TypeCode = kind.TypeCode;
    unit.TypeName = kind.TypeName;
    unit.Name = "Unit " + mac;
    unit.Address = address;
    unit.RevisionBefore = "1.0";
    return unit;
}

// A rollout with every field set to something other than its default.
TRolloutSetting FullRollout()
{
    TRolloutSetting rollout;
    rollout.First = 2;
    rollout.Wave = 16;
    rollout.HaltAfter = 3;
    rollout.SkipCurrent = true;
    rollout.ImageRevision = "2.4 beta";
    rollout.BackupFirst = true;
    rollout.Retries = 4;
    return rollout;
}

// A journal with every field set to something other than its default.
TUpgradeJournal FullJournal()
{
    const TRolloutSetting rollout = FullRollout();
    std::vector<TJournalUnit> units = {Unit("00:0A:59:00:00:01", kSenseT, "10.77.1.1"),
                                       Unit("00:0A:59:00:00:02", kPoseidon, "10.77.1.2"),
                                       Unit("", kUnknown, "10.77.1.3")};
    TUpgradeJournal journal = NewJournal("/srv/images/sense t.bin", 123456789012LL, std::string(64, 'a'), rollout,
                                         8, 240, units, kT0);
    journal.Units[0].State = TUnitState::Verified;
    journal.Units[0].Reason = "Revision 2.4";
    journal.Units[0].Started = kT0 + 5;
    journal.Units[0].Ended = kT0 + 46;
    journal.Units[1].State = TUnitState::Sending;
    journal.Units[1].Name = "Kotelna \u2013 sever";  // not ASCII
    journal.Units[1].Started = kT0 + 50;
    journal.Units[2].State = TUnitState::NotFound;
    journal.Units[2].Reason = "Nobody \"answered\"";
    journal.Units[2].RevisionBefore = "";
    return journal;
}

void ExpectSameJournal(const TUpgradeJournal& a, const TUpgradeJournal& b)
{
    EXPECT_EQ(a.Image, b.Image);
    EXPECT_EQ(a.ImageSize, b.ImageSize);
    EXPECT_EQ(a.ImageSha256, b.ImageSha256);
    EXPECT_EQ(a.Rollout.First, b.Rollout.First);
    EXPECT_EQ(a.Rollout.Wave, b.Rollout.Wave);
    EXPECT_EQ(a.Rollout.HaltAfter, b.Rollout.HaltAfter);
    EXPECT_EQ(a.Rollout.SkipCurrent, b.Rollout.SkipCurrent);
    EXPECT_EQ(a.Rollout.ImageRevision, b.Rollout.ImageRevision);
    EXPECT_EQ(a.Rollout.BackupFirst, b.Rollout.BackupFirst);
    EXPECT_EQ(a.Rollout.Retries, b.Rollout.Retries);
    EXPECT_EQ(a.Jobs, b.Jobs);
    EXPECT_EQ(a.VerifySeconds, b.VerifySeconds);
    EXPECT_EQ(a.Created, b.Created);
    ASSERT_EQ(a.Units.size(), b.Units.size());
    for (size_t i = 0; i < a.Units.size(); ++i) {
        SCOPED_TRACE("unit " + std::to_string(i));
        const TJournalUnit &x = a.Units[i], &y = b.Units[i];
        EXPECT_EQ(x.MAC, y.MAC);
        EXPECT_EQ(x.Family, y.Family);
        EXPECT_EQ(x.TypeCode, y.TypeCode);
        EXPECT_EQ(x.TypeName, y.TypeName);
        EXPECT_EQ(x.Name, y.Name);
        EXPECT_EQ(x.Address, y.Address);
        EXPECT_EQ(x.RevisionBefore, y.RevisionBefore);
        EXPECT_EQ(x.State, y.State);
        EXPECT_EQ(x.Reason, y.Reason);
        EXPECT_EQ(x.Started, y.Started);
        EXPECT_EQ(x.Ended, y.Ended);
    }
}

class RolloutFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseLanguage("en");
        ASSERT_TRUE(Dir.isValid());
        Root = Dir.path().toStdString();
    }
    std::string At(const std::string& name) const { return Root + "/" + name; }
    QTemporaryDir Dir;
    std::string Root;
};

// Makes every file write of this process fail past `bytes` while it lives, as a full disk does
// (root included).
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &Saved);
        OldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = Saved;
        small.rlim_cur = bytes;
        Set = setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~TFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &Saved);
        std::signal(SIGXFSZ, OldHandler);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;
    bool Set = false;

private:
    rlimit Saved{};
    void (*OldHandler)(int) = nullptr;
};
} // namespace

TEST(Rollout, SettingsRoundTrip)
{
    TSettings settings;
    KeepRolloutInSettings(FullRollout(), settings);
    const TRolloutSetting back = RolloutOfSettings(settings);
    EXPECT_EQ(back.First, 2);
    EXPECT_EQ(back.Wave, 16);
    EXPECT_EQ(back.HaltAfter, 3);
    EXPECT_TRUE(back.SkipCurrent);
    EXPECT_EQ(back.ImageRevision, "") << "the image's revision is never kept";
    EXPECT_TRUE(back.BackupFirst);
    EXPECT_EQ(back.Retries, 4);
    EXPECT_FALSE(RolloutOfSettings(TSettings{}).Asked()) << "the defaults ask for nothing";
}

// ---- Waves and halts ------------------------------------------------------------------------------

TEST(Rollout, WavesFirstUnitsAloneThenWavesInListOrder)
{
    auto all = [](size_t n) { return std::vector<bool>(n, true); };
    struct TCase {
        std::vector<bool> Eligible;
        int First, Wave, Jobs;
        const char* Waves;
        const char* Why;
    } cases[] = {
        {all(5), 1, 2, 4, "F[0] [1,2] [3,4]", "a first unit, then waves of Wave"},
        {all(7), 2, 0, 3, "F[0] F[1] [2,3,4] [5,6]", "wave 0: as many as the jobs"},
        {all(3), 0, 0, 0, "[0] [1] [2]", "wave 0 and no jobs: one at a time"},
        {all(6), 0, 4, 1, "[0,1,2,3] [4,5]", "no first units"},
        {all(2), 5, 3, 1, "F[0] F[1]", "more first units than units"},
        {{false, true, false, true, true, false}, 1, 2, 1, "F[0,1] [2,3,4,5]",
         "units without an image ride with the next eligible unit (or the last wave) and never count"},
        {{false, false, true, true, true}, 2, 1, 1, "F[0,1,2] F[3] [4]",
         "a refused unit is never a first unit: the first two eligible ones are"},
        {{true, false, false, true}, 0, 1, 1, "[0] [1,2,3]", "riders do not fill a wave"},
        {{true, false, true, true, true}, 0, 3, 1, "[0,1,2,3] [4]", "riders do not count towards a wave's size"},
        {{false, false}, 1, 2, 1, "[0,1]", "no eligible unit: one wave that gives no image"},
        {{}, 1, 2, 1, "", "no units: no waves"},
    };
    for (const TCase& c : cases) {
        const std::vector<TWave> waves = RolloutWaves(c.Eligible, c.First, c.Wave, c.Jobs);
        EXPECT_EQ(WavesText(waves), c.Waves) << c.Why;
    }
}

TEST(Rollout, HaltRule)
{
    const TWave first{{0}, true}, wave{{1, 2, 3, 4}, false};
    // A first unit's failure halts whatever HaltAfter says.
    for (const int haltAfter : {0, 1, 5})
        EXPECT_TRUE(HaltsAfterWave(first, 1, haltAfter)) << haltAfter;
    EXPECT_FALSE(HaltsAfterWave(first, 0, 1)) << "a first unit that did not fail";
    // A wave halts at F failures and more.
    EXPECT_FALSE(HaltsAfterWave(wave, 1, 2));
    EXPECT_TRUE(HaltsAfterWave(wave, 2, 2));
    EXPECT_TRUE(HaltsAfterWave(wave, 3, 2));
    EXPECT_TRUE(HaltsAfterWave(wave, 1, 1));
    EXPECT_FALSE(HaltsAfterWave(wave, 0, 1));
    // HaltAfter 0: never.
    EXPECT_FALSE(HaltsAfterWave(wave, 4, 0));
    EXPECT_EQ(HaltLine(2, 16, 3), "Halted: 2 of 16 failed in wave 3");
}

// ---- Units already current --------------------------------------------------------------------

TEST(Rollout, SkipRuleTypedAndLearntPerKind)
{
    UseLanguage("en");
    {
        SCOPED_TRACE("nothing known: nothing skipped");
        const TCurrentRevisions none;
        EXPECT_EQ(SkipReason(none, kSenseT, "2.0"), std::nullopt);
    }
    {
        SCOPED_TRACE("typed: every kind, blanks aside; an unknown revision is never skipped");
        const TCurrentRevisions typed(" 2.0 ");
        EXPECT_EQ(SkipReason(typed, kSenseT, "2.0"), "Already at 2.0");
        EXPECT_EQ(SkipReason(typed, kPoseidon, "2.0\t"), "Already at 2.0");
        EXPECT_EQ(SkipReason(typed, kSenseT, "2.01"), std::nullopt);
        EXPECT_EQ(SkipReason(typed, kSenseT, "1.9"), std::nullopt);
        EXPECT_EQ(SkipReason(typed, kSenseT, ""), std::nullopt);
        EXPECT_EQ(SkipReason(typed, kSenseT, "  "), std::nullopt);
    }
    {
        SCOPED_TRACE("learnt: from the first verified unit of a kind, for that kind only");
        TCurrentRevisions learnt;
        learnt.Learn(kSenseT, "3.1");
        learnt.Learn(kSenseT, "3.2");  // a later unit of the kind teaches nothing
        learnt.Learn(kUnknown, "3.1");  // nor does a unit of no known kind
        EXPECT_EQ(learnt.Current(kSenseT), "3.1");
        EXPECT_EQ(SkipReason(learnt, kSenseT, "3.1"), "Already at 3.1");
        EXPECT_EQ(SkipReason(learnt, kSenseT, "3.2"), std::nullopt);
        EXPECT_EQ(SkipReason(learnt, kSenseTH, "3.1"), std::nullopt) << "another type code of the family";
        EXPECT_EQ(SkipReason(learnt, TUnitKind{"HWG", 32, ""}, "3.1"), std::nullopt) << "another family";
        EXPECT_EQ(SkipReason(learnt, kUnknown, "3.1"), std::nullopt);
        // The type name does not make the kind.
        EXPECT_EQ(SkipReason(learnt, TUnitKind{"Orvex", 32, "renamed"}, "3.1"), "Already at 3.1");
    }
    {
        SCOPED_TRACE("typed, then learnt: the kind's own revision wins for that kind");
        TCurrentRevisions both("2.0");
        both.Learn(kPoseidon, "7.5");
        EXPECT_EQ(SkipReason(both, kPoseidon, "2.0"), std::nullopt);
        EXPECT_EQ(SkipReason(both, kPoseidon, "7.5"), "Already at 7.5");
        EXPECT_EQ(SkipReason(both, kSenseT, "2.0"), "Already at 2.0");
    }
    // The revision is a device's text: shown only in its safe form.
    const TCurrentRevisions typed("1.0\x1B[31m");
    EXPECT_EQ(SkipReason(typed, kSenseT, "1.0\x1B[31m"), "Already at 1.0\\x1B[31m");
}

// ---- What the image will reach ------------------------------------------------------------------

TEST(Rollout, KindsLine)
{
    UseLanguage("en");
    struct TCase {
        std::vector<TUnitKind> Kinds;
        const char* Text;
        bool Mixed;
        const char* Why;
    } cases[] = {
        {{kPoseidon, kSenseT, kSenseT, kSenseT, kSenseT}, "5 devices: Orvex Sense T \u00D74, Poseidon 2250 \u00D71", true,
         "the kind of most units first"},
        {{kSenseT}, "1 device: Orvex Sense T \u00D71", false, "one unit"},
        {{kSenseT, kSenseT}, "2 devices: Orvex Sense T \u00D72", false, "one kind"},
        {{kSenseTH, kPoseidon, kSenseT}, "3 devices: Orvex Sense TH \u00D71, Poseidon 2250 \u00D71, Orvex Sense T \u00D71",
         true, "as many of each: list order"},
        {{kUnknown, kUnknown}, "2 devices: unknown kind \u00D72", false, "units of no known kind only"},
        {{kSenseT, kUnknown}, "2 devices: Orvex Sense T \u00D71, unknown kind \u00D71", true,
         "an unknown kind beside a known one"},
        {{TUnitKind{"HWG", 32, "Type 32"}, kSenseT}, "2 devices: Type 32 \u00D71, Orvex Sense T \u00D71", true,
         "one type code in two families"},
        {{TUnitKind{"Orvex", 32, "Orvex Sense T"}, TUnitKind{"Orvex", 32, "Sense T (renamed)"}},
         "2 devices: Orvex Sense T \u00D72", false, "the kind, not its name, counts"},
        {{TUnitKind{"Orvex", 40, "A\nB"}}, "1 device: A\\x0AB \u00D71", false, "a type name in its safe form"},
    };
    for (const TCase& c : cases) {
        const TKindsLine line = KindsLine(c.Kinds);
        EXPECT_EQ(line.Text, c.Text) << c.Why;
        EXPECT_EQ(line.Mixed, c.Mixed) << c.Why;
    }
}

// ---- Retries --------------------------------------------------------------------------------------

TEST(Rollout, RetryWaitsFromTheEnvironment)
{
    const char* saved = std::getenv("PYXET_RETRY_SECONDS");
    const std::string keep = saved ? saved : "";
    unsetenv("PYXET_RETRY_SECONDS");
    EXPECT_EQ(RetryWaits(), (std::vector<int>{30, 60, 120}));
    const std::vector<int> standard{30, 60, 120};
    struct TCase {
        const char* Text;
        std::vector<int> Waits;
        const char* Why;
    } cases[] = {
        {"5,10", {5, 10}, "two rounds"},
        {" 1 , 2 ,3", {1, 2, 3}, "blanks around the numbers"},
        {"0", {0}, "no wait at all"},
        {"86400", {86400}, "a day, the most"},
        {"86401", standard, "more than a day"},
        {"", standard, "empty"},
        {"5,,10", standard, "an empty entry"},
        {"5,", standard, "a trailing comma"},
        {"-1", standard, "negative"},
        {"1.5", standard, "not whole"},
        {"ten", standard, "not a number"},
        {"99999999999", standard, "far too large"},
    };
    for (const TCase& c : cases) {
        setenv("PYXET_RETRY_SECONDS", c.Text, 1);
        EXPECT_EQ(RetryWaits(), c.Waits) << c.Why;
    }
    if (saved)
        setenv("PYXET_RETRY_SECONDS", keep.c_str(), 1);
    else
        unsetenv("PYXET_RETRY_SECONDS");
    // A round past the list waits as the last.
    EXPECT_EQ(RetryWait({5, 10}, 0), 5);
    EXPECT_EQ(RetryWait({5, 10}, 1), 10);
    EXPECT_EQ(RetryWait({5, 10}, 2), 10);
    EXPECT_EQ(RetryWait({30, 60, 120}, 3), 120);
}

// ---- The journal --------------------------------------------------------------------------------

TEST(Rollout, JournalRoundTripsEveryField)
{
    UseLanguage("en");
    const TUpgradeJournal journal = FullJournal();
    const QByteArray json = JournalJson(journal);
    std::string error;
    const std::optional<TUpgradeJournal> back = ParseJournal(json, error);
    ASSERT_TRUE(back) << error;
    ExpectSameJournal(journal, *back);

    // The form others read: its names, its times in UTC and null for none.
    const QJsonObject top = QJsonDocument::fromJson(json).object();
    EXPECT_EQ(top.value(QStringLiteral("journal")).toString(), QStringLiteral("pyxet upgrade"));
    EXPECT_EQ(top.value(QStringLiteral("version")).toInt(), 1);
    EXPECT_EQ(top.value(QStringLiteral("created")).toString(), QStringLiteral("2026-12-11T03:06:14Z"));
    EXPECT_EQ(top.value(QStringLiteral("image")).toObject().value(QStringLiteral("size")).toInteger(), 123456789012LL);
    EXPECT_EQ(top.value(QStringLiteral("settings")).toObject().value(QStringLiteral("halt_after")).toInt(), 3);
    const QJsonArray units = top.value(QStringLiteral("units")).toArray();
    ASSERT_EQ(units.size(), 3);
    const QJsonObject first = units.at(0).toObject();
    EXPECT_EQ(first.value(QStringLiteral("state")).toString(), QStringLiteral("verified"));
    EXPECT_EQ(first.value(QStringLiteral("ended")).toString(), QStringLiteral("2026-12-11T03:07:00Z"));
    EXPECT_EQ(first.value(QStringLiteral("type_name")).toString(), QStringLiteral("Orvex Sense T"));
    EXPECT_TRUE(units.at(1).toObject().value(QStringLiteral("ended")).isNull());
    EXPECT_EQ(units.at(2).toObject().value(QStringLiteral("state")).toString(), QStringLiteral("not found"));
    EXPECT_EQ(units.at(2).toObject().value(QStringLiteral("type")).toInt(), -1);

    // Every state by its name, and back.
    for (const TUnitState state : {TUnitState::NotStarted, TUnitState::Sending, TUnitState::Sent, TUnitState::Verified,
                                   TUnitState::Upgraded, TUnitState::Skipped, TUnitState::Failed, TUnitState::Refused,
                                   TUnitState::NotFound})
        EXPECT_EQ(ParseUnitState(UnitStateName(state)), state) << UnitStateName(state);
    EXPECT_EQ(ParseUnitState("Verified"), std::nullopt);
}

TEST(Rollout, BrokenJournalsAreRefusedNamingWhy)
{
    UseLanguage("en");
    const QJsonObject good = QJsonDocument::fromJson(JournalJson(FullJournal())).object();
    using TEdit = std::function<void(QJsonObject&)>;
    auto inImage = [](const char* key, QJsonValue value) {
        return TEdit([=](QJsonObject& top) {
            QJsonObject image = top.value(QStringLiteral("image")).toObject();
            image.insert(QString::fromLatin1(key), value);
            top.insert(QStringLiteral("image"), image);
        });
    };
    auto inUnit = [](int index, const char* key, QJsonValue value) {
        return TEdit([=](QJsonObject& top) {
            QJsonArray units = top.value(QStringLiteral("units")).toArray();
            QJsonObject unit = units.at(index).toObject();
            if (value.isUndefined())
                unit.remove(QString::fromLatin1(key));
            else
                unit.insert(QString::fromLatin1(key), value);
            units.replace(index, unit);
            top.insert(QStringLiteral("units"), units);
        });
    };
    struct TCase {
        TEdit Edit;
        const char* Error;
    } cases[] = {
        {[](QJsonObject& top) { top.insert(QStringLiteral("journal"), QStringLiteral("pyxet plan")); },
         "The file is not an upgrade journal."},
        {[](QJsonObject& top) { top.remove(QStringLiteral("journal")); }, "The file is not an upgrade journal."},
        {[](QJsonObject& top) { top.insert(QStringLiteral("version"), 2); },
         "The journal's version 2 is not one this Pyxet reads."},
        {[](QJsonObject& top) { top.remove(QStringLiteral("image")); }, "The journal has no field image."},
        {inImage("sha256", QStringLiteral("abc")), "The journal's image hash is not 64 hexadecimal digits."},
        {inImage("sha256", QString(64, QLatin1Char('g'))), "The journal's image hash is not 64 hexadecimal digits."},
        {inImage("sha256", 12), "The journal's field image.sha256 is not valid."},
        {inImage("size", -1), "The journal's field image.size is not valid."},
        {inImage("size", 1.5), "The journal's field image.size is not valid."},
        {inImage("size", QStringLiteral("12")), "The journal's field image.size is not valid."},
        {[](QJsonObject& top) {
             QJsonObject settings = top.value(QStringLiteral("settings")).toObject();
             settings.insert(QStringLiteral("skip_current"), 1);
             top.insert(QStringLiteral("settings"), settings);
         },
         "The journal's field settings.skip_current is not valid."},
        {[](QJsonObject& top) {
             QJsonObject settings = top.value(QStringLiteral("settings")).toObject();
             settings.remove(QStringLiteral("jobs"));
             top.insert(QStringLiteral("settings"), settings);
         },
         "The journal has no field settings.jobs."},
        {[](QJsonObject& top) { top.insert(QStringLiteral("units"), QStringLiteral("none")); },
         "The journal's field units is not valid."},
        {[](QJsonObject& top) {
             QJsonArray units = top.value(QStringLiteral("units")).toArray();
             units.replace(1, 7);
             top.insert(QStringLiteral("units"), units);
         },
         "The journal's field units[1] is not valid."},
        {inUnit(2, "state", QStringLiteral("exploded")), "The journal's unit 3 has an unknown state \"exploded\"."},
        {inUnit(0, "mac", QJsonValue(QJsonValue::Undefined)), "The journal has no field units[0].mac."},
        {inUnit(0, "started", QStringLiteral("yesterday")), "The journal's field units[0].started is not valid."},
        {inUnit(0, "ended", QStringLiteral("2026-02-30T00:00:00Z")), "The journal's field units[0].ended is not valid."},
        {inUnit(0, "ended", 1796958420), "The journal's field units[0].ended is not valid."},
    };
    std::string error;
    for (const TCase& c : cases) {
        QJsonObject top = good;
        c.Edit(top);
        EXPECT_FALSE(ParseJournal(QJsonDocument(top).toJson(), error)) << c.Error;
        EXPECT_EQ(error, c.Error);
    }
    EXPECT_FALSE(ParseJournal("{\"journal\": \"pyxet upgrade\",", error));
    EXPECT_EQ(error.rfind("The file is not JSON: ", 0), 0u) << error;
    EXPECT_FALSE(ParseJournal("[1, 2]", error));
    EXPECT_EQ(error, "The file is not an upgrade journal.");
    // The control: the journal unchanged is read; a hash in upper case is taken in lower case.
    QJsonObject upper = good;
    inImage("sha256", QString(64, QLatin1Char('A')))(upper);
    const auto read = ParseJournal(QJsonDocument(upper).toJson(), error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->ImageSha256, std::string(64, 'a'));
}

TEST_F(RolloutFiles, UnreadableJournalFilesAreRefusedNamingTheFileAndWhy)
{
    std::string error;
    EXPECT_FALSE(ReadJournal(At("missing.json"), error));
    EXPECT_EQ(error, At("missing.json") + ": No such file or directory");
    EXPECT_FALSE(ReadJournal(Root, error));
    EXPECT_EQ(error, Root + ": Is a directory");
    // One byte past the most: refused without reading it (a sparse file).
    const std::string large = At("large.json");
    {
        const int fd = open(large.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, kMaxJournalBytes + 1), 0);
        close(fd);
    }
    EXPECT_FALSE(ReadJournal(large, error));
    EXPECT_EQ(error, large + ": the file is larger than 64 MiB.");
    WriteFile(At("broken.json"), "{\"journal\": \"pyxet upgrade\", \"version\": 1}");
    EXPECT_FALSE(ReadJournal(At("broken.json"), error));
    EXPECT_EQ(error, At("broken.json") + ": The journal has no field created.");
    // The control: a journal file is read.
    WriteFile(At("good.json"), JournalJson(FullJournal()).toStdString());
    const auto journal = ReadJournal(At("good.json"), error);
    ASSERT_TRUE(journal) << error;
    ExpectSameJournal(*journal, FullJournal());
}

TEST_F(RolloutFiles, JournalNamesAndTheLastJournal)
{
    EXPECT_EQ(LastJournal(Root), "");
    EXPECT_EQ(LastJournal(At("none")), "");
    const std::string name = NewJournalName(Root, kT0);
    EXPECT_EQ(name, At("upgrade-20261211T030614Z.json"));
    WriteFile(name, "{}");
    EXPECT_EQ(NewJournalName(Root + "/", kT0), At("upgrade-20261211T030614Z-2.json")) << "taken: -2";
    WriteFile(At("upgrade-20261211T030614Z-2.json"), "{}");
    EXPECT_EQ(NewJournalName(Root, kT0), At("upgrade-20261211T030614Z-3.json"));
    EXPECT_EQ(LastJournal(Root), At("upgrade-20261211T030614Z-2.json")) << "ties by the suffix";

    WriteFile(At("upgrade-20261211T030614Z-10.json"), "{}");
    EXPECT_EQ(LastJournal(Root), At("upgrade-20261211T030614Z-10.json")) << "the suffix as a number";
    WriteFile(At("upgrade-20261209T235959Z.json"), "{}");
    WriteFile(At("upgrade-20261212T000000Z.txt"), "{}");
    WriteFile(At("upgrade-2026121T000000Z.json"), "{}");
    WriteFile(At("Upgrade-20261231T000000Z.json"), "{}");
    fs::create_directory(At("upgrade-20261231T000000Z.json"));
    EXPECT_EQ(LastJournal(Root), At("upgrade-20261211T030614Z-10.json")) << "other names and folders do not count";
    WriteFile(At("upgrade-20261211T030615Z.json"), "{}");
    EXPECT_EQ(LastJournal(Root), At("upgrade-20261211T030615Z.json")) << "by the time in the name";
}

TEST_F(RolloutFiles, ImageHashAndAChangedImage)
{
    WriteFile(At("image.bin"), "abc");
    int64_t size = 0;
    std::string sha256, error;
    ASSERT_TRUE(HashImage(At("image.bin"), size, sha256, error)) << error;
    EXPECT_EQ(size, 3);
    EXPECT_EQ(sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // Larger than one chunk read.
    WriteFile(At("big.bin"), std::string(3 * 1024 * 1024 + 5, 'a'));
    ASSERT_TRUE(HashImage(At("big.bin"), size, sha256, error)) << error;
    EXPECT_EQ(size, 3 * 1024 * 1024 + 5);
    EXPECT_EQ(sha256, QCryptographicHash::hash(QByteArray(3 * 1024 * 1024 + 5, 'a'), QCryptographicHash::Sha256)
                          .toHex()
                          .toStdString());
    EXPECT_FALSE(HashImage(At("none.bin"), size, sha256, error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(HashImage(Root, size, sha256, error));
    EXPECT_EQ(error, "Is a directory");
    ASSERT_EQ(mkfifo(At("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(HashImage(At("fifo"), size, sha256, error)) << "a FIFO is not read (nor waited on)";

    UseLanguage("en");
    TUpgradeJournal journal = NewJournal(At("image.bin"), 3,
                                         "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", {}, 1,
                                         0, {}, kT0);
    EXPECT_EQ(ImageChangedRefusal(journal), "");
    WriteFile(At("image.bin"), "abd");  // the same size, another content
    EXPECT_EQ(ImageChangedRefusal(journal),
              "The image " + At("image.bin") + " has changed since the upgrade began; it is not resumed.");
    WriteFile(At("image.bin"), "abcd");
    EXPECT_EQ(ImageChangedRefusal(journal),
              "The image " + At("image.bin") + " has changed since the upgrade began; it is not resumed.");
    fs::remove(At("image.bin"));
    EXPECT_EQ(ImageChangedRefusal(journal),
              "The image " + At("image.bin") + " cannot be read: No such file or directory");
}

TEST(Rollout, ResumeNeverSendsAnImageTwice)
{
    const std::pair<TUnitState, TResumeStep> steps[] = {
        {TUnitState::NotStarted, TResumeStep::Send}, {TUnitState::NotFound, TResumeStep::Send},
        {TUnitState::Sending, TResumeStep::AskThenSend}, {TUnitState::Sent, TResumeStep::Verify},
        {TUnitState::Verified, TResumeStep::Done},   {TUnitState::Upgraded, TResumeStep::Done},
        {TUnitState::Skipped, TResumeStep::Done},    {TUnitState::Refused, TResumeStep::Done},
        {TUnitState::Failed, TResumeStep::Done},
    };
    for (const auto& [state, step] : steps) {
        TJournalUnit unit;
        unit.State = state;
        EXPECT_EQ(ResumeStepOf(unit), step) << UnitStateName(state);
    }
    // A new journal starts every unit afresh.
    TJournalUnit done = Unit("00:0A:59:00:00:01", kSenseT, "10.77.1.1");
    done.State = TUnitState::Failed;
    done.Reason = "old";
    done.Started = done.Ended = kT0;
    const TUpgradeJournal journal = NewJournal("/i.bin", 1, std::string(64, '0'), {}, 4, 120, {done}, kT0);
    EXPECT_EQ(journal.Units[0].State, TUnitState::NotStarted);
    EXPECT_EQ(journal.Units[0].Reason, "");
    EXPECT_EQ(journal.Units[0].Started, 0);
    EXPECT_EQ(journal.Units[0].Ended, 0);
    EXPECT_EQ(journal.Created, kT0);
}

// ---- The journal's writer ------------------------------------------------------------------------

TEST_F(RolloutFiles, JournalIsWrittenWholeOrNotAtAll)
{
    const std::string path = At("upgrade.json");
    TJournalWriter writer(path, FullJournal());
    ASSERT_TRUE(writer.Ok()) << writer.Error();
    EXPECT_EQ(writer.Error(), "");
    std::string error;
    auto onDisk = [&]() {
        const auto journal = ReadJournal(path, error);
        EXPECT_TRUE(journal) << error;
        return journal.value_or(TUpgradeJournal{});
    };
    ExpectSameJournal(onDisk(), FullJournal());

    // Started with the first state after "not started", Ended with a final one.
    ASSERT_TRUE(writer.Update(2, TUnitState::Sending, "", kT0 + 100));
    ASSERT_TRUE(writer.Update(2, TUnitState::Sent, "", kT0 + 140));
    TUpgradeJournal now = onDisk();
    EXPECT_EQ(now.Units[2].State, TUnitState::Sent);
    EXPECT_EQ(now.Units[2].Started, kT0 + 100);
    EXPECT_EQ(now.Units[2].Ended, 0);
    ASSERT_TRUE(writer.Update(2, TUnitState::Failed, "Not verified", kT0 + 160));
    now = onDisk();
    EXPECT_EQ(now.Units[2].Started, kT0 + 100);
    EXPECT_EQ(now.Units[2].Ended, kT0 + 160);
    EXPECT_EQ(now.Units[2].Reason, "Not verified");
    const std::string before = ReadFile(path);

    // A write that fails (the disk full) leaves the journal as it was, and nothing beside it.
    writer.SetAddress(1, "10.77.9.9");
    {
        TFileSizeLimit limit(64);
        ASSERT_TRUE(limit.Set);
        EXPECT_FALSE(writer.Update(1, TUnitState::Verified, "", kT0 + 200));
    }
    EXPECT_FALSE(writer.Ok());
    EXPECT_EQ(writer.Error(), path + ": File too large");
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(Entries(Root), std::vector<std::string>{"upgrade.json"});
    // The next write that works holds every change since.
    ASSERT_TRUE(writer.Update(0, TUnitState::Verified, "Revision 2.5", kT0 + 210));
    EXPECT_TRUE(writer.Ok());
    now = onDisk();
    EXPECT_EQ(now.Units[1].State, TUnitState::Verified);
    EXPECT_EQ(now.Units[1].Address, "10.77.9.9");
    EXPECT_EQ(now.Units[0].Reason, "Revision 2.5");
    ExpectSameJournal(writer.Snapshot(), now);

    // A journal whose path is a folder, or whose folder is missing, is never written.
    fs::create_directory(At("folder.json"));
    TJournalWriter folder(At("folder.json"), FullJournal());
    EXPECT_FALSE(folder.Ok());
    EXPECT_EQ(folder.Error().rfind(At("folder.json") + ": ", 0), 0u) << folder.Error();
    EXPECT_FALSE(folder.Update(0, TUnitState::Sending, "", kT0));
    EXPECT_TRUE(fs::is_empty(At("folder.json")));
    TJournalWriter missing(At("backup/upgrade.json"), FullJournal());
    EXPECT_FALSE(missing.Ok());
    EXPECT_EQ(missing.Error(), At("backup/upgrade.json") + ": No such file or directory");
    EXPECT_FALSE(fs::exists(At("backup")));
    EXPECT_FALSE(writer.Update(99, TUnitState::Sending, "", kT0)) << "no such unit";
}

TEST_F(RolloutFiles, ConcurrentUpdatesAllReachTheFile)
{
    constexpr size_t kThreads = 8, kUnitsEach = 4;
    std::vector<TJournalUnit> units;
    for (size_t i = 0; i < kThreads * kUnitsEach; ++i)
        units.push_back(Unit("00:0A:59:00:01:" + std::to_string(10 + i), kSenseT, "10.77.2." + std::to_string(i)));
    const std::string path = At("upgrade.json");
    TJournalWriter writer(path, NewJournal("/i.bin", 1, std::string(64, '0'), {}, 8, 0, units, kT0));
    ASSERT_TRUE(writer.Ok()) << writer.Error();

    // Each thread keeps its own units; once Update returns, the file holds that thread's change
    // whatever the others wrote meanwhile.
    std::vector<std::string> problems(kThreads);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t]() {
            for (size_t u = t * kUnitsEach; u < (t + 1) * kUnitsEach; ++u)
                for (const TUnitState state : {TUnitState::Sending, TUnitState::Sent, TUnitState::Verified}) {
                    const std::string reason = std::string(UnitStateName(state)) + " " + std::to_string(u);
                    if (!writer.Update(u, state, reason, kT0 + 1)) {
                        problems[t] += "update failed; ";
                        continue;
                    }
                    std::string error;
                    const auto journal = ReadJournal(path, error);
                    if (!journal)
                        problems[t] += error + "; ";
                    else if (journal->Units[u].State != state || journal->Units[u].Reason != reason)
                        problems[t] += "unit " + std::to_string(u) + " not yet " + reason + " on disk; ";
                }
        });
    for (std::thread& thread : threads)
        thread.join();
    for (size_t t = 0; t < kThreads; ++t)
        EXPECT_EQ(problems[t], "") << "thread " << t;
    std::string error;
    const auto journal = ReadJournal(path, error);
    ASSERT_TRUE(journal) << error;
    for (size_t u = 0; u < units.size(); ++u) {
        EXPECT_EQ(journal->Units[u].State, TUnitState::Verified) << u;
        EXPECT_EQ(journal->Units[u].Reason, "verified " + std::to_string(u));
    }
    EXPECT_EQ(Entries(Root), std::vector<std::string>{"upgrade.json"});
}
