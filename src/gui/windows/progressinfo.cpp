#include "gui/windows/progressinfo.h"

TProgressInfoForm::TProgressInfoForm(QWidget* parent) : QDialog(parent) {}

TProgressInfoForm::~TProgressInfoForm() = default;
