// TProgressInfoForm: the progress window of batch commands.
#pragma once
#include <QDialog>

class TProgressInfoForm : public QDialog {
    Q_OBJECT
public:
    explicit TProgressInfoForm(QWidget* parent = nullptr);
    ~TProgressInfoForm() override;
};
