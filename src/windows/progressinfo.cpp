#include "windows/progressinfo.h"

TProgressInfoForm* ProgressInfoForm = nullptr;

TProgressInfoForm::TProgressInfoForm(QWidget* parent) : QDialog(parent) {}

TProgressInfoForm::~TProgressInfoForm()
{
    if (ProgressInfoForm == this)
        ProgressInfoForm = nullptr;
}
