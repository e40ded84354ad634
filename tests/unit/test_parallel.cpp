// Transfers side by side for --jobs: never more at once than asked, handed out and reported in list
// order, and a stop that lets the running ones end.
#include "core/http/parallel.h"

#include "coreapp.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct TTally {
    std::atomic<int> Running{0};
    std::atomic<int> Most{0};
    std::mutex Lock;
    std::vector<size_t> Started, Done;
    std::vector<char> Ended;
    std::vector<size_t> EndedAtStart;  // how many jobs had ended when each job began, by index

    explicit TTally(size_t count) : Ended(count, 0), EndedAtStart(count, 0) {}

    void Job(size_t i, int ms, int meet = 0)
    {
        {
            std::lock_guard<std::mutex> guard(Lock);
            Started.push_back(i);
            EndedAtStart[i] = size_t(std::count(Ended.begin(), Ended.end(), 1));
        }
        const int now = ++Running;
        // Wait (a while, not for ever) until `meet` jobs run together, so that a count of jobs at
        // once does not hang on how quickly threads get going.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (Running < meet && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        int most = Most;
        while (now > most && !Most.compare_exchange_weak(most, now)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        --Running;
        std::lock_guard<std::mutex> guard(Lock);
        Ended[i] = 1;
    }
};

} // namespace

TEST(ParallelJobs, AtMostNAtOnceReportedInListOrder)
{
    const size_t count = 12;
    TTally tally(count);
    const std::thread::id caller = std::this_thread::get_id();
    bool doneOnCaller = true, doneAfterEnds = true;
    // The first four meet and stay a while; the later ones are quick, so they end before the
    // slow ones but are reported after them.
    const size_t ran = RunInListOrder(
        count, 4, [&](size_t i) { i < 4 ? tally.Job(i, 120, 4) : tally.Job(i, 10); },
        [&](size_t i) {
            doneOnCaller = doneOnCaller && std::this_thread::get_id() == caller;
            std::lock_guard<std::mutex> guard(tally.Lock);
            for (size_t j = 0; j <= i; ++j)
                doneAfterEnds = doneAfterEnds && tally.Ended[j];
            tally.Done.push_back(i);
        });
    EXPECT_EQ(ran, count);
    EXPECT_EQ(tally.Most, 4) << "four at once, never more";
    std::vector<size_t> order(count);
    for (size_t i = 0; i < count; ++i)
        order[i] = i;
    EXPECT_EQ(tally.Done, order);
    // Indices are handed out in list order, but two jobs handed out at nearly the same moment may
    // reach their first line in either order. What holds whatever the threads do: job i is handed
    // out only when a worker is free, so with four workers at least i - 3 jobs have ended.
    std::vector<size_t> started = tally.Started;
    std::sort(started.begin(), started.end());
    EXPECT_EQ(started, order) << "every job once";
    for (size_t i = 4; i < count; ++i)
        EXPECT_GE(tally.EndedAtStart[i], i - 3) << "job " << i << " began before a worker was free";
    EXPECT_TRUE(doneOnCaller);
    EXPECT_TRUE(doneAfterEnds) << "each report waits for its own job and every earlier one";
}

TEST(ParallelJobs, OneJobRunsOnTheCallingThread)
{
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<std::string> steps;
    for (int jobs : {1, 0, -3}) {
        steps.clear();
        bool onCaller = true;
        RunInListOrder(
            3, jobs,
            [&](size_t i) {
                onCaller = onCaller && std::this_thread::get_id() == caller;
                steps.push_back("job " + std::to_string(i));
            },
            [&](size_t i) { steps.push_back("done " + std::to_string(i)); });
        EXPECT_TRUE(onCaller) << jobs;
        EXPECT_EQ(steps, (std::vector<std::string>{"job 0", "done 0", "job 1", "done 1", "job 2", "done 2"})) << jobs;
    }
    EXPECT_EQ(RunInListOrder(0, 8, [](size_t) {}, [](size_t) {}), 0u);
}

TEST(ParallelJobs, StopLetsTheRunningEndAndStartsNoMore)
{
    for (int jobs : {1, 3}) {
        TTally tally(20);
        std::atomic<bool> stop{false};
        const size_t ran = RunInListOrder(
            20, jobs,
            [&](size_t i) {
                if (i == 4)
                    stop = true;  // at its start: only the jobs that started meanwhile may follow
                tally.Job(i, 20);
            },
            [&](size_t i) { tally.Done.push_back(i); }, [&] { return stop.load(); });
        EXPECT_GE(ran, 5u) << jobs;
        EXPECT_LE(ran, 5u + size_t(jobs) - 1) << "only those already running may follow, jobs " << jobs;
        EXPECT_EQ(tally.Done.size(), ran) << "every job that ran is reported";
        EXPECT_EQ(tally.Started.size(), ran);
    }
}

// A window's batch: while the caller waits for the jobs, its event loop turns (a timer of its own
// fires, a click could be handled), and the ends still come in list order on the caller.
TEST(ParallelJobs, KeepEventsTurnsTheCallersLoopWhileItWaits)
{
    EnsureApp();
    TTally tally(6);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    const size_t ran = RunInListOrder(
        6, 3, [&](size_t i) { tally.Job(i, 80); }, [&](size_t i) { tally.Done.push_back(i); }, {}, true);
    timer.stop();
    EXPECT_EQ(ran, 6u);
    EXPECT_EQ(tally.Done, (std::vector<size_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_GE(ticks, 5) << "the caller's timer ran while it waited";
}
