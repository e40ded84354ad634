// TUpgradeForm: the file dialog of the firmware upgrade, also used by the configuration
// transfers with their own captions and filters. For the firmware upgrade it also names what the
// image will reach (the kinds of the checked units, a warning when they are of several kinds)
// and holds the rollout: units first, waves, the halt, units already current skipped, the
// backup and check of each configuration, retries.
#pragma once
#include "core/http/rollout.h"

#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class TUpgradeForm;
}

class TUpgradeForm : public QDialog {
    Q_OBJECT
public:
    explicit TUpgradeForm(QWidget* parent = nullptr);
    ~TUpgradeForm() override;

    Ui::TUpgradeForm* ui() const { return Ui_.get(); }

    // Sets the dialog's caption, UpgradeBtn's caption and the file filter ("Kri Image|*.kri"),
    // and empties PathEdit; the kinds line and the rollout are hidden (a configuration transfer).
    // Callers pass the texts as they are to be shown. `saving`: the file is to be written, and
    // Browse opens a save dialog ("Save" on its button) instead of an open one; either takes any
    // name as typed.
    void Prepare(const std::string& caption, const std::string& buttonCaption, const std::string& filter,
                 bool saving = false);
    // After Prepare, for the firmware upgrade: the kinds line of the checked units and the
    // rollout group showing `rollout` (its image revision is not shown: the edit starts empty).
    void ShowRollout(const TRolloutSetting& rollout, const TKindsLine& kinds);
    // The rollout as the group shows it; the revision typed in counts only with "Skip devices
    // already current" ticked (blanks around it dropped).
    TRolloutSetting Rollout() const;
    // Shows the dialog modally; true when the user confirmed a chosen file. With the dialogs in
    // automatic mode (tests) it is not shown: Browse takes the next queued file name and an
    // empty name (none queued) is Cancel.
    bool Execute();
    // The chosen file's full path, as PathEdit shows it.
    std::string FileName() const;

    void BrowseBtnClick();
    void PathEditChange();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The texts the translation of the window does not reach: each spin box's text for 0.
    void SetZeroTexts();
    // Fits the dialog to what it shows now, never narrower than its designed size.
    void FitSize();

    std::unique_ptr<Ui::TUpgradeForm> Ui_;
    std::string Filter;
    bool Saving = false;
};
