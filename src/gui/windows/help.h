// Help and the about box TAboutBox.
#pragma once
#include <QDialog>

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;
};


// Frees the help library when one is loaded (the main window calls it when it is destroyed).
void ReleaseHelpLibrary();
