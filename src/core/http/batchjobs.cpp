#include "core/http/batchjobs.h"

#include "core/http/parallel.h"
#include "core/log/actionlog.h"

#include <algorithm>

namespace {
// A device's lines as they finally read (a replaced line, the upload's rate, keeps only its last
// text), and the end of its block, handed on in the same order.
class TKeptLines : public TProgressLines {
public:
    void AddLine(const std::string& text) override { Lines.push_back(text); }
    void ReplaceLine(const std::string& text) override
    {
        if (!Lines.empty())
            Lines.back() = text;
    }
    void EndDevice(const std::string& failure) override
    {
        Ends.push_back({Lines.size(), failure});
    }
    void HandOn(TProgressLines& to) const
    {
        size_t line = 0;
        for (const auto& [after, failure] : Ends) {
            for (; line < after; ++line)
                to.AddLine(Lines[line]);
            to.EndDevice(failure);
        }
        for (; line < Lines.size(); ++line)
            to.AddLine(Lines[line]);
    }
    std::vector<std::string> Lines;
    std::vector<std::pair<size_t, std::string>> Ends;  // after how many lines, and why it failed
};
} // namespace

// What a transfer on a worker thread asks of its host goes to the batch: the window's login
// dialog and pbHTTP on the calling thread, the lines to the device's kept lines.
class TWorkerHost : public THTTPHost {
public:
    explicit TWorkerHost(TBatchJobs& jobs) : Jobs(jobs) {}
    THTTPLogin Credentials() override { return Jobs.Credentials(Generation); }
    bool AskDeviceLogin(const std::string& host, const std::string& name, const std::string& reason) override
    {
        return Jobs.AskLogin(host, name, reason, Generation);
    }
    void ProgressBar(int64_t position, int64_t maximum) override { Jobs.ShowProgress(Index, position, maximum); }
    void ReplaceLine(const std::string& text) override
    {
        if (Lines)
            Lines->ReplaceLine(text);
    }

    size_t Index = 0;
    TProgressLines* Lines = nullptr;

private:
    TBatchJobs& Jobs;
    int Generation = 0;  // of the credentials the last request used
};

struct TBatchJobs::TWorker {
    explicit TWorker(TBatchJobs& jobs) : Host(jobs) { Module.SetHost(&Host); }
    THTTPModule Module;
    TWorkerHost Host;
};

TBatchJobs::TBatchJobs(int jobs, THTTPHost& host, const THTTPLimits& limits)
    : Jobs(std::clamp(jobs, 1, kMaxJobs)), WindowHost(host), Limits(limits), Login(host.Credentials())
{
}

TBatchJobs::~TBatchJobs()
{
    if (Batch)
        Batch->SetStopListener({});
}

void TBatchJobs::Attach(TTransferBatch& batch, TProgressLines& lines, std::vector<std::string> addresses)
{
    Batch = &batch;
    Lines = &lines;
    Addresses = std::move(addresses);
    batch.SetRunner([this](size_t count, const TTransferBatch::TDeviceStep& step) { return Run(count, step); });
    batch.SetStopListener([this](bool now) { Stopped(now); });
}

std::vector<TDeviceResult> TBatchJobs::Run(size_t count, const TTransferBatch::TDeviceStep& step)
{
    // One device or one at a time: on the window's own batch, its lines shown as they come.
    if (count <= 1 || Jobs <= 1) {
        std::vector<TDeviceResult> results;
        for (size_t i = 0; i < count && !Batch->Stopped(); ++i)
            results.push_back(step(*Batch, i));
        return results;
    }

    {
        std::lock_guard<std::mutex> guard(Lock);
        Count = count;
        Share.assign(count, 0);
        Begun = Done = PeakRunning = 0;
        Active = true;
    }
    const size_t workers = std::min(count, size_t(Jobs));
    std::vector<TWorker*> idle;
    while (Workers.size() < workers) {
        Workers.push_back(std::make_unique<TWorker>(*this));
        Workers.back()->Module.SetLimits(Limits);
    }
    for (size_t w = 0; w < workers; ++w)
        idle.push_back(Workers[w].get());

    std::vector<TDeviceResult> results(count);
    std::vector<TKeptLines> lines(count);
    std::vector<std::unique_ptr<TActionLogger>> logs(count);
    ShowCount();

    const size_t ran = RunInListOrder(
        count, int(workers),
        [&](size_t i) {
            TWorker* worker;
            {
                std::lock_guard<std::mutex> guard(Lock);
                worker = idle.back();
                idle.pop_back();
            }
            StepBegins(i);
            TKeptLines kept;
            worker->Host.Index = i;
            worker->Host.Lines = &kept;
            // The device's log lines wait until every device before it has logged.
            auto log = std::make_unique<TActionLogger>();
            SetThreadLogger(log.get());
            {
                TTransferBatch deviceBatch(worker->Module, kept);  // lifts an earlier stop of the module
                if (StopNow)
                    worker->Module.Stop();
                results[i] = step(deviceBatch, i);
            }
            SetThreadLogger(nullptr);
            worker->Host.Lines = nullptr;
            lines[i] = std::move(kept);
            logs[i] = std::move(log);
            StepEnds(i);
            std::lock_guard<std::mutex> guard(Lock);
            idle.push_back(worker);
        },
        [&](size_t i) {
            lines[i].HandOn(*Lines);
            lines[i] = {};
            for (const TLogLine& line : logs[i]->ActionLog)
                LogAction("", line.Text.substr(1), line.Level);
            logs[i].reset();
        },
        [this] { return NoMoreStarts.load(); }, true, Addresses);

    results.resize(ran);
    {
        std::lock_guard<std::mutex> guard(Lock);
        Active = false;
    }
    if (OnCount)
        OnCount({Done, Begun - Done, int(Count) - Begun});
    WindowHost.ProgressBar(0, 1);
    return results;
}

void TBatchJobs::Stopped(bool now)
{
    NoMoreStarts = true;
    if (!now)
        return;
    StopNow = true;
    for (const auto& worker : Workers)
        worker->Module.Stop();
}

void TBatchJobs::StepBegins(size_t)
{
    std::lock_guard<std::mutex> guard(Lock);
    ++Begun;
    PeakRunning = std::max(PeakRunning, Begun - Done);
    QueueCount();
}

void TBatchJobs::StepEnds(size_t index)
{
    std::lock_guard<std::mutex> guard(Lock);
    Share[index] = 1;
    ++Done;
    QueueCount();
    QueueProgress();
}

// Both under Lock: at most one call of each is waiting in the window's queue.
void TBatchJobs::QueueCount()
{
    if (CountQueued)
        return;
    CountQueued = true;
    QMetaObject::invokeMethod(&Window, [this] { ShowCount(); }, Qt::QueuedConnection);
}

void TBatchJobs::QueueProgress()
{
    if (ProgressQueued)
        return;
    ProgressQueued = true;
    QMetaObject::invokeMethod(&Window, [this] {
        double done = 0;
        size_t count;
        bool active;
        {
            std::lock_guard<std::mutex> guard(Lock);
            ProgressQueued = false;
            for (double share : Share)
                done += share;
            count = Count;
            active = Active;
        }
        if (active)
            WindowHost.ProgressBar(int64_t(done * 1000), int64_t(count) * 1000);
    }, Qt::QueuedConnection);
}

void TBatchJobs::ShowCount()
{
    TBatchCount count;
    bool active;
    {
        std::lock_guard<std::mutex> guard(Lock);
        CountQueued = false;
        count = {Done, Begun - Done, int(Count) - Begun};
        active = Active;
    }
    if (active && OnCount)
        OnCount(count);
}

void TBatchJobs::ShowProgress(size_t index, int64_t position, int64_t maximum)
{
    if (maximum <= 0)
        return;
    std::lock_guard<std::mutex> guard(Lock);
    // The end of an upload sets its bar back to 0: the device's share stays until it ends.
    Share[index] = std::max(Share[index], std::clamp(double(position) / double(maximum), 0.0, 1.0));
    QueueProgress();
}

THTTPLogin TBatchJobs::Credentials(int& generation)
{
    std::lock_guard<std::mutex> guard(Lock);
    generation = LoginGeneration;
    return Login;
}

bool TBatchJobs::AskLogin(const std::string& host, const std::string& name, const std::string& reason,
                          int generation)
{
    std::unique_lock<std::mutex> guard(Lock);
    Changed.wait(guard, [this] { return !LoginOpen; });
    if (StopNow)
        return false;
    // Credentials typed since this transfer's request serve it without asking again.
    if (generation != LoginGeneration)
        return true;
    LoginOpen = true;
    guard.unlock();

    bool ok = false;
    THTTPLogin typed;
    QMetaObject::invokeMethod(&Window, [&] {
        ok = WindowHost.AskDeviceLogin(host, name, reason);
        if (ok)
            typed = WindowHost.Credentials();
    }, Qt::BlockingQueuedConnection);

    guard.lock();
    LoginOpen = false;
    if (ok) {
        Login = typed;
        ++LoginGeneration;
    }
    guard.unlock();
    Changed.notify_all();
    return ok;
}
