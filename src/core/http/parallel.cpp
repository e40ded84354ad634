#include "core/http/parallel.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {
// For each job, the last earlier job with its key (SIZE_MAX: none).
std::vector<size_t> EarlierWithSameKey(const TJobKeys& keys)
{
    std::vector<size_t> before(keys.size(), SIZE_MAX);
    std::unordered_map<std::string, size_t> last;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].empty())
            continue;
        const auto [it, first] = last.try_emplace(keys[i], i);
        if (!first) {
            before[i] = it->second;
            it->second = i;
        }
    }
    return before;
}
} // namespace

size_t RunInListOrder(size_t count, int jobs, const std::function<void(size_t)>& job,
                      const std::function<void(size_t)>& done, const std::function<bool()>& stop, const TJobKeys& apart,
                      const std::function<void(size_t)>& held)
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

    // Each job waits for the last earlier one with its key, which itself began only once the one
    // before it had ended: so none of them runs beside another.
    std::vector<size_t> before = EarlierWithSameKey(apart);
    before.resize(count, SIZE_MAX);

    std::mutex lock;
    std::condition_variable ended;
    std::vector<char> finished(count, 0);
    size_t next = 0;       // the next index to start
    bool stopped = false;  // no index from `next` on starts
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
                const size_t after = before[index];
                if (after != SIZE_MAX) {
                    std::unique_lock<std::mutex> guard(lock);
                    if (!finished[after]) {
                        if (held)
                            held(index);
                        ended.wait(guard, [&] { return finished[after] != 0; });
                    }
                }
                job(index);
                {
                    std::lock_guard<std::mutex> guard(lock);
                    finished[index] = 1;
                }
                ended.notify_all();
            }
            ended.notify_all();  // the main thread may be waiting for the last start
        });

    // The ends, in list order, on this thread.
    size_t reported = 0;
    for (;;) {
        std::unique_lock<std::mutex> guard(lock);
        auto ready = [&] {
            const bool allStarted = stopped || next == count;
            return (reported < count && finished[reported]) || (allStarted && reported == next);
        };
        ended.wait(guard, ready);
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
