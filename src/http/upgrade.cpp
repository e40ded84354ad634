#include "http/upgrade.h"

TUpgradeForm* UpgradeForm = nullptr;

TUpgradeForm::TUpgradeForm(QWidget* parent) : QDialog(parent) {}

TUpgradeForm::~TUpgradeForm()
{
    if (UpgradeForm == this)
        UpgradeForm = nullptr;
}
