// pyxet-cli: the same discovery and device code as the window, for scripts and tests.
//
//   pyxet-cli find [--wait SECONDS] [--interface NAME]... [--target SPEC]... [--repeat N] [--json | --csv] [--log]
//   pyxet-cli set | restart | factory-default TARGET ...   (see commands.h)
//   pyxet-cli upgrade | backup | restore | save | load ...  (see transfers.cpp)
//   pyxet-cli plan make | apply | undo ...                  (see plan.h)
//   pyxet-cli diff | history | drift ...                    (see configs.h)
//   pyxet-cli login set | list | forget ...                  (see login.h)
//
// Every command is read by CLI11 (cli/commandline.h): `pyxet-cli COMMAND --help` explains one,
// and options take "--opt VALUE" or "--opt=VALUE". `find` runs one discovery cycle through the
// two family endpoints (options: cli/session.h), collects answers for SECONDS (default 2) after
// the last request and prints the registered devices in list order: their display lines, or with
// --json an array of objects, or with --csv a CSV table with the same fields (the window's "Export
// Device List..." writes the same). --log copies every action-log line to standard error as
// LEVEL<TAB>message.
//
// Exit status of every command: 0 on success (find: also when no device answers), 1 when an
// operation failed or standard output could not be written (a full disk, a closed descriptor),
// 2 when the command could not start (a wrong command line, an unreadable file, a UDP socket
// that cannot be opened), 3 when no answer came where one was awaited (commands.h). A reader
// that goes away early (`| head`) ends the program by SIGPIPE, as it does other tools.
#include "cli/exitstatus.h"
#include "cli/commandline.h"
#include "cli/commands.h"
#include "cli/configs.h"
#include "cli/watchcmd.h"
#include "cli/login.h"
#include "cli/plan.h"
#include "cli/session.h"
#include "cli/transfers.h"
#include "core/app/i18n.h"
#include "core/app/settings.h"
#include "core/app/version.h"
#include "core/devices/registry.h"
#include "core/devices/udpserver.h"
#include "core/devices/utils.h"
#include "core/discovery/discovery.h"
#include "core/discovery/export.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
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
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kExitOutputLost = kExitFailed;  // an operation failed: writing the output

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
    "       pyxet-cli COMMAND --help\n"
    "       pyxet-cli --help | --version\n"
    "\n"
    "Finds and configures Orvex and HWG devices on the local network, as the window of pyxet does.\n"
    "Options take their value as --opt VALUE or --opt=VALUE.\n"
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
    "Orvex device; plan: none of the plan's devices; diff, drift: the device). diff and drift:\n"
    "0 equal, 1 different. 128+N a transfer stopped by signal N.\n"
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
        return kExitNoStart;

    // No more answers are taken while the list is printed and freed.
    orvexServer.OnRead = nullptr;
    hwgServer.OnRead = nullptr;
    PrintDevices(list, options, out);
    list.FreeDevices();
    return 0;
}

// find: its options, checked once the line is read; the body lists the devices.
void AddFindCommand(CLI::App& app, TCommandBody& body, TOutput& out)
{
    struct TArgs {
        TDiscoveryArgs Discovery;
        bool Json = false;
        bool Csv = false;
        bool Log = false;
        std::vector<std::string> Extra;
    };
    auto args = std::make_shared<TArgs>();
    CLI::App* find = AddCommand(app, "find", "lists the devices that answer", UsageLines(kUsage, "find"),
                                [] { return std::string(kFindHelp); });
    AddDiscoveryOptions(*find, args->Discovery);
    AddFlag(*find, "--json", args->Json, "the result as JSON");
    AddFlag(*find, "--csv", args->Csv, "the result as CSV");
    AddFlag(*find, "--log", args->Log, "every action-log line on standard error, as LEVEL<TAB>message");
    AddArguments(*find, "EXTRA", args->Extra, "")->group("");  // named below as not taken
    find->callback([find, args, &body, &out] {
        RefuseUnknownOptions(*find);
        if (!args->Extra.empty())
            Refuse(Format("find takes no argument \"%s\"", args->Extra.front().c_str()));
        if (args->Json && args->Csv)
            Refuse("--json and --csv exclude each other");
        TFindOptions options;
        options.Discovery = ReadDiscoveryOptions(args->Discovery);
        options.Json = args->Json;
        options.Csv = args->Csv;
        options.Log = args->Log;
        body = [options, &out] { return Find(options, out); };
    });
}

// The help of `pyxet-cli --help`: every command's usage and the exit statuses.
std::string ProgramHelp()
{
    return std::string(kUsage) + kDeviceCommandsUsage + kFindHelp + TransferUsage() + kPlanUsage + ConfigUsage() + WatchUsage() + kLoginUsage
           + kHelpFooter
           + "Settings read from: " + SettingsPath(SettingsFolder()) + "\n"
           + "See 'pyxet-cli COMMAND --help' and the manual page pyxet-cli(1).\n";
}

}  // namespace

int main(int argc, char* argv[])
{
    std::setlocale(LC_ALL, "");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Pyxet"));

    TOutput out;
    CLI::App line("", "pyxet-cli");
    SetCommandUsage(line, kUsage);
    line.allow_extras();  // an unknown command is named below
    line.require_subcommand(0, 1);
    line.set_help_flag("-h,--help", "shows this help and ends");
    bool version = false;
    line.add_flag("--version", version, "shows the version and ends");
    TCommandBody body;
    AddFindCommand(line, body, out);
    AddDeviceCommands(line, body);
    AddTransferCommands(line, body);
    AddPlanCommands(line, body);
    AddConfigCommands(line, body);
    AddWatchCommands(line, body);
    AddLoginCommands(line, body);

    try {
        line.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out.Write(line.get_subcommands().empty() ? ProgramHelp() : CommandHelp(line));
        return out.Finish(0);
    } catch (const CLI::ParseError& error) {
        std::fputs(CommandLineMistake(line, error).c_str(), stderr);
        return kExitNoStart;
    }
    if (version) {
        out.Write(std::string("pyxet-cli ") + ProgramVersion() + "\n");
        return out.Finish(0);
    }
    if (!body) {  // no command, or one that does not exist
        if (!line.remaining().empty())
            std::fprintf(stderr, "pyxet-cli: unknown command '%s'\n", line.remaining().front().c_str());
        std::fputs(kUsage, stderr);
        std::fputs("See 'pyxet-cli --help'.\n", stderr);
        return kExitNoStart;
    }
    return out.Finish(body());  // the commands' lines go to stdout too: Finish checks them
}
