// The atomic file writer: links followed, a replaced file's permission bits and link kept,
// Pyxet's temporary files named, locked and tidied away; a download's way (a temporary named
// from the start) here, every user of the writer in test_savedfiles.
#include "core/app/atomicfile.h"
#include "core/app/i18n.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

class AtomicFiles : public ::testing::Test {
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
    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static mode_t Mode(const std::string& path)
    {
        struct stat info {};
        EXPECT_EQ(0, ::stat(path.c_str(), &info)) << path;
        return info.st_mode & 07777;
    }
    static bool IsLink(const std::string& path)
    {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
    }
    static bool Exists(const std::string& path)
    {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0;
    }
    // The names in the folder that are Pyxet's temporary files.
    static std::vector<std::string> Temporaries(const std::string& folder)
    {
        std::vector<std::string> out;
        const QDir dir(QString::fromStdString(folder));
        const QStringList names = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
        for (const QString& name : names)
            if (IsTemporaryName(name.toStdString()))
                out.push_back(name.toStdString());
        return out;
    }
    // Replaces `path` with `data` as a download does: named from the start.
    static bool Replace(const std::string& path, const std::string& data, int& error)
    {
        TAtomicFile replacement;
        if (!replacement.Begin(path, error))
            return false;
        EXPECT_EQ(ssize_t(data.size()), ::write(replacement.Fd(), data.data(), data.size()));
        return replacement.Commit(error);
    }

    QTemporaryDir Dir;
    std::string Root;
};

TEST(FileFolder, FolderOfAPath)
{
    EXPECT_EQ(".", FolderOf("setup.xml"));
    EXPECT_EQ("backup", FolderOf("backup/setup.xml"));
    EXPECT_EQ("/", FolderOf("/setup.xml"));
    EXPECT_EQ("/a/b", FolderOf("/a/b/setup.xml"));
    EXPECT_EQ("../x", FolderOf("../x/setup.xml"));
}

TEST_F(AtomicFiles, LinksAreFollowedToTheirTarget)
{
    ::mkdir(At("real").c_str(), 0700);
    ::mkdir(At("links").c_str(), 0700);
    Write(At("real/setup.xml"), "x");
    std::string target;
    int error = 0;
    ASSERT_TRUE(ResolveLinks(At("real/setup.xml"), target, error));
    EXPECT_EQ(At("real/setup.xml"), target) << "a file is its own target";
    ASSERT_TRUE(ResolveLinks(At("new.xml"), target, error));
    EXPECT_EQ(At("new.xml"), target) << "a missing file is the one to create";

    ASSERT_EQ(0, ::symlink(At("real/setup.xml").c_str(), At("absolute.xml").c_str()));
    ASSERT_TRUE(ResolveLinks(At("absolute.xml"), target, error));
    EXPECT_EQ(At("real/setup.xml"), target);
    // A relative link counts from its own folder, a link to a link is followed on.
    ASSERT_EQ(0, ::symlink("../real/setup.xml", At("links/relative.xml").c_str()));
    ASSERT_EQ(0, ::symlink("links/relative.xml", At("chain.xml").c_str()));
    ASSERT_TRUE(ResolveLinks(At("chain.xml"), target, error));
    EXPECT_EQ(At("links/../real/setup.xml"), target);
    ASSERT_EQ(0, ::symlink("nothing-yet.xml", At("real/dangling.xml").c_str()));
    ASSERT_TRUE(ResolveLinks(At("real/dangling.xml"), target, error));
    EXPECT_EQ(At("real/nothing-yet.xml"), target) << "a link to a missing file names the file to create";

    ASSERT_EQ(0, ::symlink("loop-b", At("loop-a").c_str()));
    ASSERT_EQ(0, ::symlink("loop-a", At("loop-b").c_str()));
    EXPECT_FALSE(ResolveLinks(At("loop-a"), target, error));
    EXPECT_EQ(ELOOP, error);
}

// The longest chain of links followed is the kernel's own: 40 links reach the file, 41 are
// refused as a loop, and a download into them names that reason.
TEST_F(AtomicFiles, AChainOfLinksIsFollowedUpToFortyLinks)
{
    Write(At("real.xml"), "old");
    // link-1 names real.xml, link-n names link-(n-1): link-n is a chain of n links.
    for (int n = 1; n <= 41; ++n) {
        const std::string text = n == 1 ? std::string("real.xml") : "link-" + std::to_string(n - 1);
        ASSERT_EQ(0, ::symlink(text.c_str(), At("link-" + std::to_string(n)).c_str()));
    }
    for (int n : {39, 40, 41}) {
        std::string target;
        int error = 0;
        const bool followed = ResolveLinks(At("link-" + std::to_string(n)), target, error);
        EXPECT_EQ(n <= 40, followed) << n << " links";
        if (followed)
            EXPECT_EQ(At("real.xml"), target) << n << " links";
        else
            EXPECT_EQ(ELOOP, error) << n << " links";
    }
    int error = 0;
    ASSERT_TRUE(Replace(At("link-40"), "new", error)) << FileErrorText(error);
    EXPECT_EQ("new", Read(At("real.xml")));
    EXPECT_TRUE(IsLink(At("link-40")));
    EXPECT_FALSE(Replace(At("link-41"), "newer", error));
    EXPECT_EQ(ELOOP, error);
    EXPECT_EQ("Too many levels of symbolic links", FileErrorText(error));
    EXPECT_EQ("new", Read(At("real.xml")));
    EXPECT_TRUE(Temporaries(Root).empty());
}

TEST_F(AtomicFiles, AReplacedFileKeepsItsPermissionBits)
{
    // Every bit of the twelve, set-user-ID, set-group-ID and sticky included.
    for (mode_t mode : {mode_t(0600), mode_t(0640), mode_t(0604), mode_t(0755), mode_t(02640), mode_t(01644),
                        mode_t(04755), mode_t(07777)}) {
        const std::string file = At("setup.xml");
        Write(file, "old");
        ASSERT_EQ(0, ::chmod(file.c_str(), mode));
        TAtomicFile replacement;
        int error = 0;
        ASSERT_TRUE(replacement.Begin(file, error));
        EXPECT_EQ(mode, Mode(replacement.TemporaryPath()))
            << std::oct << mode << ": the bits from the start, before any byte is written";
        ASSERT_EQ(3, ::write(replacement.Fd(), "new", 3));
        ASSERT_TRUE(replacement.Commit(error)) << FileErrorText(error);
        EXPECT_EQ("new", Read(file));
        EXPECT_EQ(mode, Mode(file)) << std::oct << mode;
    }
    // The bits the old file has when the new one takes its place.
    const std::string file = At("setup.xml");
    ::chmod(file.c_str(), 0644);
    TAtomicFile replacement;
    int error = 0;
    ASSERT_TRUE(replacement.Begin(file, error));
    ::chmod(file.c_str(), 0600);
    ASSERT_TRUE(replacement.Commit(error));
    EXPECT_EQ(mode_t(0600), Mode(file));
}

TEST_F(AtomicFiles, ANewFileGetsTheUsualBits)
{
    const mode_t mask = ::umask(027);
    int error = 0;
    const bool done = Replace(At("new.xml"), "new", error);
    ::umask(mask);
    ASSERT_TRUE(done) << FileErrorText(error);
    EXPECT_EQ(mode_t(0640), Mode(At("new.xml")));
}

TEST_F(AtomicFiles, ALinkStaysALinkAndItsTargetIsReplacedInItsOwnFolder)
{
    ::mkdir(At("real").c_str(), 0700);
    ::mkdir(At("links").c_str(), 0700);
    Write(At("real/setup.xml"), "old");
    ::chmod(At("real/setup.xml").c_str(), 0600);
    ASSERT_EQ(0, ::symlink("../real/setup.xml", At("links/setup.xml").c_str()));

    TAtomicFile replacement;
    int error = 0;
    ASSERT_TRUE(replacement.Begin(At("links/setup.xml"), error));
    EXPECT_EQ(At("links/../real"), FolderOf(replacement.TemporaryPath())) << "renamed within the target's folder";
    ASSERT_EQ(3, ::write(replacement.Fd(), "new", 3));
    ASSERT_TRUE(replacement.Commit(error));
    EXPECT_TRUE(IsLink(At("links/setup.xml")));
    char text[64] = {};
    ASSERT_GT(::readlink(At("links/setup.xml").c_str(), text, sizeof text - 1), 0);
    EXPECT_STREQ("../real/setup.xml", text);
    EXPECT_EQ("new", Read(At("real/setup.xml")));
    EXPECT_EQ(mode_t(0600), Mode(At("real/setup.xml")));
    EXPECT_TRUE(Temporaries(At("real")).empty());
    EXPECT_TRUE(Temporaries(At("links")).empty());

    // A link to a file not there yet: the file is made, the link stays.
    ASSERT_EQ(0, ::symlink("later.xml", At("real/soon.xml").c_str()));
    ASSERT_TRUE(Replace(At("real/soon.xml"), "made", error));
    EXPECT_TRUE(IsLink(At("real/soon.xml")));
    EXPECT_EQ("made", Read(At("real/later.xml")));
}

TEST_F(AtomicFiles, OnlyARegularFileIsReplaced)
{
    int error = 0;
    TAtomicFile replacement;
    ASSERT_EQ(0, ::mkfifo(At("pipe.xml").c_str(), 0600));
    EXPECT_FALSE(replacement.Begin(At("pipe.xml"), error));
    EXPECT_EQ(kNotRegularFile, error);
    EXPECT_EQ("Not a regular file", FileErrorText(error));
    EXPECT_FALSE(replacement.Begin(Root, error));
    EXPECT_EQ(EISDIR, error);
    EXPECT_FALSE(replacement.Begin(At("no/folder.xml"), error));
    EXPECT_EQ(ENOENT, error);
    EXPECT_TRUE(Temporaries(Root).empty());
}

TEST_F(AtomicFiles, AnAbandonedReplacementLeavesTheOldFile)
{
    Write(At("setup.xml"), "old");
    {
        TAtomicFile replacement;
        int error = 0;
        ASSERT_TRUE(replacement.Begin(At("setup.xml"), error));
        ASSERT_EQ(3, ::write(replacement.Fd(), "new", 3));
        EXPECT_EQ(1u, Temporaries(Root).size());
    }  // the transfer failed
    EXPECT_EQ("old", Read(At("setup.xml")));
    EXPECT_TRUE(Temporaries(Root).empty());
}

TEST(TemporaryNames, OursOnly)
{
    EXPECT_TRUE(IsTemporaryName(".pyxet-part-0123456789AB"));
    EXPECT_TRUE(IsTemporaryName(".pyxet-part-FFFFFFFFFFFF"));
    const char* others[] = {
        ".pyxet-part-0123456789A",    // a digit short
        ".pyxet-part-0123456789ABC",  // a digit too many
        ".pyxet-part-0123456789ab",   // lower case is not ours
        ".pyxet-part-0123456789AG",   // not hexadecimal
        "pyxet-part-0123456789AB",    // no dot
        "setup.xml.part0A1B2C",       // the name earlier versions used: maybe another program's
        ".pyxet-part-",
        "",
    };
    for (const char* name : others)
        EXPECT_FALSE(IsTemporaryName(name)) << name;
}

TEST(TemporaryNames, NewNamesFromManyThreadsAtOnceAreOursAndDistinct)
{
    // As the transfers of --jobs name their files.
    constexpr int kThreads = 8, kEach = 20000;
    std::vector<std::vector<std::string>> names(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&names, t] {
            for (int i = 0; i < kEach; ++i)
                names[size_t(t)].push_back(NewTemporaryName());
        });
    for (std::thread& thread : threads)
        thread.join();
    std::set<std::string> all;
    for (const auto& list : names)
        for (const std::string& name : list) {
            EXPECT_TRUE(IsTemporaryName(name)) << name;
            all.insert(name);
        }
    EXPECT_EQ(size_t(kThreads * kEach), all.size()) << "a name was drawn twice";
}

TEST_F(AtomicFiles, TheTemporaryIsLockedWhileWritten)
{
    TAtomicFile replacement;
    int error = 0;
    ASSERT_TRUE(replacement.Begin(At("setup.xml"), error));
    const int other = ::open(replacement.TemporaryPath().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    EXPECT_NE(0, ::flock(other, LOCK_EX | LOCK_NB));
    EXPECT_EQ(EWOULDBLOCK, errno);
    ::close(other);
}

TEST_F(AtomicFiles, LeftoversOfKilledTransfersGoAndNothingElse)
{
    // A killed transfer's file: our name, nobody's lock.
    Write(At(".pyxet-part-00000000000A"), "left over");
    Write(At(".pyxet-part-00000000000B"), "left over");
    // A running transfer's file.
    TAtomicFile running;
    int error = 0;
    ASSERT_TRUE(running.Begin(At("running.xml"), error));
    // Other programs' files, and things of our name that are not plain files.
    Write(At(".pyxet-part-notours"), "x");
    Write(At("setup.xml.part0A1B2C"), "x");
    Write(At("target.xml"), "x");
    ASSERT_EQ(0, ::symlink("target.xml", At(".pyxet-part-00000000000C").c_str()));
    ASSERT_EQ(0, ::mkfifo(At(".pyxet-part-00000000000D").c_str(), 0600));
    ASSERT_EQ(0, ::mkdir(At(".pyxet-part-00000000000E").c_str(), 0700));

    EXPECT_EQ(2, RemoveLeftoverTemporaries(Root));
    EXPECT_FALSE(Exists(At(".pyxet-part-00000000000A")));
    EXPECT_FALSE(Exists(At(".pyxet-part-00000000000B")));
    EXPECT_TRUE(Exists(running.TemporaryPath())) << "another transfer is writing it";
    for (const char* kept : {".pyxet-part-notours", "setup.xml.part0A1B2C", "target.xml", ".pyxet-part-00000000000C",
                             ".pyxet-part-00000000000D", ".pyxet-part-00000000000E"})
        EXPECT_TRUE(Exists(At(kept))) << kept;
    EXPECT_EQ("x", Read(At("target.xml")));

    // The running transfer still completes.
    ASSERT_EQ(2, ::write(running.Fd(), "ok", 2));
    ASSERT_TRUE(running.Commit(error)) << FileErrorText(error);
    EXPECT_EQ("ok", Read(At("running.xml")));
    EXPECT_EQ(0, RemoveLeftoverTemporaries(Root));
    EXPECT_EQ(0, RemoveLeftoverTemporaries(At("missing-folder")));
}

} // namespace
