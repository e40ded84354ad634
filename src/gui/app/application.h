// Start-up of the windowed program: the application object, the windows in their order, the
// message loop, and the rule that a failure escaping an event handler is shown, not fatal.
#pragma once
#include <QApplication>
#include <QStringList>

#include <string>

class TPyxetApplication : public QApplication {
public:
    TPyxetApplication(int& argc, char** argv);
    // The command line as the program was started with it, the program's name first. Qt takes
    // the options it knows (-reverse, -style ...) out of argc/argv and arguments(); these are
    // kept from before.
    QStringList GivenArguments() const { return Given; }
    // An exception escaping an event handler is shown in an error box and the program goes on.
    bool notify(QObject* receiver, QEvent* event) override;

private:
    QStringList Given;
};

// The arguments the main window decides the demonstration mode from: the given ones after the
// program's name.
QStringList MainFormArguments(const TPyxetApplication& app);

// Creates the windows in their start-up order (main window first), shows the main window, runs
// the message loop and destroys everything in reverse order. Returns the exit code.
int RunPyxet(TPyxetApplication& app);
