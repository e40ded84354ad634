// The window's watch over the devices the lab serves (run inside it by bench_lab_gui_watch; not a
// bench_ program itself, as it needs the lab): the window finds every device, then Actions ->
// "Watch" runs rounds every SECONDS.
//   lab_gui_watch DEVICES SECONDS ROUNDS. Prints, for N devices:
//     gui_watch_N_idle_cpu_pct    the window's processor time between rounds, in percent of one
//                                 core (from the end of a round, its refresh included, to the
//                                 beginning of the next; the highest of these spans)
//     gui_watch_N_round_gap_ms    the longest pass of the window's event loop during a round (from
//                                 its requests to a second after its end, every round)
//     gui_watch_N_first_gap_ms    the same for the first round alone, which learns every unit
//     gui_watch_N_round_s         seconds of the last round (its requests to its end)
#include "benchwindow.h"
#include "core/app/i18n.h"
#include "core/watch/watchrun.h"
#include "gui/app/dialogs.h"
#include "gui/app/form.h"
#include "gui/app/translate.h"
#include "gui/app/watchpanel.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// The longest time between two passes of the event loop while it runs (a timer of no interval
// runs once per pass). Stopped between rounds, where it would cost the very time measured there.
class TLoopGap {
public:
    TLoopGap()
    {
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            Longest = std::max(Longest, double(Pass.nsecsElapsed()) / 1e6);
            Pass.restart();
        });
    }
    void Start()
    {
        Longest = 0;
        Pass.start();
        Timer.start(0);
    }
    double Stop()
    {
        Timer.stop();
        return Longest;
    }

private:
    QTimer Timer;
    QElapsedTimer Pass;
    double Longest = 0;
};

// Runs the event loop until `done` holds or `ms` have passed; true when done. It sleeps while no
// event comes: QApplication::processEvents(flags, ms) drops WaitForMoreEvents and would spin,
// costing the very processor time measured between rounds.
template <typename Done>
bool WaitUntil(Done done, int ms)
{
    QEventLoop loop;
    QElapsedTimer waited;
    waited.start();
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(ms);  // wakes the loop at the end
    while (!done() && waited.elapsed() < ms)
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");  // figures with a decimal point whatever the user's language
    if (argc != 4) {
        std::fprintf(stderr, "usage: lab_gui_watch DEVICES SECONDS ROUNDS\n");
        return 2;
    }
    const int devices = std::atoi(argv[1]);
    const int seconds = std::atoi(argv[2]);
    const int rounds = std::atoi(argv[3]);
    if (devices <= 0 || seconds < 5 || rounds < 2) {
        std::fprintf(stderr, "lab_gui_watch: DEVICES above 0, SECONDS 5 or more, ROUNDS 2 or more\n");
        return 2;
    }
    InitTranslation(QCoreApplication::applicationDirPath().toStdString() + "/");
    UseLanguage("en");
    Dialogs::SetAutomatic(true);

    // The window's settings file stays out of the build.
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    TPyxetForm form({}, folder.path().toStdString() + "/");
    form.show();
    auto* rows = form.findChild<QTableView*>(QStringLiteral("DeviceListBox"))->model();

    // The window's first search finds them all.
    WaitUntil([&] { return rows->rowCount() >= devices; }, 120000);
    WaitUntil([] { return false; }, 3000);  // the discovery cycle ends
    if (rows->rowCount() != devices) {
        std::fprintf(stderr, "found %d devices, not %d\n", rows->rowCount(), devices);
        return 1;
    }

    auto* watchItem = form.findChild<QAction*>(QStringLiteral("acWatch"));
    if (!watchItem || !form.Watch) {
        std::fprintf(stderr, "the window has no Watch\n");
        return 1;
    }
    form.Watch->SetSeconds(seconds);
    TWatchRunner& runner = form.Watch->Runner();

    TLoopGap gap;
    std::vector<double> gaps, idle;
    double lastRound = 0;
    int begun = 0;
    int ended = 0;
    QElapsedTimer roundClock, idleClock;
    std::clock_t idleCpu = 0;
    bool idleOpen = false;
    QObject::connect(&runner, &TWatchRunner::RoundBegun, [&](int) {
        ++begun;
        if (idleOpen) {
            // The window's processor time since the last round's refresh, over the same time.
            idle.push_back(CpuMillisecondsSince(idleCpu) / double(idleClock.elapsed()) * 100);
            idleOpen = false;
        }
        roundClock.start();
        gap.Start();
    });
    QObject::connect(&runner, &TWatchRunner::RoundEnded, [&](int) {
        lastRound = double(roundClock.nsecsElapsed()) / 1e9;
        // The round's marks and re-filed rows are drawn in the passes after its end.
        QTimer::singleShot(1000, [&] {
            gaps.push_back(gap.Stop());
            ++ended;
            idleClock.start();
            idleCpu = std::clock();
            idleOpen = true;
        });
    });

    watchItem->trigger();
    if (!form.Watch->Watching()) {
        std::fprintf(stderr, "Watch did not start\n");
        return 1;
    }
    const int limit = (rounds + 1) * seconds * 1000 + 60000;
    if (!WaitUntil([&] { return ended >= rounds; }, limit) || idle.empty()) {
        std::fprintf(stderr, "%d of %d rounds ended\n", ended, rounds);
        return 1;
    }
    // Every unit answered every round: none gone.
    if (rows->rowCount() != devices) {
        std::fprintf(stderr, "%d rows after the rounds, not %d\n", rows->rowCount(), devices);
        return 1;
    }
    std::printf("gui_watch_%d_idle_cpu_pct %.2f %%\n", devices, *std::max_element(idle.begin(), idle.end()));
    std::printf("gui_watch_%d_round_gap_ms %.1f ms\n", devices, *std::max_element(gaps.begin(), gaps.end()));
    std::printf("gui_watch_%d_first_gap_ms %.1f ms\n", devices, gaps.front());
    std::printf("gui_watch_%d_round_s %.2f s\n", devices, lastRound);
    return 0;
}
