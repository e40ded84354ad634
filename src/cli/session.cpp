#include "cli/session.h"

#include "core/app/i18n.h"
#include "core/devices/addressspec.h"
#include "core/discovery/discovery.h"
#include "core/devices/netinterfaces.h"
#include "core/devices/utils.h"
#include "core/log/format.h"

#include <QByteArray>

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>

const char* LevelName(int level)
{
    switch (level) {
    case LOG_INFO: return "INFO";
    case LOG_DEBUG: return "DEBUG";
    case LOG_WARNING: return "WARNING";
    case LOG_ERROR: return "ERROR";
    default: return "UNKNOWN";
    }
}

TCliSession::TCliSession(bool logToStderr)
{
    if (logToStderr)
        Log.OnLine = [](const TLogLine& line) {
            // Stored lines start with one blank before the message.
            const char* message = line.Text.c_str() + (line.Text.rfind(' ', 0) == 0 ? 1 : 0);
            std::fprintf(stderr, "%s\t%s\n", LevelName(line.Level), message);
        };
    SetCurrentLogger(&Log);
    InitTranslation(ProgramFolder());
    LoadSettings(SettingsFolder(), Settings);
    UseLanguage(Settings.Language);
}

TCliSession::~TCliSession()
{
    SetCurrentLogger(nullptr);
}

const char* const kDiscoveryUsage = "[--wait SECONDS] [--interface NAME]... [--target SPEC]... [--repeat N]";

namespace {
constexpr double kMaxWaitSeconds = 86400;
}

bool TakeDiscoveryOption(const std::string& name, const std::string& value, TDiscoveryOptions& options,
                         std::string& error)
{
    if (name == "--wait") {
        // Read in the C locale: "0.5" means half a second whatever the user's locale.
        bool ok = false;
        const double seconds = QByteArray::fromStdString(value).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > kMaxWaitSeconds) {
            error = Format("takes seconds from 0 to %g, not \"%s\"", kMaxWaitSeconds, value.c_str());
            return false;
        }
        options.WaitSeconds = seconds;
        return true;
    }
    if (name == "--interface") {
        if (value.empty()) {
            error = "needs the name of an interface";
            return false;
        }
        options.Interfaces.push_back(value);
        return true;
    }
    if (name == "--repeat") {
        if (value.empty() || value.size() > 1 || value[0] < '1' || value[0] > '0' + kMaxRepeat) {
            error = Format("takes a number from 1 to %d, not \"%s\"", kMaxRepeat, value.c_str());
            return false;
        }
        options.Repeat = value[0] - '0';
        return true;
    }
    if (name == "--target") {
        // All targets of the command line together count against the limit.
        std::string all;
        for (const uint32_t address : options.Targets)
            all += AddressText(address) + " ";
        const TAddressSpecs specs = ParseAddressSpecs(all + value);
        if (!specs.Ok()) {
            error = specs.Error;
            return false;
        }
        options.Targets = specs.Addresses;
        return true;
    }
    error = "unknown option";
    return false;
}

bool RunDiscovery(const TSettings& settings, const TDiscoveryOptions& options, TUDPServer& orvex, TUDPServer& hwg,
                  TDeviceRegistry& list)
{
    for (const TUDPServer* server : {&orvex, &hwg}) {
        if (!server->IsOpen()) {
            std::fprintf(stderr, "pyxet-cli: cannot open a UDP socket: %s\n", server->OpenError().c_str());
            return false;
        }
    }
    std::vector<std::string> unknown;
    TDiscoveryPlan plan = PlanDiscovery(options.Interfaces, options.Targets, options.Repeat.value_or(settings.Repeat),
                                        &unknown);
    if (!unknown.empty()) {
        std::string names;
        for (const std::string& name : DiscoveryInterfaceNames(plan.Interfaces))
            names += (names.empty() ? "" : ", ") + name;
        std::fprintf(stderr, "pyxet-cli: no interface to search named \"%s\" (there are: %s)\n", unknown.front().c_str(),
                     names.empty() ? "none" : names.c_str());
        return false;
    }
    if (!options.Broadcast)
        plan.Broadcasts.clear();
    list.BeginCycle();
    TDiscoveryRun run;
    // Answers are collected for the wait after the last request went.
    QTimer answered;
    QObject::connect(&run, &TDiscoveryRun::Finished, QCoreApplication::instance(), [&options, &answered] {
        QTimer::singleShot(static_cast<int>(std::lround(options.WaitSeconds * 1000)), QCoreApplication::instance(),
                           &QCoreApplication::quit);
        if (options.UntilEveryTarget)
            answered.start(20);
    });
    QObject::connect(&answered, &QTimer::timeout, QCoreApplication::instance(), [&options, &list] {
        for (uint32_t target : options.Targets) {
            const std::string address = AddressText(target);
            const auto& devices = list.DeviceList();
            if (std::none_of(devices.begin(), devices.end(),
                             [&](const TDeviceEntry& entry) { return entry.Device->Info.PeerIP == address; }))
                return;
        }
        QCoreApplication::quit();
    });
    run.Start(list, DiscoveryFamilies({&orvex, &hwg}, settings), std::move(plan));
    QCoreApplication::exec();
    // The run's sweep socket closes here; the endpoints keep their handlers until the caller
    // takes them away.
    return true;
}
