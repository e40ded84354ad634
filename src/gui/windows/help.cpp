#include "gui/windows/help.h"

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {}

TAboutBox::~TAboutBox() = default;

void ReleaseHelpLibrary() {}
