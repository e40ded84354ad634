// TTransferRun: one batch of transfers (the firmware upgrade or a configuration transfer) as an
// object that is started and reports back: started, progress and finished signals, results once
// it has finished. The window and pyxet-cli run their batches on it, one device or several at
// once alike.
//
// The batch runs on a thread of its own, its device steps on worker threads (with several at
// once, each step on a transfer module and a batch of its own). What the batch writes (progress
// window lines, log lines) is handed to the calling thread in list order: a device's block once
// the device and every device before it have ended, so that the progress window and the log read
// as if the devices had run one after another; with one at a time the lines come as they are
// written, and the next device starts once the calling thread has shown the block before it. The calling thread's event
// loop is never held: it shows the lines, and it alone asks the host (the login dialog, one at a time, whose
// credentials then serve every transfer that asked meanwhile; pbHTTP: the running upload's bytes with one at a time,
// the share of the batch done with several). Two devices on one answering address never run at once (they share a
// backup file): each waits for the one before it in list order.
#pragma once
#include "core/http/batch.h"
#include "core/http/http.h"
#include "core/http/rules.h"

#include <QObject>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Fetch: each device's setup.xml into memory only (TDeviceResult::Config), for a preview or a compare.
enum class TTransferCommand { Upgrade, Backup, Restore, RestoreCommon, Save, Load, Fetch };

// What a run does.
struct TTransferOrder {
    TTransferCommand Command = TTransferCommand::Upgrade;
    // In list order; "Save..." and "Load..." take the first one.
    std::vector<TBatchDevice> Devices;
    // Upgrade: the image; Backup and Restore: the folder; RestoreCommon, Save and Load: the chosen
    // file ("" when the file dialog was cancelled: only the end line is logged).
    std::string File;
    TVerifySetting Verification;  // Upgrade only
    int Jobs = 1;                 // transfers at once (1 to kMaxJobs)
    // Restore and RestoreCommon: when not empty, one body per device (in Devices' order) sent
    // instead of the file, and one refusal per device (may be empty: none refused); a device with
    // a refusal is not written and fails with it.
    std::vector<QByteArray> Bodies;
    std::vector<std::string> Refusals;
    // Where the configurations downloaded are kept (Backup, Save, Fetch); none: not kept.
    std::optional<THistory> History;
    // Upgrade: the rollout, the journal (made, and written once, by the caller before the run
    // starts; none: no journal), and a resume (TTransferBatch::SetResumed). The history above
    // also keeps the configurations of Rollout.BackupFirst.
    TRolloutSetting Rollout;
    std::shared_ptr<TJournalWriter> Journal;
    std::optional<TUpgradeJournal> Resumed;
};

class TTransferRun : public QObject {
    Q_OBJECT
public:
    // `host` and `lines` are used on the calling thread only (the thread that made the run) and
    // must outlive it.
    TTransferRun(THTTPHost& host, TProgressLines& lines, QObject* parent = nullptr);
    // Stops a run still going and waits for its threads.
    ~TTransferRun() override;

    // The transfers' limits and rate clock (those of a module the caller keeps).
    void SetLimits(const THTTPLimits& limits) { Limits = limits; }
    void SetClock(int64_t (*clock)()) { Clock = clock; }

    // Starts the batch (once per run); Started is emitted before it returns.
    void Start(TTransferOrder order);
    // The Stop button: the first request lets the running transfers end and starts no later
    // device; the next one ends the running transfers too. The devices not begun get no lines,
    // the summary counts them, and the log says the batch was stopped.
    void RequestStop();
    // Both at once: the running transfers end at once, no later device starts. Only stores
    // flags: safe from any thread and from a signal handler.
    void Stop();
    // The running transfers end at once and every later one fails at once, but each device still
    // takes its turn (and gets its result): pyxet-cli's interrupt, whose output names every
    // host. Only stores a flag, as Stop.
    void StopTransfers();

    // Started and not yet finished.
    bool Running() const { return IsRunning; }
    // Once finished: the devices' results in list order (those not started have none, but for
    // an upgrade's waves or a resume: TTransferBatch::Upgrade).
    const std::vector<TDeviceResult>& Results() const { return Done; }
    // Once finished: how many devices were under way at once at most.
    int MostAtOnce() const { return PeakAtOnce; }

    struct TState;  // what the run's threads share (transferrun.cpp)

signals:
    void Started();
    // With several at once: how many devices have ended, are running and are left.
    void Progress(int done, int running, int left);
    // Every line has been handed on and the results are in; emitted from the calling thread's
    // event loop, never from Start. A slot of it that is done with the run deletes it later
    // (deleteLater), not at once.
    void Finished();

private:
    void HandOn();
    void End();

    THTTPHost& Host;
    TProgressLines& Lines;
    THTTPLimits Limits;
    int64_t (*Clock)() = nullptr;
    std::unique_ptr<TState> S;
    bool IsRunning = false;
    std::vector<TDeviceResult> Done;
    int PeakAtOnce = 0;
};
