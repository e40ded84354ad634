// TPyxetForm's HTTP transfers: "Upgrade Firmware..." and the five commands of the Configuration
// menu. The window asks (boxes, file dialog, login dialog) and shows (progress window, pbHTTP);
// the batches themselves are core/http/batch.h's. While a batch runs the window keeps painting,
// and nothing else that changes devices can be started.
#include "gui/app/form.h"

#include "core/app/i18n.h"
#include "core/devices/product.h"
#include "core/devices/sharedaddress.h"
#include "core/http/batch.h"
#include "core/http/batchjobs.h"
#include "core/http/files.h"
#include "core/http/http.h"
#include "core/http/rules.h"
#include "core/log/format.h"
#include "gui/app/dialogs.h"
#include "gui/app/devicelistpanel.h"
#include "gui/http/login.h"
#include "gui/http/upgrade.h"
#include "gui/windows/progressinfo.h"
#include "ui_form.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QMenu>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>
#include <climits>

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
} // namespace

// What a transfer needs from the windows: the login dialog's credentials and its asking, the
// progress bar pbHTTP and the progress window's selected line.
class TTransferWindows : public QObject, public THTTPHost {
public:
    explicit TTransferWindows(TPyxetForm* form) : QObject(form), Form(form) {}

    THTTPLogin Credentials() override
    {
        if (!Form->Login)
            return {};
        return {Form->Login->UserName(), Form->Login->Password()};
    }
    bool AskDeviceLogin(const std::string& host, const std::string& name, const std::string&) override
    {
        if (!Form->Login)
            return false;
        Form->Login->SetDevice(LoginDeviceText(name, host));
        return Form->Login->Execute();
    }
    void ProgressBar(int64_t position, int64_t maximum) override
    {
        // The bar counts in int: a body above 2 GiB moves it in larger steps.
        const int64_t step = maximum / INT_MAX + 1;
        Form->pbHTTP->setRange(0, maximum > 0 ? static_cast<int>(maximum / step) : 1);
        Form->pbHTTP->setValue(static_cast<int>(position / step));
    }
    void ReplaceLine(const std::string& text) override
    {
        if (Form->Progress)
            Form->Progress->ReplaceLine(text);
    }

private:
    TPyxetForm* Form;
};

void TPyxetForm::WireTransferSettings()
{
    TransferJobs = new QActionGroup(this);
    TransferJobs->setExclusive(true);
    for (const int jobs : {1, 2, 4, 8, 16}) {
        QAction* item = Ui_->mTransferJobs->addAction(QString::number(jobs));
        item->setObjectName(QStringLiteral("acJobs%1").arg(jobs));
        item->setCheckable(true);
        item->setData(jobs);
        TransferJobs->addAction(item);
        connect(item, &QAction::triggered, this, [this, jobs] { Settings.TransferJobs = jobs; });
    }
    connect(Ui_->acVerifyUpgrades, &QAction::toggled, this, [this](bool on) { Settings.VerifyUpgrades = on; });
    MarkTransferMenu();
    // How the next batch runs stays as it is while one runs.
    BatchLock.Join({Ui_->acVerifyUpgrades, Ui_->mTransferJobs->menuAction(), TransferJobs});
}

void TPyxetForm::MarkTransferMenu()
{
    for (QAction* item : TransferJobs->actions())
        item->setChecked(item->data().toInt() == Settings.TransferJobs);
    Ui_->acVerifyUpgrades->setChecked(Settings.VerifyUpgrades);
}

void TPyxetForm::WireTransfers()
{
    Transfers = new TTransferWindows(this);
    WireTransferSettings();
    connect(Ui_->acFirmUpgr, &QAction::triggered, this, [this] { acFirmUpgrExecute(); });
    connect(Ui_->LoadConfig, &QAction::triggered, this, [this] { LoadConfigClick(); });
    connect(Ui_->SaveConfig, &QAction::triggered, this, [this] { SaveConfigClick(); });
    connect(Ui_->BackupConfig, &QAction::triggered, this, [this] { BackupConfigClick(); });
    connect(Ui_->RestoreConfig, &QAction::triggered, this, [this] { RestoreConfigClick(); });
    connect(Ui_->CommonConfig, &QAction::triggered, this, [this] { CommonConfigClick(); });
    // The batch commands (the menu bar's "Configuration" follows acBackup).
    BatchLock.Join({Ui_->acFirmUpgr, Ui_->acBackup, Ui_->LoadConfig, Ui_->SaveConfig, Ui_->BackupConfig,
                    Ui_->RestoreConfig, Ui_->CommonConfig});
    WirePlans();
    connect(Ui_->acCheckFailed, &QAction::triggered, this, [this] { acCheckFailedExecute(); });
    // The check marks of the last batch's failed devices.
    BatchLock.Join({Ui_->acCheckFailed});
    UpdateCheckFailed();
}

bool TPyxetForm::AnyDeviceChecked() const
{
    return List->AnyDeviceChecked();
}

std::vector<TBatchDevice> TPyxetForm::CheckedDevices() const
{
    // Every answer of the cycle counts, the rows that the type filter or the search hide too.
    const auto sharing = AddressSharers(Devices);
    std::vector<TBatchDevice> devices;
    for (const TProduct* device : List->CheckedDevices())
        devices.push_back(BatchDevice(*device, sharing));
    return devices;
}

// Runs one batch with BatchLock locked until its summary; the devices were taken before.
bool TPyxetForm::RunBatch(const std::function<void(TTransferBatch&)>& command, const std::vector<TBatchDevice>& devices)
{
    if (!Http)
        return false;
    BatchLock.Lock();
    KeptChecks.RecordFailed({});

    TProgressLines none;
    TProgressLines& lines = Progress ? static_cast<TProgressLines&>(*Progress) : none;
    Http->SetHost(Transfers);
    TTransferBatch batch(*Http, lines);
    // Several devices at once: the devices' blocks still come in list order, and a line beside
    // the progress window's buttons counts them.
    std::unique_ptr<TBatchJobs> jobs;
    if (Settings.TransferJobs > 1 && devices.size() > 1) {
        jobs = std::make_unique<TBatchJobs>(Settings.TransferJobs, *Transfers, Http->CurrentLimits());
        std::vector<std::string> addresses;
        for (const TBatchDevice& device : devices)
            addresses.push_back(device.PeerIP);
        jobs->Attach(batch, lines, std::move(addresses));
        jobs->OnCount = [this](const TBatchCount& count) {
            if (Progress)
                Progress->SetCount(Format(_("Done: %d, running: %d, left: %d"), count.Done, count.Running, count.Left));
        };
    }
    RunningBatch = &batch;
    // The progress window's Stop asks the batch to end; the window stays open while it runs.
    QMetaObject::Connection stop;
    if (Progress) {
        Progress->SetRunning(true);
        stop = connect(Progress, &TProgressInfoForm::StopRequested, this, [&batch] { batch.RequestStop(); });
    }
    command(batch);
    if (Progress) {
        disconnect(stop);
        Progress->SetRunning(false);
        Progress->SetCount({});
    }
    MostAtOnce = jobs ? jobs->MostAtOnce() : 1;
    RunningBatch = nullptr;
    BatchLock.Unlock();
    ShowListState();  // decided again now that the batch gave the controls back
    if (CloseAfterBatch)
        QTimer::singleShot(0, this, [this] { close(); });
    return true;
}

bool TPyxetForm::CloseDuringBatch(QCloseEvent* event)
{
    if (!BatchRunning())
        return false;
    if (!CloseAfterBatch
        && !Dialogs::Confirm(this, _("A transfer is running. Stop it and close the program?"))) {
        event->ignore();
        return true;
    }
    if (!BatchRunning())  // it ended while the question was open
        return false;
    CloseAfterBatch = true;
    RunningBatch->Stop();
    event->ignore();  // the window closes, settings saved, once the batch has ended
    return true;
}

void TPyxetForm::acFirmUpgrExecute()
{
    if (Busy() || !Upgrade)
        return;
    if (!AnyDeviceChecked()) {
        Dialogs::Information(this, _("Please select devices for which you want to upgrade firmware."));
        return;
    }
    Upgrade->Prepare(_("Select Firmware"), "Upgrade", kImageFilter);
    if (!Upgrade->Execute())
        return;
    const std::string image = Upgrade->FileName();
    if (RefusedFile(this, image, true))
        return;
    const std::vector<TBatchDevice> devices = CheckedDevices();
    const std::vector<TDeviceIdentity> identities = CheckedIdentities();
    std::vector<TDeviceResult> results;
    const bool verify = Settings.VerifyUpgrades;
    TVerifySetting verification;
    if (verify)
        verification.Seconds = Settings.VerifySeconds;
    if (!RunBatch([&](TTransferBatch& batch) {
            batch.SetVerification(verification);
            results = batch.Upgrade(devices, image);
        }, devices))
        return;
    RecordBatch(identities, results);
    // The devices answer again with their new revisions, which their lines show: one cycle
    // finds them, and the marks of those still there come back as they answer.
    if (verify && !CloseAfterBatch) {
        acFindExecute();
        KeptChecks.RecordFailed(identities);
    }
}

void TPyxetForm::BackupConfigClick()
{
    if (Busy())
        return;
    if (!AnyDeviceChecked()) {
        Dialogs::Information(this, _("Please select devices for which you want to backup configuration."));
        return;
    }
    const std::vector<TBatchDevice> devices = CheckedDevices();
    const std::vector<TDeviceIdentity> identities = CheckedIdentities();
    std::vector<TDeviceResult> results;
    if (RunBatch([&](TTransferBatch& batch) { results = batch.Backup(devices, kBackupFolder); }, devices))
        RecordBatch(identities, results);
}

void TPyxetForm::RestoreConfigClick()
{
    if (Busy())
        return;
    if (!AnyDeviceChecked()) {
        Dialogs::Information(this, _("Please select devices for which you want to restore configuration."));
        return;
    }
    const std::vector<TBatchDevice> devices = CheckedDevices();
    const std::vector<TDeviceIdentity> identities = CheckedIdentities();
    std::vector<TDeviceResult> results;
    if (RunBatch([&](TTransferBatch& batch) { results = batch.Restore(devices, kBackupFolder); }, devices))
        RecordBatch(identities, results);
}

void TPyxetForm::SaveConfigClick()
{
    if (Busy() || !Upgrade || !SelectedDevice())
        return;
    Upgrade->Prepare(_("Select File"), _("Save"), kConfigFilter, true);
    const std::string file = Upgrade->Execute() ? Upgrade->FileName() : std::string();
    if (RefusedFile(this, file, false))
        return;
    const TBatchDevice device = BatchDevice(*SelectedDevice(), AddressSharers(Devices));
    RunBatch([&](TTransferBatch& batch) { batch.Save(device, file); });
}

void TPyxetForm::LoadConfigClick()
{
    if (Busy() || !Upgrade || !SelectedDevice())
        return;
    Upgrade->Prepare(_("Select Configuration"), _("Load"), kConfigFilter);
    const std::string file = Upgrade->Execute() ? Upgrade->FileName() : std::string();
    if (RefusedFile(this, file, true))
        return;
    const TBatchDevice device = BatchDevice(*SelectedDevice(), AddressSharers(Devices));
    RunBatch([&](TTransferBatch& batch) { batch.Load(device, file); });
}

void TPyxetForm::CommonConfigClick()
{
    if (Busy() || !Upgrade)
        return;
    if (!AnyDeviceChecked()) {
        Dialogs::Information(this, _("Please select devices for which you want to restore common configuration."));
        return;
    }
    Upgrade->Prepare(_("Select Common Configuration"), _("Config"), kConfigFilter);
    std::string file;
    if (Upgrade->Execute()) {
        if (RefusedFile(this, Upgrade->FileName(), true))
            return;
        // Only No stops; nothing at all is logged then.
        if (!Dialogs::Warning(this, _("Set common config to selected devices!\nDo you wish to continue?")))
            return;
        file = Upgrade->FileName();
    }
    const std::vector<TBatchDevice> devices = CheckedDevices();
    const std::vector<TDeviceIdentity> identities = CheckedIdentities();
    std::vector<TDeviceResult> results;
    // A cancelled file dialog runs no device: the last batch stays the one remembered.
    if (RunBatch([&](TTransferBatch& batch) { results = batch.RestoreCommon(devices, file); }, devices) && !file.empty())
        RecordBatch(identities, results);
}
