// The INI reader/writer: value rules, in-place changes that keep the rest of the file, and the
// atomic replacement of the file on disk.
#include "core/app/inifile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {
TIniFile FromText(const std::string& text)
{
    TIniFile ini;
    ini.Parse(text);
    return ini;
}

std::string ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& p, const std::string& text)
{
    std::ofstream(p, std::ios::binary) << text;
}

class IniFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "pyxet-ini-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        Dir = tmpl;
    }
    void TearDown() override { fs::remove_all(Dir); }
    // Names of everything in the folder, so that left-over temporary files show.
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(Dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path Dir;
};
} // namespace

TEST(IniFile, ReadRules)
{
    const TIniFile ini = FromText(
        "orphan=before any section\n"
        "[Logs]\n"
        "Time=a=b\n"
        "Empty=\n"
        "  Spaced  =  x \n"
        ";Hidden=comment\n"
        "NoEquals\n"
        "[ Setup ]\r\n"
        "Lang=cs\r\n"
        "[Logs]\n"
        "Time=second section\n"
        "Other=only in second\n"
        "\xEF\xBB\xBF[NotFirst]\n"
        "k=v\n");
    struct Row {
        const char* section;
        const char* key;
        const char* expected;
        const char* why;
    } rows[] = {
        {"Logs", "Time", "a=b", "value is the text after the first ="},
        {"LOGS", "tIME", "a=b", "names match without regard to case"},
        {"Logs", "Empty", "", "an empty value is a value, not the default"},
        {"Logs", "Spaced", "  x ", "blanks around a key name do not count; the value is kept as is"},
        {"Logs", ";Hidden", "<def>", "comment lines are no keys"},
        {"Logs", "Hidden", "<def>", "comment lines are no keys"},
        {"Logs", "NoEquals", "<def>", "a line without = is no key"},
        {"Setup", "Lang", "cs", "blanks inside the brackets; CR LF line ends"},
        {"Logs", "Other", "<def>", "the first section of a name is the one read"},
        {"Logs", "Lang", "<def>", "keys belong to their section"},
        {"Logs", "orphan", "<def>", "keys before the first section belong to none"},
        {"NotFirst", "k", "<def>", "a byte order mark counts only at the start of the file"},
        {"Missing", "Time", "<def>", "absent section"},
        {"", "Time", "<def>", "no section name"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ini.ReadString(r.section, r.key, "<def>"), r.expected) << r.why;

    EXPECT_EQ(FromText("\xEF\xBB\xBF[Logs]\nTime=1\n").ReadString("logs", "time", ""), "1")
        << "a byte order mark at the start is not part of the first section name";
    EXPECT_TRUE(ini.HasKey("logs", "empty"));
    EXPECT_FALSE(ini.HasKey("logs", "hidden"));
}

TEST(IniFile, ReadYieldsAtMost2047Characters)
{
    for (std::size_t len : {2046u, 2047u, 2048u, 5000u}) {
        const std::string value(len, 'v');
        EXPECT_EQ(FromText("[S]\nK=" + value + "\n").ReadString("S", "K", "").size(), std::min<std::size_t>(len, 2047))
            << len;
    }
    // A two-byte character across the limit is dropped whole, not cut in half.
    const std::string straddling = std::string(2046, 'a') + "\xC5\x99" + "b";  // "ř" at 2047..2048
    EXPECT_EQ(FromText("[S]\nK=" + straddling).ReadString("S", "K", ""), std::string(2046, 'a'));
    const std::string fitting = std::string(2045, 'a') + "\xC5\x99" + "b";  // ends exactly at 2047
    EXPECT_EQ(FromText("[S]\nK=" + fitting).ReadString("S", "K", ""), std::string(2045, 'a') + "\xC5\x99");
}

TEST(IniFile, WriteChangesOnlyTheKeyConcerned)
{
    struct Row {
        const char* before;
        const char* section;
        const char* key;
        const char* value;
        const char* after;
        const char* why;
    } rows[] = {
        {"", "Logs", "Time", "True", "[Logs]\nTime=True\n", "a new file gets section and key"},
        {"; mine\n[Other]\nx=1\n", "Logs", "Time", "False", "; mine\n[Other]\nx=1\n[Logs]\nTime=False\n",
         "a new section goes at the end"},
        {"[Other]\nx=1", "Logs", "Time", "False", "[Other]\nx=1\n[Logs]\nTime=False\n",
         "a last line without line end gets one first"},
        {"[logs]\r\n  TIME = True ; old\r\nkeep=1\r\n", "Logs", "Time", "False",
         "[logs]\r\n  TIME =False\r\nkeep=1\r\n", "the line keeps its own spelling of the key; CR LF kept"},
        {"[Logs]\nTime=True\n\n; about setup\n[Setup]\nLang=cs\n", "Logs", "Extra", "1",
         "[Logs]\nTime=True\nExtra=1\n\n; about setup\n[Setup]\nLang=cs\n",
         "a new key goes after the section's last key, before what leads into the next section"},
        {"[Setup]\r\n[Products]\r\nHWG=x\r\n", "Setup", "Lang", "en", "[Setup]\r\nLang=en\r\n[Products]\r\nHWG=x\r\n",
         "an empty section gets the key right after its header, with the file's CR LF"},
        {"[Logs]\nTime=True", "Logs", "New", "v", "[Logs]\nTime=True\nNew=v\n", "a key added after an unterminated last line"},
        {"[A]\nk=1\n[A]\nk=2\n", "a", "K", "3", "[A]\nk=3\n[A]\nk=2\n", "only the first of duplicate sections changes"},
        {"[S]\nk=old\n", "S", "k", "", "[S]\nk=\n", "an empty value"},
    };
    for (const Row& r : rows) {
        TIniFile ini = FromText(r.before);
        EXPECT_TRUE(ini.WriteString(r.section, r.key, r.value)) << r.why;
        EXPECT_EQ(ini.Text(), r.after) << r.why;
        EXPECT_EQ(ini.ReadString(r.section, r.key, "<def>"), r.value) << r.why;
    }
}

TEST(IniFile, WriteRefusesWhatWouldBreakTheLines)
{
    struct Row {
        const char* section;
        const char* key;
        const char* value;
        const char* why;
    } rows[] = {
        {"S", "k", "two\nlines", "a line break in a value would start a new line"},
        {"S", "k=x", "v", "= in a key name"},
        {"S]x", "k", "v", "] in a section name"},
        {"", "k", "v", "empty section name"},
        {"S", ";k", "v", "a key that would read as a comment"},
    };
    const std::string before = "[S]\nk=1\n";
    for (const Row& r : rows) {
        TIniFile ini = FromText(before);
        EXPECT_FALSE(ini.WriteString(r.section, r.key, r.value)) << r.why;
        EXPECT_EQ(ini.Text(), before) << r.why;
    }
}

TEST_F(IniFileOnDisk, MissingFileOrFolderReadsAsEmpty)
{
    TIniFile ini;
    ini.Parse("[Stale]\nk=v\n");
    EXPECT_TRUE(ini.Load((Dir / "none.ini").string()));
    EXPECT_EQ(ini.Text(), "");
    EXPECT_TRUE(ini.Load((Dir / "no-folder" / "none.ini").string()));
    EXPECT_EQ(ReadIniString((Dir / "none.ini").string(), "S", "k", "def"), "def");

    std::string error;
    EXPECT_FALSE(ini.Load(Dir.string(), &error)) << "a folder is no settings file";
    EXPECT_FALSE(error.empty());
}

TEST_F(IniFileOnDisk, WriteOneKeyKeepsTheRestOfTheFile)
{
    const fs::path file = Dir / "a.ini";
    WriteFile(file, "; kept\r\n[Other]\r\nx=1\r\n[Logs]\r\nTime=True\r\n");
    ASSERT_TRUE(WriteIniString(file.string(), "logs", "time", "False"));
    EXPECT_EQ(ReadFile(file), "; kept\r\n[Other]\r\nx=1\r\n[Logs]\r\nTime=False\r\n");
    ASSERT_TRUE(WriteIniString((Dir / "new.ini").string(), "Setup", "Lang", "en"));
    EXPECT_EQ(ReadFile(Dir / "new.ini"), "[Setup]\nLang=en\n");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"a.ini", "new.ini"})) << "no temporary file left behind";
}

TEST_F(IniFileOnDisk, ReplacingKeepsPermissionsAndSymbolicLinks)
{
    const fs::path real = Dir / "real.ini";
    WriteFile(real, "[S]\nk=1\n");
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    fs::create_symlink("real.ini", Dir / "link.ini");

    ASSERT_TRUE(WriteIniString((Dir / "link.ini").string(), "S", "k", "2"));
    EXPECT_TRUE(fs::is_symlink(Dir / "link.ini"));
    EXPECT_EQ(ReadFile(real), "[S]\nk=2\n");
    struct stat st {};
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(IniFileOnDisk, FailedSaveLeavesNothingBehind)
{
    // The target is a folder: the rename fails after the temporary file was written.
    fs::create_directory(Dir / "taken.ini");
    TIniFile ini;
    ini.Parse("[S]\nk=1\n");
    std::string error;
    EXPECT_FALSE(ini.Save((Dir / "taken.ini").string(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Entries(), std::vector<std::string>{"taken.ini"});

    // A folder on the way that is a plain file.
    WriteFile(Dir / "plain", "x");
    EXPECT_FALSE(ini.Save((Dir / "plain" / "a.ini").string(), &error));
    EXPECT_FALSE(WriteIniString((Dir / "plain" / "a.ini").string(), "S", "k", "v", &error));
    EXPECT_EQ(ReadFile(Dir / "plain"), "x");
}
