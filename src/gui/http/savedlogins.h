// Utilities -> "Saved Logins...": the logins remembered in the desktop's keyring, one row each
// (the device's MAC, its name and type when it is listed, the user name; never a password, which
// the window never reads for this), with "Forget" and "Forget All". The keyring answers later:
// the list fills when it has, and the buttons wait meanwhile. Without a keyring the note says why
// and the buttons stay disabled.
#pragma once
#include "core/keyring/loginstore.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

namespace Ui {
class TSavedLoginsForm;
}

class TSavedLoginsForm : public QDialog {
    Q_OBJECT
public:
    // What the window lists of a device: its name and type ("" when it is not listed).
    struct TListed {
        std::string Name;
        std::string Type;
    };
    using TListedOf = std::function<TListed(const std::string& key)>;

    explicit TSavedLoginsForm(QWidget* parent = nullptr);
    ~TSavedLoginsForm() override;

    Ui::TSavedLoginsForm* ui() const { return Ui_.get(); }

    // The keyring (null: none, `why` says why) and the window's list.
    void SetKeyring(TKeyringLogins* keyring, const std::string& why);
    void SetListed(TListedOf listed) { Listed = std::move(listed); }

    // Reads the index again and fills the list once the keyring has answered.
    void Reload();
    // The selected row's entry, and every entry (after the confirmation box).
    void ForgetSelected();
    void ForgetAll();

    // Whether the keyring is being asked (the buttons wait).
    bool Waiting() const { return Asking > 0; }

signals:
    // The list was filled again (after Reload, Forget or Forget All).
    void Listed_();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Fill(const TKeyringResult& result);
    void ShowButtons();
    // A keyring operation's callback, which is dropped once the dialog is gone.
    std::function<void(const TKeyringResult&)> Answer();

    std::unique_ptr<Ui::TSavedLoginsForm> Ui_;
    TKeyringLogins* Keyring = nullptr;
    std::string Why;
    TListedOf Listed;
    int Asking = 0;
    std::shared_ptr<bool> Alive = std::make_shared<bool>(true);
};
