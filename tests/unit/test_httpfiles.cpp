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

class LocalFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseLanguage("en");
        ASSERT_TRUE(Dir.isValid());
        Root = Dir.path().toStdString();
    }
    std::string At(const std::string& name) const { return Root + "/" + name; }
    static void Write(const std::string& path, const std::string& data)
    {
        std::ofstream(path, std::ios::binary) << data;
    }

    QTemporaryDir Dir;
    std::string Root;
};

TEST_F(LocalFiles, OnlyFifosDevicesAndSocketsAreSpecial)
{
    Write(At("plain.xml"), "x");
    ASSERT_EQ(0, ::mkfifo(At("pipe.xml").c_str(), 0600));
    ASSERT_EQ(0, ::symlink(At("pipe.xml").c_str(), At("to-pipe.xml").c_str()));
    EXPECT_TRUE(IsSpecialFile(At("pipe.xml")));
    EXPECT_TRUE(IsSpecialFile(At("to-pipe.xml"))) << "through its link";
    EXPECT_TRUE(IsSpecialFile("/dev/null"));
    EXPECT_FALSE(IsSpecialFile(At("plain.xml")));
    EXPECT_FALSE(IsSpecialFile(Root)) << "a folder has its own message";
    EXPECT_FALSE(IsSpecialFile(At("missing.xml"))) << "a missing file has its own";
    EXPECT_EQ("Cannot read the file " + At("pipe.xml") + ": Not a regular file",
              SpecialFileRefusal(At("pipe.xml"), true));
    EXPECT_EQ("Cannot write the file /dev/null: Not a regular file", SpecialFileRefusal("/dev/null", false));
    EXPECT_EQ("", SpecialFileRefusal(At("plain.xml"), true));
    EXPECT_EQ("No such file or directory", FileErrorText(ENOENT));
}

} // namespace
