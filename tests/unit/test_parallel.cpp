// Transfers side by side for --jobs: never more at once than asked, handed out and reported in list
// order, a stop that lets the running ones end, and jobs of one key (one host) never side by side.
#include "core/http/parallel.h"

#include "coreapp.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
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

// A batch's thread hands its devices' blocks on as they end: the ends come on the caller's own
// thread, in list order, while the jobs ran on others (the window's event loop never waits here:
// the batch runs on a thread of its own, core/http/transferrun.h).
TEST(ParallelJobs, EndsComeOnTheCallersThreadInListOrder)
{
    TTally tally(6);
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<int> jobsOnCaller{0};
    int endsElsewhere = 0;
    const size_t ran = RunInListOrder(
        6, 3,
        [&](size_t i) {
            if (std::this_thread::get_id() == caller)
                ++jobsOnCaller;
            tally.Job(i, 20);
        },
        [&](size_t i) {
            if (std::this_thread::get_id() != caller)
                ++endsElsewhere;
            tally.Done.push_back(i);
        });
    EXPECT_EQ(ran, 6u);
    EXPECT_EQ(tally.Done, (std::vector<size_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(endsElsewhere, 0);
    EXPECT_EQ(jobsOnCaller.load(), 0);
}

// Jobs that must not overlap (two transfers to one host would write one backup file): with three,
// four or eight at once, no two jobs of one key ever run together, however far apart they stand in
// the list, while the others still run side by side. Each job stays until every worker is busy
// (running a job or holding one that waits for its key), so a job let through too early is seen
// beside the one it should have waited for, whatever the threads' timing.
TEST(ParallelJobs, JobsOfOneKeyNeverRunTogether)
{
    const TJobKeys keys = {"A", "B", "A", "", "B", "A", "A", "C", "B", "", "A", "C", "", "B"};
    const size_t count = keys.size();
    for (int jobs : {3, 4, 8}) {
        std::mutex lock;
        std::condition_variable changed;
        std::map<std::string, int> running;
        std::vector<char> holding(count, 0);
        int runningAll = 0, held = 0, most = 0;
        size_t ended = 0;
        std::vector<std::string> overlaps;
        const auto busy = [&] { return size_t(runningAll + held) >= std::min(size_t(jobs), count - ended); };
        const size_t ran = RunInListOrder(
            count, jobs,
            [&](size_t i) {
                std::unique_lock<std::mutex> guard(lock);
                if (holding[i]) {
                    holding[i] = 0;
                    --held;
                }
                if (!keys[i].empty() && running[keys[i]]++ > 0)
                    overlaps.push_back("job " + std::to_string(i) + " began beside another job of " + keys[i]);
                most = std::max(most, ++runningAll);
                changed.notify_all();
                EXPECT_TRUE(changed.wait_for(guard, std::chrono::seconds(20), busy))
                    << "job " << i << " waited in vain";
                --runningAll;
                if (!keys[i].empty())
                    --running[keys[i]];
                ++ended;
                changed.notify_all();
            },
            [](size_t) {}, {}, keys,
            [&](size_t i) {
                std::lock_guard<std::mutex> guard(lock);
                holding[i] = 1;
                ++held;
                changed.notify_all();
            });
        EXPECT_EQ(ran, count) << jobs;
        EXPECT_TRUE(overlaps.empty()) << jobs << " at once: " << overlaps.front();
        // At the start every worker has a job before any ends: 0, 1 and 3 run (2 waits) with four
        // at once, 0, 1, 3 and 7 with eight.
        EXPECT_GE(most, jobs == 3 ? 2 : jobs == 4 ? 3 : 4) << jobs << " at once: the other jobs still ran side by side";
    }
}
