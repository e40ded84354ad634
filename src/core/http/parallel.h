// Several transfers at once for pyxet-cli's --jobs: jobs run on worker threads, at most a given
// number at a time, handed out in list order, and their ends are taken in list order, so that
// whatever a job reports comes out as if the jobs had run one after another.
#pragma once
#include <cstddef>
#include <functional>

// The most transfers pyxet-cli runs at once.
constexpr int kMaxJobs = 32;

// Runs job(i) for every i in [0, count): at most `jobs` at once (below 1 counts as 1), indices
// handed out to the workers in list order (two handed out at nearly the same moment may begin in
// either order). done(i) runs on the calling thread, in index order, once job(i) and every lower
// job have ended. Once stop() (when given) says true, no further job starts. Returns how many
// jobs ran (always the first ones). With one job at a time, everything runs on the calling thread.
size_t RunInListOrder(size_t count, int jobs, const std::function<void(size_t)>& job,
                      const std::function<void(size_t)>& done, const std::function<bool()>& stop = {},
                      bool keepEvents = false);
