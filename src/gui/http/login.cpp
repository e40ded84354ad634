#include "gui/http/login.h"

#include "core/app/i18n.h"
#include "core/log/format.h"
#include "gui/app/dialogs.h"
#include "gui/app/translate.h"
#include "gui/windows/progressinfo.h"
#include "ui_login.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

#include <deque>

namespace {
struct TQueuedLogin {
    bool Ok;
    std::string User, Password;
    TLoginForm::TRemember Remember;
};
std::deque<TQueuedLogin> g_answers;
int g_shown = 0;
std::string g_shownUser;
} // namespace

TLoginForm::TLoginForm(QWidget* parent) : QDialog(parent), Ui_(std::make_unique<Ui::TLoginForm>())
{
    Ui_->setupUi(this);
    setFixedSize(size());  // a fixed dialog border
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // One "*" for each character typed.
    Ui_->PassEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    connect(Ui_->OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(Ui_->CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(Ui_->RememberBox, &QCheckBox::toggled, this, [this] { ShowChoice(); });
    ApplyKeyring();
    StandAboveProgress(this);  // a batch command's own dialog
    TranslateComponent(this);
    move(Dialogs::DesktopPosition(size()));
}

TLoginForm::~TLoginForm() = default;

std::string TLoginForm::UserName() const { return Ui_->UserEdit->text().toStdString(); }
std::string TLoginForm::Password() const { return Ui_->PassEdit->text().toStdString(); }

void TLoginForm::SetDevice(const std::string& device)
{
    const QString text = QString::fromStdString(device);
    // A long name is cut at the label's edge; the tool tip has it whole.
    Ui_->DeviceLabel->setText(
        Ui_->DeviceLabel->fontMetrics().elidedText(text, Qt::ElideRight, Ui_->DeviceLabel->width()));
    Ui_->DeviceLabel->setToolTip(text);
}

std::string TLoginForm::Device() const { return Ui_->DeviceLabel->toolTip().toStdString(); }

TLoginForm::TRemember TLoginForm::Remember() const
{
    if (!Ui_->RememberBox->isEnabled() || !Ui_->RememberBox->isChecked())
        return TRemember::None;
    if (Ui_->EveryDeviceButton->isChecked())
        return TRemember::EveryDevice;
    return DeviceKnown ? TRemember::ThisDevice : TRemember::None;
}

void TLoginForm::StartQuestion(const std::string& user)
{
    Ui_->RememberBox->setChecked(false);
    Ui_->ThisDeviceButton->setChecked(DeviceKnown);
    Ui_->EveryDeviceButton->setChecked(!DeviceKnown);
    if (!user.empty()) {
        Ui_->UserEdit->setText(QString::fromStdString(user));
        Ui_->PassEdit->clear();
        Ui_->PassEdit->setFocus();
    }
    ShowChoice();
}

void TLoginForm::SetKeyring(bool available, const std::string& why)
{
    KeyringAnswered = true;
    KeyringAvailable = available;
    KeyringWhy = why;
    ApplyKeyring();
}

// The tool tip is made in the current language each time, as the keyring's own words are not
// the catalogue's.
void TLoginForm::ApplyKeyring()
{
    Ui_->RememberBox->setEnabled(KeyringAvailable);
    QString tip;
    if (!KeyringAnswered)
        tip = QString::fromUtf8(_("The keyring has not answered yet."));
    else if (!KeyringAvailable)
        tip = QString::fromStdString(Format(_("No keyring to remember the login in: %s"), KeyringWhy.c_str()));
    Ui_->RememberBox->setToolTip(tip);
    if (!KeyringAvailable)
        Ui_->RememberBox->setChecked(false);
    ShowChoice();
}

void TLoginForm::SetDeviceKnown(bool known)
{
    DeviceKnown = known;
    ShowChoice();
}

void TLoginForm::ShowChoice()
{
    const bool on = Ui_->RememberBox->isEnabled() && Ui_->RememberBox->isChecked();
    Ui_->ThisDeviceButton->setEnabled(on && DeviceKnown);
    Ui_->EveryDeviceButton->setEnabled(on);
    if (!DeviceKnown)
        Ui_->EveryDeviceButton->setChecked(true);
}

bool TLoginForm::Execute()
{
    ++g_shown;
    g_shownUser = UserName();
    if (Dialogs::Automatic()) {
        if (g_answers.empty())
            return false;
        const TQueuedLogin answer = g_answers.front();
        g_answers.pop_front();
        if (answer.Ok) {
            Ui_->UserEdit->setText(QString::fromStdString(answer.User));
            Ui_->PassEdit->setText(QString::fromStdString(answer.Password));
            Ui_->RememberBox->setChecked(answer.Remember != TRemember::None);
            (answer.Remember == TRemember::EveryDevice ? Ui_->EveryDeviceButton : Ui_->ThisDeviceButton)
                ->setChecked(true);
        }
        return answer.Ok;
    }
    return exec() == QDialog::Accepted;
}

void TLoginForm::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        UseLanguage(GetCurrentLanguage());
        RetranslateComponent(this);
        ApplyKeyring();
    }
    QDialog::showEvent(event);
}

void TLoginForm::QueueAnswer(bool ok, const std::string& user, const std::string& password, TRemember remember)
{
    g_answers.push_back({ok, user, password, remember});
}

int TLoginForm::TimesShown() { return g_shown; }

std::string TLoginForm::LastShownUser() { return g_shownUser; }
