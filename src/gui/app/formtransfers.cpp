// TPyxetForm's HTTP transfers, plans and failed devices: the handlers of "Upgrade Firmware...",
// the Configuration menu, the plans and "Check Failed Devices" hand over to the window's batch
// controller (gui/app/batchcontroller.h), which the window gives what it needs of the device list.
// While a batch runs the window keeps painting, and nothing else that changes devices can be
// started.
#include "gui/app/form.h"

#include "core/devices/product.h"
#include "core/devices/sharedaddress.h"
#include "gui/app/watchpanel.h"
#include "core/discovery/discovery.h"
#include "core/watch/watchrun.h"
#include "core/http/batch.h"
#include "gui/app/batchcontroller.h"
#include "gui/app/devicelistpanel.h"
#include "gui/http/login.h"
#include "gui/http/savedlogins.h"
#include "gui/setup/plandialog.h"
#include "core/app/i18n.h"
#include "core/keyring/keychainstore.h"
#include "core/keyring/loginstore.h"
#include "core/log/format.h"
#include "ui_form.h"

#include <QActionGroup>
#include <QMenu>
#include <QTimer>

#include <algorithm>

void TPyxetForm::WireTransfers()
{
    TBatchWindow window{
        .Parent = this,
        .Settings = Settings,
        .Lock = BatchLock,
        .KeptChecks = KeptChecks,
        .Upgrade = Upgrade,
        .Progress = Progress,
        .Login = Login,
        .Keyring = [this] { return Keyring(); },
        .Http = Http,
        .ProgressBar = pbHTTP,
        .VerifyUpgrades = Ui_->acVerifyUpgrades,
        .TransferJobs = Ui_->mTransferJobs,
        .CheckFailed = Ui_->acCheckFailed,
        .PreviewWrites = Ui_->acPreviewWrites,
        .Compare = Ui_->acCompare,
        .AnyDeviceChecked = [this] { return AnyDeviceChecked(); },
        .CheckedDevices = [this] { return CheckedDevices(); },
        .RegisteredDevices =
            [this] {
                const auto away = Away();
                const auto sharing = AddressSharers(Devices, away);
                std::vector<TBatchDevice> devices;
                for (const TDeviceEntry& entry : Devices.DeviceList())
                    if (!away || !away(*entry.Device))
                        devices.push_back(BatchDevice(*entry.Device, sharing));
                return devices;
            },
        .CheckedProducts =
            [this] {
                const std::vector<TProduct*> checked = List->CheckedDevices();
                return std::vector<const TProduct*>(checked.begin(), checked.end());
            },
        .SelectedDevice = [this]() -> std::optional<TBatchDevice> {
            if (!SelectedDevice())
                return std::nullopt;
            return BatchDevice(*SelectedDevice(), AddressSharers(Devices, Away()));
        },
        .CompareDevices = [this](bool checkedOnly) { return CompareDevices(checkedOnly); },
        .ListedRows = [this](const TFailedDevices& devices) { return devices.Matching(List->RowsNow()); },
        .ShowAll = [this] { List->Rows(); },  // takes in the lines still waiting
        .CheckRows = [this](const std::vector<int>& rows) { List->CheckRows(rows); },
        .NewPlanDialog = [this] { return new TPlanDialog(this); },
        .FindDevices = [this] { acFindExecute(); },
        .FindDevicesThen = [this](std::function<void()> ended) { return FindDevicesThen(std::move(ended)); },
        .ControlsBack = [this] { ShowListState(); },
        .Close = [this] { close(); },
    };
    Controller = new TBatchController(std::move(window), this);

    connect(Ui_->acFirmUpgr, &QAction::triggered, this, [this] { acFirmUpgrExecute(); });
    connect(Ui_->LoadConfig, &QAction::triggered, this, [this] { LoadConfigClick(); });
    connect(Ui_->SaveConfig, &QAction::triggered, this, [this] { SaveConfigClick(); });
    connect(Ui_->BackupConfig, &QAction::triggered, this, [this] { BackupConfigClick(); });
    connect(Ui_->RestoreConfig, &QAction::triggered, this, [this] { RestoreConfigClick(); });
    connect(Ui_->CommonConfig, &QAction::triggered, this, [this] { CommonConfigClick(); });
    connect(Ui_->acSetUpPlan, &QAction::triggered, this, [this] { acSetUpPlanExecute(); });
    connect(Ui_->acUndoPlan, &QAction::triggered, this, [this] { acUndoPlanExecute(); });
    connect(Ui_->acCheckFailed, &QAction::triggered, this, [this] { acCheckFailedExecute(); });
    connect(Ui_->acResumeUpgrade, &QAction::triggered, this, [this] { acResumeUpgradeExecute(); });
    connect(Ui_->mSavedLogins, &QAction::triggered, this, [this] { mSavedLoginsClick(); });
    // The batch commands (the menu bar's "Configuration" follows acBackup), the plans of many
    // devices, the check marks of the last batch's failed devices, and the saved logins (a
    // running batch may be remembering one).
    BatchLock.Join({Ui_->acFirmUpgr, Ui_->acBackup, Ui_->LoadConfig, Ui_->SaveConfig, Ui_->BackupConfig,
                    Ui_->RestoreConfig, Ui_->CommonConfig, Ui_->acSetUpPlan, Ui_->acUndoPlan, Ui_->acCheckFailed,
                    Ui_->acResumeUpgrade, Ui_->mSavedLogins});
    UpdateCheckFailed();
}

bool TPyxetForm::AnyDeviceChecked() const
{
    return List->AnyDeviceChecked();
}

std::function<bool(const TProduct&)> TPyxetForm::Away() const
{
    if (!Watch || !Watch->Watching())
        return {};
    return [watch = Watch](const TProduct& device) { return watch->IsAway(device); };
}

std::vector<TBatchDevice> TPyxetForm::CheckedDevices() const
{
    // Every answer of the cycle counts, the rows that the type filter or the search hide too.
    const auto sharing = AddressSharers(Devices, Away());
    std::vector<TBatchDevice> devices;
    for (const TProduct* device : List->CheckedDevices())
        devices.push_back(BatchDevice(*device, sharing));
    return devices;
}

std::vector<TCompareDevice> TPyxetForm::CompareDevices(bool checkedOnly) const
{
    const auto away = Away();
    const auto sharing = AddressSharers(Devices, away);
    std::vector<const TProduct*> devices;
    if (checkedOnly)
        for (const TProduct* device : List->CheckedDevices())
            devices.push_back(device);
    else
        for (const TDeviceRow& row : List->RowsNow())
            if (!away || !away(*row.Device))
                devices.push_back(row.Device);
    std::vector<TCompareDevice> offered;
    for (const TProduct* device : devices) {
        const TProductInfo info = device->CopyInfo();
        offered.push_back({info.Name + " (" + info.PeerIP + ")", BatchDevice(*device, sharing), info.IP});
    }
    return offered;
}

void TPyxetForm::acFirmUpgrExecute() { Controller->Upgrade(); }
void TPyxetForm::BackupConfigClick() { Controller->BackupConfig(); }
void TPyxetForm::RestoreConfigClick() { Controller->RestoreConfig(); }
void TPyxetForm::SaveConfigClick() { Controller->SaveConfig(); }
void TPyxetForm::LoadConfigClick() { Controller->LoadConfig(); }
void TPyxetForm::CommonConfigClick() { Controller->CommonConfig(); }
void TPyxetForm::acSetUpPlanExecute() { Controller->SetUpPlan(); }
void TPyxetForm::acUndoPlanExecute() { Controller->UndoPlan(); }
void TPyxetForm::acCheckFailedExecute() { Controller->CheckFailed(); }
void TPyxetForm::acResumeUpgradeExecute() { Controller->ResumeUpgrade(); }

bool TPyxetForm::FindDevicesThen(std::function<void()> ended)
{
    if (Watch && Watch->Watching() && !DemoMode && !Busy()) {
        // The watch's next round is the new list: `ended` once that round has ended (a round in
        // progress ends first, before the new one begins).
        auto begun = std::make_shared<bool>(false);
        auto begin = std::make_shared<QMetaObject::Connection>();
        *begin = connect(&Watch->Runner(), &TWatchRunner::RoundBegun, this, [begun](int) { *begun = true; },
                         Qt::SingleShotConnection);
        auto end = std::make_shared<QMetaObject::Connection>();
        *end = connect(&Watch->Runner(), &TWatchRunner::RoundEnded, this, [this, begun, end, ended](int) {
            if (!*begun)
                return;
            disconnect(*end);
            ended();
        });
        FindDevices({});
        return true;
    }
    // The cycle's last request may go at once, inside FindDevices: the connection comes first.
    auto sent = std::make_shared<bool>(false);
    const QMetaObject::Connection last = connect(
        Discovery, &TDiscoveryRun::Finished, this,
        [this, sent, ended] {
            *sent = true;
            QTimer::singleShot(kAnswerWaitMs, this, ended);
        },
        Qt::SingleShotConnection);
    FindDevices({});
    if (*sent || Discovery->Sending())
        return true;
    disconnect(last);  // no cycle started (demonstration mode, a batch running)
    return false;
}
bool TPyxetForm::Busy() const { return Controller->Busy(); }
void TPyxetForm::PlanStarted() { Controller->PlanStarted(); }
void TPyxetForm::PlanEnded() { Controller->PlanEnded(); }
void TPyxetForm::UpdateCheckFailed(const TProduct* added) { Controller->UpdateCheckFailed(added); }
void TPyxetForm::MarkTransferMenu() { Controller->MarkTransferMenu(); }

TKeyringLogins* TPyxetForm::Keyring() const { return KeyringAvailable ? KeyringLogins.get() : nullptr; }

void TPyxetForm::ProbeKeyring()
{
    if (!KeyringStore)
        KeyringStore = std::make_unique<TKeychainStore>();
    KeyringLogins = std::make_unique<TKeyringLogins>(*KeyringStore);
    ShowKeyringState();
    // The answer comes through the event loop; the keyring goes with the window.
    KeyringLogins->Probe([this](bool available, const std::string& why) {
        KeyringProbed = true;
        KeyringAvailable = available;
        KeyringWhy = why;  // shown where it matters: the login dialog's box, "Saved Logins..."
        ShowKeyringState();
    });
}

void TPyxetForm::ShowKeyringState()
{
    if (Login && KeyringProbed)
        Login->SetKeyring(KeyringAvailable, KeyringWhy);
    if (SavedLogins)
        SavedLogins->SetKeyring(Keyring(), KeyringProbed ? KeyringWhy : _("The keyring has not answered yet."));
}

void TPyxetForm::mSavedLoginsClick()
{
    if (!SavedLogins) {
        SavedLogins = new TSavedLoginsForm(this);
        SavedLogins->setWindowFlag(Qt::Window);
        // A device's name and type as the list shows them, when it is listed.
        SavedLogins->SetListed([this](const std::string& key) {
            for (const TDeviceEntry& entry : Devices.DeviceList())
                if (DeviceKey(entry.Device->Info.MAC) == key)
                    return TSavedLoginsForm::TListed{entry.Device->Info.Name, entry.Device->Info.TypeName};
            return TSavedLoginsForm::TListed{};
        });
    }
    ShowKeyringState();
    SavedLogins->show();  // reads the keyring again each time it is shown
    SavedLogins->raise();
    SavedLogins->activateWindow();
}
