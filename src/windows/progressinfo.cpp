#include "windows/progressinfo.h"

TProgressInfoForm* ProgressInfoForm = nullptr;

TProgressInfoForm::TProgressInfoForm(QWidget* parent) : QDialog(parent)
{
    ProgressInfoForm = this;  // the latest one created serves the program
}

TProgressInfoForm::~TProgressInfoForm()
{
    if (ProgressInfoForm == this)
        ProgressInfoForm = nullptr;
}
