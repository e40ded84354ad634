// TPyxetForm's plans of many devices: Actions -> "Set Up Checked Devices..." and "Undo Last
// Plan...". The plan dialog does the asking and showing; the window gives it the checked rows,
// locks what a batch locks while the plan runs, and finds the devices again afterwards.
#include "gui/app/form.h"

#include "core/app/i18n.h"
#include "core/http/batch.h"
#include "gui/app/dialogs.h"
#include "gui/app/devicelistpanel.h"
#include "gui/setup/plandialog.h"
#include "ui_form.h"

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

void TPyxetForm::WirePlans()
{
    connect(Ui_->acSetUpPlan, &QAction::triggered, this, [this] { acSetUpPlanExecute(); });
    connect(Ui_->acUndoPlan, &QAction::triggered, this, [this] { acUndoPlanExecute(); });
    BatchLock.Join({Ui_->acSetUpPlan, Ui_->acUndoPlan});
}

void TPyxetForm::acSetUpPlanExecute()
{
    if (Busy())
        return;
    std::vector<const TProduct*> chosen;
    for (const TProduct* device : List->CheckedDevices())
        chosen.push_back(device);
    delete PlanDialog;
    PlanDialog = new TPlanDialog(this);
    PlanDialog->setAttribute(Qt::WA_DeleteOnClose);
    PlanDialog->PrepareSetup(std::move(chosen));
    PlanDialog->open();
}

void TPyxetForm::acUndoPlanExecute()
{
    if (Busy())
        return;
    const std::string newest = NewestUndoFile(kBackupFolder);
    const std::string path = Dialogs::OpenFileName(this, _("Undo Last Plan"), _("Undo file|undo-*.csv|Plan file|*.csv"),
                                                   newest.empty() ? std::string(kBackupFolder) : newest);
    if (path.empty())
        return;
    delete PlanDialog;
    PlanDialog = new TPlanDialog(this);
    PlanDialog->setAttribute(Qt::WA_DeleteOnClose);
    if (!PlanDialog->PrepareUndo(path)) {
        delete PlanDialog;
        return;
    }
    PlanDialog->open();
}

void TPyxetForm::PlanStarted()
{
    RunningPlan = true;
    BatchLock.Lock();
}

void TPyxetForm::PlanEnded()
{
    RunningPlan = false;
    BatchLock.Unlock();
    ShowListState();
    RecordPlan();
    acFindExecute();
}
