// Several devices of the window's batch at once. Each device's step runs on a worker thread, on a
// transfer module and a batch of its own; what it writes (progress window lines, log lines) is
// kept and handed on, on the calling thread, in list order once the device and every device
// before it have ended, so that the progress window and the log read as if the devices had run
// one after another. The calling thread keeps its event loop turning all the while.
//
// The window's host (login dialog, pbHTTP) is used on the calling thread only: one login dialog
// at a time, whose credentials then serve every transfer that asked meanwhile; pbHTTP shows the
// share of the batch done. Units that share an address with other units are refused by the batch
// itself; the rows of one unit on one address (a unit answering through both families) share a
// backup file and never run at once: each waits for the one before it in list order.
#pragma once
#include "core/http/batch.h"
#include "core/http/http.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct TBatchCount {
    int Done = 0;     // ended
    int Running = 0;  // begun, not ended
    int Left = 0;     // not begun
};

class TBatchJobs {
public:
    // `host` is asked on the calling thread only; its credentials are read once here.
    TBatchJobs(int jobs, THTTPHost& host, const THTTPLimits& limits);
    ~TBatchJobs();
    TBatchJobs(const TBatchJobs&) = delete;
    TBatchJobs& operator=(const TBatchJobs&) = delete;

    // Makes this the batch's runner and its stop listener; the devices' lines go to `lines` (the
    // batch's own). `addresses` are the devices' answering addresses in list order (the batch's
    // devices, one per step): two steps on one address never run at once.
    void Attach(TTransferBatch& batch, TProgressLines& lines, std::vector<std::string> addresses);

    // Called on the calling thread whenever the count changes, and once with the final count.
    std::function<void(const TBatchCount&)> OnCount;

    // Seam for tests: how many steps were under way at once at most.
    int MostAtOnce() const { return PeakRunning; }

    struct TWorker;  // a worker's module and host (batchjobs.cpp)

private:
    friend struct TWorker;
    friend class TWorkerHost;
    std::vector<TDeviceResult> Run(size_t count, const TTransferBatch::TDeviceStep& step);
    void Stopped(bool now);
    void StepBegins(size_t index);
    void StepEnds(size_t index);
    void QueueCount();
    void QueueProgress();
    void ShowCount();
    void ShowProgress(size_t index, int64_t position, int64_t maximum);

    // The login dialog, one at a time. `generation` is that of the credentials the refused
    // attempt used; true to try again with those now in force.
    bool AskLogin(const std::string& host, const std::string& name, const std::string& reason, int generation);
    THTTPLogin Credentials(int& generation);

    int Jobs;
    THTTPHost& WindowHost;
    THTTPLimits Limits;
    TTransferBatch* Batch = nullptr;
    TProgressLines* Lines = nullptr;
    std::vector<std::string> Addresses;
    std::vector<std::unique_ptr<TWorker>> Workers;
    QObject Window;  // lives on the calling thread; what workers hand over is queued to it

    std::mutex Lock;
    std::condition_variable Changed;
    std::vector<double> Share;        // per device, 0 to 1, of its bytes sent
    std::atomic<bool> NoMoreStarts{false};
    std::atomic<bool> StopNow{false};
    size_t Count = 0;
    int Begun = 0;
    int Done = 0;
    int PeakRunning = 0;
    bool Active = false;  // a run is under way: queued counts and progress are shown
    bool CountQueued = false;
    bool ProgressQueued = false;

    // The login dialog: one asks at a time; each OK makes a new generation of credentials.
    bool LoginOpen = false;
    int LoginGeneration = 0;
    THTTPLogin Login;
};
