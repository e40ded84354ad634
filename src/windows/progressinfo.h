// TProgressInfoForm: the progress window of batch commands.
#pragma once
#include <QDialog>

class TProgressInfoForm : public QDialog {
    Q_OBJECT
public:
    explicit TProgressInfoForm(QWidget* parent = nullptr);
    ~TProgressInfoForm() override;
};

// The one TProgressInfoForm of the running program (set when it is created, cleared when it is destroyed).
extern TProgressInfoForm* ProgressInfoForm;
