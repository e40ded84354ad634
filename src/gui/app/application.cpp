#include "gui/app/application.h"

#include "gui/app/dialogs.h"
#include "gui/app/form.h"
#include "core/app/folders.h"
#include "core/app/i18n.h"
#include "core/app/settings.h"
#include "core/http/http.h"
#include "gui/http/login.h"
#include "gui/http/upgrade.h"
#include "gui/log/logrep.h"
#include "gui/windows/about.h"
#include "gui/windows/progressinfo.h"

#include <clocale>
#include <exception>
#include <memory>

namespace {
QStringList g_givenArguments;

// Runs before QApplication's constructor (it is that constructor's argument), so the arguments
// are copied before Qt removes its own options from argv.
int& KeepGivenArguments(int& argc, char** argv)
{
    g_givenArguments.clear();
    for (int i = 0; i < argc; ++i)
        g_givenArguments << QString::fromLocal8Bit(argv[i]);
    return argc;
}
} // namespace

TPyxetApplication::TPyxetApplication(int& argc, char** argv)
    : QApplication(KeepGivenArguments(argc, argv), argv), Given(g_givenArguments)
{
    // The application title. No display name: the desktop would append it to every window's
    // caption ("Log Report — Pyxet"), and the captions are the program's own texts.
    setApplicationName(QStringLiteral("Pyxet"));
    // The installed desktop entry's name: Wayland desktops find the window's icon through it.
    setDesktopFileName(QStringLiteral("org.example.Pyxet"));
}

bool TPyxetApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        Dialogs::Error(activeWindow(), e.what());
    } catch (...) {
        Dialogs::Error(activeWindow(), _("Unknown error"));
    }
    return false;
}

QStringList MainFormArguments(const TPyxetApplication& app)
{
    return app.GivenArguments().mid(1);
}

namespace {
int RunWindows(TPyxetApplication& app)
{
    std::setlocale(LC_ALL, "");  // the user's locale (QApplication does the same on its own)
    const TProgramFolders& folders = ProgramFolders();
    InitTranslation(folders.AppDir);
    MakeConfigFolder(folders);  // an installed program's first run creates ~/.config/pyxet

    auto mainForm = std::make_unique<TPyxetForm>(MainFormArguments(app), folders.AppDir, folders.ConfigDir);
    auto upgradeForm = std::make_unique<TUpgradeForm>();
    auto progressForm = std::make_unique<TProgressInfoForm>();
    auto loginForm = std::make_unique<TLoginForm>();
    auto aboutBox = std::make_unique<TAboutBox>();
    auto logForm = std::make_unique<TLogActionForm>();
    auto httpModule = std::make_unique<THTTPModule>();
    mainForm->LogReport = logForm.get();
    mainForm->About = aboutBox.get();
    // The transfer windows stay above the main window, as its own.
    for (QWidget* window : std::initializer_list<QWidget*>{upgradeForm.get(), progressForm.get(), loginForm.get()})
        window->setParent(mainForm.get(), window->windowFlags());
    mainForm->Upgrade = upgradeForm.get();
    mainForm->Progress = progressForm.get();
    mainForm->Login = loginForm.get();
    mainForm->Http = httpModule.get();

    // Closing the main window ends the program even while the Log Report window is open.
    QObject::connect(mainForm.get(), &TPyxetForm::FormClosed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    mainForm->show();
    const int code = app.exec();
    // The secondary windows go first, the main window (devices, endpoints) last.
    httpModule.reset();
    logForm.reset();
    aboutBox.reset();
    loginForm.reset();
    progressForm.reset();
    upgradeForm.reset();
    mainForm.reset();
    return code;
}
} // namespace

int RunPyxet(TPyxetApplication& app)
{
    // A failure outside any event handler (building the windows) is shown, then the program ends.
    try {
        return RunWindows(app);
    } catch (const std::exception& e) {
        Dialogs::Error(nullptr, e.what());
    } catch (...) {
        Dialogs::Error(nullptr, _("Unknown error"));
    }
    return 1;
}
