// Start-up of the windowed program: the application object, the windows in their order, the
// message loop, and the rule that a failure escaping an event handler is shown, not fatal.
#pragma once
#include <QApplication>

#include <string>

class TPyxetApplication : public QApplication {
public:
    TPyxetApplication(int& argc, char** argv);
    // An exception escaping an event handler is shown in an error box and the program goes on.
    bool notify(QObject* receiver, QEvent* event) override;
};

// Creates the windows in their start-up order (main window first), shows the main window, runs
// the message loop and destroys everything in reverse order. Returns the exit code.
int RunPyxet(TPyxetApplication& app);
