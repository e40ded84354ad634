// The options pyxet reads before it opens a window: --help and --quit-after; everything else is
// left for the window and the toolkit.
#include "core/app/cmdline.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
TProgramOptions Parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "pyxet");
    return ParseProgramOptions(static_cast<int>(args.size()), args.data());
}
}  // namespace

TEST(ProgramOptions, HelpAndQuitAfterAreTakenOthersLeftAlone)
{
    EXPECT_FALSE(Parse({}).Help);
    EXPECT_EQ(Parse({}).QuitAfterMs, -1);
    EXPECT_TRUE(Parse({"--help"}).Help);
    EXPECT_TRUE(Parse({"-demo", "-h"}).Help);
    const auto demo = Parse({"-demo", "-platform", "offscreen", "-reverse"});
    EXPECT_FALSE(demo.Help);
    EXPECT_EQ(demo.Error, "");
    EXPECT_EQ(Parse({"--quit-after", "2.5"}).QuitAfterMs, 2500);
    EXPECT_EQ(Parse({"-demo", "--quit-after=0"}).QuitAfterMs, 0);
    // The value is not read as an option of its own.
    EXPECT_FALSE(Parse({"--quit-after", "1", "x"}).Help);
}

TEST(ProgramOptions, WrongQuitAfterValuesAreRefused)
{
    for (const char* bad : {"", "abc", "-1", "2s", "86401", "nan", "inf"}) {
        const auto o = Parse({"--quit-after", bad});
        EXPECT_EQ(o.Error, std::string("--quit-after takes seconds from 0 to 86400, not \"") + bad + "\"") << bad;
    }
    EXPECT_NE(Parse({"--quit-after"}).Error, "");
    EXPECT_NE(Parse({"--quit-after="}).Error, "");
}

TEST(ProgramOptions, HelpNamesTheFoldersInUse)
{
    const std::string build = ProgramHelp({"/w/build/bin/", "/w/build/bin/", false});
    EXPECT_NE(build.find("Usage: pyxet "), std::string::npos);
    EXPECT_NE(build.find("Data (catalogues, help, pictures): /w/build/bin/\n"), std::string::npos);
    EXPECT_NE(build.find("Settings: /w/build/bin/Pyxet.ini\n"), std::string::npos);
    EXPECT_EQ(build.find("installed"), std::string::npos);
    const std::string installed = ProgramHelp({"/usr/share/pyxet/", "/home/eva/.config/pyxet/", true});
    EXPECT_NE(installed.find("Data (catalogues, help, pictures): /usr/share/pyxet/\n"), std::string::npos);
    EXPECT_NE(installed.find("Settings: /home/eva/.config/pyxet/Pyxet.ini\n"), std::string::npos);
    EXPECT_NE(installed.find("installed: $XDG_CONFIG_HOME/pyxet"), std::string::npos);
}
