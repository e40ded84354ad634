// pyxet-cli watch and check: a site's units over rounds of the watch, or once against its file.
#include "cli/watchcmd.h"

#include "cli/exitstatus.h"
#include "cli/session.h"

#include "core/discovery/discovery.h"
#include "core/discovery/export.h"
#include "core/devices/family.h"
#include "core/log/format.h"
#include "core/log/safetext.h"
#include "core/watch/site.h"
#include "core/watch/watchrun.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimeZone>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

const char* const kWatchUsage =
    "       pyxet-cli watch [--seconds N] [--site FILE] [--initial] [--interface NAME]... [--target SPEC]...\n"
    "                       [--repeat N] [--for SECONDS] [--log]\n"
    "       pyxet-cli check --site FILE [--wait SECONDS] [--interface NAME]... [--target SPEC]... [--repeat N]\n"
    "                       [--json] [--log]\n";

const char* const kWatchHelp =
    "watch asks the network every N seconds (5 to 3600, default 30) with one discovery request per\n"
    "family and interface and one unicast request per unit found by unicast, never more than one of\n"
    "each in 5 s, and prints each change as one JSON object a line: {\"time\" (ISO 8601, UTC),\n"
    "\"event\" (new, gone, back, address, firmware, name or missing), \"mac\", \"family\", \"name\",\n"
    "\"address\", \"old\", \"new\"}. A unit that misses two rounds in a row is gone. The first round\n"
    "reports nothing unless --initial (then a \"new\" line per unit); with --site, an expected unit\n"
    "that has not answered in two rounds is missing. --for ends the watch after SECONDS.\n"
    "Exit status: 0 ended by --for or by SIGINT or SIGTERM, 2 wrong command line or unreadable site\n"
    "file, 3 no unit ever answered.\n";

const char* const kCheckHelp =
    "check runs one discovery cycle and compares the units that answered with the site file's:\n"
    "missing<TAB>MAC<TAB>FAMILY<TAB>NAME for an expected unit that did not answer and\n"
    "unexpected<TAB>MAC<TAB>FAMILY<TAB>NAME for a unit that is not expected; --json: [{\"kind\"\n"
    "(missing or unexpected), \"mac\", \"family\", \"name\"}].\n"
    "Exit status: 0 every expected unit answered, 1 some are missing, 2 wrong command line or\n"
    "unreadable site file, 3 no unit answered.\n";

volatile std::sig_atomic_t g_stop = 0;
extern "C" void OnStop(int)
{
    g_stop = 1;
}

// A JSON string of a device's text (its shown form).
std::string JsonString(const std::string& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{JsonText(text)}).toJson(QJsonDocument::Compact);
    return std::string(array.constData() + 1, size_t(array.size()) - 2);
}

// One event as its JSON line, the keys in a fixed order.
std::string EventLine(const TWatchEvent& event)
{
    const std::string time =
        QDateTime::fromMSecsSinceEpoch(event.Time, Qt::UTC).toString(Qt::ISODate).toStdString();
    return "{\"time\": " + JsonString(time) + ", \"event\": " + JsonString(WatchEventName(event.Kind))
           + ", \"mac\": " + JsonString(event.MAC) + ", \"family\": " + JsonString(event.Family)
           + ", \"name\": " + JsonString(event.Name) + ", \"address\": " + JsonString(event.Address)
           + ", \"old\": " + JsonString(event.Old) + ", \"new\": " + JsonString(event.New) + "}\n";
}

// The site file's units, or none after a line on standard error.
std::optional<std::vector<TSiteUnit>> LoadSite(const std::string& path)
{
    std::string error;
    std::optional<std::vector<TSiteUnit>> site = ReadSite(path, error);
    if (!site)
        std::fprintf(stderr, "pyxet-cli: %s: %s\n", SafeText(path).c_str(), error.c_str());
    return site;
}

struct TWatchOptions {
    int Seconds = kWatchDefaultSeconds;
    std::optional<std::string> Site;
    bool Initial = false;
    std::optional<double> ForSeconds;
    TDiscoveryOptions Discovery;
    bool Log = false;
};

int Watch(const TWatchOptions& options)
{
    TCliSession session(options.Log);
    std::vector<TSiteUnit> site;
    if (options.Site) {
        std::optional<std::vector<TSiteUnit>> read = LoadSite(*options.Site);
        if (!read)
            return kExitNoStart;
        site = std::move(*read);
    }
    TUDPServer orvexServer;
    TUDPServer hwgServer;
    for (const TUDPServer* server : {&orvexServer, &hwgServer})
        if (!server->IsOpen()) {
            std::fprintf(stderr, "pyxet-cli: cannot open a UDP socket: %s\n", server->OpenError().c_str());
            return kExitNoStart;
        }
    std::vector<std::string> unknown;
    TDiscoveryPlan plan = PlanDiscovery(options.Discovery.Interfaces, options.Discovery.Targets,
                                        options.Discovery.Repeat.value_or(session.Settings.Repeat), &unknown);
    if (!unknown.empty()) {
        std::fprintf(stderr, "pyxet-cli: no interface to search named \"%s\"\n", unknown.front().c_str());
        return kExitNoStart;
    }

    // One entry per unit for the whole watch, re-filed as it changes: an address shared by two
    // units is told once, not every round.
    TDeviceRegistry list;
    list.SetKeepUnits(true);
    TWatchRunner runner;
    runner.Watch().Expect(ExpectedUnits(site));
    bool heard = false;
    bool firstRoundOver = false;
    QObject::connect(&runner, &TWatchRunner::Answered, [&heard](const TWatchAnswer&) { heard = true; });
    QObject::connect(&runner, &TWatchRunner::Event, [&](const TWatchEvent& event) {
        if (!firstRoundOver && !options.Initial && event.Kind == TWatchEventKind::New)
            return;
        const std::string line = EventLine(event);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    });
    QObject::connect(&runner, &TWatchRunner::RoundEnded, [&firstRoundOver](int) { firstRoundOver = true; });

    g_stop = 0;
    struct sigaction action {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    QTimer stopping;  // a signal is taken between two lines
    QObject::connect(&stopping, &QTimer::timeout, [] {
        if (g_stop)
            QCoreApplication::quit();
    });
    stopping.start(100);
    if (options.ForSeconds)
        QTimer::singleShot(static_cast<int>(*options.ForSeconds * 1000), QCoreApplication::instance(),
                           &QCoreApplication::quit);
    runner.Start(list, DiscoveryFamilies({&orvexServer, &hwgServer}, session.Settings), std::move(plan),
                 options.Seconds);
    QCoreApplication::exec();
    runner.Stop();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    orvexServer.OnRead = nullptr;
    hwgServer.OnRead = nullptr;
    list.FreeDevices();
    return heard ? kExitOk : kExitNoAnswer;
}

struct TCheckOptions {
    std::string Site;
    TDiscoveryOptions Discovery;
    bool Json = false;
    bool Log = false;
};

int Check(const TCheckOptions& options)
{
    TCliSession session(options.Log);
    const std::optional<std::vector<TSiteUnit>> site = LoadSite(options.Site);
    if (!site)
        return kExitNoStart;
    TUDPServer orvexServer;
    TUDPServer hwgServer;
    TDeviceRegistry list;
    if (!RunDiscovery(session.Settings, options.Discovery, orvexServer, hwgServer, list))
        return kExitNoStart;
    orvexServer.OnRead = nullptr;
    hwgServer.OnRead = nullptr;

    struct TLine {
        const char* Kind;
        TWatchAnswer Unit;
    };
    std::map<TWatchKey, TWatchAnswer> answered;
    for (const TDeviceEntry& entry : list.DeviceList()) {
        const TProductInfo& info = entry.Device->Info;
        const std::string family = entry.Device->Family().Name;
        if (const std::optional<TWatchKey> key = WatchKeyOf(info.MAC, family))
            answered[*key] = WatchAnswerOf(info, family);
    }
    std::map<TWatchKey, bool> expected;
    std::vector<TLine> lines;
    int missing = 0;
    for (const TWatchUnit& unit : ExpectedUnits(*site)) {
        expected[unit.Key] = true;
        if (!answered.count(unit.Key)) {
            lines.push_back({"missing", unit.Last});
            ++missing;
        }
    }
    for (const auto& [key, unit] : answered)
        if (!expected.count(key))
            lines.push_back({"unexpected", unit});
    if (options.Json) {
        QJsonArray objects;
        for (const TLine& line : lines)
            objects.append(QJsonObject{{QStringLiteral("kind"), QString::fromUtf8(line.Kind)},
                                       {QStringLiteral("mac"), JsonText(line.Unit.MAC)},
                                       {QStringLiteral("family"), JsonText(line.Unit.Family)},
                                       {QStringLiteral("name"), JsonText(line.Unit.Name)}});
        const std::string text = JsonLines(objects);
        std::fwrite(text.data(), 1, text.size(), stdout);
    } else {
        for (const TLine& line : lines)
            std::printf("%s\t%s\t%s\t%s\n", line.Kind, SafeText(line.Unit.MAC).c_str(),
                        SafeText(line.Unit.Family).c_str(), SafeText(line.Unit.Name).c_str());
    }
    std::fflush(stdout);
    list.FreeDevices();
    if (answered.empty())
        return kExitNoAnswer;
    return missing > 0 ? kExitFailed : kExitOk;
}

}  // namespace

const char* WatchUsage() { return kWatchUsage; }

void AddWatchCommands(CLI::App& app, TCommandBody& body)
{
    struct TArgs {
        std::optional<std::string> Seconds, Site, For;
        TDiscoveryArgs Discovery;
        bool Initial = false, Json = false, Log = false;
        std::vector<std::string> Extra;
    };
    const char* const logText = "every action-log line on standard error, as LEVEL<TAB>message";

    auto watchArgs = std::make_shared<TArgs>();
    CLI::App* watch = AddCommand(app, "watch", "watches a site and prints what changes", UsageLines(kWatchUsage, "watch"),
                                 [] { return std::string(kWatchHelp); });
    AddValue(*watch, "--seconds", watchArgs->Seconds, "N", "a round every N seconds (5-3600, default 30)");
    AddValue(*watch, "--site", watchArgs->Site, "FILE", "the site file whose units are expected");
    AddFlag(*watch, "--initial", watchArgs->Initial, "a \"new\" line per unit of the first round");
    AddValue(*watch, "--for", watchArgs->For, "SECONDS", "ends the watch after SECONDS");
    AddDiscoveryOptions(*watch, watchArgs->Discovery);
    AddFlag(*watch, "--log", watchArgs->Log, logText);
    AddArguments(*watch, "EXTRA", watchArgs->Extra, "")->group("");
    watch->callback([watch, watchArgs, &body] {
        RefuseUnknownOptions(*watch);
        if (!watchArgs->Extra.empty())
            Refuse(Format("watch takes no argument \"%s\"", watchArgs->Extra.front().c_str()));
        TWatchOptions options;
        if (watchArgs->Seconds) {
            const std::optional<int> seconds = WholeNumber(*watchArgs->Seconds, kWatchMinSeconds, kWatchMaxSeconds);
            if (!seconds)
                Refuse("--seconds", Format("takes a number from %d to %d, not \"%s\"", kWatchMinSeconds,
                                           kWatchMaxSeconds, watchArgs->Seconds->c_str()));
            options.Seconds = *seconds;
        }
        if (watchArgs->For) {
            const std::optional<int> seconds = WholeNumber(*watchArgs->For, 1, 31 * 24 * 3600);
            if (!seconds)
                Refuse("--for", Format("takes a whole number of seconds from 1 up, not \"%s\"", watchArgs->For->c_str()));
            options.ForSeconds = *seconds;
        }
        if (watchArgs->Discovery.Wait)
            Refuse("--wait", "is not taken by watch (a round awaits its answers until the next)");
        options.Site = watchArgs->Site;
        options.Initial = watchArgs->Initial;
        options.Discovery = ReadDiscoveryOptions(watchArgs->Discovery);
        options.Log = watchArgs->Log;
        body = [options] { return Watch(options); };
    });

    auto checkArgs = std::make_shared<TArgs>();
    CLI::App* check = AddCommand(app, "check", "checks a site's units once against its site file",
                                 UsageLines(kWatchUsage, "check"), [] { return std::string(kCheckHelp); });
    AddValue(*check, "--site", checkArgs->Site, "FILE", "the site file whose units are expected");
    AddDiscoveryOptions(*check, checkArgs->Discovery);
    AddFlag(*check, "--json", checkArgs->Json, "the lines as JSON");
    AddFlag(*check, "--log", checkArgs->Log, logText);
    AddArguments(*check, "EXTRA", checkArgs->Extra, "")->group("");
    check->callback([check, checkArgs, &body] {
        RefuseUnknownOptions(*check);
        if (!checkArgs->Extra.empty())
            Refuse(Format("check takes no argument \"%s\"", checkArgs->Extra.front().c_str()));
        if (!checkArgs->Site)
            Refuse("check needs --site FILE");
        TCheckOptions options;
        options.Site = *checkArgs->Site;
        options.Discovery = ReadDiscoveryOptions(checkArgs->Discovery);
        options.Json = checkArgs->Json;
        options.Log = checkArgs->Log;
        body = [options] { return Check(options); };
    });
}
