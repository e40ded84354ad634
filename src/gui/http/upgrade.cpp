#include "gui/http/upgrade.h"

TUpgradeForm::TUpgradeForm(QWidget* parent) : QDialog(parent) {}

TUpgradeForm::~TUpgradeForm() = default;
