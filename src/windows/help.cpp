#include "windows/help.h"

TAboutBox* AboutBox = nullptr;

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    AboutBox = this;  // the latest one created serves the program
}

TAboutBox::~TAboutBox()
{
    if (AboutBox == this)
        AboutBox = nullptr;
}

void ReleaseHelpLibrary() {}
