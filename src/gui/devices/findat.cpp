#include "gui/devices/findat.h"

#include "core/app/i18n.h"
#include "core/devices/addressspec.h"
#include "gui/app/dialogs.h"
#include "gui/app/translate.h"
#include "ui_findat.h"

#include <QPushButton>
#include <QShowEvent>

#include <deque>

namespace {
std::deque<std::string> g_texts;
}

TFindAtForm::TFindAtForm(QWidget* parent) : QDialog(parent), Ui_(std::make_unique<Ui::TFindAtForm>())
{
    Ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(Ui_->OkButton, &QPushButton::clicked, this, [this] {
        if (TakeText())
            accept();
    });
    connect(Ui_->CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    TranslateComponent(this);
    move(Dialogs::DesktopPosition(size()));
}

TFindAtForm::~TFindAtForm() = default;

std::string TFindAtForm::Text() const { return Ui_->AddressEdit->toPlainText().toStdString(); }

void TFindAtForm::SetText(const std::string& text) { Ui_->AddressEdit->setPlainText(QString::fromStdString(text)); }

bool TFindAtForm::TakeText()
{
    const TAddressSpecs specs = ParseAddressSpecs(Text());
    if (!specs.Ok()) {
        Dialogs::Error(this, specs.Error);
        return false;
    }
    Accepted = specs.Addresses;
    return true;
}

bool TFindAtForm::Execute()
{
    if (Dialogs::Automatic()) {
        if (g_texts.empty())
            return false;
        SetText(g_texts.front());
        g_texts.pop_front();
        return TakeText();
    }
    return exec() == QDialog::Accepted;
}

void TFindAtForm::QueueText(const std::string& text) { g_texts.push_back(text); }

void TFindAtForm::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        UseLanguage(GetCurrentLanguage());
        RetranslateComponent(this);
    }
    QDialog::showEvent(event);
}
