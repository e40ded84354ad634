// The main window's batches: "Upgrade Firmware...", the five commands of the Configuration menu,
// Utilities -> "Transfers at Once" and "Verify Upgrades", the progress window's Stop, "Check
// Failed Devices", Utilities -> "Resume Last Upgrade...", the plans of many devices (Actions ->
// "Set Up Checked Devices...", "Undo Last Plan..."), Utilities -> "Compare Configurations..." and "Preview Before Writing" (the
// preview between a fetch batch and a restore: batchpreview.cpp). The controller asks (boxes,
// file dialogs), starts one TTransferRun or plan at a time, keeps the window's batch lock locked
// while it runs, and remembers what failed.
//
// It knows the window only through TBatchWindow: the window hands it its controls, its settings,
// its secondary windows and what it needs of the device list, and is told back through hooks.
#pragma once
#include "core/app/settings.h"
#include "core/http/batch.h"
#include "core/http/faileddevices.h"
#include "core/http/transferrun.h"
#include "gui/config/comparesources.h"
#include "gui/config/writepreview.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QActionGroup;
class QDialog;
class TCompareDialog;
class QMenu;
class QProgressBar;
class QWidget;
class TControlLock;
class THTTPModule;
class TLoginForm;
class TKeyringLogins;
class TPlanDialog;
class TProduct;
class TProgressInfoForm;
class TTransferRun;
class TTransferWindows;
class TUpgradeForm;

// What the window gives its batch controller. References stay the window's; they must outlive
// the controller.
struct TBatchWindow {
    QWidget* Parent = nullptr;  // of boxes, dialogs and the plan dialog
    TSettings& Settings;        // TransferJobs, VerifyUpgrades, VerifySeconds
    TControlLock& Lock;         // locked while a batch or a plan runs
    // The marks that the discovery cycle after a verified upgrade gives back as devices answer.
    TFailedDevices& KeptChecks;
    // The secondary windows and the module, handed to the window by the program's start-up.
    const QPointer<TUpgradeForm>& Upgrade;
    const QPointer<TProgressInfoForm>& Progress;
    const QPointer<TLoginForm>& Login;
    // The desktop's keyring, null when none answers: the logins the batches look up, and where
    // the login dialog's "Remember in the keyring" writes.
    std::function<TKeyringLogins*()> Keyring;
    THTTPModule* const& Http;
    QProgressBar* const& ProgressBar;  // pbHTTP
    // The controls of form.ui the controller answers for.
    QAction* VerifyUpgrades = nullptr;  // acVerifyUpgrades
    QMenu* TransferJobs = nullptr;      // mTransferJobs
    QAction* CheckFailed = nullptr;     // acCheckFailed
    QAction* PreviewWrites = nullptr;   // acPreviewWrites: "Preview Before Writing"
    QAction* Compare = nullptr;         // acCompare: "Compare Configurations..."

    // The device list: the checked rows in list order (every answer of the cycle counts for the
    // shared addresses), their devices; the device shown.
    std::function<bool()> AnyDeviceChecked;
    std::function<std::vector<TBatchDevice>()> CheckedDevices;
    // Every device the last discovery cycle registered (a resume finds its units among them).
    std::function<std::vector<TBatchDevice>()> RegisteredDevices;
    std::function<std::vector<const TProduct*>()> CheckedProducts;
    std::function<std::optional<TBatchDevice>()> SelectedDevice;
    // The devices as the compare dialog offers them: the rows shown, or the checked rows.
    std::function<std::vector<TCompareDevice>(bool checkedOnly)> CompareDevices;
    // The rows listed whose devices these are; every device listed first (ShowAll); the marks of
    // exactly these rows set.
    std::function<std::vector<int>(const TFailedDevices&)> ListedRows;
    std::function<void()> ShowAll;
    std::function<void(const std::vector<int>&)> CheckRows;
    // A plan dialog of the window.
    std::function<TPlanDialog*()> NewPlanDialog;
    // A discovery cycle; the window after a batch or plan gave the controls back; closing.
    std::function<void()> FindDevices;
    // One discovery cycle; `ended` (from the event loop) once its last request has gone and the
    // answers have had their time. False when no cycle could start (`ended` never comes then).
    std::function<bool(std::function<void()> ended)> FindDevicesThen;
    std::function<void()> ControlsBack;
    std::function<void()> Close;
};

class TBatchController : public QObject {
    Q_OBJECT
public:
    explicit TBatchController(TBatchWindow window, QObject* parent = nullptr);
    ~TBatchController() override;

    // ---- The commands (each does nothing while a batch or a plan runs) ----
    void Upgrade();        // "Upgrade Firmware..."
    void BackupConfig();   // "Backup Selected"
    void RestoreConfig();  // "Restore Selected"
    void SaveConfig();     // "Save...", the device shown
    void LoadConfig();     // "Load...", the device shown
    void CommonConfig();   // "Configure Devices..."
    void SetUpPlan();      // "Set Up Checked Devices...": the plan dialog for the checked rows
    void UndoPlan();       // "Undo Last Plan...": an undo file (the newest offered), then the dialog
    void CheckFailed();    // "Check Failed Devices": the marks become the failed devices' rows
    // "Resume Last Upgrade...": the newest journal in the backup folder, a question, one
    // discovery cycle, then the units not done continued wherever they answer now.
    void ResumeUpgrade();
    void CompareConfigs(); // "Compare Configurations...": the dialog (one, kept)
    // "Restore This Version...": a history version back to its device, through the preview.
    void RestoreVersion(const TCompareDevice& device, const std::string& versionPath);
    // The compare dialog on two configuration files (a unit's before and after an upgrade).
    void CompareFiles(const std::string& left, const std::string& right);
    // A fetch batch for the compare dialog: `done` gets the results once it has ended. False
    // when none could start.
    bool Fetch(const std::vector<TCompareDevice>& devices, std::function<void(std::vector<TDeviceResult>)> done);
    // The marks of exactly these devices' rows set (every device listed first).
    void CheckDevices(const std::vector<TCompareDevice>& devices);

    // The plan dialog's run starts (the lock locked) and ends (unlocked, its failed devices
    // remembered, one discovery cycle).
    void PlanStarted();
    void PlanEnded();

    // ---- State ----
    bool BatchRunning() const { return Run != nullptr; }
    bool PlanRunning() const { return RunningPlan; }
    // A resume waiting for its discovery cycle counts as running.
    bool Busy() const { return BatchRunning() || RunningPlan || ResumeWaiting; }
    // The batch under way (null when none).
    TTransferRun* RunningBatch() const { return Run; }
    TPlanDialog* PlanDialog() const;
    // How many devices the last batch ran at once at most.
    int MostAtOnce() const { return LastAtOnce; }
    // The devices the last batch or plan left behind, by MAC and family.
    const TFailedDevices& FailedDevices() const { return Failed; }
    // The preview before a write while it is open (null when none), the compare dialog once made.
    QDialog* PreviewWindow() const;
    TCompareDialog* CompareWindow() const;

    // "Check Failed Devices" enabled when a failed device is listed (left alone while the lock
    // holds it). `added`: the device a registration has just added, the one row that can make
    // a difference; null: the rows are looked through.
    void UpdateCheckFailed(const TProduct* added = nullptr);
    // The two items of the transfer settings show the settings as read.
    void MarkTransferMenu();
    // The window is asked to close: true when it must stay open for now. During a batch the user
    // is asked first; on Yes the batch stops and the window closes once it has finished. A plan
    // stops after the device at hand.
    bool HoldClose();

signals:
    void BatchStarted();
    // The batch has ended and the window has its controls back.
    void BatchFinished();

private:
    // Starts a batch with the lock locked until its summary; `identities`: the devices to
    // remember the results of (none: Save and Load). False when no batch could run.
    bool StartBatch(TTransferOrder order, std::vector<TUnitKey> identities, bool remember);
    // Who the checked rows' devices are, in list order (the rows of CheckedDevices).
    std::vector<TUnitKey> CheckedIdentities() const;
    void BatchEnded();
    void ConfigBatch(TTransferCommand command, const char* refusal);
    // "Save..." and "Load...": the file dialog, then the device shown.
    void DeviceFileBatch(TTransferCommand command, const char* caption, const char* button);
    void OpenPlanDialog(TPlanDialog* dialog);
    void RecordPlan();
    void WireTransferSettings();
    // "Restore Selected", "Configure Devices..." and a restore from the history: with "Preview
    // Before Writing" on, a fetch batch over the devices, then the preview; Write calls `write`
    // with what each device is sent. With it off, `write` at once with nothing chosen.
    void PreviewThenWrite(TWriteRequest request, std::function<void(TWriteChoice)> write);
    std::vector<std::string> CheckedAddresses() const;
    // The upgrade's journal for `order` (its devices, image and rollout) in the backup folder:
    // null with `error` when it cannot be written.
    std::shared_ptr<TJournalWriter> NewJournalFor(const TTransferOrder& order, std::string& error) const;
    // The resume's batch once its discovery cycle has ended.
    void StartResume(const std::string& path, const TUpgradeJournal& journal);

    TBatchWindow W;
    TTransferWindows* Host = nullptr;  // child: the login dialog, pbHTTP, the progress window
    TTransferRun* Run = nullptr;       // child while a batch runs
    std::vector<TUnitKey> RunDevices;
    bool RememberRun = false;
    bool VerifyingRun = false;
    bool UpgradeRun = false;    // its units whose configuration changed are offered to compare
    bool ResumeWaiting = false; // a resume's discovery cycle runs
    QMetaObject::Connection CloseWhenDone;  // made when a close stopped the batch
    QPointer<TPlanDialog> Plans;            // the one open, if any
    bool RunningPlan = false;
    QActionGroup* JobsGroup = nullptr;
    TFailedDevices Failed;
    int LastAtOnce = 0;
    // What follows the batch under way once it has ended and the controls are back (a fetch's
    // preview or compare).
    std::function<void(const std::vector<TDeviceResult>&)> AfterRun;
    QPointer<QDialog> Preview;
    QPointer<TCompareDialog> Comparer;
};
