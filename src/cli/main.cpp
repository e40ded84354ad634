// pyxet-cli: the same discovery and device code as the window, for scripts and tests.
//
//   pyxet-cli find [--wait SECONDS] [--interface NAME]... [--target SPEC]... [--repeat N] [--json | --csv] [--log]
//   pyxet-cli set | restart | factory-default TARGET ...   (see commands.h)
//   pyxet-cli upgrade | backup | restore | save | load ...  (see transfers.cpp)
//   pyxet-cli plan make | apply | undo ...                  (see plan.h)
//
// runs one discovery cycle through the two family endpoints (options: cli/session.h), collects
// answers for SECONDS (default 2) after the last request and prints the registered devices in
// list order: their display lines, or with --json an array of objects, or with --csv a CSV table
// with the same fields (the window's "Export Device List..." writes the same). --log copies every
// action-log line to standard error as LEVEL<TAB>message.
//
// Exit status of every command: 0 on success (find: also when no device answers), 1 when an
// operation failed or standard output could not be written (a full disk, a closed descriptor),
// 2 when the command could not start (a wrong command line, an unreadable file, a UDP socket
// that cannot be opened), 3 when no answer came where one was awaited (commands.h). A reader that goes away early (`| head`) ends the
// program by SIGPIPE, as it does other tools.
#include "cli/commands.h"
#include "cli/plan.h"
#include "cli/session.h"
#include "cli/transfers.h"
#include "core/app/i18n.h"
#include "core/app/settings.h"
#include "core/app/version.h"
#include "core/discovery/discovery.h"
#include "core/discovery/export.h"
#include "core/devices/registry.h"
#include "core/devices/udpserver.h"
#include "core/devices/utils.h"
#include "core/log/actionlog.h"
#include "core/log/safetext.h"
#include "core/protocols/hwg/packets.h"
#include "core/protocols/orvex/packets.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QTimer>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr int kExitOutputLost = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoSocket = 2;

const char* const kUsage =
    "usage: pyxet-cli find [--wait SECONDS] [--interface NAME]... [--target SPEC]... [--repeat N] [--json | --csv] [--log]\n";
const char* const kFindHelp =
    "find: each family's request goes to 255.255.255.255 and to the directed broadcast of every\n"
    "other interface (--interface NAME: that interface's only, repeatable). --target asks an\n"
    "address, a range (10.1.2.10-10.1.2.50) or a CIDR block (10.1.2.0/24) by unicast, repeatable,\n"
    "at most 65536 addresses: 2000 addresses a second behind a router (a /16 takes about 33 s),\n"
    "250 a second on an attached subnet. --repeat N sends each request N times, 250 ms apart\n"
    "(1-5, default [Discovery] Repeat of the settings file). --wait counts from the last request.\n";
const char* const kHelpFooter =
    "       pyxet-cli --help | --version\n"
    "\n"
    "Finds and configures Orvex and HWG devices on the local network, as the window of pyxet does.\n"
    "  --wait SECONDS  how long answers are collected after the last request (default 2)\n"
    "  --json          the result as JSON\n"
    "  --csv           the result as CSV (find)\n"
    "  --log           every action-log line on standard error, as LEVEL<TAB>message\n"
    "  -h, --help      shows this help and ends\n"
    "      --version   shows the version and ends\n"
    "\n"
    "Exit status: 0 success (find: also when no device answers); 1 an operation failed or the\n"
    "output could not be written; 2 the command could not start (wrong command line, unreadable\n"
    "file, no UDP socket); 3 no answer where one was awaited (set, restart, factory-default on an\n"
    "Orvex device; plan: none of the plan's devices); 128+N a transfer stopped by signal N.\n"
    "\n";

// Standard output of the commands: everything they print goes through Write, and Finish decides
// the exit status. The first failed write or flush is remembered; Finish reports it on standard
// error in one line and turns the command's success into kExitOutputLost, so that lost output
// is never reported as success. A command that failed already keeps its own status.
class TOutput {
public:
    void Write(std::string_view text)
    {
        if (Error != 0)
            return;  // the rest would be lost as well
        errno = 0;
        // A buffered write can fail inside fwrite and still count as written: ferror tells.
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::ferror(stdout))
            Error = errno != 0 ? errno : EIO;
    }

    int Finish(int status)
    {
        errno = 0;
        if (std::fflush(stdout) != 0 && Error == 0)
            Error = errno != 0 ? errno : EIO;
        if (Error == 0 && std::ferror(stdout))
            Error = EIO;
        if (Error == 0)
            return status;
        std::fprintf(stderr, "pyxet-cli: cannot write to standard output: %s\n", std::strerror(Error));
        return status == 0 ? kExitOutputLost : status;
    }

private:
    int Error = 0;
};

struct TFindOptions {
    TDiscoveryOptions Discovery;
    bool Json = false;
    bool Csv = false;
    bool Log = false;
};

// Reads the command line; on a mistake says what is wrong on standard error and returns false.
bool ParseFindOptions(int argc, char* argv[], TFindOptions& options)
{
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--json" || arg == "--csv") {
            (arg == "--json" ? options.Json : options.Csv) = true;
            if (options.Json && options.Csv) {
                std::fprintf(stderr, "pyxet-cli: --json and --csv exclude each other\n");
                return false;
            }
            continue;
        }
        if (arg == "--log") {
            options.Log = true;
            continue;
        }
        // The discovery options take a value: "--opt VALUE" or "--opt=VALUE".
        std::optional<std::string> value;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
        }
        if (!IsDiscoveryOption(arg)) {
            std::fprintf(stderr, "pyxet-cli: unknown option \"%s\"\n", arg.c_str());
            return false;
        }
        if (!value) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "pyxet-cli: %s needs a value\n", arg.c_str());
                return false;
            }
            value = argv[++i];
        }
        std::string error;
        if (!TakeDiscoveryOption(arg, *value, options.Discovery, error)) {
            std::fprintf(stderr, "pyxet-cli: %s\n", error.c_str());
            return false;
        }
    }
    return true;
}

void PrintDevices(const TDeviceRegistry& list, const TFindOptions& options, TOutput& out)
{
    if (options.Json || options.Csv) {
        out.Write(FormatDeviceList(ExportDevices(list), options.Json ? TExportFormat::Json : TExportFormat::Csv));
        return;
    }
    // One line a device whatever its texts hold (JSON and CSV above carry them exactly).
    for (const TDeviceEntry& entry : list.DeviceList())
        out.Write(SafeText(entry.Line) + "\n");
}

int Find(const TFindOptions& options, TOutput& out)
{
    TCliSession session(options.Log);
    TUDPServer orvexServer;
    TUDPServer hwgServer;
    TDeviceRegistry list;
    if (!RunDiscovery(session.Settings, options.Discovery, orvexServer, hwgServer, list))
        return kExitNoSocket;

    // No more answers are taken while the list is printed and freed.
    orvexServer.OnRead = nullptr;
    hwgServer.OnRead = nullptr;
    PrintDevices(list, options, out);
    list.FreeDevices();
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    std::setlocale(LC_ALL, "");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Pyxet"));

    TOutput out;
    const std::string command = argc >= 2 ? argv[1] : "";
    if (command == "--version") {
        out.Write(std::string("pyxet-cli ") + ProgramVersion() + "\n");
        return out.Finish(0);
    }
    if (command == "--help" || command == "-h") {
        out.Write(kUsage);
        out.Write(kDeviceCommandsUsage);
        out.Write(kFindHelp);
        out.Write(TransferUsage());
        out.Write(kPlanUsage);
        out.Write(kHelpFooter);
        out.Write("Settings read from: " + SettingsPath(SettingsFolder()) + "\n");
        out.Write("See 'pyxet-cli COMMAND --help' and the manual page pyxet-cli(1).\n");
        return out.Finish(0);
    }
    if (IsDeviceCommand(command.c_str()))
        return out.Finish(RunDeviceCommand(argc, argv));  // its lines go to stdout too: Finish checks them
    if (IsTransferCommand(command.c_str()))
        return out.Finish(RunTransferCommand(argc, argv));
    if (IsPlanCommand(command.c_str()))
        return out.Finish(RunPlanCommand(argc, argv));
    if (command == "find") {
        TFindOptions options;
        if (!ParseFindOptions(argc, argv, options)) {
            std::fputs(kUsage, stderr);
            return kExitUsage;
        }
        return out.Finish(Find(options, out));
    }
    if (argc >= 2)
        std::fprintf(stderr, "pyxet-cli: unknown command '%s'\n", command.c_str());
    std::fputs(kUsage, stderr);
    return kExitUsage;
}
