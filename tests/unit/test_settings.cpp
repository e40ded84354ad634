// Pyxet.ini: first run, value rules, product tables, what saving keeps, failed saves, and what
// killed saves leave behind.
#include "core/app/i18n.h"
#include "core/app/settings.h"
#include "core/devices/product.h"
#include "core/log/actionlog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
std::string ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "pyxet-settings-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        Dir = tmpl;
        AppDir = Dir.string() + "/";
        UseLanguage("en");
        SetCurrentLogger(&Logger);
        Logger.OnCaption = [this](const std::string& c) { Captions.push_back(c); };
    }
    void TearDown() override
    {
        SetCurrentLogger(nullptr);
        fs::remove_all(Dir);
    }
    TSettings Load(const std::string& fileText)
    {
        WriteFile(Dir / "Pyxet.ini", fileText);
        TSettings s;
        LoadSettings(AppDir, s);
        return s;
    }
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(Dir))
            names.push_back(e.path().filename().string());
        return names;
    }

    fs::path Dir;
    std::string AppDir;
    TActionLogger Logger;
    std::vector<std::string> Captions;
};

TSettings Sample()
{
    TSettings s;
    s.TimeStamps = false;
    s.Language = "cs";
    s.OrvexProducts = {"-1=Unknown", "1=Orvex+IO+8"};
    s.HwgProducts = {"0=Unknown", "99=My+Device"};
    return s;
}
} // namespace

TEST(SettingsTables, BuiltInTablesHaveTheirEntries)
{
    const TProductTable hwg = SplitCommaText(kBuiltInHwgTable);
    ASSERT_EQ(hwg.size(), 21u);
    EXPECT_EQ(hwg.front(), "0=Unknown");
    EXPECT_EQ(hwg.back(), "68=Poseidon2+4002");
    EXPECT_EQ(ProductTypeName(hwg, 4), "Poseidon 2251&62");

    const TProductTable orvex = SplitCommaText(kBuiltInOrvexTable);
    const int codes[] = {-1, 0, 1, 2, 3, 4, 20, 32, 33, 34, 35, 36, 37, 38, 39, 128};
    ASSERT_EQ(orvex.size(), std::size(codes));
    EXPECT_EQ(orvex.front(), "-1=Unknown");
    for (std::size_t i = 0; i < orvex.size(); ++i) {
        EXPECT_EQ(orvex[i].substr(0, orvex[i].find('=')), std::to_string(codes[i]));
        EXPECT_FALSE(ProductTypeName(orvex, codes[i]).empty()) << codes[i];
    }
}

TEST(SettingsTables, CommaTextSplitting)
{
    struct Row {
        const char* text;
        TProductTable entries;
        const char* why;
    } rows[] = {
        {"", {}, "nothing"},
        {"   ", {}, "blanks only"},
        {"a=1 b=2", {"a=1", "b=2"}, "blank separates"},
        {"a=1,b=2", {"a=1", "b=2"}, "comma separates"},
        {" a , \t b ", {"a", "b"}, "blanks and a comma together are one separator"},
        {"a,,b", {"a", "", "b"}, "two commas give an empty entry"},
        {"a,", {"a", ""}, "a trailing comma ends an empty entry"},
        {",a", {"", "a"}, "a leading comma too"},
        {"\"a b,c\",d", {"a b,c", "d"}, "a quoted entry holds blanks and commas"},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}, "doubled quotes inside stand for one"},
        {"\"open", {"open"}, "an unclosed quote runs to the end"},
        {"\"ab\"cd", {"ab", "cd"}, "text after a closing quote starts the next entry"},
        {"\xC5\x99=\xC4\x8C", {"\xC5\x99=\xC4\x8C"}, "UTF-8 bytes are no blanks"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(SplitCommaText(r.text), r.entries) << r.why;
}

TEST(SettingsTables, CommaTextJoinsAndReadsBack)
{
    struct Row {
        TProductTable entries;
        const char* text;
    } rows[] = {
        {{}, ""},
        {{"0=Unknown", "2=Damocles+2404"}, "0=Unknown,2=Damocles+2404"},
        {{""}, "\"\""},  // one empty entry must not read back as none
        {{"", ""}, ","},
        {{"a", ""}, "a,"},
        {{"a b"}, "\"a b\""},
        {{"c,d"}, "\"c,d\""},
        {{"q\"x"}, "\"q\"\"x\""},
        {{"tab\there"}, "\"tab\there\""},
        {{"1=x", "", "2=y"}, "1=x,,2=y"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(JoinCommaText(r.entries), r.text);
        EXPECT_EQ(SplitCommaText(JoinCommaText(r.entries)), r.entries) << r.text;
    }
}

TEST_F(Settings, FirstRunUsesDefaultsAndSavesAllFourKeys)
{
    TSettings s;
    LoadSettings(AppDir, s);
    EXPECT_TRUE(s.TimeStamps);
    EXPECT_EQ(s.Language, DefaultLanguage(EnvironmentLanguage()));
    EXPECT_EQ(s.OrvexProducts, SplitCommaText(kBuiltInOrvexTable));
    EXPECT_EQ(s.HwgProducts, SplitCommaText(kBuiltInHwgTable));
    EXPECT_FALSE(fs::exists(Dir / "Pyxet.ini")) << "loading creates nothing";

    std::string error;
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    const std::string text = ReadFile(Dir / "Pyxet.ini");
    std::string hwg = kBuiltInHwgTable;
    std::replace(hwg.begin(), hwg.end(), ' ', ',');
    std::string orvex = kBuiltInOrvexTable;
    std::replace(orvex.begin(), orvex.end(), ' ', ',');
    EXPECT_EQ(text, "[Logs]\nTime=True\n[Setup]\nLang=" + s.Language + "\n[Products]\nOrvex=" + orvex + "\nHWG=" + hwg + "\n");
    EXPECT_EQ(hwg.rfind("0=Unknown,2=Damocles+2404,3=Poseidon+2261,", 0), 0u);

    TSettings again;
    LoadSettings(AppDir, again);
    EXPECT_EQ(again.HwgProducts.size(), 21u);
    EXPECT_EQ(again.HwgProducts, s.HwgProducts);
    EXPECT_EQ(again.OrvexProducts, s.OrvexProducts);
    EXPECT_EQ(Entries(), std::vector<std::string>{"Pyxet.ini"});
}

TEST_F(Settings, LanguageDefaultComesFromTheStartEnvironment)
{
    const char* saved = getenv("LANGUAGE");
    const std::string savedLanguage = saved ? saved : "";
    for (const auto& [environment, expected] : {std::pair{"cs_CZ.UTF-8", "cs"}, std::pair{"de_DE.UTF-8", "en"}}) {
        setenv("LANGUAGE", environment, 1);
        InitTranslation(PYXET_BIN_DIR "/");
        TSettings s;
        LoadSettings(AppDir, s);
        EXPECT_EQ(s.Language, expected) << environment;
    }
    if (saved)
        setenv("LANGUAGE", savedLanguage.c_str(), 1);
    else
        unsetenv("LANGUAGE");
    InitTranslation(PYXET_BIN_DIR "/");
    UseLanguage("en");
}

TEST_F(Settings, TimeStampValues)
{
    struct Row {
        const char* file;
        bool on;
        const char* why;
    } rows[] = {
        {"[Logs]\nTime=True\n", true, "True"},
        {"[Logs]\nTime=False\n", false, "False"},
        {"[Logs]\nTime=0\n", false, "zero"},
        {"[Logs]\nTime=5\n", true, "a non-zero number"},
        {"[Logs]\nTime=99999999999999999999\n", true, "a number too big for any integer type"},
        {"[Logs]\nTime=yes\n", true, "other text gives the default"},
        {"[Logs]\nTime=false\n", true, "only the exact text False is off"},
        {"[Logs]\nTime=0x\n", true, "not a whole number"},
        {"[logs]\ntime=False\n", false, "section and key in any letter case"},
        {"[Setup]\nTime=False\n", true, "the key in another section"},
        {"", true, "absent"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Load(r.file).TimeStamps, r.on) << r.why;
}

TEST_F(Settings, ValuesAreUsedAsWritten)
{
    const TSettings s = Load("[SETUP]\nLANG=EN\n[Products]\nHWG=0=Unknown,99=My+Device\nOrvex=\"7=Quoted, Name\" 8=B\n");
    EXPECT_EQ(s.Language, "EN");
    EXPECT_EQ(s.HwgProducts, (TProductTable{"0=Unknown", "99=My+Device"}));
    EXPECT_EQ(ProductTypeName(s.HwgProducts, 99), "My Device");
    EXPECT_EQ(ProductTypeName(s.HwgProducts, 2), "") << "an edited table replaces the built-in one";
    EXPECT_EQ(s.OrvexProducts, (TProductTable{"7=Quoted, Name", "8=B"}));

    EXPECT_TRUE(Load("[Products]\nHWG=\n").HwgProducts.empty()) << "an empty value is a value";
}

TEST_F(Settings, SavingKeepsEverythingElseInTheFile)
{
    WriteFile(Dir / "Pyxet.ini",
              "; written by hand\r\n"
              "[logs]\r\n"
              "time=True\r\n"
              "Colour=red\r\n"
              "\r\n"
              "[Mine]\r\n"
              "a=1\r\n"
              "[Products]\r\n"
              "HWG=0=Unknown\r\n");
    std::string error;
    ASSERT_TRUE(SaveSettings(AppDir, Sample(), &error)) << error;
    EXPECT_EQ(ReadFile(Dir / "Pyxet.ini"),
              "; written by hand\r\n"
              "[logs]\r\n"
              "time=False\r\n"
              "Colour=red\r\n"
              "\r\n"
              "[Mine]\r\n"
              "a=1\r\n"
              "[Products]\r\n"
              "HWG=0=Unknown,99=My+Device\r\n"
              "Orvex=-1=Unknown,1=Orvex+IO+8\r\n"
              "[Setup]\r\n"
              "Lang=cs\r\n");
    TSettings back;
    LoadSettings(AppDir, back);
    EXPECT_FALSE(back.TimeStamps);
    EXPECT_EQ(back.Language, "cs");
    EXPECT_EQ(back.OrvexProducts, Sample().OrvexProducts);
    EXPECT_EQ(back.HwgProducts, Sample().HwgProducts);
}

// A file whose lines end in CR CR LF (or with a stray CR before the LF) is read without the
// CRs and can still be saved.
TEST_F(Settings, CarriageReturnsBeforeTheLineEndAreNoPartOfValues)
{
    const std::string before = "[Logs]\r\r\nTime=False\r\r\n[Setup]\nLang=cs\r\n[Products]\r\r\nHWG=0=Unknown,99=My+Device\r";
    const TSettings s = Load(before);
    EXPECT_FALSE(s.TimeStamps);
    EXPECT_EQ(s.Language, "cs");
    EXPECT_EQ(s.HwgProducts, (TProductTable{"0=Unknown", "99=My+Device"}));
    std::string error;
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    EXPECT_EQ(ReadFile(Dir / "Pyxet.ini"), before + "Orvex=" + JoinCommaText(s.OrvexProducts) + "\r\n")
        << "values as they were, each line with its own end; the added key ends as CR LF";
    EXPECT_FALSE(Load(ReadFile(Dir / "Pyxet.ini")).TimeStamps);
}

// A hand-edited table far longer than the old 2,047-character read limit is kept whole.
TEST_F(Settings, ALongProductTableIsWrittenBackAsItWasRead)
{
    TProductTable table;
    for (int i = 0; i < 10000; ++i)
        table.push_back(std::to_string(1000 + i) + "=Device+" + std::to_string(i));
    const std::string text = JoinCommaText(table);
    const std::string file = "[Products]\nOrvex=" + text + "\nHWG=" + text + "\n";
    const TSettings s = Load(file);
    EXPECT_EQ(s.OrvexProducts.size(), 10000u);
    EXPECT_EQ(s.OrvexProducts, table);
    EXPECT_EQ(ProductTypeName(s.HwgProducts, 10999), "Device 9999");
    std::string error;
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    const std::string saved = ReadFile(Dir / "Pyxet.ini");
    EXPECT_NE(saved.find("\nOrvex=" + text + "\n"), std::string::npos);
    EXPECT_NE(saved.find("\nHWG=" + text + "\n"), std::string::npos);
    EXPECT_EQ(Load(saved).OrvexProducts, table);
}

// The owner's write bit decides, also for root (who runs the tests in CI).
TEST_F(Settings, AReadOnlyFileIsNotReplaced)
{
    const std::string old = "[Logs]\nTime=True\n";
    WriteFile(Dir / "Pyxet.ini", old);
    ASSERT_EQ(chmod((Dir / "Pyxet.ini").c_str(), 0444), 0);
    std::string error;
    EXPECT_FALSE(SaveSettings(AppDir, Sample(), &error));
    EXPECT_EQ(error, "Unable to write to " + AppDir + "Pyxet.ini") << "as any failed write, without a second line";
    EXPECT_EQ(ReadFile(Dir / "Pyxet.ini"), old);
    EXPECT_EQ(fs::status(Dir / "Pyxet.ini").permissions(), fs::perms(0444));
    EXPECT_EQ(Entries(), std::vector<std::string>{"Pyxet.ini"});
}

TEST_F(Settings, LoadingRemovesWhatKilledSavesLeft)
{
    WriteFile(Dir / "Pyxet.ini", "[Logs]\nTime=False\n");
    WriteFile(Dir / ".Pyxet.ini.k1LLed", "[Logs]\nTi");
    WriteFile(Dir / ".Pyxet.ini.Zz9Zz9", "");
    WriteFile(Dir / "notes.txt", "mine");
    TSettings s;
    LoadSettings(AppDir, s);
    EXPECT_FALSE(s.TimeStamps);
    std::vector<std::string> names = Entries();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Pyxet.ini", "notes.txt"}));
}

// Above the size cap the file is not read: the reason is logged at start as an error and named
// again in the message of the save that cannot take place.
TEST_F(Settings, AFileTooLargeToReadIsReportedAtStartAndAtSave)
{
    UseLanguage("cs");
    const std::string czech = _("The file is larger than %d MiB and cannot be read.");
    UseLanguage("en");
    EXPECT_NE(czech, "The file is larger than %d MiB and cannot be read.") << "translated";

    WriteFile(Dir / "Pyxet.ini", "[Logs]\nTime=False\n[Setup]\nLang=cs\n[Pad]\nx=");
    fs::resize_file(Dir / "Pyxet.ini", 16 * 1024 * 1024 + 1);
    TSettings s;
    LoadSettings(AppDir, s);
    EXPECT_TRUE(s.TimeStamps) << "the file's values are not applied";
    ASSERT_EQ(Logger.ActionLog.size(), 2u);
    EXPECT_EQ(Logger.ActionLog[1].Level, LOG_ERROR);
    const std::string reason = "The file is larger than 16 MiB and cannot be read.";
    EXPECT_EQ(Logger.ActionLog[1].Text, " " + AppDir + "Pyxet.ini: " + reason);

    std::string error;
    EXPECT_FALSE(SaveSettings(AppDir, s, &error));
    EXPECT_EQ(error, "Unable to write to " + AppDir + "Pyxet.ini\n" + reason);
    EXPECT_EQ(fs::file_size(Dir / "Pyxet.ini"), 16u * 1024 * 1024 + 1);
    EXPECT_EQ(ReadFile(Dir / "Pyxet.ini").substr(0, 18), "[Logs]\nTime=False\n");

    // Only this reason is named: other failures keep the one-line message.
    fs::remove(Dir / "Pyxet.ini");
    fs::create_directory(Dir / "Pyxet.ini");
    EXPECT_FALSE(SaveSettings(AppDir, s, &error));
    EXPECT_EQ(error, "Unable to write to " + AppDir + "Pyxet.ini");
}

TEST_F(Settings, LoadAndSaveLogAtDebugLevelWithTheFileNameAlone)
{
    TSettings s = Load("[Logs]\nTime=True\n");
    ASSERT_EQ(Logger.ActionLog.size(), 1u);
    EXPECT_EQ(Logger.ActionLog[0].Text, " Loading config from Pyxet.ini") << "no time stamp on the first line";
    EXPECT_EQ(Logger.ActionLog[0].Level, LOG_DEBUG);

    Logger.TimeStamps = s.TimeStamps;
    Logger.Now = [] { return std::string("D T"); };
    SaveSettings(AppDir, s, nullptr);
    ASSERT_EQ(Logger.ActionLog.size(), 2u);
    EXPECT_EQ(Logger.ActionLog[1].Text, " [D T]   Saving config to Pyxet.ini");
    EXPECT_EQ(Logger.ActionLog[1].Level, LOG_DEBUG);
    EXPECT_EQ(Captions, (std::vector<std::string>{"Load Config", "Save Config"}));
}

TEST_F(Settings, FailedSaveReportsThePathAndKeepsWhatWasThere)
{
    // Each case fails for root as well: nothing here relies on file permissions.
    WriteFile(Dir / "plain", "x");
    fs::create_directories(Dir / "taken" / "Pyxet.ini");
    const std::string cases[] = {
        AppDir + "plain/",    // the folder is a file
        AppDir + "missing/",  // the folder does not exist
        AppDir + "taken/",    // Pyxet.ini is a folder
    };
    for (const std::string& appDir : cases) {
        std::string error;
        EXPECT_FALSE(SaveSettings(appDir, Sample(), &error)) << appDir;
        EXPECT_EQ(error, "Unable to write to " + appDir + "Pyxet.ini");
    }
    EXPECT_EQ(ReadFile(Dir / "plain"), "x");
    EXPECT_TRUE(fs::is_directory(Dir / "taken" / "Pyxet.ini"));
    EXPECT_FALSE(fs::exists(Dir / "missing"));
}

TEST_F(Settings, FullDiskKeepsTheOldFileWhole)
{
    const std::string old = "[Logs]\nTime=True\n[Mine]\nkeep=1\n";
    WriteFile(Dir / "Pyxet.ini", old);
    TSettings big = Sample();
    big.HwgProducts.assign(200, "1=A+long+device+name");

    // A file size limit makes writes fail the way a full disk does, for root too.
    rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool ok = SaveSettings(AppDir, big, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "Unable to write to " + AppDir + "Pyxet.ini");
    EXPECT_EQ(ReadFile(Dir / "Pyxet.ini"), old);
    EXPECT_EQ(Entries(), std::vector<std::string>{"Pyxet.ini"}) << "no temporary file left behind";
}

// A read-only folder, made so for root as well: a read-only bind mount in a private user and
// mount namespace of a child process. The child reports through its exit status.
TEST_F(Settings, ReadOnlyFolder)
{
    const std::string old = "[Logs]\nTime=True\n";
    WriteFile(Dir / "Pyxet.ini", old);
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            _exit(77);
        const auto put = [](const char* file, const std::string& text) {
            const int fd = open(file, O_WRONLY);
            const bool ok = fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
            if (fd >= 0)
                close(fd);
            return ok;
        };
        if (!put("/proc/self/setgroups", "deny") || !put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1")
            || !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
            _exit(77);
        const std::string dir = Dir.string();
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) != 0)
            _exit(77);
        // Control: the same save works while the folder is still writable.
        if (!SaveSettings(AppDir, Sample(), nullptr))
            _exit(2);
        WriteFile(Dir / "Pyxet.ini", "[Logs]\nTime=True\n");
        if (mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            _exit(77);
        std::string error;
        if (SaveSettings(AppDir, Sample(), &error))
            _exit(3);
        _exit(error == "Unable to write to " + AppDir + "Pyxet.ini" ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    // A missing user namespace or bind mount is a failure, not a pass: ctest runs this program
    // inside tests/netns.sh, which itself needs both.
    ASSERT_NE(WEXITSTATUS(status), 77) << "the child could not make its user and mount namespaces";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: control save failed, 3: read-only save succeeded, 4: wrong message";
    EXPECT_EQ(ReadFile(Dir / "Pyxet.ini"), old);
    EXPECT_EQ(Entries(), std::vector<std::string>{"Pyxet.ini"});
}

TEST_F(Settings, DiscoveryKeysOnlyOnceTheySaySomething)
{
    TSettings s = Load("[Logs]\nTime=True\n");
    EXPECT_EQ(s.Repeat, 1);
    EXPECT_EQ(s.Interface, "");
    EXPECT_EQ(s.Targets, "");
    std::string error;
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    EXPECT_EQ(ReadFile(Dir / "Pyxet.ini").find("[Discovery]"), std::string::npos) << "defaults are not written";

    s.Repeat = 3;
    s.Interface = "eth1";
    s.Targets = "10.1.2.0/24, 10.9.9.9";
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    TSettings back;
    LoadSettings(AppDir, back);
    EXPECT_EQ(back.Repeat, 3);
    EXPECT_EQ(back.Interface, "eth1");
    EXPECT_EQ(back.Targets, "10.1.2.0/24, 10.9.9.9");

    // Back to the defaults: the keys the file has are written, so the old values do not return.
    back.Repeat = 1;
    back.Interface.clear();
    back.Targets.clear();
    ASSERT_TRUE(SaveSettings(AppDir, back, &error)) << error;
    TSettings again;
    LoadSettings(AppDir, again);
    EXPECT_EQ(again.Repeat, 1);
    EXPECT_EQ(again.Interface, "");
    EXPECT_EQ(again.Targets, "");
}

TEST_F(Settings, RepeatIsKeptWithinOneToFive)
{
    const std::pair<const char*, int> cases[] = {{"1", 1}, {"5", 5}, {"0", 1}, {"6", 5}, {"99", 5}, {"-2", 1},
                                                 {"x", 1}, {"", 1},  {"2.5", 1}, {"1000", 5}};
    for (const auto& [text, repeat] : cases)
        EXPECT_EQ(Load(std::string("[Discovery]\nRepeat=") + text + "\n").Repeat, repeat) << text;
}

TEST_F(Settings, WindowKeysOnlyOnceAPlaceIsKept)
{
    TSettings s = Load("[Logs]\nTime=True\n");
    EXPECT_FALSE(s.Window.Kept());
    std::string error;
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    EXPECT_EQ(ReadFile(Dir / "Pyxet.ini").find("[Window]"), std::string::npos) << "no place kept: nothing written";

    s.Window = {-8, 30, 1024, 700};
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    const std::string file = ReadFile(Dir / "Pyxet.ini");
    EXPECT_NE(file.find("[Window]\nLeft=-8\nTop=30\nWidth=1024\nHeight=700\n"), std::string::npos) << file;
    TSettings back;
    LoadSettings(AppDir, back);
    EXPECT_EQ(back.Window, (TWindowPlace{-8, 30, 1024, 700}));
}

TEST_F(Settings, WindowPlaceNeedsFourWholeNumbers)
{
    EXPECT_EQ(ParseWindowPlace("10", "20", "800", "600"), (TWindowPlace{10, 20, 800, 600}));
    EXPECT_EQ(ParseWindowPlace("-1920", "0", "800", "600"), (TWindowPlace{-1920, 0, 800, 600}))
        << "a monitor left of the primary one";
    const char* const bad[][4] = {
        {"", "20", "800", "600"},  {"10", "20", "800", ""},     {"10", "20", "0", "600"},
        {"10", "20", "800", "-5"}, {"10", "20", "8x0", "600"},  {"1.5", "20", "800", "600"},
        {"-", "20", "800", "600"}, {"10", "20", "999999999999", "600"}, {"10", "200001", "800", "600"},
    };
    for (const auto& b : bad)
        EXPECT_FALSE(ParseWindowPlace(b[0], b[1], b[2], b[3]).Kept())
            << b[0] << ',' << b[1] << ',' << b[2] << ',' << b[3];
    EXPECT_FALSE(Load("[Window]\nLeft=10\nTop=20\nWidth=800\n").Window.Kept()) << "a key missing";
    EXPECT_EQ(Load("[window]\nleft=10\ntop=20\nwidth=800\nheight=600\n").Window, (TWindowPlace{10, 20, 800, 600}));
}

TEST_F(Settings, ColumnWidthsAreWholePositiveNumbers)
{
    EXPECT_EQ(ParseColumnWidths("130,190,125,105,100"), (std::vector<int>{130, 190, 125, 105, 100}));
    EXPECT_EQ(ParseColumnWidths(" 90 ,\t200"), (std::vector<int>{90, 200})) << "blanks around the numbers";
    EXPECT_EQ(ParseColumnWidths("1,10000"), (std::vector<int>{1, 10000})) << "the least and the most";
    const struct {
        const char* Text;
        const char* Why;
    } bad[] = {
        {"", "empty"},          {"abc", "no number"},          {"90,,100", "an empty width"},
        {"90,0", "a width of 0"}, {"90,10001", "wider than 10000"}, {"90,-5", "negative"},
        {"90;100", "not commas"}, {"90,1.5", "not whole"},       {"90,", "a comma at the end"},
    };
    for (const auto& b : bad)
        EXPECT_TRUE(ParseColumnWidths(b.Text).empty()) << b.Why;
    std::string many;
    for (size_t i = 0; i <= kMostColumns; ++i)
        many += (i ? "," : "") + std::to_string(50);
    EXPECT_TRUE(ParseColumnWidths(many).empty()) << "more than kMostColumns";
    EXPECT_EQ(ColumnWidthsText({130, 190, 125}), "130,190,125");
    EXPECT_EQ(Load("[Window]\nColumns=90,200,120,100,100\n").Columns, (std::vector<int>{90, 200, 120, 100, 100}));
}

TEST_F(Settings, TransferKeysOnlyOnceTheySaySomething)
{
    TSettings s = Load("[Logs]\nTime=True\n");
    EXPECT_EQ(s.TransferJobs, 1);
    EXPECT_FALSE(s.VerifyUpgrades);
    EXPECT_EQ(s.VerifySeconds, 120);
    std::string error;
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    EXPECT_EQ(ReadFile(Dir / "Pyxet.ini").find("[Transfers]"), std::string::npos) << "defaults are not written";

    // One of them changed: that one alone is written; VerifySeconds never is.
    s.TransferJobs = 8;
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    std::string text = ReadFile(Dir / "Pyxet.ini");
    EXPECT_NE(text.find("[Transfers]\nJobs=8\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Verify"), std::string::npos) << text;

    s.VerifyUpgrades = true;
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    TSettings back;
    LoadSettings(AppDir, back);
    EXPECT_EQ(back.TransferJobs, 8);
    EXPECT_TRUE(back.VerifyUpgrades);
    EXPECT_EQ(ReadFile(Dir / "Pyxet.ini").find("VerifySeconds"), std::string::npos);

    // Back to the defaults: the keys the file has are written, so the old values do not return.
    back.TransferJobs = 1;
    back.VerifyUpgrades = false;
    ASSERT_TRUE(SaveSettings(AppDir, back, &error)) << error;
    text = ReadFile(Dir / "Pyxet.ini");
    EXPECT_NE(text.find("Jobs=1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Verify=False\n"), std::string::npos) << text;
    TSettings again;
    LoadSettings(AppDir, again);
    EXPECT_EQ(again.TransferJobs, 1);
    EXPECT_FALSE(again.VerifyUpgrades);

    // VerifySeconds in the file is read and left as it stands.
    WriteFile(Dir / "Pyxet.ini", "[Transfers]\nVerifySeconds=45\n");
    TSettings seconds;
    LoadSettings(AppDir, seconds);
    EXPECT_EQ(seconds.VerifySeconds, 45);
    seconds.VerifySeconds = 300;
    ASSERT_TRUE(SaveSettings(AppDir, seconds, &error)) << error;
    EXPECT_NE(ReadFile(Dir / "Pyxet.ini").find("VerifySeconds=45\n"), std::string::npos);
}

TEST_F(Settings, JobsOtherThanTheMenuOffersMeanOne)
{
    const std::pair<const char*, int> cases[] = {{"1", 1},  {"2", 2},  {"4", 4},   {"8", 8},  {"16", 16},
                                                 {"3", 1},  {"32", 1}, {"0", 1},   {"-4", 1}, {"08", 1},
                                                 {" 8", 1}, {"x", 1},  {"", 1},    {"4.0", 1}};
    for (const auto& [text, jobs] : cases)
        EXPECT_EQ(Load(std::string("[Transfers]\nJobs=") + text + "\n").TransferJobs, jobs) << text;
    for (const char* verify : {"True", "1"})
        EXPECT_TRUE(Load(std::string("[Transfers]\nVerify=") + verify + "\n").VerifyUpgrades) << verify;
    for (const char* verify : {"False", "0", "yes", ""})
        EXPECT_FALSE(Load(std::string("[Transfers]\nVerify=") + verify + "\n").VerifyUpgrades) << verify;
}

TEST_F(Settings, VerifySecondsIsKeptWithinTenToAnHour)
{
    const std::pair<const char*, int> cases[] = {{"120", 120}, {"10", 10},     {"3600", 3600}, {"9", 10},
                                                 {"0", 10},    {"3601", 3600}, {"99999", 3600}, {"-5", 120},
                                                 {"x", 120},   {"", 120},      {"30.5", 120}};
    for (const auto& [text, seconds] : cases)
        EXPECT_EQ(Load(std::string("[Transfers]\nVerifySeconds=") + text + "\n").VerifySeconds, seconds) << text;
}

TEST_F(Settings, RolloutKeysOnlyOnceTheySaySomething)
{
    TSettings s = Load("[Logs]\nTime=True\n");
    EXPECT_EQ(s.RolloutFirst, 0);
    EXPECT_EQ(s.RolloutWave, 0);
    EXPECT_EQ(s.RolloutHaltAfter, 1);
    EXPECT_FALSE(s.RolloutSkipCurrent);
    EXPECT_FALSE(s.RolloutBackupFirst);
    EXPECT_EQ(s.RolloutRetries, 0);
    std::string error;
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    EXPECT_EQ(ReadFile(Dir / "Pyxet.ini").find("[Rollout]"), std::string::npos) << "defaults are not written";

    // One changed: that one alone is written.
    s.RolloutHaltAfter = 3;
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    std::string text = ReadFile(Dir / "Pyxet.ini");
    EXPECT_NE(text.find("[Rollout]\nHaltAfter=3\n"), std::string::npos) << text;
    for (const char* key : {"First", "Wave=", "SkipCurrent", "BackupFirst", "Retries"})
        EXPECT_EQ(text.find(key), std::string::npos) << key;

    // Every key, and back.
    s.RolloutFirst = 2;
    s.RolloutWave = 16;
    s.RolloutSkipCurrent = true;
    s.RolloutBackupFirst = true;
    s.RolloutRetries = 4;
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    TSettings back;
    LoadSettings(AppDir, back);
    EXPECT_EQ(back.RolloutFirst, 2);
    EXPECT_EQ(back.RolloutWave, 16);
    EXPECT_EQ(back.RolloutHaltAfter, 3);
    EXPECT_TRUE(back.RolloutSkipCurrent);
    EXPECT_TRUE(back.RolloutBackupFirst);
    EXPECT_EQ(back.RolloutRetries, 4);

    // Back to the defaults: the keys the file has are written, so the old values do not return.
    back.RolloutFirst = back.RolloutWave = back.RolloutRetries = 0;
    back.RolloutHaltAfter = 1;
    back.RolloutSkipCurrent = back.RolloutBackupFirst = false;
    ASSERT_TRUE(SaveSettings(AppDir, back, &error)) << error;
    text = ReadFile(Dir / "Pyxet.ini");
    EXPECT_NE(text.find("[Rollout]\nHaltAfter=1\nFirst=0\nWave=0\nSkipCurrent=False\nBackupFirst=False\nRetries=0\n"),
              std::string::npos)
        << text;
    TSettings again;
    LoadSettings(AppDir, again);
    EXPECT_EQ(again.RolloutFirst, 0);
    EXPECT_EQ(again.RolloutHaltAfter, 1);
    EXPECT_FALSE(again.RolloutSkipCurrent);
}

TEST_F(Settings, RolloutValuesWithinTheirLimitsElseTheDefault)
{
    struct TKey {
        const char* Key;
        int TSettings::*Field;
        int Most, Default;
    } keys[] = {
        {"First", &TSettings::RolloutFirst, kMaxRolloutFirst, 0},
        {"Wave", &TSettings::RolloutWave, kMaxRolloutWave, 0},
        {"HaltAfter", &TSettings::RolloutHaltAfter, kMaxRolloutHalt, 1},
        {"Retries", &TSettings::RolloutRetries, kMaxRolloutRetries, 0},
    };
    for (const TKey& k : keys) {
        auto load = [&](const std::string& value) {
            return Load(std::string("[Rollout]\n") + k.Key + "=" + value + "\n").*k.Field;
        };
        EXPECT_EQ(load("0"), 0) << k.Key;
        EXPECT_EQ(load("1"), 1) << k.Key;
        EXPECT_EQ(load(std::to_string(k.Most)), k.Most) << k.Key;
        for (const std::string& bad : {std::to_string(k.Most + 1), std::string("-1"), std::string("x"),
                                       std::string(""), std::string("2.5"), std::string("99999999")})
            EXPECT_EQ(load(bad), k.Default) << k.Key << "=" << bad;
    }
    EXPECT_TRUE(Load("[Rollout]\nSkipCurrent=True\n").RolloutSkipCurrent);
    EXPECT_TRUE(Load("[Rollout]\nBackupFirst=1\n").RolloutBackupFirst);
    EXPECT_FALSE(Load("[Rollout]\nBackupFirst=yes\n").RolloutBackupFirst);
    EXPECT_FALSE(Load("[Rollout]\nSkipCurrent=False\n").RolloutSkipCurrent);
}

TEST_F(Settings, HistoryAndCompareKeys)
{
    TSettings s = Load("[Logs]\nTime=True\n");
    EXPECT_EQ(s.HistoryFolder, "");
    EXPECT_EQ(s.HistoryKeep, 50);
    EXPECT_TRUE(s.IdentityPaths.empty());
    EXPECT_TRUE(s.Preview);
    std::string error;
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    EXPECT_EQ(ReadFile(Dir / "Pyxet.ini").find("[Compare]"), std::string::npos) << "the default is not written";
    EXPECT_EQ(ReadFile(Dir / "Pyxet.ini").find("[History]"), std::string::npos);

    s.Preview = false;
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    EXPECT_NE(ReadFile(Dir / "Pyxet.ini").find("[Compare]\nPreview=False\n"), std::string::npos);
    TSettings back;
    LoadSettings(AppDir, back);
    EXPECT_FALSE(back.Preview);
    // Back on: the file has the key, so it is written.
    back.Preview = true;
    ASSERT_TRUE(SaveSettings(AppDir, back, &error)) << error;
    EXPECT_NE(ReadFile(Dir / "Pyxet.ini").find("Preview=True\n"), std::string::npos);

    // The history keys and the identity paths are read, and left as the file has them.
    WriteFile(Dir / "Pyxet.ini",
              "[History]\nFolder=/srv/pyxet history\nKeep=7\n[Compare]\nIdentity= /setup/snmp/@id ,, /setup/loc \n");
    TSettings read;
    LoadSettings(AppDir, read);
    EXPECT_EQ(read.HistoryFolder, "/srv/pyxet history");
    EXPECT_EQ(read.HistoryKeep, 7);
    EXPECT_EQ(read.IdentityPaths, (std::vector<std::string>{"/setup/snmp/@id", "/setup/loc"}));
    read.Preview = false;
    ASSERT_TRUE(SaveSettings(AppDir, read, &error)) << error;
    const std::string text = ReadFile(Dir / "Pyxet.ini");
    EXPECT_NE(text.find("Keep=7\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Identity= /setup/snmp/@id ,, /setup/loc"), std::string::npos) << text;

    const std::pair<const char*, int> keeps[] = {{"1", 1},   {"100000", 100000}, {"0", 50},  {"100001", 50},
                                                 {"-3", 50}, {"x", 50},          {"", 50},   {"7.5", 50}};
    for (const auto& [value, keep] : keeps)
        EXPECT_EQ(Load(std::string("[History]\nKeep=") + value + "\n").HistoryKeep, keep) << value;
}

TEST_F(Settings, WatchKeysOnlyOnceTheySaySomething)
{
    TSettings s = Load("[Logs]\nTime=True\n");
    EXPECT_EQ(s.WatchSeconds, 30);
    EXPECT_FALSE(s.WatchNotify);
    EXPECT_EQ(s.WatchSite, "");
    std::string error;
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    EXPECT_EQ(ReadFile(Dir / "Pyxet.ini").find("[Watch]"), std::string::npos) << "defaults are not written";

    s.WatchNotify = true;
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    std::string text = ReadFile(Dir / "Pyxet.ini");
    EXPECT_NE(text.find("[Watch]\nNotify=True\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Seconds"), std::string::npos) << text;
    EXPECT_EQ(text.find("Site"), std::string::npos) << text;

    s.WatchSeconds = 120;
    s.WatchSite = "/home/u/sites/plant 2.csv";
    ASSERT_TRUE(SaveSettings(AppDir, s, &error)) << error;
    TSettings back;
    LoadSettings(AppDir, back);
    EXPECT_EQ(back.WatchSeconds, 120);
    EXPECT_TRUE(back.WatchNotify);
    EXPECT_EQ(back.WatchSite, "/home/u/sites/plant 2.csv");

    // Back to the defaults: the keys the file has are written, so the old values do not return.
    back.WatchSeconds = 30;
    back.WatchNotify = false;
    back.WatchSite.clear();
    ASSERT_TRUE(SaveSettings(AppDir, back, &error)) << error;
    text = ReadFile(Dir / "Pyxet.ini");
    EXPECT_NE(text.find("[Watch]\nNotify=False\nSeconds=30\nSite=\n"), std::string::npos) << text;
    TSettings again;
    LoadSettings(AppDir, again);
    EXPECT_EQ(again.WatchSeconds, 30);
    EXPECT_FALSE(again.WatchNotify);
    EXPECT_EQ(again.WatchSite, "");
}

TEST_F(Settings, WatchSecondsAreKeptWithinFiveToAnHour)
{
    const std::pair<const char*, int> cases[] = {{"30", 30},   {"5", 5},     {"3600", 3600}, {"4", 5},
                                                 {"0", 5},     {"3601", 3600}, {"99999", 3600}, {"-5", 30},
                                                 {"x", 30},    {"", 30},     {"7.5", 30}};
    for (const auto& [text, seconds] : cases)
        EXPECT_EQ(Load(std::string("[Watch]\nSeconds=") + text + "\n").WatchSeconds, seconds) << text;
    EXPECT_TRUE(Load("[Watch]\nNotify=1\n").WatchNotify);
    EXPECT_FALSE(Load("[Watch]\nNotify=maybe\n").WatchNotify);
}
