#include "http/upgrade.h"

TUpgradeForm* UpgradeForm = nullptr;

TUpgradeForm::TUpgradeForm(QWidget* parent) : QDialog(parent)
{
    UpgradeForm = this;  // the latest one created serves the program
}

TUpgradeForm::~TUpgradeForm()
{
    if (UpgradeForm == this)
        UpgradeForm = nullptr;
}
