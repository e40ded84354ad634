// Pyxet: finds and configures Orvex and HWG network devices.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/app/version.h"
#include "core/app/cmdline.h"
#include "core/app/folders.h"
#include "gui/app/application.h"

#include <QTimer>

namespace {

// Qt's default platform needs a display and aborts without one; the user gets one line instead.
bool HasDisplay(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[])
{
    // Answered before anything of the window exists, so it works without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Pyxet %s\n", ProgramVersion());
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    // Read before any window exists: --help needs no display.
    const TProgramOptions options = ParseProgramOptions(argc, argv);
    if (!options.Error.empty()) {
        std::fprintf(stderr, "pyxet: %s\nTry 'pyxet --help'.\n", options.Error.c_str());
        return 2;
    }
    if (options.Help) {
        std::fputs(ProgramHelp(ProgramFolders()).c_str(), stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    if (!HasDisplay(argc, argv)) {
        std::fputs(
            "pyxet: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are not set); "
            "start it in a desktop session, or under xvfb-run\n",
            stderr);
        return 1;
    }
    TPyxetApplication app(argc, argv);
    if (options.QuitAfterMs >= 0)
        QTimer::singleShot(options.QuitAfterMs, &app, &QApplication::closeAllWindows);
    return RunPyxet(app);
}
