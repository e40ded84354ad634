// TUpgradeForm: the file dialog of the firmware upgrade, also used by the configuration
// transfers with their own captions and filters.
#pragma once
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
    // and empties PathEdit. Callers pass the texts as they are to be shown. `saving`: the file
    // is to be written, and Browse opens a save dialog ("Save" on its button) instead of an open
    // one; either takes any name as typed.
    void Prepare(const std::string& caption, const std::string& buttonCaption, const std::string& filter,
                 bool saving = false);
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
    std::unique_ptr<Ui::TUpgradeForm> Ui_;
    std::string Filter;
    bool Saving = false;
};
