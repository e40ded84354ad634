#include "gui/http/upgrade.h"

#include "core/app/i18n.h"
#include "gui/app/dialogs.h"
#include "gui/app/qtext.h"
#include "gui/app/translate.h"
#include "gui/windows/progressinfo.h"
#include "ui_upgrade.h"

#include <QFileInfo>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

namespace {
// The dialog's designed size, which a configuration transfer keeps.
constexpr int kWidth = 426;
constexpr int kHeight = 121;
}  // namespace

TUpgradeForm::TUpgradeForm(QWidget* parent) : QDialog(parent), Ui_(std::make_unique<Ui::TUpgradeForm>())
{
    Ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // The path is shown, not edited: in the colour of an inactive window's caption text.
    QPalette palette = Ui_->PathEdit->palette();
    palette.setColor(QPalette::Text, palette.color(QPalette::Disabled, QPalette::WindowText));
    Ui_->PathEdit->setPalette(palette);
    Ui_->FirstSpin->setRange(0, kMaxRolloutFirst);
    Ui_->WaveSpin->setRange(0, kMaxRolloutWave);
    Ui_->HaltSpin->setRange(0, kMaxRolloutHalt);
    Ui_->RetriesSpin->setRange(0, kMaxRolloutRetries);
    const int icon = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    Ui_->KindsIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(icon, icon));
    connect(Ui_->BrowseBtn, &QPushButton::clicked, this, [this] { BrowseBtnClick(); });
    connect(Ui_->PathEdit, &QLineEdit::textChanged, this, [this] { PathEditChange(); });
    connect(Ui_->UpgradeBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(Ui_->ExitBtn, &QToolButton::clicked, this, &QDialog::reject);
    connect(Ui_->SkipCheck, &QCheckBox::toggled, Ui_->RevisionEdit, &QWidget::setEnabled);
    Ui_->RevisionEdit->setEnabled(false);
    StandAboveProgress(this);  // a batch command's own dialog
    TranslateComponent(this);
    SetZeroTexts();
    Prepare({}, {}, {});
    move(Dialogs::DesktopPosition(size()));
}

TUpgradeForm::~TUpgradeForm() = default;

void TUpgradeForm::SetZeroTexts()
{
    Ui_->FirstSpin->setSpecialValueText(Q(_("Off")));
    Ui_->WaveSpin->setSpecialValueText(Q(_("As Transfers at Once")));
    Ui_->HaltSpin->setSpecialValueText(Q(_("Never")));
    Ui_->RetriesSpin->setSpecialValueText(Q(_("None")));
}

void TUpgradeForm::Prepare(const std::string& caption, const std::string& buttonCaption, const std::string& filter,
                           bool saving)
{
    setWindowTitle(QString::fromStdString(caption));
    Ui_->UpgradeBtn->setText(QString::fromStdString(buttonCaption));
    Filter = filter;
    Saving = saving;
    Ui_->PathEdit->clear();
    Ui_->KindsPane->hide();
    Ui_->RolloutGroup->hide();
    FitSize();
}

void TUpgradeForm::ShowRollout(const TRolloutSetting& rollout, const TKindsLine& kinds)
{
    Ui_->FirstSpin->setValue(rollout.First);
    Ui_->WaveSpin->setValue(rollout.Wave);
    Ui_->HaltSpin->setValue(rollout.HaltAfter);
    Ui_->RetriesSpin->setValue(rollout.Retries);
    Ui_->SkipCheck->setChecked(rollout.SkipCurrent);
    Ui_->RevisionEdit->setEnabled(rollout.SkipCurrent);
    Ui_->RevisionEdit->clear();  // typed for one batch, never kept
    Ui_->BackupCheck->setChecked(rollout.BackupFirst);
    // Mixed kinds: the warning icon, and why it matters under the line.
    Ui_->KindsIcon->setVisible(kinds.Mixed);
    std::string text = kinds.Text;
    if (kinds.Mixed)
        text += std::string("\n") + _("An image is made for one kind of device: make sure it suits every unit checked.");
    Ui_->KindsLabel->setText(Q(text));
    Ui_->KindsPane->setVisible(!kinds.Text.empty());
    Ui_->RolloutGroup->show();
    FitSize();
}

TRolloutSetting TUpgradeForm::Rollout() const
{
    TRolloutSetting rollout;
    rollout.First = Ui_->FirstSpin->value();
    rollout.Wave = Ui_->WaveSpin->value();
    rollout.HaltAfter = Ui_->HaltSpin->value();
    rollout.Retries = Ui_->RetriesSpin->value();
    rollout.SkipCurrent = Ui_->SkipCheck->isChecked();
    if (rollout.SkipCurrent)
        rollout.ImageRevision = Ui_->RevisionEdit->text().trimmed().toStdString();
    rollout.BackupFirst = Ui_->BackupCheck->isChecked();
    return rollout;
}

void TUpgradeForm::FitSize()
{
    layout()->activate();
    const QSize hint = layout()->totalSizeHint();
    resize(std::max(kWidth, hint.width()), std::max(kHeight, hint.height()));
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
        SetZeroTexts();
        FitSize();
    }
    QDialog::showEvent(event);
}
