// The batch commands over devices, shared by the window and pyxet-cli: the firmware upgrade and
// the five configuration transfers (backup, restore, save, load, common configuration). Each
// runs its devices one after another and writes its lines to the progress window and the log:
// per device the device line, the transfer's steps, a result line and a separator, then the
// summary. A failed device never stops a batch; a device that shares its address with other
// units is not started and fails.
#pragma once
#include "core/config/history.h"
#include "core/devices/sharedaddress.h"
#include "core/discovery/probe.h"
#include "core/http/rollout.h"

#include <QByteArray>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class THTTPModule;

class TProduct;

// One device of a batch, taken when the batch starts.
struct TBatchDevice {
    std::string Name;
    std::string PeerIP;  // shown, and used as the HTTP host
    // Who the device is, for the check of its new firmware: its MAC and family ("" when only its
    // address is known: the unit that answers there before the upgrade is taken for it) and
    // where discovery's commands to it go ("" when it was not found by discovery).
    std::string MAC{};
    std::string Family{};
    std::string CommandAddress{};
    // Units of other MACs that answered the cycle from PeerIP (core/devices/sharedaddress.h): a
    // request there may reach any of them, so a device that shares its address is not started.
    int SharesWith = 0;
    // What kind of unit it is and the firmware revision it reported in the discovery before the
    // batch ("" when not known): the rollout's kinds line, skip rule and journal.
    TUnitKind Kind{};
    std::string Revision{};
};
// A device found by discovery as a batch takes it; with `sharing` (AddressSharers of its whole
// cycle), also how many other units share its address.
TBatchDevice BatchDevice(const TProduct& device);
TBatchDevice BatchDevice(const TProduct& device, const TAddressSharers& sharing);

// Why a unit that shares its address with `others` other units gets no transfer.
std::string SharedAddressRefusal(const std::string& address, int others);

struct TDeviceResult {
    std::string Host;
    bool Ok = false;
    std::string Error;       // why it failed: the logged error, or "Configuration not found"
    bool NeedsLogin = false; // it ended at a login that was not given
    // An upgrade with the check of the new firmware: the revision before the image and the
    // last one after it (each when the device told), and whether it changed.
    std::optional<std::string> FirmwareBefore;
    std::optional<std::string> FirmwareAfter;
    bool Verified = false;
    // A configuration downloaded (Fetch, Backup, Save): with Fetch, its bytes; with a history,
    // the version it is kept as (the newest kept one when it was the same), "" when none was
    // kept (no history, the MAC unknown, or the keep failed: HistoryError says why).
    QByteArray Config;
    std::string HistoryVersion;
    std::string HistoryError;
    // An upgrade: where the unit ended (Ok for Verified, Upgraded and Skipped), why (Error for a
    // failure; "Already at 2.1" for a skip), whether the failure was that no connection could be
    // made (it may be tried again; a unit whose body was accepted never is), and the check of its
    // configuration around the image (BackupFirst).
    TUnitState State = TUnitState::NotStarted;
    std::string Reason;
    bool Unreachable = false;
    TConfigCheck ConfigCheck;
};

// A unit as a new journal holds it (not started).
TJournalUnit JournalUnitOf(const TBatchDevice& device);
// A resume's devices: one per unit of the journal, in its order: the device found now with the
// unit's MAC and family (its address now, whatever it was), else the journal's unit with PeerIP
// "" (not found). A unit without a MAC in the journal is taken at its journal address.
std::vector<TBatchDevice> ResumeDevices(const TUpgradeJournal& journal, const std::vector<TBatchDevice>& found);

// The progress window (the window's TProgressInfoForm; pyxet-cli shows none).
class TProgressLines {
public:
    virtual ~TProgressLines() = default;
    virtual void Open(const std::string& caption) {}
    virtual void AddLine(const std::string& text) {}
    virtual void ReplaceLine(const std::string& text) {}
    // A device's block of lines is complete: `failure` is why the device failed (its
    // TDeviceResult.Error, the logged error: what it quotes of a device is in its shown form,
    // SafeText), "" when it succeeded.
    virtual void EndDevice(const std::string& failure) {}
};

// The backup folder of the window, relative to the working directory.
constexpr const char* kBackupFolder = "backup";
// The device path of the configuration file on every device.
constexpr const char* kSetupPath = "setup.xml";

class TTransferBatch {
public:
    // A new batch lifts an earlier Stop of the module.
    TTransferBatch(THTTPModule& http, TProgressLines& lines);

    // "Upgrade Firmware..." once the image is chosen: "Firmware upgrade starting." to
    // "Firmware upgrade end.", the same file to every device. The results are in list order;
    // those of a plain batch stop at the devices a stop left out, while a rollout's waves or a
    // resume give every unit one (State NotStarted for those a halt or a stop left out, the
    // journal's state for those a resume found done).
    std::vector<TDeviceResult> Upgrade(const std::vector<TBatchDevice>& devices, const std::string& image);
    // "Backup Selected": each device's setup.xml into folder/setup_PeerIP_.xml (the folder is
    // created, one level, when missing).
    std::vector<TDeviceResult> Backup(const std::vector<TBatchDevice>& devices, const std::string& folder);
    // "Restore Selected": each device's backup file from the folder back to it.
    std::vector<TDeviceResult> Restore(const std::vector<TBatchDevice>& devices, const std::string& folder);
    // "Configure Devices..." after Yes: the one file to every device. An empty file name (the
    // file dialog was cancelled) logs only the end line.
    std::vector<TDeviceResult> RestoreCommon(const std::vector<TBatchDevice>& devices, const std::string& file);
    // The same with one body per device (the common file with each device's own identity
    // kept): bodies[i] goes to devices[i], sent under the file's name; a device with a refusal
    // (refusals[i] not "") is not written: its block shows the reason and it fails. A null body
    // (or none given) sends the file as usual.
    std::vector<TDeviceResult> RestoreCommon(const std::vector<TBatchDevice>& devices, const std::string& file,
                                             const std::vector<QByteArray>& bodies,
                                             const std::vector<std::string>& refusals);
    // Restore with one body per device instead of its backup file (a history version), as above.
    std::vector<TDeviceResult> Restore(const std::vector<TBatchDevice>& devices, const std::string& folder,
                                       const std::vector<QByteArray>& bodies, const std::vector<std::string>& refusals);
    // Downloads each device's setup.xml into memory only (a preview or a compare): the usual
    // progress lines, the bytes in each result's Config, kept in the history; no backup or user
    // file is touched.
    std::vector<TDeviceResult> Fetch(const std::vector<TBatchDevice>& devices);
    // "Save..." and "Load..." on one device; an empty file name logs only the end line.
    std::vector<TDeviceResult> Save(const TBatchDevice& device, const std::string& file);
    std::vector<TDeviceResult> Load(const TBatchDevice& device, const std::string& file);

    // The steps the commands share.
    void UpgradeCheckedDevices(const std::vector<TBatchDevice>& devices, const std::string& image,
                               std::vector<TDeviceResult>& results);
    bool UpgradeDevice(const std::string& image, const std::string& host);
    bool BackupDeviceConfig(const std::string& host, const std::string& file);
    bool RestoreDeviceConfig(const std::string& host, const std::string& file);
    bool FetchDeviceConfig(const std::string& host, QByteArray& bytes);
    bool RestoreDeviceBody(const std::string& host, const std::string& file, const QByteArray& body);
    void AddResultLines(const std::string& action, bool ok);
    // "Processes Summary:" and its counts; "Not started: %d" only when a stop left devices out.
    // "Verified: %d" follows the counts when verified is not negative.
    void AddSummaryLines(int succeeded, int failed, int notStarted = 0, int verified = -1);
    // The rollout's summary lines after those: "Skipped: %d" when any unit was skipped, and the
    // halt's line (HaltLine) when a wave halted the batch ("" when none).
    void AddRolloutSummary(int skipped, const std::string& halt);

    // The check of the new firmware after each accepted image of Upgrade (off by default): the
    // revision is asked before the image goes out, and the device must answer again with
    // another one within the time; a device not verified counts as failed. Each device's step
    // takes the setting as it was when the batch began, whatever batch it runs on, and its waits
    // end early once this batch, the step's batch or the setting's Stop says stop.
    void SetVerification(TVerifySetting setting) { Verification = std::move(setting); }
    // The rollout of Upgrade (the defaults: the upgrade as ever), the journal it keeps (none: no
    // journal), and a resume: the journal read back, Upgrade's devices then being its units in
    // its order, each with the address it answers at now ("" when it was not found). The journal
    // writer is shared with the caller, who made it (and refused to start when it failed).
    void SetRollout(TRolloutSetting rollout) { Rollout = std::move(rollout); }
    void SetJournal(std::shared_ptr<TJournalWriter> journal) { Journal = std::move(journal); }
    void SetResumed(std::optional<TUpgradeJournal> resumed) { Resumed = std::move(resumed); }
    // The transfers at once the runner runs (a rollout's waves of Wave 0 are that many units).
    void SetJobs(int jobs) { Jobs = jobs; }
    // Where every configuration downloaded from a device whose MAC is known is also kept (none:
    // no history). Each device's step keeps into the batch's history as it was when the batch began.
    void SetHistory(std::optional<THistory> history) { History = std::move(history); }
    const std::optional<THistory>& CurrentHistory() const { return History; }

    // One device's part of a batch on the batch given: its device line, its transfer, its
    // result lines; returns its result.
    using TDeviceStep = std::function<TDeviceResult(TTransferBatch& batch, size_t index)>;
    // Runs the steps of the devices 0 .. count-1 and returns their results in device order. The
    // default runs them one after another on this batch while it is not stopped; a run of
    // several at once (core/http/transferrun.h) runs each on a batch of its own.
    using TDeviceRunner = std::function<std::vector<TDeviceResult>(size_t count, const TDeviceStep& step)>;
    void SetRunner(TDeviceRunner runner) { Runner = std::move(runner); }
    // For a runner, while it runs the steps of one call: the address of each step's device (two
    // steps of one address never run at once; empty: the steps are the devices 0 .. count-1 of
    // the batch in order), and how many steps the whole batch is expected to run over all its
    // calls (an upgrade's waves and retries run several; 0 when not known).
    const std::vector<std::string>& StepHosts() const { return Hosts; }
    size_t PlannedSteps() const { return Planned; }

    // Ends the batch early: the running transfer fails at once and no later device starts;
    // the summary and the end line still follow.
    void Stop();
    // The window's Stop button: the first request lets the running transfer end and starts no
    // later device; the next one ends the running transfer too (Stop). The devices not begun
    // get no lines, the summary counts them, and the log says the batch was stopped.
    void RequestStop();
    bool Stopped() const { return Stopping || (Following && *Following); }
    // A flag, set by whoever runs the batch from elsewhere, that counts as RequestStop once set.
    void FollowStop(const std::atomic<bool>* flag) { Following = flag; }
    // Told of every stop on the batch's thread: `now` when running transfers are to end too (a
    // runner of several at once passes it on to theirs).
    void SetStopListener(std::function<void(bool now)> listener) { StopListener = std::move(listener); }

private:
    // Per-device routine of a configuration batch: (host, local file) -> ok.
    using TRoutine = bool (TTransferBatch::*)(const std::string&, const std::string&);
    // `bodies` and `refusals` as RestoreCommon takes them (empty: none).
    void RunDevices(const std::vector<TBatchDevice>& devices, TRoutine routine,
                    const std::vector<std::string>& files, const std::string& label,
                    std::vector<TDeviceResult>& results, const std::vector<QByteArray>& bodies = {},
                    const std::vector<std::string>& refusals = {});
    std::vector<TDeviceResult> RunSteps(size_t count, const TDeviceStep& step,
                                        std::vector<std::string> hosts = {});
    // An upgrade's units as the rollout runs them (batch.cpp).
    struct TRollout;
    // One device's step of a configuration batch (and of "Save...", "Load...", Fetch): its block
    // around `transfer` (run on this batch; it may fill the result's Config and history fields),
    // and its result.
    TDeviceResult DeviceBlock(const TBatchDevice& device, const std::string& label,
                              const std::function<bool(TDeviceResult& result)>& transfer);
    static void CountResults(const std::vector<TDeviceResult>& results, int& succeeded, int& failed);
    // After the devices' blocks: the log line of a stop, then the summary of `count` devices.
    void EndDevices(size_t count, const std::vector<TDeviceResult>& done, bool verifying = false);
    // Upgrade's step after the image went out: the check of the new firmware, its log line and
    // its progress line (added after the result line, which it gets first).
    void VerifyDevice(const TVerifySetting& setting, const TTransferBatch& main, const TRevisionTarget& target,
                      TDeviceResult& result);
    TDeviceResult Result(const std::string& host, bool ok) const;
    // A device that shares its address: its block (device line, the reason, the result line with
    // its MAC, the separator), the reason logged as an error, and its failed result. False, and
    // nothing done, for a device that has its address alone.
    bool RefuseShared(const TBatchDevice& device, const std::string& label, TDeviceResult& result);
    void AddResultLine(const std::string& action, bool ok);
    void AddSeparator();

    THTTPModule& Http;
    TProgressLines& Lines;
    std::atomic<bool> Stopping = false;  // read by the steps of other threads
    const std::atomic<bool>* Following = nullptr;
    TVerifySetting Verification;
    std::optional<THistory> History;
    TRolloutSetting Rollout;
    std::shared_ptr<TJournalWriter> Journal;
    std::optional<TUpgradeJournal> Resumed;
    TDeviceRunner Runner;
    std::vector<std::string> Hosts;
    size_t Planned = 0;
    int Jobs = 1;
    std::function<void(bool now)> StopListener;
    std::string LastMissing;  // the local file a restore did not find
    std::string LastRefusal;  // why the device is not written (a per-device body that could not be made)
};
