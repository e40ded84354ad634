// Help and the about box TAboutBox.
#pragma once
#include <QDialog>

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;
};

// The one TAboutBox of the running program (set by the start-up; tests set their own).
extern TAboutBox* AboutBox;

// Frees the help library when one is loaded (the main window calls it when it is destroyed).
void ReleaseHelpLibrary();
