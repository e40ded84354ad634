// pyxet-cli: the same discovery and device code as the window, for scripts and tests.
//
//   pyxet-cli find [--wait SECONDS] [--json] [--log]
//   pyxet-cli set | restart | factory-default TARGET ...   (see commands.h)
//   pyxet-cli upgrade | backup | restore | save | load ...  (see transfers.cpp)
//
// runs one discovery cycle through the two family endpoints, collects answers for SECONDS
// (default 2) and prints the registered devices in list order: their display lines, or with
// --json an array of objects. --log copies every action-log line to standard error as
// LEVEL<TAB>message.
//
// Exit status of every command: 0 on success (find: also when no device answers), 1 when
// standard output could not be written (a full disk, a closed descriptor), 2 for a wrong command
// line or a UDP socket that cannot be opened. A reader that goes away early (`| head`) ends the
// program by SIGPIPE, as it does other tools.
#include "cli/commands.h"
#include "cli/session.h"
#include "cli/transfers.h"
#include "core/app/i18n.h"
#include "core/app/settings.h"
#include "core/devices/discovery.h"
#include "core/devices/registry.h"
#include "core/devices/udpserver.h"
#include "core/devices/utils.h"
#include "core/log/actionlog.h"
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
#include <string>
#include <string_view>

namespace {

constexpr int kExitOutputLost = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoSocket = 2;
constexpr double kMaxWaitSeconds = 86400;

const char* const kUsage = "usage: pyxet-cli find [--wait SECONDS] [--json] [--log]\n";
const char* const kHelpFooter =
    "       pyxet-cli --help | --version\n"
    "\n"
    "Finds and configures Orvex and HWG devices on the local network, as the window of pyxet does.\n"
    "  --wait SECONDS  how long answers are collected (default 2)\n"
    "  --json          the result as JSON\n"
    "  --log           every action-log line on standard error, as LEVEL<TAB>message\n"
    "  -h, --help      shows this help and ends\n"
    "      --version   shows the version and ends\n"
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
    double WaitSeconds = 2.0;
    bool Json = false;
    bool Log = false;
};

// Reads the command line; on a mistake says what is wrong on standard error and returns false.
bool ParseFindOptions(int argc, char* argv[], TFindOptions& options)
{
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json") {
            options.Json = true;
        } else if (arg == "--log") {
            options.Log = true;
        } else if (arg == "--wait" || arg.rfind("--wait=", 0) == 0) {
            std::string value;
            if (arg == "--wait") {
                if (i + 1 >= argc) {
                    std::fprintf(stderr, "pyxet-cli: --wait needs a number of seconds\n");
                    return false;
                }
                value = argv[++i];
            } else {
                value = arg.substr(std::strlen("--wait="));
            }
            // Read in the C locale: "0.5" means half a second whatever the user's locale.
            bool ok = false;
            const double seconds = QByteArray::fromStdString(value).toDouble(&ok);
            if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > kMaxWaitSeconds) {
                std::fprintf(stderr, "pyxet-cli: --wait takes seconds from 0 to %g, not \"%s\"\n", kMaxWaitSeconds,
                             value.c_str());
                return false;
            }
            options.WaitSeconds = seconds;
        } else {
            std::fprintf(stderr, "pyxet-cli: unknown option \"%s\"\n", arg.c_str());
            return false;
        }
    }
    return true;
}

const char* FamilyName(const TProduct& device)
{
    if (dynamic_cast<const TProductOrvex*>(&device))
        return "Orvex";
    if (dynamic_cast<const TProductHwg*>(&device))
        return "HWG";
    return "";
}

// One device as a JSON object: the fields of its record in their order, then Family and Line.
std::string JsonDevice(const TDeviceEntry& entry)
{
    const TProductInfo info = entry.Device->CopyInfo();
    auto text = [](const char* key, const std::string& value) { return "\"" + std::string(key) + "\": " + JsonString(value); };
    auto number = [](const char* key, long value) { return "\"" + std::string(key) + "\": " + std::to_string(value); };
    auto flag = [](const char* key, bool value) { return "\"" + std::string(key) + "\": " + (value ? "true" : "false"); };
    const std::string fields[] = {
        number("TypeCode", info.TypeCode),  text("TypeName", info.TypeName),
        text("MAC", info.MAC),              text("Name", info.Name),
        text("PeerIP", info.PeerIP),        text("IP", info.IP),
        text("Mask", info.Mask),            text("Gateway", info.Gateway),
        text("DNS1", info.DNS1),            text("DNS2", info.DNS2),
        number("Dhcp", info.Dhcp),          text("FirmwareRev", info.FirmwareRev),
        number("HTTPPort", info.HTTPPort),  number("TelnetPort", info.TelnetPort),
        flag("CanSetDefault", info.CanSetDefault), flag("CanRestart", info.CanRestart),
        text("Family", FamilyName(*entry.Device)), text("Line", entry.Line),
    };
    std::string out = "{";
    for (const std::string& field : fields)
        out += (out.size() > 1 ? ", " : "") + field;
    return out + "}";
}

void PrintDevices(const TDeviceRegistry& list, bool json, TOutput& out)
{
    const auto& devices = list.DeviceList();
    if (!json) {
        for (const TDeviceEntry& entry : devices)
            out.Write(entry.Line + "\n");
        return;
    }
    if (devices.empty()) {
        out.Write("[]\n");
        return;
    }
    out.Write("[\n");
    for (size_t i = 0; i < devices.size(); ++i)
        out.Write("  " + JsonDevice(devices[i]) + (i + 1 < devices.size() ? ",\n" : "\n"));
    out.Write("]\n");
}

int Find(const TFindOptions& options, TOutput& out)
{
    TCliSession session(options.Log);
    TUDPServer orvexServer;
    TUDPServer hwgServer;
    TDeviceRegistry list;
    if (!RunDiscovery(session.Settings, options.WaitSeconds, orvexServer, hwgServer, list))
        return kExitNoSocket;

    // No more answers are taken while the list is printed and freed.
    orvexServer.OnRead = nullptr;
    hwgServer.OnRead = nullptr;
    PrintDevices(list, options.Json, out);
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
    if (command == "--help" || command == "-h") {
        out.Write(kUsage);
        out.Write(kDeviceCommandsUsage);
        out.Write(TransferUsage());
        out.Write(kHelpFooter);
        out.Write("Settings read from: " + SettingsPath(SettingsFolder()) + "\n");
        out.Write("See 'pyxet-cli COMMAND --help' and the manual page pyxet-cli(1).\n");
        return out.Finish(0);
    }
    if (IsDeviceCommand(command.c_str()))
        return out.Finish(RunDeviceCommand(argc, argv));  // its lines go to stdout too: Finish checks them
    if (IsTransferCommand(command.c_str()))
        return out.Finish(RunTransferCommand(argc, argv));
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
