// Several transfers at once (a batch's "Transfers at Once", pyxet-cli's --jobs): jobs run on worker threads, at most a given
// number at a time, handed out in list order, and their ends are taken in list order, so that
// whatever a job reports comes out as if the jobs had run one after another.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The most transfers pyxet-cli runs at once.
constexpr int kMaxJobs = 32;

// Jobs that must never run at once, such as two transfers to one host (they would write one
// backup file): per job a key, "" for none. A job waits until every earlier job with its key has
// ended; it then holds its worker while it waits. (Empty: no such rule.)
using TJobKeys = std::vector<std::string>;

// Runs job(i) for every i in [0, count): at most `jobs` at once (below 1 counts as 1), indices
// handed out to the workers in list order (two handed out at nearly the same moment may begin in
// either order), a job with a key of `apart` only once the earlier ones with that key have
// ended. done(i) runs on the calling thread, in index order, once job(i) and every lower job have
// ended. Once stop() (when given) says true, no further job is handed out (one handed out and
// waiting for its key still runs). Returns how many jobs ran (always the first ones). With one
// job at a time, everything runs on the calling thread. held(i), when given (a seam for tests),
// is called on a worker when job i is handed out but must wait for an earlier one.
size_t RunInListOrder(size_t count, int jobs, const std::function<void(size_t)>& job,
                      const std::function<void(size_t)>& done, const std::function<bool()>& stop = {},
                      const TJobKeys& apart = {},
                      const std::function<void(size_t)>& held = {});
