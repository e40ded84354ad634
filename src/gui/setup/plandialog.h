// TPlanDialog: Actions -> "Set Up Checked Devices..." and "Undo Last Plan...". The values asked
// for the checked devices (each field kept unless ticked) and a plan file, a preview of the plan
// made again on every change (core/setup/plan.h decides everything), then the run of the plan
// (core/setup/planrun.h) with each device's status shown live. The main window locks discovery
// and the batches while the plan runs, and finds the devices again once it has ended.
#pragma once
#include "core/devices/netinterfaces.h"
#include "core/http/batch.h"
#include "core/setup/plan.h"
#include "core/setup/planfile.h"
#include "core/setup/planrun.h"

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TPlanDialog;
}
class TPyxetForm;
class QCloseEvent;
class QCheckBox;
class QComboBox;
class QLineEdit;

// The preview's columns: the status of each device before the other changes, so that it stays
// in view while the plan runs.
enum class TPlanColumn { MAC, Type, Name, IP, Status, Other, Problems };
constexpr int kPlanColumnCount = 7;

class TPlanDialog : public QDialog {
    Q_OBJECT
public:
    explicit TPlanDialog(TPyxetForm* form);
    ~TPlanDialog() override;

    Ui::TPlanDialog* ui() const { return Ui_.get(); }

    // Setting up these devices (the checked rows, in the order shown): the form's fields, a plan
    // file may be loaded too.
    void PrepareSetup(std::vector<const TProduct*> chosen);
    // Undoing the plan whose undo file this is: the form's fields are hidden. False, after an
    // error box naming the line and column, when the file cannot be read.
    bool PrepareUndo(const std::string& path);

    // The plan as the preview shows it.
    const TPlan& Plan() const { return CurrentPlan; }
    bool Running() const { return State == TState::Running; }
    // The plan ran to its end; the table shows the results until the dialog is closed.
    bool Done() const { return State == TState::Done; }
    const TPlanRun* Run() const { return PlanRun; }

    // Where the undo file goes (the window's backup folder).
    std::string BackupFolder = kBackupFolder;
    // The waits of the run; RestartAllowed is the answer to the restart question.
    TPlanRunOptions RunOptions;
    // The undo file written by the last Apply, "" when none.
    std::string UndoFile;

    // The plan made again from the fields and the file, and shown.
    void MakePreview();
    void LoadPlanClick();
    void ApplyClick();
    void StopClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void showEvent(QShowEvent* event) override;

private:
    enum class TState { Editing, Running, Done };
    // A field's row in the form (plandialog.ui): its check box and line edit, or for the DHCP
    // state its combo box ("keep", "off", "on").
    QCheckBox* CheckBox(TSetupField field) const;
    QLineEdit* Edit(TSetupField field) const;
    QComboBox* FlagBox(TSetupField field) const;
    TPlanForm ReadForm() const;
    void ShowPlan();
    void ShowStatus(int device);
    void RunFinished();
    void EnableControls();
    void SetHeaders();

    TPyxetForm* Form;
    std::unique_ptr<Ui::TPlanDialog> Ui_;
    std::vector<const TProduct*> Chosen;
    std::vector<TNetInterface> Interfaces;  // this PC's, read once
    std::unique_ptr<TPlanFile> File;        // the plan or undo file loaded, or none
    bool Undo = false;
    TPlan CurrentPlan;
    TState State = TState::Editing;
    TPlanRun* PlanRun = nullptr;
};
