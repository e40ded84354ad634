#include "core/app/cmdline.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {
constexpr double kMaxQuitAfterSeconds = 86400;
}

TProgramOptions ParseProgramOptions(int argc, const char* const argv[])
{
    TProgramOptions options;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
            options.Help = true;
        } else if (!std::strcmp(arg, "--quit-after") || !std::strncmp(arg, "--quit-after=", 13)) {
            const char* value = arg[12] == '=' ? arg + 13 : (i + 1 < argc ? argv[++i] : nullptr);
            char* end = nullptr;
            const double seconds = value && *value ? std::strtod(value, &end) : NAN;
            if (!value || !*value || *end || !std::isfinite(seconds) || seconds < 0 || seconds > kMaxQuitAfterSeconds) {
                options.Error =
                    std::string("--quit-after takes seconds from 0 to 86400, not \"") + (value ? value : "") + "\"";
                return options;
            }
            options.QuitAfterMs = static_cast<int>(std::lround(seconds * 1000));
        }
    }
    return options;
}

std::string ProgramHelp(const TProgramFolders& folders)
{
    std::string text =
        "Usage: pyxet [-demo] [--quit-after SECONDS] [Qt options]\n"
        "Finds and configures Orvex and HWG devices on the local network (UDP broadcast to ports\n"
        "57739 and 9999, HTTP to port 80). For scripts there is pyxet-cli.\n"
        "\n"
        "  -demo                 demonstration mode: shows the interface, sends nothing when\n"
        "                        finding (first argument only)\n"
        "  --quit-after SECONDS  closes the window after SECONDS, as its close box does\n"
        "  -h, --help            shows this help and ends\n"
        "      --version         shows the version and ends\n"
        "\n"
        "Data (catalogues, help, pictures): " + folders.AppDir + "\n"
        "Settings: " + folders.ConfigDir + "Pyxet.ini\n";
    if (folders.Installed)
        text += "(installed: $XDG_CONFIG_HOME/pyxet, default ~/.config/pyxet, created on the first run)\n";
    text +=
        "\"Backup Selected\" writes backup/setup_<IP>_.xml, and \"Save...\" offers its file dialog, in\n"
        "the folder Pyxet was started from: the home folder when started from the desktop menu.\n"
        "\n"
        "See the manual page pyxet(1).\n";
    return text;
}
