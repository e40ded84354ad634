// pyxet-cli diff, history and drift: the structural compare of configurations for scripts.
#include "cli/configs.h"

#include "cli/exitstatus.h"
#include "cli/session.h"
#include "cli/transfers.h"

#include "core/app/i18n.h"
#include "core/app/settings.h"
#include "core/config/compare.h"
#include "core/config/compareview.h"
#include "core/config/configdoc.h"
#include "core/config/drift.h"
#include "core/config/history.h"
#include "core/config/identity.h"
#include "core/devices/utils.h"
#include "core/discovery/export.h"
#include "core/http/batch.h"
#include "core/http/parallel.h"
#include "core/http/transferrun.h"
#include "core/log/format.h"
#include "core/log/safetext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

const char* const kConfigUsage =
    "       pyxet-cli diff A B [--json] [--log]\n"
    "       pyxet-cli history MAC [--json] [--log]\n"
    "       pyxet-cli drift --reference A [--all | HOST...] [--wait SECONDS] [--interface NAME]...\n"
    "                       [--target SPEC]... [--repeat N] [--jobs N] [--json] [--log]\n";

const char* const kSourceHelp =
    "A, B and the reference are each a file, device:ADDRESS (its setup.xml downloaded now) or\n"
    "history:MAC[@N|@YYYY-MM-DD] (a kept version: the N-th newest, 1 the newest; or the newest on\n"
    "or before that day, UTC). A download from a device whose MAC is known (asked of the address by\n"
    "unicast, or found by discovery) is kept in its history; no backup file is touched.\n"
    "Configurations are compared as trees: indentation, attribute order, comments, line ends and\n"
    "namespace prefixes make no difference; repeated elements are matched by id, name, index, key\n"
    "or no. An identity place holds a device's own MAC, address or name.\n";

const char* const kDiffHelp =
    "diff prints one line per difference: PATH<TAB>KIND<TAB>LEFT<TAB>RIGHT, and <TAB>identity at\n"
    "an identity place; --json: [{\"path\", \"kind\", \"left\", \"right\", \"identity\"}] (kind: changed,\n"
    "only left, only right).\n"
    "Exit status: 0 equal, 1 different, 2 a file that cannot be read or is not well-formed (its line\n"
    "and column named) or a wrong command line, 3 the device did not answer.\n";

const char* const kHistoryHelp =
    "history lists the versions kept of the device's configuration, newest first:\n"
    "VERSION<TAB>TIME<TAB>SIZE<TAB>CHANGES (CHANGES: differences from the version before it, - when\n"
    "unknown); --json: [{\"version\", \"time\", \"size\", \"changes\"}]. The history folder is\n"
    "[History] Folder of the settings file, else history/ in the data folder.\n"
    "Exit status: 0 listed, 1 no version kept, 2 wrong command line.\n";

const char* const kDriftHelp =
    "drift downloads each device's configuration (HOST..., or every device one discovery cycle finds\n"
    "with --all; --jobs N at once, 1 to 32) and compares it with the reference. Devices are grouped\n"
    "by the set of differences they have (path and the device's value), identity places left out:\n"
    "the group that matches first, then by size; each group's devices (MAC, HOST, NAME) and\n"
    "differences (PATH<TAB>KIND<TAB>REFERENCE<TAB>DEVICE); then the devices that could not be read\n"
    "(a failed download, a shared address, a file that is not well-formed) with the reason.\n"
    "--json: {\"groups\": [{\"devices\": [{\"mac\", \"host\", \"name\"}], \"differences\": [{\"path\",\n"
    "\"kind\", \"reference\", \"device\"}]}], \"unreadable\": [{\"mac\", \"host\", \"error\"}]}.\n"
    "Exit status: 0 all match, 1 some differ or could not be read, 2 a wrong command line or a\n"
    "reference that cannot be read, 3 no device answered (or the reference's device).\n";

// One side of a compare as the command line names it.
struct TSource {
    enum class TKind { File, Device, History } Kind = TKind::File;
    std::string Text;  // as given
    std::string Path;  // File
    std::string Host;  // Device
    std::string Mac;   // History
    std::string Which; // History: "", N or YYYY-MM-DD
};

bool IsHost(const std::string& text)
{
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool IsVersionChoice(const std::string& which)
{
    if (which.empty())
        return true;
    if (WholeNumber(which, 1, 1000000))
        return true;
    int year = 0, month = 0, day = 0;
    char tail = 0;
    return which.size() == 10 && std::sscanf(which.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &tail) == 3
           && month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

// Refuses a wrong source (status 2).
TSource ReadSource(const std::string& option, const std::string& text)
{
    TSource source;
    source.Text = text;
    if (text.rfind("device:", 0) == 0) {
        source.Kind = TSource::TKind::Device;
        source.Host = text.substr(7);
        if (!IsHost(source.Host))
            Refuse(option, Format("\"%s\" is not a dotted IPv4 address", source.Host.c_str()));
    } else if (text.rfind("history:", 0) == 0) {
        source.Kind = TSource::TKind::History;
        std::string rest = text.substr(8);
        const size_t at = rest.find('@');
        source.Mac = rest.substr(0, at);
        source.Which = at == std::string::npos ? "" : rest.substr(at + 1);
        if (!MacKeyOf(source.Mac))
            Refuse(option, Format("\"%s\" is not a MAC address", source.Mac.c_str()));
        if (at != std::string::npos && (source.Which.empty() || !IsVersionChoice(source.Which)))
            Refuse(option, Format("\"%s\" names no version: give @N (1 the newest) or @YYYY-MM-DD",
                                  source.Which.c_str()));
    } else {
        if (text.empty())
            Refuse(option, "an empty file name");
        source.Path = text;
    }
    return source;
}

// A configuration read from its source, or the exit status of why not (its reason on stderr).
struct TLoaded {
    int Status = kExitOk;
    TConfigDocument Doc;
    TDeviceIdentity Identity;  // what is known of the device it came from (nothing for a file)
};

// The download of one device's configuration (kept in its history when its MAC is known).
TDeviceResult FetchOne(const TSettings& settings, TBatchDevice device)
{
    TTransferOrder order;
    order.Command = TTransferCommand::Fetch;
    order.Devices = {device};
    order.History = HistoryOfSettings(settings);
    int signal = 0;
    std::vector<TDeviceResult> results = RunTransferOrder(order, {}, signal);
    if (!results.empty())
        return results.front();
    TDeviceResult none;
    none.Host = device.PeerIP;
    none.Error = _("not started");
    return none;
}

TLoaded Load(const TSettings& settings, const TSource& source)
{
    TLoaded loaded;
    switch (source.Kind) {
    case TSource::TKind::File:
        loaded.Doc = ReadConfigFile(source.Path);
        break;
    case TSource::TKind::Device: {
        std::vector<TBatchDevice> devices{{source.Host, source.Host}};
        loaded.Identity = IdentifyHosts(settings, devices).front();
        const TDeviceResult result = FetchOne(settings, devices.front());
        if (!result.Ok) {
            std::fprintf(stderr, "pyxet-cli: %s: %s\n", source.Text.c_str(), SafeText(result.Error).c_str());
            loaded.Status = kExitNoAnswer;
            return loaded;
        }
        loaded.Doc = ReadConfig(result.Config);
        break;
    }
    case TSource::TKind::History: {
        const THistory history = HistoryOfSettings(settings);
        const std::optional<THistoryVersion> version = history.Find(source.Mac, source.Which);
        std::optional<QByteArray> bytes;
        if (version)
            bytes = ReadHistoryVersion(*version);
        if (!bytes) {
            std::fprintf(stderr, "pyxet-cli: %s: %s\n", source.Text.c_str(),
                         version ? _("the kept version cannot be read") : _("no such version is kept"));
            loaded.Status = kExitNoStart;
            return loaded;
        }
        loaded.Identity.MAC = source.Mac;
        loaded.Doc = ReadConfig(*bytes);
        break;
    }
    }
    if (!loaded.Doc.Ok) {
        std::fprintf(stderr, "pyxet-cli: %s: %s\n", source.Text.c_str(), loaded.Doc.Error.c_str());
        loaded.Status = kExitNoStart;
    }
    return loaded;
}

void PrintLine(const std::vector<std::string>& fields)
{
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i)
        line += (i ? "\t" : "") + SafeText(fields[i]);
    std::printf("%s\n", line.c_str());
}

void PrintJson(const QJsonValue& value)
{
    const QByteArray text = value.isArray() ? QByteArray(JsonLines(value.toArray()).c_str())
                                            : QJsonDocument(value.toObject()).toJson(QJsonDocument::Indented);
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
}

int Diff(const TSource& left, const TSource& right, bool json, bool log)
{
    TCliSession session(log);
    TLoaded a = Load(session.Settings, left);
    if (a.Status != kExitOk)
        return a.Status;
    TLoaded b = Load(session.Settings, right);
    if (b.Status != kExitOk)
        return b.Status;
    std::vector<TConfigDifference> differences = CompareConfigs(a.Doc, b.Doc);
    std::vector<std::string> places = IdentityPlaces(a.Doc, a.Identity, session.Settings.IdentityPaths);
    for (const std::string& place : IdentityPlaces(b.Doc, b.Identity, session.Settings.IdentityPaths))
        places.push_back(place);
    MarkIdentity(differences, places);
    if (json) {
        QJsonArray objects;
        for (const TConfigDifference& d : differences)
            objects.append(QJsonObject{{QStringLiteral("path"), JsonText(d.Path)},
                                       {QStringLiteral("kind"), QString::fromUtf8(DifferenceKindKey(d.Kind))},
                                       {QStringLiteral("left"), JsonText(d.Left)},
                                       {QStringLiteral("right"), JsonText(d.Right)},
                                       {QStringLiteral("identity"), d.Identity}});
        PrintJson(objects);
    } else {
        for (const TConfigDifference& d : differences) {
            std::vector<std::string> fields{d.Path, DifferenceKindText(d.Kind), d.Left, d.Right};
            if (d.Identity)
                fields.emplace_back(_("identity"));
            PrintLine(fields);
        }
    }
    return differences.empty() ? kExitOk : kExitFailed;
}

std::string TimeText(int64_t time)
{
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

int History(const std::string& mac, bool json, bool log)
{
    TCliSession session(log);
    const THistory history = HistoryOfSettings(session.Settings);
    const std::vector<THistoryVersion> versions = history.Versions(mac);
    if (json) {
        QJsonArray objects;
        for (const THistoryVersion& v : versions)
            objects.append(QJsonObject{{QStringLiteral("version"), JsonText(v.Version)},
                                       {QStringLiteral("time"), JsonText(TimeText(v.Time))},
                                       {QStringLiteral("size"), static_cast<qint64>(v.Size)},
                                       {QStringLiteral("changes"), v.Changes < 0 ? QJsonValue() : QJsonValue(v.Changes)}});
        PrintJson(objects);
    } else {
        for (const THistoryVersion& v : versions)
            PrintLine({v.Version, TimeText(v.Time), std::to_string(v.Size),
                       v.Changes < 0 ? std::string("-") : std::to_string(v.Changes)});
    }
    if (versions.empty())
        std::fprintf(stderr, "pyxet-cli: %s\n", Format(_("No version of %s is kept."), mac.c_str()).c_str());
    return versions.empty() ? kExitFailed : kExitOk;
}

struct TDriftOptions {
    TSource Reference;
    TFleetChoice Fleet;
    std::vector<std::string> Hosts;
    int Jobs = 1;
    bool Json = false;
    bool Log = false;
};

void PrintDrift(const std::vector<TDriftDevice>& devices, const TDrift& drift, bool json)
{
    if (json) {
        QJsonArray groups;
        for (const TDriftGroup& group : drift.Groups) {
            QJsonArray members;
            for (size_t i : group.Devices)
                members.append(QJsonObject{{QStringLiteral("mac"), JsonText(devices[i].MAC)},
                                           {QStringLiteral("host"), JsonText(devices[i].Host)},
                                           {QStringLiteral("name"), JsonText(devices[i].Name)}});
            QJsonArray differences;
            for (const TConfigDifference& d : group.Differences)
                differences.append(QJsonObject{{QStringLiteral("path"), JsonText(d.Path)},
                                               {QStringLiteral("kind"), QString::fromUtf8(DifferenceKindKey(d.Kind))},
                                               {QStringLiteral("reference"), JsonText(d.Left)},
                                               {QStringLiteral("device"), JsonText(d.Right)}});
            groups.append(QJsonObject{{QStringLiteral("devices"), members}, {QStringLiteral("differences"), differences}});
        }
        QJsonArray unreadable;
        for (size_t i : drift.Unreadable)
            unreadable.append(QJsonObject{{QStringLiteral("mac"), JsonText(devices[i].MAC)},
                                          {QStringLiteral("host"), JsonText(devices[i].Host)},
                                          {QStringLiteral("error"), JsonText(devices[i].Error)}});
        PrintJson(QJsonObject{{QStringLiteral("groups"), groups}, {QStringLiteral("unreadable"), unreadable}});
        return;
    }
    for (const TDriftGroup& group : drift.Groups) {
        std::printf("%s\n", SafeText(DriftGroupTitle(group)).c_str());
        for (size_t i : group.Devices)
            PrintLine({"  " + devices[i].MAC, devices[i].Host, devices[i].Name});
        for (const TConfigDifference& d : group.Differences)
            PrintLine({"    " + d.Path, DifferenceKindText(d.Kind), d.Left, d.Right});
    }
    if (!drift.Unreadable.empty()) {
        std::printf("%s\n", UnreadableTitle(drift.Unreadable.size()).c_str());
        for (size_t i : drift.Unreadable)
            PrintLine({"  " + devices[i].MAC, devices[i].Host, devices[i].Error});
    }
}

int Drift(const TDriftOptions& options)
{
    TCliSession session(options.Log);
    const TLoaded reference = Load(session.Settings, options.Reference);
    if (reference.Status != kExitOk)
        return reference.Status;

    std::vector<TBatchDevice> devices;
    std::vector<std::string> macs;
    std::vector<TDeviceIdentity> identities;
    if (options.Fleet.All) {
        if (!FindFleet(session.Settings, options.Fleet, devices, macs, &identities))
            return kExitNoStart;
    } else {
        for (const std::string& host : options.Hosts)
            devices.push_back({host, host});
        identities = IdentifyHosts(session.Settings, devices);
    }
    if (devices.empty()) {
        std::fprintf(stderr, "pyxet-cli: drift --all: %s\n", _("no device found"));
        return kExitNoAnswer;
    }

    TTransferOrder order;
    order.Command = TTransferCommand::Fetch;
    order.Devices = devices;
    order.Jobs = options.Jobs;
    order.History = HistoryOfSettings(session.Settings);
    int signal = 0;
    const std::vector<TDeviceResult> results = RunTransferOrder(order, {}, signal);
    if (signal != 0)
        return 128 + signal;

    std::vector<TDriftDevice> compared;
    int answered = 0;
    for (size_t i = 0; i < devices.size(); ++i) {
        TDriftDevice device;
        device.MAC = identities[i].MAC;
        device.Host = devices[i].PeerIP;
        device.Name = identities[i].Name;
        const bool fetched = i < results.size() && results[i].Ok;
        answered += fetched ? 1 : 0;
        if (!fetched) {
            device.Error = i < results.size() ? results[i].Error : std::string(_("not started"));
        } else {
            const TConfigDocument own = ReadConfig(results[i].Config);
            if (!own.Ok) {
                device.Error = own.Error;
            } else {
                device.Read = true;
                device.Differences = CompareConfigs(reference.Doc, own);
                MarkIdentity(device.Differences, IdentityPlaces(own, identities[i], session.Settings.IdentityPaths));
            }
        }
        compared.push_back(std::move(device));
    }
    const TDrift drift = GroupDrift(compared);
    PrintDrift(compared, drift, options.Json);
    if (answered == 0)
        return kExitNoAnswer;
    const bool allMatch = drift.Unreadable.empty() && (drift.Groups.empty() || (drift.Groups.size() == 1 && drift.Groups[0].Differences.empty()));
    return allMatch ? kExitOk : kExitFailed;
}

}  // namespace

const char* ConfigUsage() { return kConfigUsage; }

void AddConfigCommands(CLI::App& app, TCommandBody& body)
{
    struct TArgs {
        std::vector<std::string> Positional;
        std::optional<std::string> Reference, Jobs;
        TDiscoveryArgs Discovery;
        bool All = false, Json = false, Log = false;
    };
    const char* const logText = "every action-log line on standard error, as LEVEL<TAB>message";

    auto diffArgs = std::make_shared<TArgs>();
    CLI::App* diff = AddCommand(app, "diff", "compares two configurations", UsageLines(kConfigUsage, "diff"),
                                [] { return std::string(kSourceHelp) + kDiffHelp; });
    AddArguments(*diff, "ARGS", diffArgs->Positional, "");
    AddFlag(*diff, "--json", diffArgs->Json, "the differences as JSON");
    AddFlag(*diff, "--log", diffArgs->Log, logText);
    diff->callback([diff, diffArgs, &body] {
        RefuseUnknownOptions(*diff);
        if (diffArgs->Positional.size() != 2)
            Refuse("diff needs exactly A and B");
        const TSource left = ReadSource("A", diffArgs->Positional[0]);
        const TSource right = ReadSource("B", diffArgs->Positional[1]);
        const bool json = diffArgs->Json, log = diffArgs->Log;
        body = [left, right, json, log] { return Diff(left, right, json, log); };
    });

    auto historyArgs = std::make_shared<TArgs>();
    CLI::App* history = AddCommand(app, "history", "lists the kept versions of a device's configuration",
                                   UsageLines(kConfigUsage, "history"), [] { return std::string(kHistoryHelp); });
    AddArguments(*history, "ARGS", historyArgs->Positional, "");
    AddFlag(*history, "--json", historyArgs->Json, "the versions as JSON");
    AddFlag(*history, "--log", historyArgs->Log, logText);
    history->callback([history, historyArgs, &body] {
        RefuseUnknownOptions(*history);
        if (historyArgs->Positional.size() != 1)
            Refuse("history needs exactly one MAC");
        const std::string mac = historyArgs->Positional[0];
        if (!MacKeyOf(mac))
            Refuse(Format("\"%s\" is not a MAC address", mac.c_str()));
        const bool json = historyArgs->Json, log = historyArgs->Log;
        body = [mac, json, log] { return History(mac, json, log); };
    });

    auto driftArgs = std::make_shared<TArgs>();
    CLI::App* drift = AddCommand(app, "drift", "compares every device with a reference configuration",
                                 UsageLines(kConfigUsage, "drift"), [] { return std::string(kSourceHelp) + kDriftHelp; });
    AddArguments(*drift, "HOSTS", driftArgs->Positional, "");
    AddValue(*drift, "--reference", driftArgs->Reference, "A", "the configuration every device is compared with");
    AddValue(*drift, "--jobs", driftArgs->Jobs, "N", "up to N downloads at once (1-32, default 1)");
    AddFlag(*drift, "--all", driftArgs->All, "every device one discovery cycle finds, instead of hosts")
        ->group("Discovery");
    AddDiscoveryOptions(*drift, driftArgs->Discovery);
    AddFlag(*drift, "--json", driftArgs->Json, "the groups as JSON");
    AddFlag(*drift, "--log", driftArgs->Log, logText);
    drift->callback([drift, driftArgs, &body] {
        RefuseUnknownOptions(*drift);
        TDriftOptions options;
        if (!driftArgs->Reference)
            Refuse("drift needs --reference A");
        options.Reference = ReadSource("--reference", *driftArgs->Reference);
        if (driftArgs->Jobs) {
            const std::optional<int> jobs = WholeNumber(*driftArgs->Jobs, 1, kMaxJobs);
            if (!jobs)
                Refuse("--jobs", Format("takes a number from 1 to %d, not \"%s\"", kMaxJobs, driftArgs->Jobs->c_str()));
            options.Jobs = *jobs;
        }
        options.Fleet.All = driftArgs->All;
        options.Fleet.Discovery = ReadDiscoveryOptions(driftArgs->Discovery);
        const std::string discovery = driftArgs->Discovery.FirstGiven();
        if (!discovery.empty() && !options.Fleet.All)
            Refuse(discovery, "goes with --all");
        if (options.Fleet.All && !driftArgs->Positional.empty())
            Refuse("--all", Format("takes no HOST, not \"%s\"", driftArgs->Positional.front().c_str()));
        if (!options.Fleet.All && driftArgs->Positional.empty())
            Refuse("drift needs at least one HOST (or --all)");
        for (const std::string& host : driftArgs->Positional)
            if (!IsHost(host))
                Refuse(Format("\"%s\" is not a dotted IPv4 address", host.c_str()));
        options.Hosts = driftArgs->Positional;
        options.Json = driftArgs->Json;
        options.Log = driftArgs->Log;
        body = [options] { return Drift(options); };
    });
}
