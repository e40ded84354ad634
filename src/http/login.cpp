#include "http/login.h"

TLoginForm* LoginForm = nullptr;

TLoginForm::TLoginForm(QWidget* parent) : QDialog(parent)
{
    LoginForm = this;  // the latest one created serves the program
}

TLoginForm::~TLoginForm()
{
    if (LoginForm == this)
        LoginForm = nullptr;
}
