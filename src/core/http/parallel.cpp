#include "core/http/parallel.h"

#include <QEventLoop>
#include <QObject>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

size_t RunInListOrder(size_t count, int jobs, const std::function<void(size_t)>& job,
                      const std::function<void(size_t)>& done, const std::function<bool()>& stop, bool keepEvents)
{
    const size_t workers = std::min(count, size_t(std::clamp(jobs, 1, kMaxJobs)));
    if (workers <= 1) {
        size_t ran = 0;
        for (; ran < count && !(stop && stop()); ++ran) {
            job(ran);
            done(ran);
        }
        return ran;
    }

    std::mutex lock;
    std::condition_variable ended;
    std::vector<char> finished(count, 0);
    size_t next = 0;       // the next index to start
    bool stopped = false;  // no index from `next` on starts
    // With keepEvents the waiting loop below is woken through the calling thread's event queue;
    // the waker's calls still queued when it is gone are dropped with it.
    QEventLoop* waiting = nullptr;
    QObject waker;
    auto wake = [&] {
        if (keepEvents)
            QMetaObject::invokeMethod(&waker, [&waiting] {
                if (waiting)
                    waiting->quit();
            }, Qt::QueuedConnection);
    };
    std::vector<std::thread> threads;
    for (size_t w = 0; w < workers; ++w)
        threads.emplace_back([&] {
            for (;;) {
                size_t index;
                {
                    std::lock_guard<std::mutex> guard(lock);
                    if (!stopped && stop && stop())
                        stopped = true;
                    if (stopped || next == count)
                        break;
                    index = next++;
                }
                job(index);
                {
                    std::lock_guard<std::mutex> guard(lock);
                    finished[index] = 1;
                }
                ended.notify_all();
                wake();
            }
            ended.notify_all();  // the main thread may be waiting for the last start
            wake();
        });

    // The ends, in list order, on this thread.
    size_t reported = 0;
    for (;;) {
        std::unique_lock<std::mutex> guard(lock);
        auto ready = [&] {
            const bool allStarted = stopped || next == count;
            return (reported < count && finished[reported]) || (allStarted && reported == next);
        };
        if (keepEvents) {
            // A wake-up posted after this test is handled inside exec(), as `waiting` is set.
            while (!ready()) {
                QEventLoop loop;
                waiting = &loop;
                guard.unlock();
                loop.exec();
                guard.lock();
                waiting = nullptr;
            }
        } else {
            ended.wait(guard, ready);
        }
        if (reported < count && finished[reported] && reported < next) {
            guard.unlock();
            done(reported++);
            continue;
        }
        break;
    }
    for (std::thread& t : threads)
        t.join();
    return reported;
}
