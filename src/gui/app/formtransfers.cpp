// TPyxetForm's HTTP transfers: "Upgrade Firmware..." and the five commands of the Configuration
// menu. The window asks (boxes, file dialog, login dialog) and shows (progress window, pbHTTP);
// the batches themselves are core/http/batch.h's. While a batch runs the window keeps painting,
// and nothing else that changes devices can be started.
#include "gui/app/form.h"

#include "core/app/i18n.h"
#include "core/devices/product.h"
#include "core/http/batch.h"
#include "core/http/files.h"
#include "core/http/http.h"
#include "gui/app/dialogs.h"
#include "gui/devices/devicelistmodel.h"
#include "gui/http/login.h"
#include "gui/http/upgrade.h"
#include "gui/windows/progressinfo.h"
#include "ui_form.h"

#include <QCloseEvent>
#include <QProgressBar>
#include <QTimer>

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
    bool AskLogin(const std::string&, const std::string&) override { return Form->Login && Form->Login->Execute(); }
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

void TPyxetForm::WireTransfers()
{
    Transfers = new TTransferWindows(this);
    connect(Ui_->acFirmUpgr, &QAction::triggered, this, [this] { acFirmUpgrExecute(); });
    connect(Ui_->LoadConfig, &QAction::triggered, this, [this] { LoadConfigClick(); });
    connect(Ui_->SaveConfig, &QAction::triggered, this, [this] { SaveConfigClick(); });
    connect(Ui_->BackupConfig, &QAction::triggered, this, [this] { BackupConfigClick(); });
    connect(Ui_->RestoreConfig, &QAction::triggered, this, [this] { RestoreConfigClick(); });
    connect(Ui_->CommonConfig, &QAction::triggered, this, [this] { CommonConfigClick(); });
}

bool TPyxetForm::AnyDeviceChecked() const
{
    for (int row = 0; row < DeviceRows->RowCount(); ++row)
        if (DeviceRows->IsChecked(row))
            return true;
    return false;
}

std::vector<TBatchDevice> TPyxetForm::CheckedDevices() const
{
    std::vector<TBatchDevice> devices;
    for (int row = 0; row < DeviceRows->RowCount(); ++row)
        if (DeviceRows->IsChecked(row))
            if (const TProduct* device = DeviceRows->Device(row)) {
                const TProductInfo info = device->CopyInfo();
                devices.push_back({info.Name, info.PeerIP});
            }
    return devices;
}

// Runs one batch with "Find Devices", the check marks, the setup buttons and the other batch
// commands disabled until its summary; the devices were taken before.
void TPyxetForm::RunBatch(const std::function<void(TTransferBatch&)>& command)
{
    if (!Http)
        return;
    struct TLock {
        QObject* Control;
        bool Enabled;
    };
    std::vector<TLock> locks;
    auto lock = [&](auto* control) {
        locks.push_back({control, control->isEnabled()});
        control->setEnabled(false);
    };
    for (QAction* action : {Ui_->acFind, Ui_->acFirmUpgr, Ui_->acBackup, Ui_->LoadConfig, Ui_->SaveConfig,
                            Ui_->BackupConfig, Ui_->RestoreConfig, Ui_->CommonConfig})
        lock(action);
    // The setup fields too: an edit would enable "Apply Changes" again.
    for (QWidget* widget : std::initializer_list<QWidget*>{Ui_->btnConfigDevice, Ui_->btnSetDefault,
                                                           Ui_->btnRestartDevice, Ui_->GroupBox2,
                                                           Ui_->DeviceListBox, Ui_->AllChecked})
        lock(widget);

    TProgressLines none;
    Http->SetHost(Transfers);
    TTransferBatch batch(*Http, Progress ? static_cast<TProgressLines&>(*Progress) : none);
    RunningBatch = &batch;
    command(batch);
    RunningBatch = nullptr;

    for (const TLock& l : locks) {
        if (auto* action = qobject_cast<QAction*>(l.Control))
            action->setEnabled(l.Enabled);
        else if (auto* widget = qobject_cast<QWidget*>(l.Control))
            widget->setEnabled(l.Enabled);
    }
    if (CloseAfterBatch)
        QTimer::singleShot(0, this, [this] { close(); });
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
    if (BatchRunning() || !Upgrade)
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
    RunBatch([&](TTransferBatch& batch) { batch.Upgrade(devices, image); });
}

void TPyxetForm::BackupConfigClick()
{
    if (BatchRunning())
        return;
    if (!AnyDeviceChecked()) {
        Dialogs::Information(this, _("Please select devices for which you want to backup configuration."));
        return;
    }
    const std::vector<TBatchDevice> devices = CheckedDevices();
    RunBatch([&](TTransferBatch& batch) { batch.Backup(devices, kBackupFolder); });
}

void TPyxetForm::RestoreConfigClick()
{
    if (BatchRunning())
        return;
    if (!AnyDeviceChecked()) {
        Dialogs::Information(this, _("Please select devices for which you want to restore configuration."));
        return;
    }
    const std::vector<TBatchDevice> devices = CheckedDevices();
    RunBatch([&](TTransferBatch& batch) { batch.Restore(devices, kBackupFolder); });
}

void TPyxetForm::SaveConfigClick()
{
    if (BatchRunning() || !Upgrade || !SelectedDevice)
        return;
    Upgrade->Prepare(_("Select File"), _("Save"), kConfigFilter);
    const std::string file = Upgrade->Execute() ? Upgrade->FileName() : std::string();
    if (RefusedFile(this, file, false))
        return;
    const TProductInfo info = SelectedDevice->CopyInfo();
    RunBatch([&](TTransferBatch& batch) { batch.Save({info.Name, info.PeerIP}, file); });
}

void TPyxetForm::LoadConfigClick()
{
    if (BatchRunning() || !Upgrade || !SelectedDevice)
        return;
    Upgrade->Prepare(_("Select Configuration"), _("Load"), kConfigFilter);
    const std::string file = Upgrade->Execute() ? Upgrade->FileName() : std::string();
    if (RefusedFile(this, file, true))
        return;
    const TProductInfo info = SelectedDevice->CopyInfo();
    RunBatch([&](TTransferBatch& batch) { batch.Load({info.Name, info.PeerIP}, file); });
}

void TPyxetForm::CommonConfigClick()
{
    if (BatchRunning() || !Upgrade)
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
    RunBatch([&](TTransferBatch& batch) { batch.RestoreCommon(devices, file); });
}
