// pyxet-cli set, restart and factory-default: one discovery cycle, the target device, the
// setup panel's command, and for an Orvex device the wait for its answer.
#include "cli/commands.h"
#include "cli/exitstatus.h"

#include "cli/commandline.h"
#include "cli/session.h"

#include "core/app/i18n.h"
#include "core/app/settings.h"
#include "core/discovery/discovery.h"
#include "core/devices/registry.h"
#include "core/devices/udpserver.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/log/safetext.h"
#include "core/devices/family.h"
#include "core/setup/commands.h"
#include "core/setup/target.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <iterator>
#include <memory>
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

const char* const kDeviceCommandsHelp =
    "The command acts on the one device the target names; a restart question counts as answered Yes.\n"
    "An Orvex device's answer is awaited up to --wait seconds. Standard output gets one line:\n"
    "MAC<TAB>PeerIP<TAB>ok, or MAC<TAB>PeerIP<TAB>failed<TAB>reason.\n"
    "Exit status: 0 sent (Orvex: and answered with error code 0); 1 target not found or ambiguous, a\n"
    "value refused, a device error code, or a command the device does not offer; 2 wrong command\n"
    "line or no UDP socket; 3 no answer from an Orvex device within --wait.\n";


enum class TCommand { Set, Restart, FactoryDefault };

struct TCommandLine {
    TCommand Command = TCommand::Set;
    TTarget Target;
    TDiscoveryOptions Discovery;
    bool Log = false;
    std::vector<std::pair<TSetupField, std::string>> Values;  // in the order of the setup fields
};

// The one output line (main checks that standard output took it). A reason may quote what the
// user typed: it is shown through SafeText, so the line stays one line of tab-separated fields.
void PrintResult(const std::string& mac, const std::string& peerIP, const std::string& reason = {})
{
    if (reason.empty())
        std::printf("%s\t%s\tok\n", mac.c_str(), peerIP.c_str());
    else
        std::printf("%s\t%s\tfailed\t%s\n", mac.c_str(), peerIP.c_str(), SafeText(reason).c_str());
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
    for (const auto& [field, value] : line.Values)
        if (!sent[field])
            names += (names.empty() ? "" : ", ") + FieldOption(field);
    return names;
}

// Runs the command on the device; returns the exit status after printing the line.
int Act(TProduct& device, const TCommandLine& line)
{
    const TProductInfo info = device.CopyInfo();
    const bool answers = device.Family().AnswersCommands;
    std::optional<int> answer;
    QEventLoop waiting;
    if (answers)
        device.OnCommandAnswer = [&answer, &waiting](int errorCode) {
            if (!answer)
                answer = errorCode;
            waiting.quit();
        };

    TScriptAsker asker;
    TCommandOutcome outcome = TCommandOutcome::NoDevice;
    switch (line.Command) {
    case TCommand::Set: {
        TSetupValues values = ShownValues(info);
        for (const auto& [field, value] : line.Values)
            SetFieldValue(values, field, value);
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
    if (!answers) {  // a family whose devices do not answer commands (HWG)
        PrintResult(info.MAC, info.PeerIP);
        return kExitOk;
    }
    if (!answer) {
        QTimer::singleShot(static_cast<int>(std::lround(line.Discovery.WaitSeconds * 1000)), &waiting, &QEventLoop::quit);
        waiting.exec();
    }
    device.OnCommandAnswer = nullptr;
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
        return kExitNoStart;

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

void AddDeviceCommands(CLI::App& app, TCommandBody& body)
{
    const struct {
        const char* Name;
        TCommand Command;
        const char* Summary;
    } commands[] = {
        {"set", TCommand::Set, "changes a device's setup"},
        {"restart", TCommand::Restart, "restarts a device"},
        {"factory-default", TCommand::FactoryDefault, "sets a device to its factory defaults"},
    };
    for (const auto& entry : commands) {
        struct TArgs {
            std::vector<std::string> Targets;
            std::optional<std::string> Values[kSetupFieldCount];
            TDiscoveryArgs Discovery;
            bool Log = false;
        };
        auto args = std::make_shared<TArgs>();
        const std::string usage = UsageLines(kDeviceCommandsUsage, entry.Name);
        CLI::App* command = AddCommand(app, entry.Name, entry.Summary, usage, [] {
            const std::string all = kDeviceCommandsUsage;
            return all.substr(all.find("\nTARGET") + 1) + kDeviceCommandsHelp;
        });
        AddArguments(*command, "TARGET", args->Targets, "a MAC address or the address the device answered from");
        if (entry.Command == TCommand::Set)
            for (const TSetupFieldDef& field : SetupFields())
                AddOnce(*command, FieldOption(field.Id), args->Values[static_cast<size_t>(field.Id)],
                        FieldOptionValue(field.Kind), field.SetHelp)
                    ->group("Setup values");
        AddDiscoveryOptions(*command, args->Discovery);
        AddFlag(*command, "--log", args->Log, "every action-log line on standard error, as LEVEL<TAB>message");
        command->callback([command, args, &body, which = entry.Command] {
            RefuseUnknownOptions(*command);
            TCommandLine line;
            line.Command = which;
            line.Log = args->Log;
            line.Discovery = ReadDiscoveryOptions(args->Discovery);
            for (const TSetupFieldDef& field : SetupFields()) {
                const std::optional<std::string>& value = args->Values[static_cast<size_t>(field.Id)];
                if (!value)
                    continue;
                CheckFlagOption(field, *value);
                line.Values.emplace_back(field.Id, *value);
            }
            if (args->Targets.empty())
                Refuse("a TARGET is needed");
            if (args->Targets.size() > 1)
                Refuse(Format("only one TARGET, not also \"%s\"", args->Targets[1].c_str()));
            const std::optional<TTarget> parsed = ParseTarget(args->Targets.front());
            if (!parsed)
                Refuse(Format("TARGET \"%s\" is neither a MAC address nor a dotted address",
                              args->Targets.front().c_str()));
            line.Target = *parsed;
            if (line.Command == TCommand::Set && line.Values.empty())
                Refuse("set needs at least one value to change");
            body = [line] { return Run(line); };
        });
    }
}
