#include "gui/http/login.h"

TLoginForm::TLoginForm(QWidget* parent) : QDialog(parent) {}

TLoginForm::~TLoginForm() = default;
