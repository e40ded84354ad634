#include "gui/http/upgrade.h"

#include "core/app/i18n.h"
#include "gui/app/dialogs.h"
#include "gui/app/translate.h"
#include "gui/windows/progressinfo.h"
#include "ui_upgrade.h"

#include <QFileInfo>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>

TUpgradeForm::TUpgradeForm(QWidget* parent) : QDialog(parent), Ui_(std::make_unique<Ui::TUpgradeForm>())
{
    Ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // The path is shown, not edited: in the colour of an inactive window's caption text.
    QPalette palette = Ui_->PathEdit->palette();
    palette.setColor(QPalette::Text, palette.color(QPalette::Disabled, QPalette::WindowText));
    Ui_->PathEdit->setPalette(palette);
    connect(Ui_->BrowseBtn, &QPushButton::clicked, this, [this] { BrowseBtnClick(); });
    connect(Ui_->PathEdit, &QLineEdit::textChanged, this, [this] { PathEditChange(); });
    connect(Ui_->UpgradeBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(Ui_->ExitBtn, &QToolButton::clicked, this, &QDialog::reject);
    StandAboveProgress(this);  // a batch command's own dialog
    TranslateComponent(this);
    move(Dialogs::DesktopPosition(size()));
}

TUpgradeForm::~TUpgradeForm() = default;

void TUpgradeForm::Prepare(const std::string& caption, const std::string& buttonCaption, const std::string& filter,
                           bool saving)
{
    setWindowTitle(QString::fromStdString(caption));
    Ui_->UpgradeBtn->setText(QString::fromStdString(buttonCaption));
    Filter = filter;
    Saving = saving;
    Ui_->PathEdit->clear();
}

std::string TUpgradeForm::FileName() const { return Ui_->PathEdit->text().toStdString(); }

void TUpgradeForm::BrowseBtnClick()
{
    const std::string path =
        Saving ? Dialogs::SaveFileName(this, "", Filter) : Dialogs::AnyFileName(this, "", Filter);
    if (!path.empty())
        Ui_->PathEdit->setText(QFileInfo(QString::fromStdString(path)).absoluteFilePath());
}

void TUpgradeForm::PathEditChange() { Ui_->UpgradeBtn->setEnabled(!Ui_->PathEdit->text().isEmpty()); }

bool TUpgradeForm::Execute()
{
    if (Dialogs::Automatic()) {
        BrowseBtnClick();
        return !Ui_->PathEdit->text().isEmpty();
    }
    return exec() == QDialog::Accepted;
}

void TUpgradeForm::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        UseLanguage(GetCurrentLanguage());
        RetranslateComponent(this);
    }
    QDialog::showEvent(event);
}
