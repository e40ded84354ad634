// TUpgradeForm: the firmware image file dialog of the firmware upgrade.
#pragma once
#include <QDialog>

class TUpgradeForm : public QDialog {
    Q_OBJECT
public:
    explicit TUpgradeForm(QWidget* parent = nullptr);
    ~TUpgradeForm() override;
};
