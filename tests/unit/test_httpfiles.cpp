// The local files of the transfers: special files refused before they are opened.
#include "core/app/i18n.h"
#include "core/http/files.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cerrno>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(LocalFiles, OnlyFifosDevicesAndSocketsAreSpecial)
{
    UseLanguage("en");
    const QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path().toStdString();
    const auto At = [&root](const std::string& name) { return root + "/" + name; };
    std::ofstream(At("plain.xml"), std::ios::binary) << "x";
    ASSERT_EQ(0, ::mkfifo(At("pipe.xml").c_str(), 0600));
    ASSERT_EQ(0, ::symlink(At("pipe.xml").c_str(), At("to-pipe.xml").c_str()));
    EXPECT_TRUE(IsSpecialFile(At("pipe.xml")));
    EXPECT_TRUE(IsSpecialFile(At("to-pipe.xml"))) << "through its link";
    EXPECT_TRUE(IsSpecialFile("/dev/null"));
    EXPECT_FALSE(IsSpecialFile(At("plain.xml")));
    EXPECT_FALSE(IsSpecialFile(root)) << "a folder has its own message";
    EXPECT_FALSE(IsSpecialFile(At("missing.xml"))) << "a missing file has its own";
    EXPECT_EQ("Cannot read the file " + At("pipe.xml") + ": Not a regular file",
              SpecialFileRefusal(At("pipe.xml"), true));
    EXPECT_EQ("Cannot write the file /dev/null: Not a regular file", SpecialFileRefusal("/dev/null", false));
    EXPECT_EQ("", SpecialFileRefusal(At("plain.xml"), true));
    EXPECT_EQ("No such file or directory", FileErrorText(ENOENT));
}

} // namespace
