// Every file Pyxet writes goes through the one atomic writer, and each user gets its guarantees:
// the settings file, undo files, the device-list export and the saved Log Report keep a replaced
// file's mode bits, leave a file its owner made read-only alone, follow a symbolic link (the link
// stays), and leave nothing behind when the write fails. Each user is driven through its own entry point, once through unnamed temporary
// files and once through named ones.
#include "pyxetfixture.h"
#include "ui_form.h"

#include "core/app/atomicfile.h"
#include "core/app/settings.h"
#include "core/setup/planfile.h"

#include <QAction>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TUser {
    const char* Name;
    const char* File;  // the name it writes in the folder
    bool Replaces;     // false: new files only, an existing one is never replaced
    // Writes the file at folder + "/" + File; true when written.
    std::function<bool(TPyxetFixture& f, const std::string& folder, const std::string& path)> Write;
};

const std::vector<TUser>& Users()
{
    static const std::vector<TUser> users = {
        {"settings file", "Pyxet.ini", true,
         [](TPyxetFixture&, const std::string& folder, const std::string&) {
             std::string error;
             return SaveSettings(folder + "/", TSettings{}, &error);
         }},
        {"undo file", "undo.csv", false,
         [](TPyxetFixture&, const std::string&, const std::string& path) {
             std::string error;
             return WriteNewFile(path, "MAC,Name\r\n00:0A:59:00:00:01,hall\r\n", error);
         }},
        {"device-list export", "devices.csv", true,
         [](TPyxetFixture& f, const std::string&, const std::string& path) {
             Dialogs::QueueFileName(path);
             Dialogs::QueueFileType(0);
             Control<QAction>(*f.Form, "mExportList")->trigger();
             return Dialogs::TakeShownBoxes().empty();
         }},
        {"saved log", "report.txt", true,
         [](TPyxetFixture&, const std::string&, const std::string& path) {
             std::string error;
             return SaveLogLines(path, {{" a line", 1}, {" another", 1}}, &error);
         }},
    };
    return users;
}

std::string Read(const std::string& path)
{
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string("<unreadable>");
}

void Write(const std::string& path, const std::string& text)
{
    QFile f(QString::fromStdString(path));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.data(), qint64(text.size()));
}

mode_t Mode(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : mode_t(0);
}

bool IsLink(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Everything in the folder, hidden names included: a temporary file left behind shows.
QStringList Entries(const std::string& folder)
{
    return QDir(QString::fromStdString(folder))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Files may grow to a few bytes only while it lives: every write beyond fails (EFBIG), also for
// root, who could write into any folder.
struct TFileSizeLimit {
    rlimit Old{};
    explicit TFileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &Old);
        rlimit limit = Old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &Old); }
};

} // namespace

class TestSavedFiles : public QObject {
    Q_OBJECT
    TPyxetFixture F;

private slots:
    void initTestCase() { TPyxetFixture::InitProgram(); }
    void init() { F.Start(); }
    void cleanup()
    {
        TAtomicFile::NamedTemporaryOnly = false;
        F.Stop();
    }

    void everyUserGetsTheWritersGuarantees_data()
    {
        QTest::addColumn<int>("user");
        QTest::addColumn<bool>("named");
        for (int u = 0; u < int(Users().size()); ++u)
            for (bool named : {false, true})
                QTest::addRow("%s, %s temporary", Users()[size_t(u)].Name, named ? "named" : "unnamed") << u << named;
    }

    void everyUserGetsTheWritersGuarantees()
    {
        QFETCH(int, user);
        QFETCH(bool, named);
        const TUser& u = Users()[size_t(user)];
        TAtomicFile::NamedTemporaryOnly = named;
        // Each case in a folder of its own, beside the program folder the window uses.
        const std::string root = F.Dir->path().toStdString() + "/case";
        const std::string folder = root + "/files";
        const std::string real = root + "/real";
        QVERIFY(QDir().mkpath(QString::fromStdString(folder)));
        QVERIFY(QDir().mkpath(QString::fromStdString(real)));
        const std::string path = folder + "/" + u.File;
        const QStringList justTheFile{QString::fromLatin1(u.File)};

        // The mode bits of the file replaced, set-group-ID included; a new-files-only user
        // leaves the file as it was.
        Write(path, "old");
        QCOMPARE(::chmod(path.c_str(), 02640), 0);
        QCOMPARE(u.Write(F, folder, path), u.Replaces);
        QCOMPARE(Read(path) != "old", u.Replaces);
        QCOMPARE(Mode(path), mode_t(02640));
        QCOMPARE(Entries(folder), justTheFile);

        // A file its owner made read-only stays as it is, also for root.
        Write(path, "old");
        QCOMPARE(::chmod(path.c_str(), 0444), 0);
        QVERIFY(!u.Write(F, folder, path));
        QCOMPARE(Read(path), std::string("old"));
        QCOMPARE(Mode(path), mode_t(0444));
        QCOMPARE(Entries(folder), justTheFile);

        // A symbolic link is followed and stays a link: the file it names is replaced (its bits
        // kept), or made when a new-files-only user writes through a link to nothing yet.
        QVERIFY(QFile::remove(QString::fromStdString(path)));
        const std::string linked = real + "/" + u.File;
        if (u.Replaces) {
            Write(linked, "old");
            QCOMPARE(::chmod(linked.c_str(), 0604), 0);
        }
        QCOMPARE(::symlink(("../real/" + std::string(u.File)).c_str(), path.c_str()), 0);
        QVERIFY(u.Write(F, folder, path));
        QVERIFY(IsLink(path));
        QVERIFY(Read(linked) != "old");
        if (u.Replaces)
            QCOMPARE(Mode(linked), mode_t(0604));
        QCOMPARE(Entries(folder), justTheFile);
        QCOMPARE(Entries(real), justTheFile);

        // A write that fails on the way (the file may not grow): the old file whole, nothing else.
        QVERIFY(QFile::remove(QString::fromStdString(path)));
        QVERIFY(QFile::remove(QString::fromStdString(linked)));
        if (u.Replaces)
            Write(path, "old");
        bool written = true;
        {
            const TFileSizeLimit limit(4);
            written = u.Write(F, folder, path);
        }
        QVERIFY(!written);
        if (u.Replaces) {
            QCOMPARE(Read(path), std::string("old"));
            QCOMPARE(Entries(folder), justTheFile);
        } else {
            QCOMPARE(Entries(folder), QStringList());
        }
    }
};

QTEST_MAIN(TestSavedFiles)
#include "test_savedfiles.moc"
