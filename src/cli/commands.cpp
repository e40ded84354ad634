// pyxet-cli set, restart and factory-default: one discovery cycle, the target device, the
// setup panel's command, and for an Orvex device the wait for its answer.
#include "cli/commands.h"

#include "cli/session.h"

#include "core/app/i18n.h"
#include "core/app/settings.h"
#include "core/discovery/discovery.h"
#include "core/devices/registry.h"
#include "core/devices/udpserver.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/protocols/orvex/product.h"
#include "core/setup/commands.h"
#include "core/setup/target.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

const char* const kDeviceCommandsUsage =
    "       pyxet-cli set TARGET [--name TEXT] [--ip ADDR] [--mask ADDR] [--gateway ADDR] [--dns1 ADDR]\n"
    "                     [--dns2 ADDR] [--dhcp 0|1] [--http-port N] [--telnet-port N] [DISCOVERY] [--log]\n"
    "       pyxet-cli restart TARGET [DISCOVERY] [--log]\n"
    "       pyxet-cli factory-default TARGET [DISCOVERY] [--log]\n"
    "TARGET: a MAC address or the address the device answered from. DISCOVERY: the options of\n"
    "find, [--wait SECONDS] [--interface NAME]... [--target SPEC]... [--repeat N]; the command goes\n"
    "to the device the way it answered (its interface's broadcast, or its address behind a router).\n";

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoSocket = 2;
constexpr int kExitNoAnswer = 3;

enum class TCommand { Set, Restart, FactoryDefault };

// The setup values `set` takes, with the field of the request each one goes to.
struct TValueOption {
    const char* Name;
    std::string TSetupValues::*Text;  // null for --dhcp
    bool TSentFields::*Sent;
};
const TValueOption kValueOptions[] = {
    {"--name", &TSetupValues::Name, &TSentFields::Name},
    {"--ip", &TSetupValues::IP, &TSentFields::IP},
    {"--mask", &TSetupValues::Mask, &TSentFields::Mask},
    {"--gateway", &TSetupValues::Gateway, &TSentFields::Gateway},
    {"--dns1", &TSetupValues::DNS1, &TSentFields::DNS1},
    {"--dns2", &TSetupValues::DNS2, &TSentFields::DNS2},
    {"--dhcp", nullptr, &TSentFields::Dhcp},
    {"--http-port", &TSetupValues::HTTPPort, &TSentFields::HTTPPort},
    {"--telnet-port", &TSetupValues::TelnetPort, &TSentFields::TelnetPort},
};

struct TCommandLine {
    TCommand Command = TCommand::Set;
    TTarget Target;
    TDiscoveryOptions Discovery;
    bool Log = false;
    std::vector<std::pair<const TValueOption*, std::string>> Values;  // in the order given
};

bool Wrong(const std::string& message)
{
    std::fprintf(stderr, "pyxet-cli: %s\n", message.c_str());
    return false;
}

// Reads the command line; on a mistake says what is wrong on standard error and returns false.
bool ParseCommandLine(int argc, char* argv[], TCommandLine& line)
{
    const std::string name = argv[1];
    line.Command = name == "set" ? TCommand::Set : name == "restart" ? TCommand::Restart : TCommand::FactoryDefault;
    std::optional<std::string> target;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0) {
            if (target)
                return Wrong(Format("only one TARGET, not also \"%s\"", arg.c_str()));
            target = arg;
            continue;
        }
        if (arg == "--log") {
            line.Log = true;
            continue;
        }
        // Every other option takes a value: "--opt VALUE" or "--opt=VALUE".
        std::optional<std::string> value;
        if (const auto eq = arg.find('='); eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
        }
        const TValueOption* option = nullptr;
        for (const TValueOption& candidate : kValueOptions)
            if (arg == candidate.Name)
                option = &candidate;
        if (!IsDiscoveryOption(arg) && (!option || line.Command != TCommand::Set))
            return Wrong(Format("unknown option \"%s\"", arg.c_str()));
        if (!value) {
            if (i + 1 >= argc)
                return Wrong(Format("%s needs a value", arg.c_str()));
            value = argv[++i];
        }
        if (IsDiscoveryOption(arg)) {
            std::string error;
            if (!TakeDiscoveryOption(arg, *value, line.Discovery, error))
                return Wrong(error);
            continue;
        }
        if (!option->Text && *value != "0" && *value != "1")
            return Wrong(Format("--dhcp takes 0 or 1, not \"%s\"", value->c_str()));
        for (const auto& given : line.Values)
            if (given.first == option)
                return Wrong(Format("%s given twice", option->Name));
        line.Values.emplace_back(option, *value);
    }
    if (!target)
        return Wrong("a TARGET is needed");
    const std::optional<TTarget> parsed = ParseTarget(*target);
    if (!parsed)
        return Wrong(Format("TARGET \"%s\" is neither a MAC address nor a dotted address", target->c_str()));
    line.Target = *parsed;
    if (line.Command == TCommand::Set && line.Values.empty())
        return Wrong("set needs at least one value to change");
    return true;
}

// The one output line (main checks that standard output took it). Control characters in a reason (it may quote what the user typed)
// become blanks, so the line stays one line of tab-separated fields.
void PrintResult(const std::string& mac, const std::string& peerIP, const std::string& reason = {})
{
    if (reason.empty()) {
        std::printf("%s\t%s\tok\n", mac.c_str(), peerIP.c_str());
        return;
    }
    std::string clean = reason;
    for (char& c : clean)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    std::printf("%s\t%s\tfailed\t%s\n", mac.c_str(), peerIP.c_str(), clean.c_str());
}

// Questions are answered Yes without asking; a refusal is kept to be printed.
class TScriptAsker : public TSetupAsker {
public:
    bool Confirm(const std::string&) override { return true; }
    void Refuse(const std::string& message) override { Refusal = message; }
    std::string Refusal;
};

// The options `set` was given that the request for this device would not carry.
std::string NotCarried(const TProduct& device, const TCommandLine& line, int32_t dhcp)
{
    const TSentFields sent = device.SentFields(dhcp);
    std::string names;
    for (const auto& [option, value] : line.Values)
        if (!(sent.*(option->Sent)))
            names += (names.empty() ? "" : ", ") + std::string(option->Name);
    return names;
}

// Runs the command on the device; returns the exit status after printing the line.
int Act(TProduct& device, const TCommandLine& line)
{
    const TProductInfo info = device.CopyInfo();
    auto* orvex = dynamic_cast<TProductOrvex*>(&device);
    std::optional<int> answer;
    QEventLoop waiting;
    if (orvex)
        orvex->OnCommandAnswer = [&answer, &waiting](int errorCode) {
            if (!answer)
                answer = errorCode;
            waiting.quit();
        };

    TScriptAsker asker;
    TCommandOutcome outcome = TCommandOutcome::NoDevice;
    switch (line.Command) {
    case TCommand::Set: {
        TSetupValues values = ShownValues(info);
        for (const auto& [option, value] : line.Values) {
            if (option->Text)
                values.*(option->Text) = value;
            else
                values.Dhcp = value == "1" ? 1 : 0;
        }
        const std::string refused = NotCarried(device, line, values.Dhcp);
        if (!refused.empty()) {
            PrintResult(info.MAC, info.PeerIP, Format(_("not sent to this device: %s"), refused.c_str()));
            return kExitFailed;
        }
        outcome = ApplyChanges(&device, values, asker);
        break;
    }
    case TCommand::Restart:
        outcome = RestartDevice(&device, asker);
        break;
    case TCommand::FactoryDefault:
        outcome = SetFactoryDefaults(&device, asker);
        break;
    }
    if (outcome != TCommandOutcome::Sent) {
        PrintResult(info.MAC, info.PeerIP, asker.Refusal.empty() ? std::string(_("not sent")) : asker.Refusal);
        return kExitFailed;
    }
    if (!orvex) {  // HWG devices do not answer commands
        PrintResult(info.MAC, info.PeerIP);
        return kExitOk;
    }
    if (!answer) {
        QTimer::singleShot(static_cast<int>(std::lround(line.Discovery.WaitSeconds * 1000)), &waiting, &QEventLoop::quit);
        waiting.exec();
    }
    orvex->OnCommandAnswer = nullptr;
    if (!answer) {
        PrintResult(info.MAC, info.PeerIP, Format(_("no answer within %g seconds"), line.Discovery.WaitSeconds));
        return kExitNoAnswer;
    }
    if (*answer != 0) {
        PrintResult(info.MAC, info.PeerIP, Format(_("the device answered with error code %d"), *answer));
        return kExitFailed;
    }
    PrintResult(info.MAC, info.PeerIP);
    return kExitOk;
}

int Run(const TCommandLine& line)
{
    TCliSession session(line.Log);
    TUDPServer orvexServer;
    TUDPServer hwgServer;
    TDeviceRegistry list;
    if (!RunDiscovery(session.Settings, line.Discovery, orvexServer, hwgServer, list))
        return kExitNoSocket;

    int status = kExitFailed;
    const std::vector<TProduct*> found = MatchTarget(list, line.Target);
    const std::string mac = line.Target.ByMac ? line.Target.Text : std::string();
    const std::string peerIP = line.Target.ByMac ? std::string() : line.Target.Text;
    if (found.empty()) {
        PrintResult(mac, peerIP, Format(_("no device answered for %s"), line.Target.Text.c_str()));
    } else if (found.size() > 1) {
        std::string names;
        for (const TProduct* device : found)
            names += (names.empty() ? "" : ", ") + (line.Target.ByMac ? device->Info.PeerIP : device->Info.MAC);
        PrintResult(mac, peerIP,
                    Format(line.Target.ByMac ? _("%d devices answered as %s: %s") : _("%d devices answered from %s: %s"),
                           static_cast<int>(found.size()), line.Target.Text.c_str(), names.c_str()));
    } else {
        status = Act(*found.front(), line);
    }

    // No more answers are taken while the list is freed.
    orvexServer.OnRead = nullptr;
    hwgServer.OnRead = nullptr;
    std::fflush(stdout);
    list.FreeDevices();
    return status;
}

} // namespace

bool IsDeviceCommand(const char* name)
{
    return std::strcmp(name, "set") == 0 || std::strcmp(name, "restart") == 0
        || std::strcmp(name, "factory-default") == 0;
}

int RunDeviceCommand(int argc, char* argv[])
{
    TCommandLine line;
    if (argc < 2 || !IsDeviceCommand(argv[1]) || !ParseCommandLine(argc, argv, line)) {
        std::fprintf(stderr, "usage: pyxet-cli find %s [--json] [--log]\n", kDiscoveryUsage);
        std::fputs(kDeviceCommandsUsage, stderr);
        return kExitUsage;
    }
    return Run(line);
}
