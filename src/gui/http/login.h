// TLoginForm: asks for the HTTP Basic credentials a device wants and keeps them for the run.
// The two texts are held in memory only: never logged, never written anywhere.
#pragma once
#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class TLoginForm;
}

class TLoginForm : public QDialog {
    Q_OBJECT
public:
    explicit TLoginForm(QWidget* parent = nullptr);
    ~TLoginForm() override;

    Ui::TLoginForm* ui() const { return Ui_.get(); }

    // The texts of UserEdit and PassEdit (UTF-8).
    std::string UserName() const;
    std::string Password() const;
    // The device that asks, in its shown form ("Server room (10.77.1.13)"), in DeviceLabel.
    void SetDevice(const std::string& device);
    std::string Device() const;

    // Shows the dialog modally; true for OK. With the dialogs in automatic mode (tests) it is
    // not shown: the next queued answer types its texts and gives its button, Cancel when none
    // is queued.
    bool Execute();

    // ---- Seam for tests ----
    static void QueueAnswer(bool ok, const std::string& user = {}, const std::string& password = {});
    static int TimesShown();  // Execute calls so far

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TLoginForm> Ui_;
};
