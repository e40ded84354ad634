// TPyxetForm's HTTP transfers, plans and failed devices: the handlers of "Upgrade Firmware...",
// the Configuration menu, the plans and "Check Failed Devices" hand over to the window's batch
// controller (gui/app/batchcontroller.h), which the window gives what it needs of the device list.
// While a batch runs the window keeps painting, and nothing else that changes devices can be
// started.
#include "gui/app/form.h"

#include "core/devices/product.h"
#include "core/devices/sharedaddress.h"
#include "core/http/batch.h"
#include "gui/app/batchcontroller.h"
#include "gui/devices/devicelistmodel.h"
#include "gui/setup/plandialog.h"
#include "ui_form.h"

#include <QActionGroup>
#include <QMenu>

#include <algorithm>

void TControlLock::Join(std::initializer_list<QObject*> controls)
{
    for (QObject* control : controls)
        if (control && !Holds(control))
            Items.push_back({control, true});
}

bool TControlLock::Holds(const QObject* control) const
{
    return std::any_of(Items.begin(), Items.end(), [control](const TItem& item) { return item.Control == control; });
}

void TControlLock::Lock()
{
    if (IsLocked)
        return;
    IsLocked = true;
    // Every state first: a control inside another one reads as disabled once that one is.
    for (TItem& item : Items)
        if (item.Control)
            item.Enabled = item.Control->property("enabled").toBool();
    for (TItem& item : Items)
        if (item.Control)
            item.Control->setProperty("enabled", false);
}

void TControlLock::Unlock()
{
    if (!IsLocked)
        return;
    IsLocked = false;
    for (const TItem& item : Items)
        if (item.Control)
            item.Control->setProperty("enabled", item.Enabled);
}

void TPyxetForm::BuildBatchLock()
{
    // Discovery: "Find Devices", its drop-down with the interfaces and the Actions menu's
    // "Network Interface" holding the same, "Find at Addresses...".
    BatchLock.Join({Ui_->acFind, Ui_->acFindAt, pmFind, FindInterfaces, Ui_->mInterfaces->menuAction()});
    // The rows and the selection: the list, its check marks, type filter, search field and the
    // five column buttons.
    BatchLock.Join({Ui_->DeviceListBox, Ui_->AllChecked, Ui_->DeviceFilter, Ui_->teSearch, Ui_->btnType, Ui_->btnName,
                    Ui_->btnMAC, Ui_->btnIP, Ui_->btnRev});
    // The commands on devices: the batches and the setup panel (an edit would enable "Apply
    // Changes" again). The menu bar's "Configuration" follows acBackup.
    BatchLock.Join({Ui_->acFirmUpgr, Ui_->acBackup, Ui_->LoadConfig, Ui_->SaveConfig, Ui_->BackupConfig,
                    Ui_->RestoreConfig, Ui_->CommonConfig, Ui_->btnConfigDevice, Ui_->btnSetDefault,
                    Ui_->btnRestartDevice, Ui_->GroupBox2});
    // The plans of many devices.
    BatchLock.Join({Ui_->acSetUpPlan, Ui_->acUndoPlan});
    // The check marks of the last batch's failed devices.
    BatchLock.Join({Ui_->acCheckFailed});
}

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
        .Http = Http,
        .ProgressBar = pbHTTP,
        .VerifyUpgrades = Ui_->acVerifyUpgrades,
        .TransferJobs = Ui_->mTransferJobs,
        .CheckFailed = Ui_->acCheckFailed,
        .AnyDeviceChecked = [this] { return AnyDeviceChecked(); },
        .CheckedDevices = [this] { return CheckedDevices(); },
        .CheckedIdentities = [this] { return CheckedIdentities(); },
        .CheckedProducts =
            [this] {
                std::vector<const TProduct*> chosen;
                for (int row = 0; row < DeviceRows->RowCount(); ++row)
                    if (DeviceRows->IsChecked(row))
                        if (const TProduct* device = DeviceRows->Device(row))
                            chosen.push_back(device);
                return chosen;
            },
        .SelectedDevice = [this]() -> std::optional<TBatchDevice> {
            if (!SelectedDevice)
                return std::nullopt;
            return BatchDevice(*SelectedDevice, AddressSharers(Devices));
        },
        .ListedRows = [this](const TFailedDevices& devices) { return devices.Matching(DeviceRows->Rows()); },
        .ShowAll = [this] { DeviceRows->ShowWaitingRows(); },
        .CheckRows = [this](const std::vector<int>& rows) { CheckRows(rows); },
        .NewPlanDialog = [this] { return new TPlanDialog(this); },
        .FindDevices = [this] { acFindExecute(); },
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
    BuildBatchLock();
    UpdateCheckFailed();
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
    // Every answer of the cycle counts, the rows that the type filter or the search hide too.
    const auto sharing = AddressSharers(Devices);
    std::vector<TBatchDevice> devices;
    for (int row = 0; row < DeviceRows->RowCount(); ++row)
        if (DeviceRows->IsChecked(row))
            if (const TProduct* device = DeviceRows->Device(row))
                devices.push_back(BatchDevice(*device, sharing));
    return devices;
}

std::vector<TDeviceIdentity> TPyxetForm::CheckedIdentities() const
{
    std::vector<TDeviceIdentity> identities;
    for (int row = 0; row < DeviceRows->RowCount(); ++row)
        if (DeviceRows->IsChecked(row))
            if (const TProduct* device = DeviceRows->Device(row))
                identities.push_back(DeviceIdentity(*device));
    return identities;
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
bool TPyxetForm::Busy() const { return Controller->Busy(); }
void TPyxetForm::PlanStarted() { Controller->PlanStarted(); }
void TPyxetForm::PlanEnded() { Controller->PlanEnded(); }
void TPyxetForm::UpdateCheckFailed(const TProduct* added) { Controller->UpdateCheckFailed(added); }
void TPyxetForm::MarkTransferMenu() { Controller->MarkTransferMenu(); }
