// TLoginForm: asks for the HTTP Basic credentials a device wants and keeps them for the run.
// The two texts are held in memory only: never logged, never written anywhere but, when the user
// ticks "Remember in the keyring", in the desktop's keyring (for this device or for every
// device), which the window's host writes after OK. Without a keyring the box is disabled and
// its tool tip says why.
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

    // Which entry the login goes to after OK: none (the box not ticked), this device's or that
    // of every device.
    enum class TRemember { None, ThisDevice, EveryDevice };
    TRemember Remember() const;
    // A new question: the box unticked, "for this device" chosen; with `user` (the user name of
    // a refused login from the keyring) the user name filled in and the password emptied,
    // without it the texts typed before stay.
    void StartQuestion(const std::string& user);
    // Whether a keyring answers: without one the box is disabled, `why` in its tool tip.
    void SetKeyring(bool available, const std::string& why);
    // This device's entry cannot be written when its MAC is unknown.
    void SetDeviceKnown(bool known);

    // Shows the dialog modally; true for OK. With the dialogs in automatic mode (tests) it is
    // not shown: the next queued answer types its texts and gives its button, Cancel when none
    // is queued.
    bool Execute();

    // ---- Seam for tests ----
    static void QueueAnswer(bool ok, const std::string& user = {}, const std::string& password = {},
                            TRemember remember = TRemember::None);
    static int TimesShown();  // Execute calls so far
    // The user name the dialog showed at its latest Execute, before the answer was typed.
    static std::string LastShownUser();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowChoice();
    void ApplyKeyring();

    std::unique_ptr<Ui::TLoginForm> Ui_;
    bool DeviceKnown = true;
    bool KeyringAnswered = false;
    bool KeyringAvailable = false;
    std::string KeyringWhy;
};
