#include "gui/http/login.h"

#include "core/app/i18n.h"
#include "gui/app/dialogs.h"
#include "gui/app/translate.h"
#include "gui/windows/progressinfo.h"
#include "ui_login.h"

#include <QPushButton>
#include <QShowEvent>

#include <deque>

namespace {
struct TQueuedLogin {
    bool Ok;
    std::string User, Password;
};
std::deque<TQueuedLogin> g_answers;
int g_shown = 0;
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

bool TLoginForm::Execute()
{
    ++g_shown;
    if (Dialogs::Automatic()) {
        if (g_answers.empty())
            return false;
        const TQueuedLogin answer = g_answers.front();
        g_answers.pop_front();
        if (answer.Ok) {
            Ui_->UserEdit->setText(QString::fromStdString(answer.User));
            Ui_->PassEdit->setText(QString::fromStdString(answer.Password));
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
    }
    QDialog::showEvent(event);
}

void TLoginForm::QueueAnswer(bool ok, const std::string& user, const std::string& password)
{
    g_answers.push_back({ok, user, password});
}

int TLoginForm::TimesShown() { return g_shown; }
