// pyxet-cli plan make, apply and undo: one discovery cycle, the core planner, the undo file and
// the plan run, with the preview and the results on standard output.
#include "cli/plan.h"
#include "cli/exitstatus.h"

#include "cli/commandline.h"
#include "cli/session.h"

#include "core/app/i18n.h"
#include "core/devices/netinterfaces.h"
#include "core/devices/registry.h"
#include "core/devices/udpserver.h"
#include "core/devices/utils.h"
#include "core/discovery/export.h"
#include "core/discovery/families.h"
#include "core/http/batch.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/log/safetext.h"
#include "core/setup/plan.h"
#include "core/setup/planfile.h"
#include "core/setup/planrun.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

const char* const kPlanUsage =
    "       pyxet-cli plan make [--ip-from ADDR] [--name PATTERN] [--mask ADDR] [--gateway ADDR] [--dns1 ADDR]\n"
    "                           [--dns2 ADDR] [--dhcp 0|1] [--http-port N] [--telnet-port N] [--all | MAC...]\n"
    "                           [--type NAME]... [--family Orvex|HWG] [DISCOVERY] [--log]\n"
    "       pyxet-cli plan apply FILE [--dry-run] [--verify SECONDS] [--save-undo FILE] [DISCOVERY] [--json] [--log]\n"
    "       pyxet-cli plan undo FILE [--dry-run] [--verify SECONDS] [--save-undo FILE] [DISCOVERY] [--json] [--log]\n";

namespace {

constexpr int kMaxVerifySeconds = 86400;
// Undo files are named by the second: a name taken already is waited out this many times.
constexpr int kUndoNameTries = 3;

const char* const kPlanHelp =
    "make: one discovery cycle, then a plan file on standard output for the devices chosen:\n"
    "--all, or the MAC addresses given, in list order, narrowed by --type NAME (repeatable) and\n"
    "--family Orvex|HWG. Nothing is sent. --ip-from gives consecutive addresses from ADDR, skipping\n"
    "every address in use, this PC's own, the gateway and the subnet's first and last; --name\n"
    "PATTERN names the devices, its last run of '#' counting from 1 (\"Unit ##\": Unit 01, Unit 02\n"
    "...; HWG devices take no name); the other options give every device the same value. Problems\n"
    "go to standard error; with a blocking one nothing is written.\n"
    "apply: the plan file (FILE - reads standard input) for the devices one discovery cycle finds:\n"
    "the preview, one line a device (MAC, type, name and address before -> after, the other\n"
    "changes, problems), the problems of the whole plan and the undo file, then an empty line\n"
    "and one line a device in plan order: MAC<TAB>PeerIP<TAB>status (sent, verified, not verified:\n"
    "..., refused by the device ..., no answer ...). --json: one JSON document with \"devices\",\n"
    "\"problems\", \"undo_file\" and \"results\". --dry-run, or a blocking problem: nothing is sent.\n"
    "Before anything is sent the values the plan replaces are written to\n"
    "backup/undo-YYYYMMDD-HHMMSS.csv (--save-undo FILE: there; never over an existing file); if\n"
    "that fails, nothing is sent. Restarts count as allowed. --verify SECONDS: afterwards every\n"
    "device is asked until it shows its new values (default: no verification).\n"
    "undo: applies an undo file as it stands (an empty name stays empty, shared factory addresses\n"
    "come back), writing an undo file of its own.\n"
    "DISCOVERY: the options of find, [--wait SECONDS] [--interface NAME]... [--target SPEC]...\n"
    "[--repeat N].\n"
    "Exit status: 0 every device applied (and verified); 1 a device failed, refused, gave no\n"
    "answer, was not found or not verified, or a blocking problem; 2 wrong command line, a plan\n"
    "file that cannot be read, no UDP socket, or an undo file that cannot be written; 3 none of\n"
    "the plan's devices answered.\n";

enum class TPlanCommand { Make, Apply, Undo };

struct TPlanOptions {
    TPlanCommand Command = TPlanCommand::Make;
    // make
    TPlanForm Form;
    bool All = false;
    std::vector<std::string> Macs;  // as given
    std::vector<std::string> Types;
    std::optional<std::string> Family;
    // apply, undo
    std::string File;
    bool DryRun = false;
    int VerifySeconds = 0;
    std::optional<std::string> SaveUndo;
    bool Json = false;
    // all
    TDiscoveryOptions Discovery;
    bool Log = false;
};

// make's option of a setup field: the IP address counts up from the value, the name is a pattern.
std::string MakeOption(TSetupField field)
{
    return field == TSetupField::IP ? std::string("--ip-from") : FieldOption(field);
}

const char* MakeOptionValue(const TSetupFieldDef& field)
{
    return field.Id == TSetupField::Name ? "PATTERN" : FieldOptionValue(field.Kind);
}

// The fields in the order make lists their options: the consecutive addresses first.
std::vector<TSetupField> MakeOptionOrder()
{
    std::vector<TSetupField> order;
    for (const TSetupFieldDef& field : SetupFields())
        order.push_back(field.Id);
    std::stable_partition(order.begin(), order.end(), [](TSetupField f) { return f == TSetupField::IP; });
    return order;
}

void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

std::vector<const TProduct*> FoundDevices(const TDeviceRegistry& list)
{
    std::vector<const TProduct*> found;
    for (const TDeviceEntry& entry : list.DeviceList())
        found.push_back(entry.Device.get());
    return found;
}

// The devices make acts on, in list order; the MACs given that none of them has go to missing.
std::vector<const TProduct*> ChosenDevices(const TDeviceRegistry& list, const TPlanOptions& o,
                                           std::vector<std::string>& missing)
{
    std::vector<std::optional<uint64_t>> keys;
    for (const std::string& mac : o.Macs)
        keys.push_back(MacKeyOf(mac));
    std::vector<bool> matched(keys.size(), false);
    std::vector<const TProduct*> chosen;
    for (const TDeviceEntry& entry : list.DeviceList()) {
        const TProduct& device = *entry.Device;
        if (o.Family && FamilyName(device) != *o.Family)
            continue;
        if (!o.Types.empty() && std::find(o.Types.begin(), o.Types.end(), device.Info.TypeName) == o.Types.end())
            continue;
        if (!o.All) {
            const std::optional<uint64_t> key = MacKeyOf(device.Info.MAC);
            const auto it = key ? std::find(keys.begin(), keys.end(), key) : keys.end();
            if (it == keys.end())
                continue;
            matched[static_cast<size_t>(it - keys.begin())] = true;
        }
        chosen.push_back(&device);
    }
    for (size_t k = 0; k < keys.size(); ++k)
        if (!matched[k])
            missing.push_back(o.Macs[k]);
    return chosen;
}

// A problem as one line of standard error: the device's MAC in front of its own problems.
void ReportProblem(const TPlan& plan, const TPlanProblem& problem)
{
    const std::string device =
        problem.Device >= 0 ? SafeText(plan.Devices[static_cast<size_t>(problem.Device)].Before.MAC) + ": " : "";
    std::fprintf(stderr, "pyxet-cli: %s%s\n", device.c_str(), problem.Message().c_str());
}

int Make(const TPlanOptions& o)
{
    TCliSession session(o.Log);
    TUDPServer orvexServer;
    TUDPServer hwgServer;
    TDeviceRegistry list;
    if (!RunDiscovery(session.Settings, o.Discovery, orvexServer, hwgServer, list))
        return kExitNoStart;
    orvexServer.OnRead = nullptr;  // the list stands from here on
    hwgServer.OnRead = nullptr;

    std::vector<std::string> missing;
    TPlanInputs inputs;
    inputs.Found = FoundDevices(list);
    inputs.Chosen = ChosenDevices(list, o, missing);
    inputs.Form = o.Form;
    inputs.Interfaces = ListNetInterfaces();

    int status = kExitOk;
    for (const std::string& mac : missing)
        std::fprintf(stderr, "pyxet-cli: plan make: no device answered as %s\n", mac.c_str());
    if (inputs.Chosen.empty()) {
        if (o.All)
            std::fprintf(stderr, "pyxet-cli: plan make: no device found\n");
        status = kExitNoAnswer;
    } else if (!missing.empty()) {
        status = kExitFailed;
    } else {
        const TPlan plan = MakePlan(inputs);
        for (const TPlanProblem& problem : plan.Problems)
            ReportProblem(plan, problem);
        if (plan.Blocked()) {
            std::fprintf(stderr, "pyxet-cli: plan make: the plan has a blocking problem; nothing written\n");
            status = kExitFailed;
        } else {
            Print(FormatPlan(plan));
        }
    }
    list.FreeDevices();
    return status;
}

// --- apply and undo ------------------------------------------------------------------------

bool ReadStandardInput(std::string& bytes)
{
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
        bytes.append(buffer, got);
    return !std::ferror(stdin);
}

// A field's value before the plan, exact (JSON carries device texts as they are).
std::string ExactBefore(const TDevicePlan& device, TSetupField field)
{
    // Numbers as the preview shows them ("N/A" for a port the device lacks): no device text in them.
    return IsNumberField(field) ? device.ShownBefore(field) : FieldValue(device.Before, field);
}

std::string ExactAfter(const TDevicePlan& device, TSetupField field)
{
    const TPlanChange& change = device.Field(field);
    return change.Changed ? change.Value : ExactBefore(device, field);
}

// "before" or "before -> after" of a field, as the preview shows it.
std::string BeforeAfter(const TDevicePlan& device, TSetupField field)
{
    const std::string before = device.ShownBefore(field);
    if (!device.Field(field).Changed)
        return before;
    return before + " -> " + device.ShownAfter(field);
}

// One preview line: MAC, type, name, address, the other changes, the problems.
std::string PreviewLine(const TPlan& plan, const TDevicePlan& device)
{
    std::string others;
    for (size_t k = 0; k < kSetupFieldCount; ++k) {
        const auto field = static_cast<TSetupField>(k);
        if (field == TSetupField::Name || field == TSetupField::IP || !device.Field(field).Changed)
            continue;
        others += (others.empty() ? "" : ", ") + std::string(FieldKey(field)) + " " + BeforeAfter(device, field);
    }
    std::string problems;
    for (const size_t k : device.Problems)
        problems += (problems.empty() ? "" : "; ") + plan.Problems[k].Message();
    const std::string fields[] = {SafeText(device.Before.MAC),
                                  SafeText(device.Before.TypeName),
                                  BeforeAfter(device, TSetupField::Name),
                                  BeforeAfter(device, TSetupField::IP),
                                  others,
                                  problems};
    std::string line;
    for (const std::string& field : fields)
        line += (line.empty() ? "" : "\t") + field;
    return line + "\n";
}

QJsonObject JsonProblem(const TPlanProblem& problem)
{
    return {{QStringLiteral("text"), JsonText(problem.Message())},
            {QStringLiteral("blocking"), problem.Blocking()},
            {QStringLiteral("field"), problem.Field ? QJsonValue(QLatin1String(FieldKey(*problem.Field))) : QJsonValue()},
            {QStringLiteral("line"), problem.Line},
            {QStringLiteral("column"), problem.Column}};
}

// A value of a change: a number field's number ("N/A" for a port the device lacks stays a text).
QJsonValue JsonValue(TSetupField field, const std::string& text)
{
    if (IsNumberField(field) && text != "N/A")
        return static_cast<qint64>(std::stoll(text));
    return JsonText(text);
}

QJsonObject JsonDevice(const TPlan& plan, const TDevicePlan& device)
{
    QJsonArray changes;
    for (const TSetupFieldDef& field : SetupFields()) {
        if (!device.Field(field.Id).Changed)
            continue;
        changes.append(QJsonObject{{QStringLiteral("field"), QLatin1String(field.Key)},
                                   {QStringLiteral("before"), JsonValue(field.Id, ExactBefore(device, field.Id))},
                                   {QStringLiteral("after"), JsonValue(field.Id, ExactAfter(device, field.Id))},
                                   {QStringLiteral("sent"), device.Sends(field.Id)}});
    }
    QJsonArray problems;
    for (const size_t k : device.Problems)
        problems.append(JsonProblem(plan.Problems[k]));
    return {{QStringLiteral("mac"), JsonText(device.Before.MAC)},       {QStringLiteral("family"), JsonText(device.Family)},
            {QStringLiteral("type"), JsonText(device.Before.TypeName)}, {QStringLiteral("peer_ip"), JsonText(device.Before.PeerIP)},
            {QStringLiteral("name"), JsonText(device.Before.Name)},     {QStringLiteral("ip"), JsonText(device.Before.IP)},
            {QStringLiteral("changes"), changes},                       {QStringLiteral("problems"), problems}};
}

// A state by a name that stays the same in every language, for scripts reading --json.
const char* StateName(TPlanDeviceState state)
{
    switch (state) {
    case TPlanDeviceState::Waiting: return "waiting";
    case TPlanDeviceState::Unchanged: return "unchanged";
    case TPlanDeviceState::NotSent: return "not_sent";
    case TPlanDeviceState::Gone: return "gone";
    case TPlanDeviceState::Refused: return "refused";
    case TPlanDeviceState::Sending: return "sending";
    case TPlanDeviceState::Sent: return "sent";
    case TPlanDeviceState::DeviceRefused: return "device_refused";
    case TPlanDeviceState::NoAnswer: return "no_answer";
    case TPlanDeviceState::Verifying: return "verifying";
    case TPlanDeviceState::Verified: return "verified";
    case TPlanDeviceState::NotVerified: return "not_verified";
    }
    return "unknown";
}

// What apply and undo print: the preview (text at once; JSON gathered for one document at the end).
class TPlanReport {
public:
    TPlanReport(const TPlan& plan, bool json) : Plan(plan), Json(json) {}

    void Preview()
    {
        if (Json)
            return;
        for (const TDevicePlan& device : Plan.Devices)
            Print(PreviewLine(Plan, device));
        for (const TPlanProblem* problem : Plan.PlanProblems())
            Print(problem->Message() + "\n");
    }

    void UndoFile(const std::string& path)
    {
        UndoPath = path;
        if (!Json)
            Print(Format(_("Undo file: %s"), SafeText(path).c_str()) + "\n");
    }

    // The results in plan order; none when nothing was sent.
    void Results(const std::vector<TPlanDeviceStatus>* statuses)
    {
        Statuses = statuses;
        if (Json || !statuses)
            return;
        Print("\n");
        for (size_t k = 0; k < Plan.Devices.size() && k < statuses->size(); ++k) {
            const TProductInfo& info = Plan.Devices[k].Before;
            Print(SafeText(info.MAC) + "\t" + SafeText(info.PeerIP) + "\t" + PlanStatusText((*statuses)[k]) + "\n");
        }
    }

    // The JSON document, once everything is known.
    void Finish()
    {
        if (!Json)
            return;
        QJsonArray devices;
        for (const TDevicePlan& device : Plan.Devices)
            devices.append(JsonDevice(Plan, device));
        QJsonArray problems;
        for (const TPlanProblem* problem : Plan.PlanProblems())
            problems.append(JsonProblem(*problem));
        QJsonArray results;
        for (size_t k = 0; Statuses && k < Plan.Devices.size() && k < Statuses->size(); ++k) {
            const TPlanDeviceStatus& status = (*Statuses)[k];
            const TProductInfo& info = Plan.Devices[k].Before;
            results.append(QJsonObject{{QStringLiteral("mac"), JsonText(info.MAC)},
                                       {QStringLiteral("peer_ip"), JsonText(info.PeerIP)},
                                       {QStringLiteral("state"), QLatin1String(StateName(status.State))},
                                       {QStringLiteral("status"), JsonText(PlanStatusText(status))},
                                       {QStringLiteral("failed"), PlanStatusFailed(status)}});
        }
        const QJsonObject document{{QStringLiteral("undo"), Plan.Undo},
                                   {QStringLiteral("blocked"), Plan.Blocked()},
                                   {QStringLiteral("devices"), devices},
                                   {QStringLiteral("problems"), problems},
                                   {QStringLiteral("undo_file"), UndoPath ? JsonText(*UndoPath) : QJsonValue()},
                                   {QStringLiteral("results"), Statuses ? QJsonValue(results) : QJsonValue()}};
        Print(QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString());
    }

private:
    const TPlan& Plan;
    bool Json;
    std::optional<std::string> UndoPath;
    const std::vector<TPlanDeviceStatus>* Statuses = nullptr;
};

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The undo file, before anything is sent: --save-undo's file, or backup/undo-...csv named by
// the second it is written in (another run's file of the same second is waited out).
bool WriteUndo(const TPlan& plan, const TPlanOptions& o, std::string& path, std::string& error)
{
    if (o.SaveUndo) {
        path = *o.SaveUndo;
        return WriteNewFile(path, FormatUndoFile(plan), error);
    }
    for (int attempt = 1;; ++attempt) {
        const auto now = std::chrono::system_clock::now();
        const std::time_t when = std::chrono::system_clock::to_time_t(now);
        if (attempt < kUndoNameTries && Exists(UndoFileName(kBackupFolder, when))) {
            std::this_thread::sleep_until(std::chrono::system_clock::from_time_t(when + 1)
                                          + std::chrono::milliseconds(10));
            continue;
        }
        return WriteUndoFile(plan, kBackupFolder, when, path, error);
    }
}

int Apply(const TPlanOptions& o)
{
    TCliSession session(o.Log);

    TPlanFile file;
    TPlanReadError readError;
    bool read = false;
    if (o.File == "-") {
        std::string bytes;
        if (!ReadStandardInput(bytes)) {
            std::fprintf(stderr, "pyxet-cli: cannot read standard input\n");
            return kExitNoStart;
        }
        read = ReadPlanFile(bytes, file, readError);
    } else {
        read = LoadPlanFile(o.File, file, readError);
    }
    if (!read) {
        std::fprintf(stderr, "pyxet-cli: %s\n", readError.Message.c_str());
        return kExitNoStart;
    }

    TUDPServer orvexServer;
    TUDPServer hwgServer;
    TDeviceRegistry list;
    if (!RunDiscovery(session.Settings, o.Discovery, orvexServer, hwgServer, list))
        return kExitNoStart;
    // The endpoints keep their handlers: the devices' answers to their commands come through them.

    TPlanInputs inputs;
    inputs.Found = FoundDevices(list);
    inputs.File = &file;
    inputs.Undo = o.Command == TPlanCommand::Undo;
    inputs.Interfaces = ListNetInterfaces();
    const TPlan plan = MakePlan(inputs);
    const bool someNotFound = std::any_of(plan.Problems.begin(), plan.Problems.end(),
                                          [](const TPlanProblem& p) { return p.Kind == TPlanProblemKind::NotFound; });

    TPlanReport report(plan, o.Json);
    report.Preview();
    const auto finish = [&](int status) {
        orvexServer.OnRead = nullptr;  // no more answers while the list is freed
        hwgServer.OnRead = nullptr;
        report.Finish();
        std::fflush(stdout);
        list.FreeDevices();
        return status;
    };
    if (plan.Blocked()) {
        std::fprintf(stderr, "pyxet-cli: the plan has a blocking problem; nothing was sent\n");
        return finish(kExitFailed);
    }
    if (plan.Devices.empty() && someNotFound) {
        std::fprintf(stderr, "pyxet-cli: none of the plan's devices answered\n");
        return finish(kExitNoAnswer);
    }
    if (o.DryRun)
        return finish(someNotFound ? kExitFailed : kExitOk);

    if (plan.ChangingDevices() > 0) {
        std::string path;
        std::string error;
        if (!WriteUndo(plan, o, path, error)) {
            std::fprintf(stderr, "pyxet-cli: %s; nothing was sent\n", error.c_str());
            return finish(kExitNoStart);
        }
        LogUndoFile(path);
        report.UndoFile(path);
    }

    TPlanRunOptions options;
    options.RestartAllowed = true;  // the restart question counts as answered Yes, as in set
    options.VerifySeconds = o.VerifySeconds;
    TPlanRun run;
    bool finished = false;
    QEventLoop waiting;
    QObject::connect(&run, &TPlanRun::Finished, &waiting, [&finished, &waiting] {
        finished = true;
        waiting.quit();
    });
    run.Start(plan, list, options);
    if (!finished)
        waiting.exec();

    report.Results(&run.Statuses());
    bool failed = someNotFound;
    for (const TPlanDeviceStatus& status : run.Statuses())
        failed = failed || PlanStatusFailed(status);
    return finish(failed ? kExitFailed : kExitOk);
}

}  // namespace

void AddPlanCommands(CLI::App& app, TCommandBody& body)
{
    CLI::App* plan = AddCommand(app, "plan", "sets up many devices at once by a plan file",
                                UsageLines(kPlanUsage, "plan"), [] { return std::string(kPlanHelp); });
    plan->require_subcommand(0, 1);
    plan->callback([plan] {
        if (!plan->get_subcommands().empty())
            return;
        RefuseUnknownOptions(*plan);
        if (plan->remaining().empty())
            Refuse("plan needs make, apply or undo");
        Refuse(Format("unknown plan command \"%s\"", plan->remaining().front().c_str()));
    });

    // make
    struct TMakeArgs {
        std::optional<std::string> Form[kSetupFieldCount];
        std::vector<std::string> Macs;
        std::vector<std::string> Types;
        std::optional<std::string> Family;
        bool All = false;
        TDiscoveryArgs Discovery;
        bool Log = false;
    };
    auto make = std::make_shared<TMakeArgs>();
    CLI::App* makeCommand = AddCommand(*plan, "make", "writes a plan file for the devices chosen",
                                       UsageLines(kPlanUsage, "plan make"), [] { return std::string(kPlanHelp); });
    AddArguments(*makeCommand, "MAC", make->Macs, "");
    for (const TSetupField field : MakeOptionOrder())
        AddOnce(*makeCommand, MakeOption(field), make->Form[static_cast<size_t>(field)],
                MakeOptionValue(SetupFieldDef(field)), SetupFieldDef(field).PlanHelp)
            ->group("Values");
    AddFlag(*makeCommand, "--all", make->All, "every device found, instead of MAC addresses");
    AddValues(*makeCommand, "--type", make->Types, "NAME", "only devices of this type");
    AddValue(*makeCommand, "--family", make->Family, "Orvex|HWG", "only devices of this family");
    AddDiscoveryOptions(*makeCommand, make->Discovery);
    AddFlag(*makeCommand, "--log", make->Log, "every action-log line on standard error, as LEVEL<TAB>message");
    makeCommand->callback([makeCommand, make, &body] {
        RefuseUnknownOptions(*makeCommand);
        TPlanOptions o;
        o.Command = TPlanCommand::Make;
        o.Log = make->Log;
        o.Discovery = ReadDiscoveryOptions(make->Discovery);
        for (const TSetupField field : MakeOptionOrder()) {
            const std::optional<std::string>& value = make->Form[static_cast<size_t>(field)];
            if (!value)
                continue;
            CheckFlagOption(SetupFieldDef(field), *value);
            o.Form[field] = *value;
        }
        o.Types = make->Types;
        if (make->Family && !FindFamily(*make->Family))
            Refuse("--family", Format("takes %s, not \"%s\"", FamilyNames(" or ").c_str(), make->Family->c_str()));
        o.Family = make->Family;
        for (const std::string& mac : make->Macs) {
            uint8_t bytes[6] = {};
            if (ParseMac(mac, bytes) != 0)
                Refuse(Format("\"%s\" is not a MAC address", mac.c_str()));
        }
        o.All = make->All;
        if (o.All == !make->Macs.empty())
            Refuse(o.All ? "--all takes no MAC address" : "plan make needs --all or MAC addresses");
        o.Macs = make->Macs;
        body = [o] { return Make(o); };
    });

    // apply and undo
    for (const TPlanCommand command : {TPlanCommand::Apply, TPlanCommand::Undo}) {
        struct TApplyArgs {
            std::vector<std::string> Files;
            bool DryRun = false;
            std::optional<std::string> Verify;
            std::optional<std::string> SaveUndo;
            TDiscoveryArgs Discovery;
            bool Json = false;
            bool Log = false;
        };
        auto args = std::make_shared<TApplyArgs>();
        const bool undo = command == TPlanCommand::Undo;
        CLI::App* sub = AddCommand(*plan, undo ? "undo" : "apply",
                                   undo ? "applies an undo file" : "applies a plan file (- reads standard input)",
                                   UsageLines(kPlanUsage, undo ? "plan undo" : "plan apply"),
                                   [] { return std::string(kPlanHelp); });
        AddArguments(*sub, "FILE", args->Files, "");
        AddFlag(*sub, "--dry-run", args->DryRun, "the preview only: nothing is sent");
        AddValue(*sub, "--verify", args->Verify, "SECONDS", "asks the devices until each shows its new values");
        AddValue(*sub, "--save-undo", args->SaveUndo, "FILE",
                 "the undo file (default backup/undo-YYYYMMDD-HHMMSS.csv)");
        AddDiscoveryOptions(*sub, args->Discovery);
        AddFlag(*sub, "--json", args->Json, "one JSON document instead of the lines");
        AddFlag(*sub, "--log", args->Log, "every action-log line on standard error, as LEVEL<TAB>message");
        sub->callback([sub, args, command, &body] {
            RefuseUnknownOptions(*sub);
            TPlanOptions o;
            o.Command = command;
            o.Log = args->Log;
            o.Json = args->Json;
            o.DryRun = args->DryRun;
            o.Discovery = ReadDiscoveryOptions(args->Discovery);
            if (args->Verify) {
                const std::optional<int> seconds = WholeNumber(*args->Verify, 1, kMaxVerifySeconds);
                if (!seconds)
                    Refuse("--verify", Format("takes whole seconds from 1 to %d, not \"%s\"", kMaxVerifySeconds,
                                              args->Verify->c_str()));
                o.VerifySeconds = *seconds;
            }
            if (args->SaveUndo && args->SaveUndo->empty())
                Refuse("--save-undo", "needs a file name");
            o.SaveUndo = args->SaveUndo;
            if (args->Files.size() != 1)
                Refuse(args->Files.empty() ? "a plan FILE is needed"
                                           : Format("only one FILE, not also \"%s\"", args->Files[1].c_str()));
            o.File = args->Files.front();
            body = [o] { return Apply(o); };
        });
    }
}
