// TLoginForm: asks for the HTTP Basic credentials a device wants and keeps them for the run.
#pragma once
#include <QDialog>

class TLoginForm : public QDialog {
    Q_OBJECT
public:
    explicit TLoginForm(QWidget* parent = nullptr);
    ~TLoginForm() override;
};
