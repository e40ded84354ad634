// The INI reader/writer: value rules and line ends, in-place changes that keep the rest of the
// file, the atomic replacement of the file on disk and what killed saves leave behind.
#include "core/app/atomicfile.h"
#include "core/app/inifile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(IniFile, ValuesAreReadWhole)
{
    // The old 2,047-character limit of the platform's INI calls is gone: a long value written
    // back must be the value that was read.
    for (std::size_t len : {2047u, 2048u, 100000u}) {
        const std::string value(len, 'v');
        EXPECT_EQ(FromText("[S]\nK=" + value + "\n").ReadString("S", "K", "").size(), len) << len;
    }
    const std::string straddling = std::string(2046, 'a') + "\xC5\x99" + "b";  // "ř" across the old limit
    EXPECT_EQ(FromText("[S]\nK=" + straddling).ReadString("S", "K", ""), straddling);
    const std::string longDefault(5000, 'd');
    EXPECT_EQ(FromText("").ReadString("S", "K", longDefault), longDefault);
}

// Line ends as editors and file transfers leave them: a CR before the line end belongs to the
// line end, never to the value, and the file's text is kept byte for byte.
TEST(IniFile, LineEnds)
{
    struct Row {
        const char* text;
        const char* why;
    } rows[] = {
        {"[S]\nK=False\nN=1\n", "LF"},
        {"[S]\r\nK=False\r\nN=1\r\n", "CR LF"},
        {"[S]\r\r\nK=False\r\r\nN=1\r\r\n", "CR CR LF"},
        {"[S]\nK=False\r\nN=1\n", "a lone CR before the LF in an LF file"},
        {"[S]\nK=False\r\r\r\nN=1", "a run of CRs; the last line without an end"},
        {"[S]\rK=False\rN=1\r", "CR alone ends lines"},
        {"[S]\nK=False\rN=1\n", "a CR inside a line ends it"},
        {"[S]\nK=False\r", "a CR at the very end of the file"},
    };
    for (const Row& r : rows) {
        TIniFile ini = FromText(r.text);
        EXPECT_EQ(ini.ReadString("S", "K", "<def>"), "False") << r.why;
        EXPECT_EQ(ini.Text(), r.text) << r.why;
        // What was read can be written back, and doing so changes nothing.
        for (const std::string& key : ini.Keys("S"))
            EXPECT_TRUE(ini.WriteString("S", key, ini.ReadString("S", key, ""))) << r.why << ": " << key;
        EXPECT_EQ(ini.Text(), r.text) << r.why;
    }
    // Added lines take the file's own line end; a run of CRs before the LF is taken as CR LF.
    const struct {
        const char* before;
        const char* after;
    } added[] = {
        {"[S]\r\r\nK=1\r\r\n", "[S]\r\r\nK=1\r\r\nNew=v\r\n"},
        {"[S]\rK=1\r", "[S]\rK=1\rNew=v\r"},
        {"[S]\nK=1\r\n", "[S]\nK=1\r\nNew=v\n"},
    };
    for (const auto& a : added) {
        TIniFile ini = FromText(a.before);
        ASSERT_TRUE(ini.WriteString("S", "New", "v"));
        EXPECT_EQ(ini.Text(), a.after);
    }
}

TEST(IniFile, SectionsAndKeysAsReadsReachThem)
{
    const TIniFile ini = FromText(
        "\xEF\xBB\xBF[First]\n"
        "orphan-free=1\n"
        "[ Logs ]\n"
        " Time = 1\n"
        "TIME=2\n"
        ";Hidden=3\n"
        "=empty name\n"
        "[]\n"
        "x=1\n"
        "[logs]\n"
        "Other=4\n");
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"First", "Logs"}))
        << "no byte order mark in the name; a name once; an empty name reaches nothing";
    EXPECT_EQ(ini.Keys("LOGS"), std::vector<std::string>{"Time"}) << "only the first section of a name is read";
    EXPECT_EQ(ini.Keys("First"), std::vector<std::string>{"orphan-free"});
    EXPECT_TRUE(ini.Keys("Missing").empty());
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

// Mode bits decide, not whether this user could write: root (as in CI) may write any file.
TEST_F(IniFileOnDisk, AFileItsOwnerMadeReadOnlyIsNeverReplaced)
{
    const fs::path file = Dir / "a.ini";
    const std::string old = "[S]\nk=1\n";
    for (mode_t mode : {0444u, 0400u, 0064u, 0555u}) {
        fs::remove(file);
        WriteFile(file, old);
        ASSERT_EQ(chmod(file.c_str(), mode), 0);
        std::string error;
        EXPECT_FALSE(WriteIniString(file.string(), "S", "k", "2", &error)) << std::oct << mode;
        EXPECT_NE(error.find(file.string()), std::string::npos) << error;
        EXPECT_EQ(ReadFile(file), old) << std::oct << mode;
        struct stat st {};
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        EXPECT_EQ(Entries(), std::vector<std::string>{"a.ini"});
    }
    // Through a symbolic link the target's bits count.
    fs::create_symlink("a.ini", Dir / "link.ini");
    EXPECT_FALSE(WriteIniString((Dir / "link.ini").string(), "S", "k", "2"));
    EXPECT_EQ(ReadFile(file), old);
    // Control: with the owner's write bit (and nothing else) the file is replaced.
    ASSERT_EQ(chmod(file.c_str(), 0200), 0);
    EXPECT_TRUE(WriteIniString(file.string(), "S", "k", "2"));
    EXPECT_EQ(ReadFile(file), "[S]\nk=2\n");
}

// Both ways of saving: through an unnamed temporary file, and through a named one where the file
// system offers no unnamed ones.
TEST_F(IniFileOnDisk, BothWaysOfSavingReplaceTheFileAndLeaveNothing)
{
    for (bool named : {false, true}) {
        TAtomicFile::NamedTemporaryOnly = named;
        const fs::path file = Dir / "a.ini";
        fs::remove(file);
        WriteFile(file, "; kept\n[S]\nk=1\n");
        ASSERT_EQ(chmod(file.c_str(), 0604), 0);
        std::string error;
        EXPECT_TRUE(WriteIniString(file.string(), "S", "k", std::string(100000, 'x'), &error)) << error;
        EXPECT_EQ(ReadFile(file), "; kept\n[S]\nk=" + std::string(100000, 'x') + "\n");
        struct stat st {};
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0604u);
        EXPECT_EQ(Entries(), std::vector<std::string>{"a.ini"}) << named;
    }
    TAtomicFile::NamedTemporaryOnly = false;
}

// What a killed save left beside the file goes at the next start; a temporary file that a
// running save holds (locked) stays, and so does everything not of our naming.
TEST_F(IniFileOnDisk, StaleTemporariesAreRemoved)
{
    WriteFile(Dir / "a.ini", "[S]\nk=1\n");
    for (const char* stale : {".a.ini.Ab3dE9", ".a.ini.000000", ".a.ini.zzzzzz"})
        WriteFile(Dir / stale, "[S]\nk=");
    const std::vector<std::string> kept = {".a.ini.Held01", ".a.ini.abc", ".a.ini.abc-ef", ".a.ini.ABCDEFG",
                                           ".b.ini.ABCDEF", "a.ini.ABCDEF", ".a.ini.DirDir", ".a.ini.Link01"};
    for (const std::string& name : kept)
        WriteFile(Dir / name, "x");
    fs::remove(Dir / ".a.ini.DirDir");
    fs::create_directory(Dir / ".a.ini.DirDir");
    fs::remove(Dir / ".a.ini.Link01");
    fs::create_symlink(".a.ini.Ab3dE9", Dir / ".a.ini.Link01");
    const int held = open((Dir / ".a.ini.Held01").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);

    TIniFile::RemoveStaleTemporaries((Dir / "a.ini").string());
    close(held);
    std::vector<std::string> expected = kept;
    expected.push_back("a.ini");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Entries(), expected);
    EXPECT_EQ(ReadFile(Dir / "a.ini"), "[S]\nk=1\n");

    // Through a symbolic link the target's folder is cleaned.
    fs::create_directory(Dir / "real");
    WriteFile(Dir / "real" / "b.ini", "");
    WriteFile(Dir / "real" / ".b.ini.Stale1", "");
    fs::create_symlink("real/b.ini", Dir / "b.ini");
    TIniFile::RemoveStaleTemporaries((Dir / "b.ini").string());
    EXPECT_FALSE(fs::exists(Dir / "real" / ".b.ini.Stale1"));
    EXPECT_TRUE(fs::exists(Dir / ".b.ini.ABCDEF"));
    // A missing folder is no error.
    TIniFile::RemoveStaleTemporaries((Dir / "none" / "a.ini").string());
}

// Saves now go through the atomic writer: what its killed writes left goes as well, held ones stay.
TEST_F(IniFileOnDisk, StaleTemporariesOfTheWriterAreRemovedToo)
{
    WriteFile(Dir / "a.ini", "[S]\nk=1\n");
    WriteFile(Dir / ".pyxet-part-0123456789AB", "[S]\nk=");
    WriteFile(Dir / ".pyxet-part-00000000000F", "[S]\nk=");
    const int held = open((Dir / ".pyxet-part-00000000000F").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    TIniFile::RemoveStaleTemporaries((Dir / "a.ini").string());
    close(held);
    EXPECT_EQ(Entries(), (std::vector<std::string>{".pyxet-part-00000000000F", "a.ini"}));
}

TEST_F(IniFileOnDisk, AFileAboveTheSizeCapIsNotRead)
{
    // Sparse files: the padding is a value of NUL bytes.
    const fs::path file = Dir / "big.ini";
    WriteFile(file, "[Logs]\nTime=False\n[Pad]\nx=");
    fs::resize_file(file, TIniFile::kMaxFileSize);
    TIniFile ini;
    TIniFile::TLoadError why = TIniFile::TLoadError::Unreadable;
    ASSERT_TRUE(ini.Load(file.string(), nullptr, &why)) << "exactly at the cap";
    EXPECT_EQ(why, TIniFile::TLoadError::None);
    EXPECT_EQ(ini.ReadString("Logs", "Time", ""), "False");

    fs::resize_file(file, TIniFile::kMaxFileSize + 1);
    std::string error;
    EXPECT_FALSE(ini.Load(file.string(), &error, &why));
    EXPECT_EQ(why, TIniFile::TLoadError::TooLarge);
    EXPECT_NE(error.find(file.string()), std::string::npos);
    EXPECT_EQ(ini.Text(), "");
    EXPECT_FALSE(WriteIniString(file.string(), "Logs", "Time", "True")) << "a file not read is not replaced";
    EXPECT_EQ(fs::file_size(file), TIniFile::kMaxFileSize + 1);

    EXPECT_FALSE(ini.Load(Dir.string(), nullptr, &why));
    EXPECT_EQ(why, TIniFile::TLoadError::Unreadable);
}
