// Killing the program while its main window closes: kill -9 at random moments of the close, over
// and over, with a 10 MB Pyxet.ini. Every time the file must be the old one or the new one,
// whole, and no temporary file may survive the next start.
//
// Each round runs the real main window offscreen in a process of its own: it is built, shown
// (the settings are loaded, and what the last killed save left is cleaned up), switched to the
// other language in the menu so that the save changes the file, and closed when the test says
// so; the test kills it at a random moment of the close. The window processes are forked from
// a starter process (this program again, with --starter) that has set up the application once
// and stays single-threaded, so a round costs the window's life, not the loading of Qt.
//
// PYXET_KILL_ROUNDS sets the number of rounds (default 200), shared by two folders that run at
// the same time (one of them saving through named temporary files, as where the file system
// offers no unnamed ones); the seed is printed so that a failing run can be repeated with PYXET_KILL_SEED.
#include "controls.h"

#include "gui/app/application.h"
#include "gui/app/dialogs.h"
#include "gui/app/form.h"
#include "core/app/atomicfile.h"
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
#include <dirent.h>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <poll.h>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {
constexpr const char* kStarterFlag = "--starter";
// The starter's pipes, at fixed numbers: commands from the test, answers to it (a window's pid,
// then its wait status), and the window's own pair (its word that it is ready, the go to close).
constexpr int kCommandFd = 3, kAnswerFd = 4, kReadyFd = 5, kGoFd = 6;

bool ReadAll(int fd, void* data, std::size_t size)
{
    return read(fd, data, size) == static_cast<ssize_t>(size);
}

bool WriteAll(int fd, const void* data, std::size_t size)
{
    return write(fd, data, size) == static_cast<ssize_t>(size);
}

int ThreadCount()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (const dirent* e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

// One window's life up to the end of its close; never returns.
[[noreturn]] void RunWindow(const std::string& appDir)
{
    TPyxetForm form({}, appDir);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        _exit(2);
    // The other language, so that the save has something to change.
    (form.Settings.Language == "cs" ? Control<QAction>(form, "EnglishLang") : Control<QAction>(form, "CzechLang"))->trigger();
    char c = 'r';
    if (!WriteAll(kReadyFd, &c, 1) || !ReadAll(kGoFd, &c, 1))
        _exit(3);
    form.close();
    // A failed save shows a box, which the test sees as a failed round.
    _exit(Dialogs::TakeShownBoxes().empty() ? 0 : 4);
}

// The starter: on "s" forks a window and answers its pid; on "w" waits for it and answers its
// wait status. It reaps a window only when asked, so the pid cannot be reused before the test's
// kill.
int RunStarter(char** argv)
{
    const std::string appDir = argv[2];
    TAtomicFile::NamedTemporaryOnly = std::string(argv[3]) == "named";
    int qtArgc = 1;
    TPyxetApplication app(qtArgc, argv);
    InitTranslation(PYXET_BIN_DIR "/");
    Dialogs::SetAutomatic(true);
    // Forking is safe only while this is the one thread.
    if (ThreadCount() != 1)
        return 5;
    pid_t window = -1;
    char command = 0;
    while (ReadAll(kCommandFd, &command, 1)) {
        if (command == 's') {
            window = fork();
            if (window == 0) {
                close(kCommandFd);
                close(kAnswerFd);
                RunWindow(appDir);
            }
            if (!WriteAll(kAnswerFd, &window, sizeof window))
                return 6;
        } else if (command == 'w') {
            int status = -1;
            waitpid(window, &status, 0);
            // A window killed before it read its go leaves the byte for the next one: drop it.
            pollfd p {kGoFd, POLLIN, 0};
            char c = 0;
            while (poll(&p, 1, 0) == 1 && read(kGoFd, &c, 1) == 1) {
            }
            if (!WriteAll(kAnswerFd, &status, sizeof status))
                return 6;
        }
    }
    return 0;
}

// The file's content into text, whose memory is used again from round to round.
void ReadFile(const fs::path& p, std::string& text)
{
    text.clear();
    const int fd = open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    char buf[65536];
    ssize_t n = 0;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        text.append(buf, static_cast<std::size_t>(n));
    close(fd);
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

// The test's side of a starter.
class TStarter {
public:
    // named: saves go through a named temporary file from the start, as on a file system
    // without unnamed ones, so that kills leave files for the next start to clean up.
    TStarter(const std::string& appDir, bool named)
    {
        int command[2], answer[2], ready[2], go[2];
        for (int* p : {command, answer, ready, go})
            if (pipe2(p, O_CLOEXEC) != 0)
                return;
        // Called from several threads: between fork and exec the child only moves its pipe
        // ends to their numbers and execs.
        Pid = fork();
        if (Pid == 0) {
            // Out of the way first (the copies lose close-on-exec), then to their numbers.
            const int ends[] = {command[0], answer[1], ready[1], go[0]};
            const int numbers[] = {kCommandFd, kAnswerFd, kReadyFd, kGoFd};
            int moved[4];
            for (int i = 0; i < 4; ++i)
                if ((moved[i] = fcntl(ends[i], F_DUPFD, 10)) < 0)
                    _exit(127);
            for (int i = 0; i < 4; ++i)
                if (dup2(moved[i], numbers[i]) < 0)
                    _exit(127);
            execl("/proc/self/exe", "test_closekill", kStarterFlag, appDir.c_str(), named ? "named" : "unnamed",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int fd : {command[0], answer[1], ready[1], go[0]})
            close(fd);
        Command = command[1];
        Answer = answer[0];
        Ready = ready[0];
        Go = go[1];
    }
    ~TStarter()
    {
        for (int fd : {Command, Answer, Ready, Go})
            close(fd);
        if (Pid > 0)
            waitpid(Pid, nullptr, 0);
    }

    // Starts a window and waits until it is ready to close; false when it ends first or stays
    // silent for a minute.
    bool Start()
    {
        Window = -1;
        if (!WriteAll(Command, "s", 1) || !Await(Answer) || !ReadAll(Answer, &Window, sizeof Window) || Window <= 0)
            return false;
        char c = 0;
        return Await(Ready) && ReadAll(Ready, &c, 1) && c == 'r';
    }

    // Tells the window to close, kills it after delay (none: lets it end), returns its wait status.
    int Close(std::optional<std::chrono::microseconds> delay)
    {
        const bool told = WriteAll(Go, "g", 1);
        if (delay || !told) {
            if (delay && told)
                std::this_thread::sleep_for(*delay);
            kill(Window, SIGKILL);
        }
        int status = -1;
        if (!WriteAll(Command, "w", 1) || !Await(Answer) || !ReadAll(Answer, &status, sizeof status))
            return -1;
        return status;
    }

    // Kills a window that did not get as far as its close.
    void Abandon()
    {
        if (Window > 0)
            kill(Window, SIGKILL);
        int status = 0;
        if (WriteAll(Command, "w", 1) && Await(Answer))
            ReadAll(Answer, &status, sizeof status);
    }

    pid_t Pid = -1;

private:
    static bool Await(int fd)
    {
        pollfd p {fd, POLLIN, 0};
        return poll(&p, 1, 60000) == 1;
    }
    int Command = -1, Answer = -1, Ready = -1, Go = -1;
    pid_t Window = -1;
};

// One folder with its Pyxet.ini, killed round after round. Runs on a thread of its own: it
// reports a failure as text rather than through the test macros.
struct TLane {
    std::string AppDir;
    int Rounds = 0;
    unsigned Seed = 0;
    bool Named = false;  // saves through named temporary files only
    const std::string* Versions = nullptr;  // the file with Lang=en and with Lang=cs

    std::string Failure;
    int Killed = 0;
    int Replaced = 0;
    int LeftBehind = 0;  // rounds after which a temporary file lay there until the next start
    double CloseMs = 0;

    fs::path Ini() const { return AppDir + "Pyxet.ini"; }
    std::string Text;  // the file as last read
    // Which version the file holds; -1 for anything else (empty, cut, mixed).
    int Version()
    {
        ReadFile(Ini(), Text);
        for (int v = 0; v < 2; ++v)
            if (Text == Versions[v])
                return v;
        return -1;
    }
    bool OnlyTheFile() const { return Entries(AppDir) == std::vector<std::string>{"Pyxet.ini"}; }
    bool Fail(int round, const std::string& what)
    {
        Failure = "round " + std::to_string(round) + ": " + what + " (seed " + std::to_string(Seed) + ")";
        return false;
    }
    // Starts a window and checks that its start left only Pyxet.ini in the folder.
    bool Start(TStarter& starter, int round)
    {
        if (!starter.Start()) {
            starter.Abandon();
            return Fail(round, "the window did not start");
        }
        if (!OnlyTheFile()) {
            starter.Abandon();
            return Fail(round, "a temporary file survived the start");
        }
        return true;
    }

    void Run()
    {
        std::ofstream(Ini(), std::ios::binary) << Versions[0];
        TStarter starter(AppDir, Named);
        if (starter.Pid <= 0)
            return void(Fail(-1, "cannot start the starter"));
        // A close that is left alone: it saves the other language, and shows how long it takes.
        if (!Start(starter, -1))
            return;
        const Clock::time_point go = Clock::now();
        int status = starter.Close(std::nullopt);
        const auto closeTime = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - go);
        CloseMs = static_cast<double>(closeTime.count()) / 1000.0;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || Version() != 1 || !OnlyTheFile())
            return void(Fail(-1, "the undisturbed close did not save the other language quietly"));

        std::mt19937 random(Seed);
        // The kill comes at a random moment up to about the length of a close. That length
        // follows the machine's load: it shrinks when a close ends before its kill and grows
        // when the kill comes first, so that about two kills in three land inside a close.
        const double longest = 2.0 * static_cast<double>(closeTime.count());
        double span = static_cast<double>(closeTime.count());
        int before = 1;
        for (int round = 0; round < Rounds; ++round) {
            if (!Start(starter, round))
                return;
            const long delay = std::uniform_int_distribution<long>(0, static_cast<long>(span))(random);
            status = starter.Close(std::chrono::microseconds(delay));
            if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) {
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
            before = after;
            LeftBehind += !OnlyTheFile();
        }
        // The next start after the last kill cleans up too; its close saves a whole file.
        if (!Start(starter, Rounds))
            return;
        status = starter.Close(std::nullopt);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || Version() < 0 || !OnlyTheFile())
            Fail(Rounds, "the close after the last kill did not save a whole file alone");
    }
};
} // namespace

class TestCloseKill : public QObject {
    Q_OBJECT

private slots:
    // Two folders at a time, so that both cores of a small machine are at work: one saves as the
    // program does where it can, through unnamed temporary files, the other through named ones.
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
            lane.Named = i == 1;
            lane.Versions = versions;
            threads.emplace_back([&lane] { lane.Run(); });
        }
        for (std::thread& t : threads)
            t.join();
        int killed = 0;
        for (const TLane& lane : lanes) {
            qInfo("lane seed %u, %s temporary files: %d rounds, undisturbed close %.0f ms, %d killed, %d replaced "
                  "the file, %d left a temporary file until the next start",
                  lane.Seed, lane.Named ? "named" : "unnamed", lane.Rounds, lane.CloseMs, lane.Killed, lane.Replaced, lane.LeftBehind);
            QVERIFY2(lane.Failure.empty(), lane.Failure.c_str());
            killed += lane.Killed;
        }
        QVERIFY2(killed >= rounds / 2, "most kills must land before the close ends");
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == kStarterFlag)
        return RunStarter(argv);
    // A starter that ended early must show as a failed round, not end the test by SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    TestCloseKill test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_closekill.moc"
