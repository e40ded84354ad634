#include "http/login.h"

TLoginForm* LoginForm = nullptr;

TLoginForm::TLoginForm(QWidget* parent) : QDialog(parent) {}

TLoginForm::~TLoginForm()
{
    if (LoginForm == this)
        LoginForm = nullptr;
}
