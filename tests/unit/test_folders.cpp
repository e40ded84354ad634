// Where the program reads its data and keeps Pyxet.ini: the build folder (or a copy of build/bin)
// keeps everything beside the program; an installed program reads share/pyxet and keeps its
// settings in the user's configuration folder.
#include "core/app/folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {
// A file system that holds exactly the given folders (each written with its trailing '/').
std::function<bool(const std::string&)> Folders(std::set<std::string> folders)
{
    return [folders](const std::string& path) { return folders.count(path) > 0; };
}

TFolderFacts Facts(const std::string& programDir, const std::string& xdg = "", const std::string& builtIn = "")
{
    return {programDir, builtIn, xdg, "/home/eva"};
}
}  // namespace

TEST(ProgramFolders, BuildFolderKeepsEverythingBesideTheProgram)
{
    // Neither a share/pyxet beside bin/ nor a data folder from the build: the settings stay
    // beside the program whatever XDG_CONFIG_HOME says.
    const auto f = ChooseProgramFolders(Facts("/work/pyxet/build/bin/", "/home/eva/.cfg"),
                                        Folders({"/work/pyxet/build/bin/", "/work/pyxet/build/"}));
    EXPECT_FALSE(f.Installed);
    EXPECT_EQ(f.AppDir, "/work/pyxet/build/bin/");
    EXPECT_EQ(f.ConfigDir, "/work/pyxet/build/bin/");
    // A build-time data folder that is not there (not installed yet) changes nothing either.
    const auto g = ChooseProgramFolders(Facts("/work/pyxet/build/bin/", "", "/opt/pyxet/data"), Folders({}));
    EXPECT_FALSE(g.Installed);
    EXPECT_EQ(g.ConfigDir, "/work/pyxet/build/bin/");
}

TEST(ProgramFolders, InstalledReadsShareAndKeepsSettingsInTheConfigFolder)
{
    const auto usr = Folders({"/usr/share/pyxet/"});
    const auto f = ChooseProgramFolders(Facts("/usr/bin/"), usr);
    EXPECT_TRUE(f.Installed);
    EXPECT_EQ(f.AppDir, "/usr/share/pyxet/");
    EXPECT_EQ(f.ConfigDir, "/home/eva/.config/pyxet/");
    // XDG_CONFIG_HOME, with or without its trailing '/'.
    EXPECT_EQ(ChooseProgramFolders(Facts("/usr/bin/", "/tmp/cfg"), usr).ConfigDir, "/tmp/cfg/pyxet/");
    EXPECT_EQ(ChooseProgramFolders(Facts("/usr/bin/", "/tmp/cfg/"), usr).ConfigDir, "/tmp/cfg/pyxet/");
    // A relative XDG_CONFIG_HOME is not valid and is ignored.
    EXPECT_EQ(ChooseProgramFolders(Facts("/usr/bin/", "cfg"), usr).ConfigDir, "/home/eva/.config/pyxet/");
    // Any prefix, the path cleaned of its ".." step.
    const auto local = ChooseProgramFolders(Facts("/tmp/p q/bin/"), Folders({"/tmp/p q/share/pyxet/"}));
    EXPECT_TRUE(local.Installed);
    EXPECT_EQ(local.AppDir, "/tmp/p q/share/pyxet/");
}

TEST(ProgramFolders, GatheredDataBesideTheProgramOrInTheUsersDataFolder)
{
    // The build folder keeps the history beside the program, whatever XDG_DATA_HOME says.
    TFolderFacts build = Facts("/work/pyxet/build/bin/");
    build.XdgDataHome = "/home/eva/.data";
    EXPECT_EQ(ChooseProgramFolders(build, Folders({})).DataDir, "/work/pyxet/build/bin/");
    // Installed: $XDG_DATA_HOME/pyxet/ when it is absolute, else ~/.local/share/pyxet/.
    const auto usr = Folders({"/usr/share/pyxet/"});
    const struct {
        const char* Xdg;
        const char* DataDir;
        const char* Why;
    } rows[] = {
        {"", "/home/eva/.local/share/pyxet/", "unset: the default"},
        {"/tmp/data", "/tmp/data/pyxet/", "absolute"},
        {"/tmp/data/", "/tmp/data/pyxet/", "with its trailing '/'"},
        {"data", "/home/eva/.local/share/pyxet/", "relative: ignored"},
    };
    for (const auto& row : rows) {
        TFolderFacts facts = Facts("/usr/bin/", "/tmp/cfg");
        facts.XdgDataHome = row.Xdg;
        const TProgramFolders f = ChooseProgramFolders(facts, usr);
        EXPECT_EQ(f.DataDir, row.DataDir) << row.Why;
        EXPECT_EQ(f.ConfigDir, "/tmp/cfg/pyxet/") << row.Why << ": the settings stay where they were";
    }
}

TEST(ProgramFolders, DataFolderNamedByTheBuild)
{
    // For layouts where the data does not lie at ../share/pyxet (say /opt/pyxet/bin and
    // /srv/pyxet-data): the build's folder counts once it exists.
    const auto f = ChooseProgramFolders(Facts("/opt/pyxet/bin/", "", "/srv/pyxet-data"), Folders({"/srv/pyxet-data/"}));
    EXPECT_TRUE(f.Installed);
    EXPECT_EQ(f.AppDir, "/srv/pyxet-data/");
    EXPECT_EQ(f.ConfigDir, "/home/eva/.config/pyxet/");
    // share/pyxet beside the program comes first.
    const auto g = ChooseProgramFolders(Facts("/usr/bin/", "", "/srv/pyxet-data"),
                                        Folders({"/srv/pyxet-data/", "/usr/share/pyxet/"}));
    EXPECT_EQ(g.AppDir, "/usr/share/pyxet/");
}

TEST(ProgramFolders, ConfigFolderIsCreatedForAnInstalledProgramOnly)
{
    char tmpl[] = "/tmp/pyxet-folders-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const fs::path root = tmpl;

    TProgramFolders installed{"/usr/share/pyxet/", (root / "home/.config/pyxet/").string(), true};
    ASSERT_TRUE(MakeConfigFolder(installed));
    ASSERT_TRUE(fs::is_directory(root / "home/.config/pyxet"));
    struct stat st {};
    ASSERT_EQ(stat((root / "home/.config/pyxet").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(MakeConfigFolder(installed));  // there already

    // A file in the way is a failure (the save then reports it), not a crash.
    std::ofstream(root / "blocked") << "x";
    EXPECT_FALSE(MakeConfigFolder({"/usr/share/pyxet/", (root / "blocked/pyxet/").string(), true}));

    // Started from the build folder nothing is made.
    EXPECT_TRUE(MakeConfigFolder({(root / "bin/").string(), (root / "bin/").string(), false}));
    EXPECT_FALSE(fs::exists(root / "bin"));
    fs::remove_all(root);
}
