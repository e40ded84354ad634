// TBatchController's plans of many devices and "Check Failed Devices". The plan dialog does the
// asking and showing; the controller gives it the checked rows, locks what a batch locks while
// the plan runs, and finds the devices again afterwards. The devices that did not come through
// the last batch or plan are remembered by MAC and family (core/http/faileddevices.h), so that a
// retry can start from the very same check marks after the list has been refreshed.
#include "gui/app/batchcontroller.h"

#include "core/app/i18n.h"
#include "core/setup/planrun.h"
#include "gui/app/dialogs.h"
#include "gui/app/form.h"
#include "gui/setup/plandialog.h"

#include <QAction>
#include <QDir>

namespace {
// The newest undo file of the folder (their names sort by time), "" when there is none.
std::string NewestUndoFile(const std::string& folder)
{
    const QDir dir(QString::fromStdString(folder));
    const QStringList names =
        dir.entryList({QStringLiteral("undo-*.csv")}, QDir::Files | QDir::Readable, QDir::Name | QDir::Reversed);
    return names.isEmpty() ? std::string() : dir.filePath(names.first()).toStdString();
}
}  // namespace

TPlanDialog* TBatchController::PlanDialog() const { return Plans; }

void TBatchController::OpenPlanDialog(TPlanDialog* dialog)
{
    delete Plans;
    Plans = dialog;
    Plans->setAttribute(Qt::WA_DeleteOnClose);
}

void TBatchController::SetUpPlan()
{
    if (Busy())
        return;
    OpenPlanDialog(W.NewPlanDialog());
    Plans->PrepareSetup(W.CheckedProducts());
    Plans->open();
}

void TBatchController::UndoPlan()
{
    if (Busy())
        return;
    const std::string newest = NewestUndoFile(kBackupFolder);
    const std::string path =
        Dialogs::OpenFileName(W.Parent, _("Undo Last Plan"), _("Undo file|undo-*.csv|Plan file|*.csv"),
                              newest.empty() ? std::string(kBackupFolder) : newest);
    if (path.empty())
        return;
    OpenPlanDialog(W.NewPlanDialog());
    if (!Plans->PrepareUndo(path)) {
        delete Plans;
        return;
    }
    Plans->open();
}

void TBatchController::PlanStarted()
{
    RunningPlan = true;
    W.Lock.Lock();
}

void TBatchController::PlanEnded()
{
    RunningPlan = false;
    W.Lock.Unlock();
    W.ControlsBack();
    RecordPlan();
    W.FindDevices();
}

void TBatchController::RecordPlan()
{
    if (!Plans || !Plans->Run())
        return;
    const TPlan& plan = Plans->Plan();
    const std::vector<TPlanDeviceStatus>& statuses = Plans->Run()->Statuses();
    std::vector<TUnitKey> failed;
    for (size_t i = 0; i < plan.Devices.size(); ++i)
        if (i >= statuses.size() || PlanStatusFailed(statuses[i]))
            failed.push_back(UnitKey(plan.Devices[i].Before.MAC, plan.Devices[i].Family));
    Failed.RecordFailed(std::move(failed));
    UpdateCheckFailed();
}

void TBatchController::UpdateCheckFailed(const TProduct* added)
{
    if (W.Lock.Locked())  // given back by the lock, then set again when the batch ends
        return;
    QAction* item = W.CheckFailed;
    if (Failed.Empty())
        item->setEnabled(false);
    else if (added)
        item->setEnabled(item->isEnabled() || Failed.Contains(*added));
    else
        item->setEnabled(!W.ListedRows(Failed).empty());
}

void TBatchController::CheckFailed()
{
    if (Busy())
        return;
    W.ShowAll();  // every device listed
    const std::vector<int> rows = W.ListedRows(Failed);
    if (!rows.empty())
        W.CheckRows(rows);
    UpdateCheckFailed();
}
