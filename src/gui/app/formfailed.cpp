// TPyxetForm's Utilities -> "Check Failed Devices": the devices that did not come through the
// last firmware upgrade, backup, restore, configuration of devices or plan are remembered by MAC
// and family (core/http/faileddevices.h), so a retry can start from the very same check marks
// after the list has been refreshed. The item is part of BatchLock.
#include "gui/app/form.h"

#include "core/setup/planrun.h"
#include "gui/app/devicelistpanel.h"
#include "gui/setup/plandialog.h"
#include "ui_form.h"

std::vector<TDeviceIdentity> TPyxetForm::CheckedIdentities() const
{
    std::vector<TDeviceIdentity> identities;
    for (const TProduct* device : List->CheckedDevices())
        identities.push_back(DeviceIdentity(*device));
    return identities;
}

void TPyxetForm::RecordBatch(const std::vector<TDeviceIdentity>& devices, const std::vector<TDeviceResult>& results)
{
    // A device with no result was not started (a stopped batch): it counts with the failed ones.
    FailedDevices.Record(devices, results);
    UpdateCheckFailed();
}

void TPyxetForm::RecordPlan()
{
    if (!PlanDialog || !PlanDialog->Run())
        return;
    const TPlan& plan = PlanDialog->Plan();
    const std::vector<TPlanDeviceStatus>& statuses = PlanDialog->Run()->Statuses();
    std::vector<TDeviceIdentity> failed;
    for (size_t i = 0; i < plan.Devices.size(); ++i)
        if (i >= statuses.size() || PlanStatusFailed(statuses[i]))
            failed.push_back(DeviceIdentity(plan.Devices[i].Before.MAC, plan.Devices[i].Family));
    FailedDevices.RecordFailed(std::move(failed));
    UpdateCheckFailed();
}

void TPyxetForm::UpdateCheckFailed(const TProduct* added)
{
    if (BatchLock.Locked())  // given back by the lock, then set again when the batch ends
        return;
    QAction* item = Ui_->acCheckFailed;
    if (FailedDevices.Empty())
        item->setEnabled(false);
    else if (added)
        item->setEnabled(item->isEnabled() || FailedDevices.Contains(*added));
    else
        item->setEnabled(!FailedDevices.Matching(List->RowsNow()).empty());
}

void TPyxetForm::acCheckFailedExecute()
{
    if (Busy())
        return;
    const std::vector<int> rows = FailedDevices.Matching(List->Rows());  // every device listed
    if (!rows.empty())
        List->CheckRows(rows);
    UpdateCheckFailed();
}
