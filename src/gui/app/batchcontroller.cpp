// TBatchController's transfers: the upgrade and the configuration batches on a TTransferRun,
// their settings, the progress window's Stop and closing the window meanwhile. The plans and the
// failed devices are in batchplans.cpp.
#include "gui/app/batchcontroller.h"

#include "core/app/i18n.h"
#include "core/http/files.h"
#include "core/http/http.h"
#include "core/http/rollout.h"
#include "core/http/rules.h"

#include "core/keyring/loginstore.h"
#include "core/log/format.h"
#include "gui/app/dialogs.h"
#include "gui/app/form.h"
#include "gui/app/qtext.h"
#include "gui/config/comparedialog.h"
#include "gui/http/login.h"
#include "gui/http/upgrade.h"
#include "gui/setup/plandialog.h"
#include "gui/windows/progressinfo.h"

#include <QActionGroup>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QProgressBar>
#include <QTimer>

#include <climits>
#include <utility>

namespace {
constexpr const char* kImageFilter = "Kri Image|*.kri";
constexpr const char* kConfigFilter = "Config|*.xml";

// A chosen FIFO or device would hold the transfer for ever: refused at once, in an error box.
bool RefusedFile(QWidget* parent, const std::string& file, bool reading)
{
    const std::string refusal = SpecialFileRefusal(file, reading);
    if (!refusal.empty())
        Dialogs::Error(parent, refusal);
    return !refusal.empty();
}

TTransferOrder Order(TTransferCommand command, std::vector<TBatchDevice> devices, const std::string& file)
{
    TTransferOrder order;
    order.Command = command;
    order.Devices = std::move(devices);
    order.File = file;
    return order;
}

// Lines for a window without its progress window.
TProgressLines NoLines;
}  // namespace

// What a transfer needs from the windows: the login dialog's credentials and its asking, the
// progress bar pbHTTP and the progress window's selected line.
class TTransferWindows : public QObject, public THTTPHost {
public:
    TTransferWindows(const TBatchWindow& window, QObject* parent) : QObject(parent), W(window) {}

    THTTPLogin Credentials() override
    {
        if (!W.Login)
            return {};
        return {W.Login->UserName(), W.Login->Password()};
    }
    void LookUpLogins(const std::string& mac, std::function<void(const TRemembered&)> done) override
    {
        if (TKeyringLogins* keyring = W.Keyring ? W.Keyring() : nullptr)
            keyring->LookUp(mac, std::move(done));
        else
            THTTPHost::LookUpLogins(mac, std::move(done));
    }
    bool AskLogin(const TLoginQuestion& question) override
    {
        if (!W.Login)
            return false;
        const TLoginTarget& target = question.Target;
        const std::string key = DeviceKey(target.MAC);
        W.Login->SetDevice(LoginDeviceText(target.Name, target.Host));
        W.Login->SetDeviceKnown(!key.empty());
        W.Login->StartQuestion(question.User);
        if (!W.Login->Execute())
            return false;
        const TLoginForm::TRemember remember = W.Login->Remember();
        TKeyringLogins* keyring = W.Keyring ? W.Keyring() : nullptr;
        if (remember != TLoginForm::TRemember::None && keyring) {
            const bool every = remember == TLoginForm::TRemember::EveryDevice;
            // Written while the transfer goes on; the log says how it went, never the login.
            keyring->Remember(every ? std::string(kEveryDeviceKey) : key,
                              {W.Login->UserName(), W.Login->Password()}, [every](const TKeyringResult& result) {
                                  if (result.Ok())
                                      LogAction("",
                                                every ? _("The login for every device was remembered in the keyring.")
                                                      : _("The login of this device was remembered in the keyring."),
                                                LOG_INFO);
                                  else
                                      LogAction("", Format(_("The keyring did not remember the login: %s"),
                                                           result.Error.c_str()),
                                                LOG_ERROR);
                              });
        }
        return true;
    }
    void ProgressBar(int64_t position, int64_t maximum) override
    {
        if (!W.ProgressBar)
            return;
        // The bar counts in int: a body above 2 GiB moves it in larger steps.
        const int64_t step = maximum / INT_MAX + 1;
        W.ProgressBar->setRange(0, maximum > 0 ? static_cast<int>(maximum / step) : 1);
        W.ProgressBar->setValue(static_cast<int>(position / step));
    }
    void ReplaceLine(const std::string& text) override
    {
        if (W.Progress)
            W.Progress->ReplaceLine(text);
    }

private:
    const TBatchWindow& W;
};

TBatchController::TBatchController(TBatchWindow window, QObject* parent) : QObject(parent), W(std::move(window))
{
    Host = new TTransferWindows(W, this);
    WireTransferSettings();
}

TBatchController::~TBatchController() = default;

void TBatchController::WireTransferSettings()
{
    JobsGroup = new QActionGroup(this);
    JobsGroup->setExclusive(true);
    for (const int jobs : {1, 2, 4, 8, 16}) {
        QAction* item = W.TransferJobs->addAction(QString::number(jobs));
        item->setObjectName(QStringLiteral("acJobs%1").arg(jobs));
        item->setCheckable(true);
        item->setData(jobs);
        JobsGroup->addAction(item);
        connect(item, &QAction::triggered, this, [this, jobs] { W.Settings.TransferJobs = jobs; });
    }
    connect(W.VerifyUpgrades, &QAction::toggled, this, [this](bool on) { W.Settings.VerifyUpgrades = on; });
    connect(W.PreviewWrites, &QAction::toggled, this, [this](bool on) { W.Settings.Preview = on; });
    connect(W.Compare, &QAction::triggered, this, [this] { CompareConfigs(); });
    // How the next batch runs is not changed while one runs, and no compare downloads meanwhile.
    W.Lock.Join({W.VerifyUpgrades, W.TransferJobs->menuAction(), JobsGroup, W.PreviewWrites, W.Compare});
    MarkTransferMenu();
}

void TBatchController::MarkTransferMenu()
{
    for (QAction* item : JobsGroup->actions())
        item->setChecked(item->data().toInt() == W.Settings.TransferJobs);
    W.VerifyUpgrades->setChecked(W.Settings.VerifyUpgrades);
    W.PreviewWrites->setChecked(W.Settings.Preview);
}

std::vector<TUnitKey> TBatchController::CheckedIdentities() const
{
    std::vector<TUnitKey> identities;
    for (const TProduct* device : W.CheckedProducts())
        identities.push_back(UnitKey(*device));
    return identities;
}

bool TBatchController::StartBatch(TTransferOrder order, std::vector<TUnitKey> identities, bool remember)
{
    if (!W.Http)
        return false;
    W.Lock.Lock();
    W.KeptChecks.RecordFailed({});
    TProgressLines& lines = W.Progress ? static_cast<TProgressLines&>(*W.Progress) : NoLines;
    Run = new TTransferRun(*Host, lines, this);
    Run->SetLimits(W.Http->CurrentLimits());
    Run->SetClock(W.Http->Clock);
    RunDevices = std::move(identities);
    RememberRun = remember;
    VerifyingRun = order.Verification.On();
    UpgradeRun = order.Command == TTransferCommand::Upgrade;
    // Several devices at once: a line beside the progress window's buttons counts them.
    connect(Run, &TTransferRun::Progress, this, [this](int done, int running, int left) {
        if (W.Progress)
            W.Progress->SetCount(Format(_("Done: %d, running: %d, left: %d"), done, running, left));
    });
    connect(Run, &TTransferRun::Finished, this, [this] { BatchEnded(); });
    // The progress window's Stop asks the batch to end; the window stays open while it runs.
    if (W.Progress) {
        W.Progress->SetRunning(true);
        connect(W.Progress, &TProgressInfoForm::StopRequested, Run, &TTransferRun::RequestStop);
        // A unit whose configuration the upgrade changed: its lines open the compare.
        connect(W.Progress, &TProgressInfoForm::CompareRequested, this, &TBatchController::CompareFiles,
                Qt::UniqueConnection);
    }
    if (order.Command != TTransferCommand::Upgrade)
        order.Jobs = W.Settings.TransferJobs;  // an upgrade's journal holds the number it was given
    // What a batch downloads from a device whose MAC is known is also kept in its history.
    order.History = HistoryOfSettings(W.Settings);
    Run->Start(std::move(order));
    emit BatchStarted();
    return true;
}

void TBatchController::BatchEnded()
{
    if (W.Progress) {
        W.Progress->SetRunning(false);
        W.Progress->SetCount({});
    }
    LastAtOnce = Run->MostAtOnce();
    const std::vector<TDeviceResult> results = Run->Results();
    if (UpgradeRun && W.Progress)
        for (const TDeviceResult& result : results)
            if (result.ConfigCheck.Kind == TConfigCheckKind::Changed && !result.ConfigCheck.Before.empty()
                && !result.ConfigCheck.After.empty())
                W.Progress->OfferCompare(result.Host, result.ConfigCheck.Before, result.ConfigCheck.After);
    Run->deleteLater();  // its connections go with it
    Run = nullptr;
    W.Lock.Unlock();
    W.ControlsBack();  // decided again now that the batch gave the controls back
    const bool closing = bool(CloseWhenDone);
    if (RememberRun) {
        // A device with no result was not started (a stopped batch): it counts with the failed.
        Failed.Record(RunDevices, results);
        UpdateCheckFailed();
        // The devices answer again with their new revisions, which their lines show: one cycle
        // finds them, and the marks of those still there come back as they answer.
        if (VerifyingRun && !closing) {
            W.FindDevices();
            W.KeptChecks.RecordFailed(RunDevices);
        }
    }
    // A fetch's preview or compare, unless the window is closing.
    if (auto next = std::exchange(AfterRun, nullptr); next && !closing)
        next(results);
    emit BatchFinished();  // and, after a close stopped it, the window closes
}

bool TBatchController::HoldClose()
{
    if (Run) {
        if (!CloseWhenDone) {
            if (!Dialogs::Confirm(W.Parent, _("A transfer is running. Stop it and close the program?")))
                return true;
            if (!Run)  // it ended while the question was open
                return false;
            CloseWhenDone = connect(
                this, &TBatchController::BatchFinished, this,
                [this] { QTimer::singleShot(0, this, [this] { W.Close(); }); }, Qt::SingleShotConnection);
            Run->Stop();
        }
        return true;  // the window closes, settings saved, once the batch has ended
    }
    if (RunningPlan) {  // the plan ends after the device at hand; the dialog shows how far it got
        if (Plans)
            Plans->StopClick();
        return true;
    }
    return false;
}

void TBatchController::Upgrade()
{
    if (Busy() || !W.Upgrade)
        return;
    if (!W.AnyDeviceChecked()) {
        Dialogs::Information(W.Parent, _("Please select devices for which you want to upgrade firmware."));
        return;
    }
    std::vector<TBatchDevice> devices = W.CheckedDevices();
    std::vector<TUnitKind> kinds;
    for (const TBatchDevice& device : devices)
        kinds.push_back(device.Kind);
    W.Upgrade->Prepare(_("Select Firmware"), "Upgrade", kImageFilter);
    W.Upgrade->ShowRollout(RolloutOfSettings(W.Settings), KindsLine(kinds));
    if (!W.Upgrade->Execute())
        return;
    const std::string image = W.Upgrade->FileName();
    if (RefusedFile(W.Parent, image, true))
        return;
    TTransferOrder order = Order(TTransferCommand::Upgrade, std::move(devices), image);
    order.Rollout = W.Upgrade->Rollout();
    KeepRolloutInSettings(order.Rollout, W.Settings);  // the revision typed in is not kept
    // A rollout's first units are verified whatever Verify Upgrades says.
    if (W.Settings.VerifyUpgrades || order.Rollout.Verifies())
        order.Verification.Seconds = W.Settings.VerifySeconds;
    order.Jobs = W.Settings.TransferJobs;
    std::string error;
    order.Journal = NewJournalFor(order, error);
    if (!order.Journal) {
        // A rollout is resumed from its journal: without one it does not start.
        if (order.Rollout.Asked()) {
            Dialogs::Error(W.Parent, Format(_("The upgrade's journal cannot be written, so the rollout does not start: %s"),
                                            error.c_str()));
            return;
        }
        LogAction("", Format(_("The upgrade goes on without its journal: %s"), error.c_str()), LOG_WARNING);
    }
    StartBatch(std::move(order), CheckedIdentities(), true);
}

std::shared_ptr<TJournalWriter> TBatchController::NewJournalFor(const TTransferOrder& order, std::string& error) const
{
    int64_t size = 0;
    std::string sha256;
    if (!HashImage(order.File, size, sha256, error))
        return nullptr;
    std::vector<TJournalUnit> units;
    for (const TBatchDevice& device : order.Devices)
        units.push_back(JournalUnitOf(device));
    const int64_t now = QDateTime::currentSecsSinceEpoch();
    if (!QDir().exists(Q(kBackupFolder)))
        QDir().mkdir(Q(kBackupFolder));  // one level, as the backups make it
    auto journal = std::make_shared<TJournalWriter>(
        NewJournalName(kBackupFolder, now),
        NewJournal(QFileInfo(Q(order.File)).absoluteFilePath().toStdString(), size, sha256, order.Rollout, order.Jobs,
                   order.Verification.Seconds, std::move(units), now));
    if (!journal->Ok()) {
        error = journal->Error();
        return nullptr;
    }
    return journal;
}

void TBatchController::ResumeUpgrade()
{
    if (Busy())
        return;
    const std::string path = LastJournal(kBackupFolder);
    if (path.empty()) {
        Dialogs::Information(W.Parent, Format(_("No upgrade journal was found in the folder %s."), kBackupFolder));
        return;
    }
    std::string error;
    std::optional<TUpgradeJournal> journal = ReadJournal(path, error);
    if (!journal) {
        Dialogs::Error(W.Parent, Format(_("The upgrade journal %s cannot be resumed: %s"), path.c_str(), error.c_str()));
        return;
    }
    if (const std::string refusal = ImageChangedRefusal(*journal); !refusal.empty()) {
        Dialogs::Error(W.Parent, refusal);
        return;
    }
    unsigned long left = 0;
    for (const TJournalUnit& unit : journal->Units)
        if (ResumeStepOf(unit) != TResumeStep::Done)
            ++left;
    if (left == 0) {
        Dialogs::Information(W.Parent, Format(_("Every unit of the upgrade journal %s has ended: nothing is left to resume."),
                                              path.c_str()));
        return;
    }
    if (!Dialogs::Confirm(W.Parent, Format(_n("Resume the upgrade of the journal %s? %lu unit is left; the devices "
                                              "are searched for first.",
                                              "Resume the upgrade of the journal %s? %lu units are left; the devices "
                                              "are searched for first.",
                                              left),
                                           path.c_str(), left)))
        return;
    // The units are looked for where they answer now; the batch starts once the cycle has ended,
    // and nothing else starts meanwhile.
    ResumeWaiting = W.FindDevicesThen && W.FindDevicesThen([this, path, journal = std::move(*journal)] {
        ResumeWaiting = false;
        StartResume(path, journal);
    });
}

void TBatchController::StartResume(const std::string& path, const TUpgradeJournal& journal)
{
    TTransferOrder order = Order(TTransferCommand::Upgrade, ResumeDevices(journal, W.RegisteredDevices()), journal.Image);
    order.Rollout = journal.Rollout;
    order.Verification.Seconds = journal.VerifySeconds;
    order.Jobs = journal.Jobs;
    order.Resumed = journal;
    order.Journal = std::make_shared<TJournalWriter>(path, journal);
    if (!order.Journal->Ok()) {
        Dialogs::Error(W.Parent, Format(_("The upgrade journal %s cannot be resumed: %s"), path.c_str(),
                                        order.Journal->Error().c_str()));
        return;
    }
    std::vector<TUnitKey> identities;
    for (const TBatchDevice& device : order.Devices)
        identities.push_back(UnitKey(device.MAC, device.Family));
    StartBatch(std::move(order), std::move(identities), true);
}

void TBatchController::CompareFiles(const std::string& left, const std::string& right)
{
    CompareConfigs();
    if (Comparer)
        Comparer->CompareFiles(left, right);
}

void TBatchController::ConfigBatch(TTransferCommand command, const char* refusal)
{
    if (Busy())
        return;
    if (!W.AnyDeviceChecked()) {
        Dialogs::Information(W.Parent, refusal);
        return;
    }
    StartBatch(Order(command, W.CheckedDevices(), kBackupFolder), CheckedIdentities(), true);
}

void TBatchController::BackupConfig()
{
    ConfigBatch(TTransferCommand::Backup, _("Please select devices for which you want to backup configuration."));
}

void TBatchController::RestoreConfig()
{
    if (Busy())
        return;
    if (!W.AnyDeviceChecked()) {
        Dialogs::Information(W.Parent, _("Please select devices for which you want to restore configuration."));
        return;
    }
    std::vector<TBatchDevice> devices = W.CheckedDevices();
    TWriteRequest request{TWriteKind::Restore, devices, CheckedAddresses(), kBackupFolder, {}};
    PreviewThenWrite(std::move(request), [this, devices, identities = CheckedIdentities()](TWriteChoice choice) {
        TTransferOrder order = Order(TTransferCommand::Restore, devices, kBackupFolder);
        order.Bodies = std::move(choice.Bodies);
        order.Refusals = std::move(choice.Refusals);
        StartBatch(std::move(order), identities, true);
    });
}

void TBatchController::SaveConfig()
{
    DeviceFileBatch(TTransferCommand::Save, _("Select File"), _("Save"));
}

void TBatchController::LoadConfig()
{
    DeviceFileBatch(TTransferCommand::Load, _("Select Configuration"), _("Load"));
}

void TBatchController::DeviceFileBatch(TTransferCommand command, const char* caption, const char* button)
{
    if (Busy() || !W.Upgrade)
        return;
    const std::optional<TBatchDevice> device = W.SelectedDevice();
    if (!device)
        return;
    // "Save..." may name a new file; "Load..." reads one.
    const bool saving = command == TTransferCommand::Save;
    W.Upgrade->Prepare(caption, button, kConfigFilter, saving);
    const std::string file = W.Upgrade->Execute() ? W.Upgrade->FileName() : std::string();
    if (RefusedFile(W.Parent, file, !saving))
        return;
    StartBatch(Order(command, {*device}, file), {}, false);
}

void TBatchController::CommonConfig()
{
    if (Busy() || !W.Upgrade)
        return;
    if (!W.AnyDeviceChecked()) {
        Dialogs::Information(W.Parent, _("Please select devices for which you want to restore common configuration."));
        return;
    }
    W.Upgrade->Prepare(_("Select Common Configuration"), _("Config"), kConfigFilter);
    if (!W.Upgrade->Execute()) {
        // A cancelled file dialog runs no device: the last batch stays the one remembered.
        StartBatch(Order(TTransferCommand::RestoreCommon, W.CheckedDevices(), {}), CheckedIdentities(), false);
        return;
    }
    const std::string file = W.Upgrade->FileName();
    if (RefusedFile(W.Parent, file, true))
        return;
    std::vector<TBatchDevice> devices = W.CheckedDevices();
    TWriteRequest request{TWriteKind::Common, devices, CheckedAddresses(), file, {}};
    // The preview (when on) comes before the question, which still follows it.
    PreviewThenWrite(std::move(request), [this, devices, file, identities = CheckedIdentities()](TWriteChoice choice) {
        // Only No stops; nothing at all is logged then.
        if (!Dialogs::Warning(W.Parent, _("Set common config to selected devices!\nDo you wish to continue?")))
            return;
        TTransferOrder order = Order(TTransferCommand::RestoreCommon, devices, file);
        order.Bodies = std::move(choice.Bodies);
        order.Refusals = std::move(choice.Refusals);
        StartBatch(std::move(order), identities, true);
    });
}
