#include "core/http/transferrun.h"

#include "core/http/parallel.h"
#include "core/app/i18n.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

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
    void EndDevice(const std::string& failure) override { Ends.push_back({Lines.size(), failure}); }
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

struct TBatchCount {
    int Done = 0;     // ended
    int Running = 0;  // begun, not ended
    int Left = 0;     // not begun
};

// What the batch's thread writes, waiting to be handed to the calling thread.
struct TOutput {
    enum TKind { Open, Add, Replace, End, Log, Finish };
    TKind Kind;
    std::string Text;
    int Level = 0;
};
}  // namespace

struct TTransferRun::TState : public TProgressLines {
    TState(TTransferRun& run, THTTPHost& host) : Run(run), WindowHost(host) {}

    // ---- The batch's thread writes (a progress window of its own) ----
    void Open(const std::string& caption) override { Push({TOutput::Open, caption}); }
    void AddLine(const std::string& text) override { Push({TOutput::Add, text}); }
    void ReplaceLine(const std::string& text) override { Push({TOutput::Replace, text}); }
    void EndDevice(const std::string& failure) override { Push({TOutput::End, failure}); }
    void Push(TOutput output);
    // Waits until the calling thread has handed on everything written so far (or a stop now).
    void WaitHandedOn();

    void Work();
    std::vector<TDeviceResult> RunSteps(TTransferBatch& batch, size_t count, const TTransferBatch::TDeviceStep& step);
    void StepBegins();
    void StepEnds(size_t index);
    void QueueCount();
    void QueueProgress();
    void ShowCount();
    void ShowProgress(size_t index, int64_t position, int64_t maximum);
    // A device's logins: its entries in the keyring, asked of the host as its transfer begins.
    // `available`: whether a keyring answered.
    TLoginChain Remembered(const std::string& mac, bool& available);
    std::optional<TLoginChoice> NextLogin(TLoginChain& chain);
    // After a refusal: true when the chain has another login to try (one typed meanwhile
    // included), else the question (one at a time), true for its OK.
    bool AskLogin(const TLoginTarget& target, const std::string& reason, TLoginChain& chain);
    std::optional<TLogin> RunLogin() const;  // under Lock
    TBatchCount Count() const { return {Finished, Begun - Finished, int(Steps) - Begun}; }

    struct TWorker;

    TTransferRun& Run;  // lives on the calling thread; what the threads hand over is queued to it
    THTTPHost& WindowHost;
    TTransferOrder Order;
    bool Several = false;  // several devices at once
    std::vector<std::unique_ptr<TWorker>> Workers;
    std::thread Thread;
    std::vector<TDeviceResult> Results;
    std::atomic<bool> NoMoreStarts{false};
    std::atomic<bool> StopNow{false};

    std::mutex OutLock;
    std::vector<TOutput> Out;
    bool HandOnQueued = false;
    uint64_t Pushed = 0;  // outputs written, and of them handed on
    uint64_t Handed = 0;
    std::condition_variable HandedOn;

    std::mutex Lock;
    std::condition_variable Changed;
    std::vector<double> Share;  // per device, 0 to 1, of its bytes sent
    size_t Steps = 0;
    int Begun = 0;
    int Finished = 0;
    int Peak = 0;
    bool Active = false;  // steps are under way: queued counts and progress are shown
    bool CountQueued = false;
    bool ProgressQueued = false;

    // The login dialog: one asks at a time; its OK makes the run's login.
    bool LoginOpen = false;
    bool LoginAnswered = false;
    bool LoginOk = false;
    THTTPLogin Login;
};

// What a transfer on the run's threads asks of its host goes to the run: the keyring, the login
// dialog and pbHTTP on the calling thread, the lines to the step's lines. Each operation's login
// follows the device's chain of rules (core/keyring/logins.h); the log names the rule that gave
// it, never the login.
class TWorkerHost : public THTTPHost {
public:
    explicit TWorkerHost(TTransferRun::TState& state) : S(state) {}
    THTTPLogin LoginFor(const TLoginTarget& target, bool first) override
    {
        if (first)
            Chain = S.Remembered(target.MAC, KeyringAnswered);
        const std::optional<TLoginChoice> choice = S.NextLogin(Chain);
        if (!choice || (choice->Login.User.empty() && choice->Login.Password.empty()))
            return {};
        // Where a keyring answered, the log says which rule gave the login; without one there
        // is one rule only, as ever.
        if (KeyringAnswered)
            LogAction("", Format(_("Logging in with the %s."), LoginRuleText(choice->Rule).c_str()), LOG_INFO);
        return {choice->Login.User, choice->Login.Password};
    }
    bool LoginRefused(const TLoginTarget& target, const std::string& reason) override
    {
        Chain.Refused();
        return S.AskLogin(target, reason, Chain);
    }
    void ProgressBar(int64_t position, int64_t maximum) override { S.ShowProgress(Index, position, maximum); }
    void ReplaceLine(const std::string& text) override
    {
        if (Lines)
            Lines->ReplaceLine(text);
    }

    size_t Index = 0;
    TProgressLines* Lines = nullptr;

private:
    TTransferRun::TState& S;
    TLoginChain Chain;  // of the device of the running operation
    bool KeyringAnswered = false;
};

struct TTransferRun::TState::TWorker {
    explicit TWorker(TState& state) : Host(state) { Module.SetHost(&Host); }
    THTTPModule Module;
    TWorkerHost Host;
};

TTransferRun::TTransferRun(THTTPHost& host, TProgressLines& lines, QObject* parent)
    : QObject(parent), Host(host), Lines(lines), Limits(EffectiveHTTPLimits()), S(std::make_unique<TState>(*this, host))
{
}

TTransferRun::~TTransferRun()
{
    Stop();
    S->Changed.notify_all();
    S->HandedOn.notify_all();
    if (S->Thread.joinable())
        S->Thread.join();
}

void TTransferRun::Start(TTransferOrder order)
{
    if (IsRunning || S->Thread.joinable())
        return;
    IsRunning = true;
    S->Order = std::move(order);
    const size_t count = S->Order.Devices.size();
    const int jobs = std::clamp(S->Order.Jobs, 1, kMaxJobs);
    S->Several = jobs > 1 && count > 1;
    S->Login = Host.Credentials();
    const size_t workers = S->Several ? std::min(count, size_t(jobs)) : 1;
    while (S->Workers.size() < workers) {
        S->Workers.push_back(std::make_unique<TState::TWorker>(*S));
        THTTPModule& module = S->Workers.back()->Module;
        module.SetLimits(Limits);
        module.Clock = Clock;
        module.FollowStop(&S->StopNow);
    }
    S->Thread = std::thread([this] { S->Work(); });
    emit Started();
}

void TTransferRun::RequestStop()
{
    if (S->NoMoreStarts)
        S->StopNow = true;
    S->NoMoreStarts = true;
    S->Changed.notify_all();
    S->HandedOn.notify_all();
}

void TTransferRun::StopTransfers() { S->StopNow = true; }

void TTransferRun::Stop()
{
    S->NoMoreStarts = true;
    S->StopNow = true;
}

// On the calling thread: what the batch wrote since the last time, in the order written.
void TTransferRun::HandOn()
{
    std::vector<TOutput> out;
    uint64_t upTo;
    {
        std::lock_guard<std::mutex> guard(S->OutLock);
        S->HandOnQueued = false;
        out.swap(S->Out);
        upTo = S->Pushed;
    }
    for (const TOutput& o : out) {
        switch (o.Kind) {
        case TOutput::Open: Lines.Open(o.Text); break;
        case TOutput::Add: Lines.AddLine(o.Text); break;
        case TOutput::Replace: Lines.ReplaceLine(o.Text); break;
        case TOutput::End: Lines.EndDevice(o.Text); break;
        case TOutput::Log: LogAction("", o.Text, o.Level); break;
        case TOutput::Finish: End(); return;  // the last thing the batch wrote
        }
    }
    {
        std::lock_guard<std::mutex> guard(S->OutLock);
        S->Handed = upTo;
    }
    S->HandedOn.notify_all();
}

void TTransferRun::End()
{
    S->Thread.join();
    Done = std::move(S->Results);
    PeakAtOnce = S->Peak;
    if (S->Several) {
        const TBatchCount count = S->Count();
        emit Progress(count.Done, count.Running, count.Left);
        Host.ProgressBar(0, 1);
    }
    IsRunning = false;
    emit Finished();  // nothing of the run is touched after it
}

void TTransferRun::TState::Push(TOutput output)
{
    std::lock_guard<std::mutex> guard(OutLock);
    ++Pushed;
    // Only the last text of a replaced line counts: a line not yet handed on is replaced here.
    if (output.Kind == TOutput::Replace && !Out.empty()
        && (Out.back().Kind == TOutput::Add || Out.back().Kind == TOutput::Replace))
        Out.back().Text = std::move(output.Text);
    else
        Out.push_back(std::move(output));
    if (HandOnQueued)
        return;
    HandOnQueued = true;
    QMetaObject::invokeMethod(
        &Run, [run = &Run] { run->HandOn(); }, Qt::QueuedConnection);
}

void TTransferRun::TState::WaitHandedOn()
{
    std::unique_lock<std::mutex> guard(OutLock);
    const uint64_t target = Pushed;
    HandedOn.wait(guard, [&] { return Handed >= target || StopNow; });
}

// The batch's own thread: the command from its start line to its end line.
void TTransferRun::TState::Work()
{
    TActionLogger logger;  // the batch's log lines go the way of its progress lines
    logger.OnLine = [this, &logger](const TLogLine& line) {
        Push({TOutput::Log, line.Text.substr(1), line.Level});
        logger.ActionLog.clear();
    };
    SetThreadLogger(&logger);
    {
        TTransferBatch batch(Workers.front()->Module, *this);
        batch.FollowStop(&NoMoreStarts);
        batch.SetVerification(Order.Verification);
        batch.SetHistory(Order.History);
        batch.SetRollout(Order.Rollout);
        batch.SetJournal(Order.Journal);
        batch.SetResumed(Order.Resumed);
        batch.SetJobs(std::clamp(Order.Jobs, 1, kMaxJobs));
        batch.SetRunner([this, &batch](size_t count, const TTransferBatch::TDeviceStep& step) {
            return RunSteps(batch, count, step);
        });
        const std::vector<TBatchDevice>& devices = Order.Devices;
        const TBatchDevice one = devices.empty() ? TBatchDevice() : devices.front();
        switch (Order.Command) {
        case TTransferCommand::Upgrade: Results = batch.Upgrade(devices, Order.File); break;
        case TTransferCommand::Backup: Results = batch.Backup(devices, Order.File); break;
        case TTransferCommand::Restore:
            Results = Order.Bodies.empty() ? batch.Restore(devices, Order.File)
                                           : batch.Restore(devices, Order.File, Order.Bodies, Order.Refusals);
            break;
        case TTransferCommand::RestoreCommon:
            Results = Order.Bodies.empty() ? batch.RestoreCommon(devices, Order.File)
                                           : batch.RestoreCommon(devices, Order.File, Order.Bodies, Order.Refusals);
            break;
        case TTransferCommand::Fetch: Results = batch.Fetch(devices); break;
        case TTransferCommand::Save: Results = batch.Save(one, Order.File); break;
        case TTransferCommand::Load: Results = batch.Load(one, Order.File); break;
        }
    }
    SetThreadLogger(nullptr);
    Push({TOutput::Finish, {}});
}

std::vector<TDeviceResult> TTransferRun::TState::RunSteps(TTransferBatch& batch, size_t count,
                                                          const TTransferBatch::TDeviceStep& step)
{
    // One at a time: on the batch's thread, its lines handed on as they come.
    if (!Several) {
        TWorker& worker = *Workers.front();
        worker.Host.Lines = this;
        std::vector<TDeviceResult> results;
        for (size_t i = 0; i < count && !NoMoreStarts; ++i) {
            worker.Host.Index = i;
            Peak = 1;
            results.push_back(step(batch, i));
            // The next device starts once the window has shown this one's block: a stop asked
            // as it shows it starts no other.
            WaitHandedOn();
        }
        return results;
    }

    // A batch may run its steps in several calls (an upgrade's waves, its retries): the counts
    // and the bar go over the whole batch, each call's steps after those of the calls before.
    size_t base;
    {
        std::lock_guard<std::mutex> guard(Lock);
        base = Share.size();
        Share.resize(base + count, 0);
        Steps = std::max({Steps, Share.size(), batch.PlannedSteps()});
        Active = true;
        QueueCount();
    }
    std::vector<TWorker*> idle;
    for (const auto& worker : Workers)
        idle.push_back(worker.get());
    TJobKeys addresses = batch.StepHosts();
    if (addresses.size() != count) {
        addresses.clear();
        for (size_t i = 0; i < count && i < Order.Devices.size(); ++i)
            addresses.push_back(Order.Devices[i].PeerIP);
    }

    std::vector<TDeviceResult> results(count);
    std::vector<TKeptLines> lines(count);
    std::vector<std::unique_ptr<TActionLogger>> logs(count);
    const size_t ran = RunInListOrder(
        count, int(Workers.size()),
        [&](size_t i) {
            TWorker* worker;
            {
                std::lock_guard<std::mutex> guard(Lock);
                worker = idle.back();
                idle.pop_back();
            }
            StepBegins();
            TKeptLines kept;
            worker->Host.Index = base + i;
            worker->Host.Lines = &kept;
            // The device's log lines wait until every device before it has logged.
            auto log = std::make_unique<TActionLogger>();
            SetThreadLogger(log.get());
            {
                TTransferBatch deviceBatch(worker->Module, kept);
                deviceBatch.FollowStop(&NoMoreStarts);
                results[i] = step(deviceBatch, i);
            }
            SetThreadLogger(nullptr);
            worker->Host.Lines = nullptr;
            lines[i] = std::move(kept);
            logs[i] = std::move(log);
            StepEnds(base + i);
            std::lock_guard<std::mutex> guard(Lock);
            idle.push_back(worker);
        },
        [&](size_t i) {
            lines[i].HandOn(*this);
            lines[i] = {};
            for (const TLogLine& line : logs[i]->ActionLog)
                LogAction("", line.Text.substr(1), line.Level);
            logs[i].reset();
        },
        [this] { return NoMoreStarts.load(); }, addresses);

    results.resize(ran);
    std::lock_guard<std::mutex> guard(Lock);
    Active = false;
    return results;
}

void TTransferRun::TState::StepBegins()
{
    std::lock_guard<std::mutex> guard(Lock);
    ++Begun;
    Peak = std::max(Peak, Begun - Finished);
    QueueCount();
}

void TTransferRun::TState::StepEnds(size_t index)
{
    std::lock_guard<std::mutex> guard(Lock);
    Share[index] = 1;
    ++Finished;
    QueueCount();
    QueueProgress();
}

// Both under Lock: at most one call of each is waiting in the calling thread's queue.
void TTransferRun::TState::QueueCount()
{
    if (CountQueued)
        return;
    CountQueued = true;
    QMetaObject::invokeMethod(
        &Run, [this] { ShowCount(); }, Qt::QueuedConnection);
}

void TTransferRun::TState::QueueProgress()
{
    if (ProgressQueued)
        return;
    ProgressQueued = true;
    QMetaObject::invokeMethod(
        &Run,
        [this] {
            double done = 0;
            size_t steps;
            bool active;
            {
                std::lock_guard<std::mutex> guard(Lock);
                ProgressQueued = false;
                for (double share : Share)
                    done += share;
                steps = Steps;
                active = Active;
            }
            if (active)
                WindowHost.ProgressBar(int64_t(done * 1000), int64_t(steps) * 1000);
        },
        Qt::QueuedConnection);
}

void TTransferRun::TState::ShowCount()
{
    TBatchCount count;
    bool active;
    {
        std::lock_guard<std::mutex> guard(Lock);
        CountQueued = false;
        count = Count();
        active = Active;
    }
    if (active)
        emit Run.Progress(count.Done, count.Running, count.Left);
}

void TTransferRun::TState::ShowProgress(size_t index, int64_t position, int64_t maximum)
{
    if (!Several) {  // the running upload's own bar
        QMetaObject::invokeMethod(
            &Run, [this, position, maximum] { WindowHost.ProgressBar(position, maximum); }, Qt::QueuedConnection);
        return;
    }
    if (maximum <= 0)
        return;
    std::lock_guard<std::mutex> guard(Lock);
    // The end of an upload sets its bar back to 0: the device's share stays until it ends.
    Share[index] = std::max(Share[index], std::clamp(double(position) / double(maximum), 0.0, 1.0));
    QueueProgress();
}

std::optional<TLogin> TTransferRun::TState::RunLogin() const
{
    if (Login.User.empty() && Login.Password.empty())
        return std::nullopt;
    return TLogin{Login.User, Login.Password};
}

std::optional<TLoginChoice> TTransferRun::TState::NextLogin(TLoginChain& chain)
{
    std::lock_guard<std::mutex> guard(Lock);
    return chain.Next(RunLogin());
}

TLoginChain TTransferRun::TState::Remembered(const std::string& mac, bool& available)
{
    available = false;
    // The answer may come after the run is gone (a stop does not wait for the keyring): it goes
    // to what the answer and this wait share, not to the run.
    struct TPending {
        std::mutex Lock;
        std::condition_variable Answered;
        std::optional<TRemembered> Result;
    };
    auto pending = std::make_shared<TPending>();
    QMetaObject::invokeMethod(
        &Run,
        [this, mac, pending] {
            WindowHost.LookUpLogins(mac, [pending](const TRemembered& found) {
                {
                    std::lock_guard<std::mutex> guard(pending->Lock);
                    pending->Result = found;
                }
                pending->Answered.notify_all();
            });
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> guard(pending->Lock);
    // A stop is looked at every so often: it stores a flag only (safe from a signal handler).
    while (!pending->Result && !StopNow)
        pending->Answered.wait_for(guard, std::chrono::milliseconds(100));
    if (!pending->Result)
        return {};
    const TRemembered& found = *pending->Result;
    available = found.Available;
    if (!found.Available && !found.Error.empty())
        LogAction("", Format(_("The keyring gave no login: %s"), found.Error.c_str()), LOG_ERROR);
    return TLoginChain(found.Device, found.Every);
}

bool TTransferRun::TState::AskLogin(const TLoginTarget& target, const std::string& reason, TLoginChain& chain)
{
    std::unique_lock<std::mutex> guard(Lock);
    Changed.wait(guard, [this] { return !LoginOpen || StopNow; });
    if (StopNow)
        return false;
    // Another rule is left, or a login was typed for another device meanwhile: no question.
    if (TLoginChain(chain).Next(RunLogin()))
        return true;
    LoginOpen = true;
    LoginAnswered = false;
    const TLoginQuestion question{target, reason, chain.QuestionUser()};
    QMetaObject::invokeMethod(
        &Run,
        [this, question] {
            const bool ok = !StopNow && WindowHost.AskLogin(question);
            const THTTPLogin typed = ok ? WindowHost.Credentials() : THTTPLogin{};
            {
                std::lock_guard<std::mutex> answer(Lock);
                LoginOk = ok;
                if (ok)
                    Login = typed;
                LoginAnswered = true;
            }
            Changed.notify_all();
        },
        Qt::QueuedConnection);
    Changed.wait(guard, [this] { return LoginAnswered || StopNow; });
    const bool ok = LoginAnswered && LoginOk;
    if (ok)
        chain.Typed({Login.User, Login.Password});
    LoginOpen = false;
    guard.unlock();
    Changed.notify_all();
    return ok;
}
