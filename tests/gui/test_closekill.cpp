// Killing the program while its main window closes: kill -9 at random moments of the close, over
// and over, with a 10 MB Pyxet.ini. Every time the file must be the old one or the new one,
// whole, and no temporary file may survive the next start.
//
// Each round runs a child process (this program again, with --close-child) that builds the real
// main window offscreen, shows it (the settings are loaded), switches the language in the menu
// so that the save changes the file, tells the parent it is ready, and closes the window when
// the parent says so. The parent kills it at a random moment of the close.
//
// PYXET_KILL_ROUNDS sets the number of rounds (default 200), shared by two folders that run at
// the same time; the seed is printed so that a failing run can be repeated with PYXET_KILL_SEED.
#include "gui/app/application.h"
#include "gui/app/dialogs.h"
#include "gui/app/form.h"
#include "core/app/i18n.h"
#include "core/app/inifile.h"
#include "core/app/settings.h"
#include "ui_form.h"

#include <QAction>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {
constexpr const char* kChildFlag = "--close-child";

// The child: the window's life up to the close, with a word to the parent before it.
int RunChild(char** argv)
{
    const std::string appDir = argv[2];
    const int toParent = std::atoi(argv[3]);
    const int fromParent = std::atoi(argv[4]);
    int qtArgc = 1;
    TPyxetApplication app(qtArgc, argv);
    InitTranslation(PYXET_BIN_DIR "/");
    Dialogs::SetAutomatic(true);
    TPyxetForm form({}, appDir);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return 2;
    // The other language, so that the save has something to change.
    (form.Settings.Language == "cs" ? form.ui()->EnglishLang : form.ui()->CzechLang)->trigger();
    char c = 'r';
    if (write(toParent, &c, 1) != 1 || read(fromParent, &c, 1) != 1)
        return 3;
    form.close();
    // A failed save shows a box, which the parent sees as a failed round.
    _exit(Dialogs::TakeShownBoxes().empty() ? 0 : 4);
}

std::string ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Entries(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The settings file in the form a save writes it, so that a save changes only the language:
// about 10 MB, most of it in long lines of a section of the user's own.
std::string SettingsText(const char* lang)
{
    TProductTable orvex;
    for (int i = 0; i < 10000; ++i)
        orvex.push_back(std::to_string(1000 + i) + "=Orvex+Model+" + std::to_string(i));
    std::string text = "; kept by hand\n[Logs]\nTime=False\n[Setup]\nLang=";
    text += lang;
    text += "\n[Products]\nOrvex=" + JoinCommaText(orvex) + "\nHWG=" + JoinCommaText(SplitCommaText(kBuiltInHwgTable))
        + "\n[Notes]\n";
    for (int i = 0; text.size() < 10 * 1000 * 1000; ++i)
        text += "n" + std::to_string(i) + "=" + std::string(500 * 1000, static_cast<char>('a' + i % 26)) + "\n";
    return text;
}

struct TChild {
    pid_t Pid = -1;
    int FromChild = -1;
    int ToChild = -1;
};

// Starts this program as a window child for the folder. Called from several threads: between
// fork and exec the child only closes and execs.
TChild Spawn(const std::string& appDir)
{
    int up[2], down[2];
    if (pipe2(up, O_CLOEXEC) != 0)
        return {};
    if (pipe2(down, O_CLOEXEC) != 0) {
        close(up[0]);
        close(up[1]);
        return {};
    }
    // The child's ends get fixed numbers, so that only they stay open across exec.
    const pid_t pid = fork();
    if (pid == 0) {
        if (dup2(up[1], 3) < 0 || dup2(down[0], 4) < 0)
            _exit(127);
        execl("/proc/self/exe", "test_closekill", kChildFlag, appDir.c_str(), "3", "4", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(up[1]);
    close(down[0]);
    if (pid < 0) {
        close(up[0]);
        close(down[1]);
        return {};
    }
    return {pid, up[0], down[1]};
}

// Waits for the child's word; false when it ends or stays silent.
bool AwaitReady(const TChild& child)
{
    pollfd p {child.FromChild, POLLIN, 0};
    char c = 0;
    return poll(&p, 1, 60000) == 1 && read(child.FromChild, &c, 1) == 1 && c == 'r';
}

// Tells the child to close its window and gives it delay before the kill (none: no kill).
// Returns the wait status.
int CloseChild(TChild& child, std::optional<std::chrono::microseconds> delay)
{
    int status = -1;
    if (write(child.ToChild, "g", 1) == 1) {
        if (delay) {
            std::this_thread::sleep_for(*delay);
            kill(child.Pid, SIGKILL);
        }
    } else {
        kill(child.Pid, SIGKILL);
    }
    waitpid(child.Pid, &status, 0);
    close(child.FromChild);
    close(child.ToChild);
    child = {};
    return status;
}

// One folder with its Pyxet.ini, killed round after round. Runs on a thread of its own: it
// reports a failure as text rather than through the test macros.
struct TLane {
    std::string AppDir;
    int Rounds = 0;
    unsigned Seed = 0;
    const std::string* Versions = nullptr;  // the file with Lang=en and with Lang=cs

    std::string Failure;
    int Killed = 0;
    int Replaced = 0;
    int LeftBehind = 0;  // rounds after which a temporary file lay there until the next start
    double CloseMs = 0;

    fs::path Ini() const { return AppDir + "Pyxet.ini"; }
    // Which version the file holds; -1 for anything else (empty, cut, mixed).
    int Version() const
    {
        const std::string text = ReadFile(Ini());
        for (int v = 0; v < 2; ++v)
            if (text == Versions[v])
                return v;
        return -1;
    }
    bool OnlyTheFile() const { return Entries(AppDir) == std::vector<std::string>{"Pyxet.ini"}; }
    bool Fail(int round, const std::string& what)
    {
        Failure = "round " + std::to_string(round) + ": " + what + " (seed " + std::to_string(Seed) + ")";
        return false;
    }
    // Starts a window child and checks that its start left only Pyxet.ini in the folder.
    bool Start(int round, TChild& child)
    {
        child = Spawn(AppDir);
        if (child.Pid <= 0)
            return Fail(round, "cannot start a child");
        if (!AwaitReady(child)) {
            CloseChild(child, std::chrono::microseconds(0));
            return Fail(round, "the window did not start");
        }
        if (!OnlyTheFile()) {
            CloseChild(child, std::chrono::microseconds(0));
            return Fail(round, "a temporary file survived the start");
        }
        return true;
    }

    void Run()
    {
        std::ofstream(Ini(), std::ios::binary) << Versions[0];
        // A close that is left alone: it saves the other language, and shows how long it takes.
        TChild child;
        if (!Start(-1, child))
            return;
        const Clock::time_point go = Clock::now();
        int status = CloseChild(child, std::nullopt);
        const auto closeTime = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - go);
        CloseMs = closeTime.count() / 1000.0;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || Version() != 1 || !OnlyTheFile()) {
            Fail(-1, "the undisturbed close did not save the other language quietly");
            return;
        }

        std::mt19937 random(Seed);
        // The kill comes at a random moment up to about the length of a close. That length
        // follows the machine's load: it shrinks when a close ends before its kill and grows
        // when the kill comes first, so that about two kills in three land inside a close.
        const double longest = 2.0 * static_cast<double>(closeTime.count());
        double span = static_cast<double>(closeTime.count());
        for (int round = 0; round < Rounds; ++round) {
            const int before = Version();
            if (!Start(round, child))
                return;
            const long delay = std::uniform_int_distribution<long>(0, static_cast<long>(span))(random);
            status = CloseChild(child, std::chrono::microseconds(delay));
            if (WIFSIGNALED(status)) {
                ++Killed;
                span = std::min(longest, span * 1.05);
            } else if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
                span *= 0.9;
            } else {
                return void(Fail(round, "the close failed on its own"));
            }
            const int after = Version();
            if (after < 0)
                return void(Fail(round, "Pyxet.ini is neither the old nor the new file"));
            Replaced += after != before;
            LeftBehind += !OnlyTheFile();
        }
        // The next start after the last kill cleans up too; its close saves a whole file.
        if (!Start(Rounds, child))
            return;
        status = CloseChild(child, std::nullopt);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || Version() < 0 || !OnlyTheFile())
            Fail(Rounds, "the close after the last kill did not save a whole file alone");
    }
};
} // namespace

class TestCloseKill : public QObject {
    Q_OBJECT

private slots:
    // Two folders at a time, so that one lane's disk waits are the other's working time.
    void killedClosesLeaveTheFileWholeAndNoTemporaryFile()
    {
        const std::string versions[2] = {SettingsText("en"), SettingsText("cs")};
        QVERIFY(versions[0].size() >= 10 * 1000 * 1000 && versions[0].size() < TIniFile::kMaxFileSize);
        const char* roundsText = std::getenv("PYXET_KILL_ROUNDS");
        const int rounds = roundsText ? std::atoi(roundsText) : 200;
        const char* seedText = std::getenv("PYXET_KILL_SEED");
        const unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : std::random_device{}();

        // In memory where the machine offers it: a kill tests the program, not the disk, and 200
        // saves of 10 MB would otherwise wait mostly for the disk.
        const QString shm = QStringLiteral("/dev/shm");
        QTemporaryDir dir(QFileInfo(shm).isDir() && QFileInfo(shm).isWritable() ? shm + QStringLiteral("/pyxet-kill-XXXXXX")
                                                                              : QString());
        QVERIFY(dir.isValid());
        TLane lanes[2];
        std::vector<std::thread> threads;
        for (int i = 0; i < 2; ++i) {
            TLane& lane = lanes[i];
            lane.AppDir = dir.path().toStdString() + "/lane" + std::to_string(i) + "/";
            fs::create_directory(lane.AppDir);
            lane.Rounds = rounds / 2 + (i == 0 ? rounds % 2 : 0);
            lane.Seed = seed + static_cast<unsigned>(i);
            lane.Versions = versions;
            threads.emplace_back([&lane] { lane.Run(); });
        }
        for (std::thread& t : threads)
            t.join();
        int killed = 0;
        for (const TLane& lane : lanes) {
            qInfo("lane seed %u: %d rounds, undisturbed close %.0f ms, %d killed, %d replaced the file, %d left a "
                  "temporary file until the next start",
                  lane.Seed, lane.Rounds, lane.CloseMs, lane.Killed, lane.Replaced, lane.LeftBehind);
            QVERIFY2(lane.Failure.empty(), lane.Failure.c_str());
            killed += lane.Killed;
        }
        QVERIFY2(killed >= rounds / 2, "most kills must land before the close ends");
    }
};

int main(int argc, char** argv)
{
    if (argc == 5 && std::string(argv[1]) == kChildFlag)
        return RunChild(argv);
    QCoreApplication app(argc, argv);
    TestCloseKill test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_closekill.moc"
