// pyxet-cli upgrade, backup, restore, save and load: the window's batch commands for scripts.
//
//   pyxet-cli upgrade FILE HOST...|--all [--verify SECONDS] [--user NAME] [--password-file FILE] [--jobs N]
//                     [--json] [--log]
//   pyxet-cli backup HOST...|--all [--dir DIR] [--jobs N] [--json] [--log]
//   pyxet-cli restore HOST...|--all [--dir DIR | --file FILE] [--keep-identity] [--dry-run] [--user NAME]
//                     [--password-file FILE] [--jobs N] [--json] [--log]
//   pyxet-cli save HOST FILE [--log]
//   pyxet-cli load HOST FILE [--user NAME] [--password-file FILE] [--log]
//
// HOST is a dotted IPv4 address; no discovery runs, so devices behind routers work too, and a
// host that several units share reaches whichever of them holds it. --all instead runs one
// discovery cycle (--wait SECONDS, default 2) and takes every device found, in list order,
// narrowed by --type NAME (repeatable) and --family Orvex|HWG; the output then names each device
// by MAC and address, and a unit that answered from the same address as a unit of another MAC
// (every answer counts, before --type and --family) gets no transfer and fails with that reason.
// Hosts are handled in the order given, each on TCP port 80 (one host twice never at once);
// --jobs N (1 to 32, default 1) runs up to N transfers at once, with the same results, output
// and log as one after another. --verify waits up to SECONDS after each accepted image for the
// device to answer discovery with another firmware revision, asked every two seconds at its
// address and the way discovery reaches it; only the answer of the unit that answered before the
// image (--all: the device found, by MAC and family) counts. The password comes from the
// first line of --password-file, else from PYXET_PASSWORD, never from the command line; where
// the window would ask for a login, the host fails instead. Output: HOST<TAB>ok or
// HOST<TAB>failed<TAB>reason per host, or with --json one array of {"host", "ok", "error"}.
// --log copies the action log to standard error as LEVEL<TAB>message.
#include "cli/transfers.h"
#include "cli/exitstatus.h"

#include "cli/commandline.h"
#include "cli/session.h"

#include "core/app/i18n.h"
#include "core/app/settings.h"
#include "core/config/history.h"
#include "core/http/preview.h"
#include "core/discovery/families.h"
#include "core/discovery/probe.h"
#include "core/devices/registry.h"
#include "core/devices/revision.h"
#include "core/devices/sharedaddress.h"
#include "core/devices/udpserver.h"
#include "core/devices/utils.h"
#include "core/http/batch.h"
#include "core/http/files.h"
#include "core/http/http.h"
#include "core/http/parallel.h"
#include "core/http/rules.h"
#include "core/http/transferrun.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/log/safetext.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QEventLoop>
#include <QString>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// How long the units at the hosts given are waited for.
constexpr double kMacQuestionSeconds = 1.5;

const char* const kTransferUsage =
    "       pyxet-cli upgrade FILE HOST...|--all [--verify SECONDS] [--user NAME] [--password-file FILE]\n"
    "                         [--jobs N] [--json] [--log]\n"
    "       pyxet-cli backup HOST...|--all [--dir DIR] [--jobs N] [--json] [--log]\n"
    "       pyxet-cli restore HOST...|--all [--dir DIR | --file FILE] [--keep-identity] [--dry-run]\n"
    "                         [--user NAME] [--password-file FILE] [--jobs N] [--json] [--log]\n"
    "       pyxet-cli save HOST FILE [--log]\n"
    "       pyxet-cli load HOST FILE [--user NAME] [--password-file FILE] [--log]\n";

const char* const kTransferHelp =
    "HOST is a dotted IPv4 address; hosts are handled in the order given, on TCP port 80.\n"
    "A host that several units share (a factory address) reaches only one of them, whichever\n"
    "holds the address on the wire; one host named twice never has two transfers at once.\n"
    "backup writes DIR/setup_HOST_.xml (DIR: backup, created when missing); restore sends each\n"
    "host its file from DIR, or FILE to every host. The password is the first line of\n"
    "--password-file, else $PYXET_PASSWORD. A host that asks for a login fails.\n"
    "backup and save also keep each configuration in the device's history (history/ in the data\n"
    "folder, or [History] Folder of the settings file), a new version only when it changed; given\n"
    "hosts are first asked for their MAC by the info request of both families, and one that does\n"
    "not answer is backed up or saved without history (said on standard error).\n"
    "--all: one discovery cycle (the discovery options of find: --wait SECONDS, --interface NAME,\n"
    "--target SPEC, --repeat N), then every device found, in list order, narrowed by --type NAME\n"
    "(repeatable) and --family Orvex|HWG. A device that answered from the same address as a\n"
    "device of another MAC (whatever --type and --family leave out) is not started: it fails with\n"
    "the reason \"Shares ADDRESS with N other devices; ...\".\n"
    "--jobs N: up to N transfers at once (1 to 32, default 1); output and log keep the hosts' order.\n"
    "restore --dry-run: each host's configuration is downloaded (kept in its history, never in DIR)\n"
    "and compared with what it would be sent; the preview is printed (per device the number of\n"
    "differences, the identity places that would change, devices that could not be read) and\n"
    "nothing is written (exit 0). --keep-identity: each device is sent the file with its own values\n"
    "(address, name, MAC, as its configuration just downloaded has them) put back at its identity\n"
    "places; a device that could not be read, or whose value the file's encoding cannot hold, is\n"
    "not written and fails. The log names the history version taken before each write.\n"
    "--verify SECONDS: after each accepted image, wait up to SECONDS for the device to answer\n"
    "discovery (every two seconds, at its address and its subnet's broadcast) with another firmware\n"
    "revision, else it fails; only its own answer counts (by MAC and family), from any address.\n"
    "Output: HOST<TAB>ok or HOST<TAB>failed<TAB>reason (--all: MAC<TAB>HOST<TAB>...; --verify adds\n"
    "the revisions to ok); --json: [{\"host\", \"ok\", \"error\"}] (--all adds \"mac\", --verify\n"
    "\"firmware_before\" and \"firmware_after\").\n"
    "Limits: connection %d s; a transfer moving fewer than %d bytes/s for %d s fails; an upload's\n"
    "answer is awaited %d s after its body (a device may flash first), a download's %d s.\n"
    "PYXET_HTTP_LIMITS=C,L,T,R sets these four values (seconds, bytes/s, seconds, seconds).\n"
    "A downloaded file must come with status 200, not empty and at most %d MiB; else the old one stays.\n"
    "Exit status: 0 every host succeeded, 1 any failed (--all: or none found), 2 wrong command line,\n"
    "unreadable file or no UDP socket (--all), 128+N stopped by signal N.\n";

enum class TCommand { Upgrade, Backup, Restore, Save, Load };

constexpr int kMaxVerifySeconds = 86400;

struct TOptions : TFleetChoice {
    TCommand Command = TCommand::Upgrade;
    std::string User;
    std::string PasswordFile;
    std::string Dir;
    std::string File;  // restore --file
    bool HasUser = false, HasPasswordFile = false, HasDir = false, HasFile = false;
    bool Json = false;
    bool Log = false;
    int Jobs = 1;
    std::optional<int> VerifySeconds;
    bool KeepIdentity = false;  // restore: each device keeps its own identity
    bool DryRun = false;        // restore: the preview only
    // the arguments
    std::vector<std::string> Hosts;
    std::string TransferFile;  // the image (upgrade), the file (save, load, restore --file)
};

// A dotted IPv4 address in its plain form (four decimal numbers 0-255, no leading zeros), so
// that it also names a backup file one way only.
bool IsHost(const std::string& text)
{
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

// Whether a file named on the command line can be read; says why not. A file to send must be a
// regular file (a FIFO would hold the command for ever); the password may come through a pipe.
bool Readable(const std::string& path, bool toSend)
{
    if (toSend && IsSpecialFile(path)) {
        std::fprintf(stderr, "pyxet-cli: cannot read %s: not a regular file\n", path.c_str());
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (toSend ? O_NONBLOCK : 0));
    struct stat info {};
    int error = errno;
    if (fd >= 0) {
        error = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) ? EISDIR : 0;
        ::close(fd);
    }
    if (error == 0)
        return true;
    std::fprintf(stderr, "pyxet-cli: cannot read %s: %s\n", path.c_str(), std::strerror(error));
    return false;
}

// The window's login dialog has no place here: the given credentials, and no second asking.
class TCliHost : public THTTPHost {
public:
    THTTPLogin Login;
    THTTPLogin Credentials() override { return Login; }
};

// Progress lines have no window to go to.
class TNoLines : public TProgressLines {};

// Stops the transfers on Ctrl+C or a TERM signal: the running ones end at once (a download
// leaves the earlier file as it was), the remaining hosts fail.
TTransferRun* g_run = nullptr;  // set before the handler is installed, cleared after
volatile std::sig_atomic_t g_signal = 0;
extern "C" void OnSignal(int signal)
{
    g_signal = signal;
    if (g_run)
        g_run->StopTransfers();
}

// Why a transfer failed, as one line: the error is in its shown form already (device texts and
// file names went through SafeText where the message was made).
std::string Reason(const TDeviceResult& result, bool credentialsGiven)
{
    std::string reason = result.Error;
    if (result.NeedsLogin)
        reason += credentialsGiven ? "; the device refused the credentials given"
                                   : "; the device asks for a login: give --user and --password-file or PYXET_PASSWORD";
    return reason;
}

// What the output tells beyond the transfer's result: the device's MAC (--all) and the
// revisions the check of --verify saw.
struct TOutputExtras {
    std::vector<std::string> Macs;          // empty: hosts were given
    std::vector<TUpgradeCheck> Checks;      // empty: no --verify
};

QJsonValue JsonOrNull(const std::optional<std::string>& text) { return text ? JsonText(*text) : QJsonValue(); }

// Standard output is checked by the caller once the command is over (main.cpp).
void PrintResults(const std::vector<TDeviceResult>& results, bool json, bool credentialsGiven,
                  const TOutputExtras& extras)
{
    const bool macs = !extras.Macs.empty();
    const bool checks = !extras.Checks.empty();
    if (json) {
        QJsonArray objects;
        for (size_t i = 0; i < results.size(); ++i) {
            const TDeviceResult& r = results[i];
            QJsonObject object{{QStringLiteral("host"), JsonText(r.Host)},
                               {QStringLiteral("ok"), r.Ok},
                               {QStringLiteral("error"), r.Ok ? QJsonValue() : JsonText(Reason(r, credentialsGiven))}};
            if (macs)
                object.insert(QStringLiteral("mac"), JsonText(extras.Macs[i]));
            if (checks) {
                object.insert(QStringLiteral("firmware_before"), JsonOrNull(extras.Checks[i].Before));
                object.insert(QStringLiteral("firmware_after"), JsonOrNull(extras.Checks[i].After));
            }
            objects.append(object);
        }
        std::fputs(JsonLines(objects).c_str(), stdout);
    } else {
        for (size_t i = 0; i < results.size(); ++i) {
            const TDeviceResult& r = results[i];
            const std::string name = macs ? extras.Macs[i] + "\t" + r.Host : r.Host;
            if (!r.Ok) {
                std::printf("%s\tfailed\t%s\n", name.c_str(), Reason(r, credentialsGiven).c_str());
            } else if (checks && extras.Checks[i].Before && extras.Checks[i].After) {
                const std::string& before = *extras.Checks[i].Before;
                const std::string& after = *extras.Checks[i].After;
                const std::string older = IsOlderRevision(before, after) ? std::string(" ") + _("(older)") : "";
                std::printf("%s\tok\tfirmware %s -> %s%s\n", name.c_str(), SafeText(before).c_str(),
                            SafeText(after).c_str(), older.c_str());
            } else {
                std::printf("%s\tok\n", name.c_str());
            }
        }
    }
}

// backup and save of hosts given: each host's MAC, asked of all at once, so that what they
// download is kept in their history. A host that does not answer is said on standard error.
void AskMacs(std::vector<TBatchDevice>& devices)
{
    std::vector<std::optional<std::string>> macs(devices.size());
    std::vector<std::thread> asking;
    for (size_t i = 0; i < devices.size(); ++i)
        asking.emplace_back([&macs, &devices, i] { macs[i] = AskDeviceMac(devices[i].PeerIP, kMacQuestionWaitMs); });
    for (std::thread& t : asking)
        t.join();
    for (size_t i = 0; i < devices.size(); ++i) {
        if (macs[i])
            devices[i].MAC = *macs[i];
        else
            std::fprintf(stderr,
                         "pyxet-cli: %s did not answer the info request: its configuration is not kept in the "
                         "history\n",
                         devices[i].PeerIP.c_str());
    }
}

// --all: every device one discovery cycle finds, in list order, narrowed by --type and --family.
// False when an endpoint could not be opened.
}  // namespace

bool FindFleet(const TSettings& settings, const TFleetChoice& choice, std::vector<TBatchDevice>& devices,
               std::vector<std::string>& macs, std::vector<TDeviceIdentity>* identities)
{
    const TFleetChoice& options = choice;
    TUDPServer orvex;
    TUDPServer hwg;
    TDeviceRegistry list;
    if (!RunDiscovery(settings, options.Discovery, orvex, hwg, list))
        return false;
    orvex.OnRead = nullptr;  // the list stands from here on
    hwg.OnRead = nullptr;
    // Every answer counts, also those that --type and --family leave out.
    const auto sharing = AddressSharers(list);
    for (const TDeviceEntry& entry : list.DeviceList()) {
        const TProductInfo& info = entry.Device->Info;
        if (options.Family && &entry.Device->Family() != options.Family)
            continue;
        if (!options.Types.empty() && std::find(options.Types.begin(), options.Types.end(), info.TypeName) == options.Types.end())
            continue;
        devices.push_back(BatchDevice(*entry.Device, sharing));
        macs.push_back(info.MAC);
        if (identities)
            identities->push_back(IdentityOf(*entry.Device));
    }
    list.FreeDevices();
    return true;
}

std::vector<TDeviceIdentity> IdentifyHosts(const TSettings& settings, std::vector<TBatchDevice>& devices)
{
    std::vector<TDeviceIdentity> identities;
    for (const TBatchDevice& device : devices)
        identities.push_back({"", device.PeerIP, device.PeerIP, ""});
    TDiscoveryOptions asking;
    asking.Broadcast = false;
    asking.WaitSeconds = kMacQuestionSeconds;
    for (const TBatchDevice& device : devices) {
        in_addr address{};
        if (inet_pton(AF_INET, device.PeerIP.c_str(), &address) == 1)
            asking.Targets.push_back(ntohl(address.s_addr));
    }
    TUDPServer orvex;
    TUDPServer hwg;
    TDeviceRegistry list;
    if (asking.Targets.empty() || !RunDiscovery(settings, asking, orvex, hwg, list))
        return identities;
    orvex.OnRead = nullptr;
    hwg.OnRead = nullptr;
    const auto sharing = AddressSharers(list);
    for (size_t i = 0; i < devices.size(); ++i) {
        const TProduct* found = nullptr;
        bool several = false;
        for (const TDeviceEntry& entry : list.DeviceList()) {
            const TProductInfo& info = entry.Device->Info;
            if (info.PeerIP != devices[i].PeerIP)
                continue;
            several = several || (found && MacKeyOf(found->Info.MAC) != MacKeyOf(info.MAC));
            if (!found)
                found = entry.Device.get();
        }
        if (!found || several)
            continue;
        const TBatchDevice asked = BatchDevice(*found, sharing);
        devices[i].MAC = asked.MAC;
        devices[i].Family = asked.Family;
        devices[i].CommandAddress = asked.CommandAddress;
        identities[i] = IdentityOf(*found);
    }
    list.FreeDevices();
    return identities;
}

std::vector<TDeviceResult> RunTransferOrder(const TTransferOrder& order, const THTTPLogin& login, int& signal)
{
    TCliHost host;
    host.Login = login;
    TNoLines lines;
    TTransferRun run(host, lines);
    g_signal = 0;
    g_run = &run;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    // The batch runs on threads of its own and hands its log lines here, in list order.
    QEventLoop waiting;
    QObject::connect(&run, &TTransferRun::Finished, &waiting, &QEventLoop::quit);
    run.Start(order);
    if (run.Running())
        waiting.exec();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    g_run = nullptr;
    signal = g_signal;
    return run.Results();
}

namespace {

// restore --dry-run and --keep-identity: each device's configuration is downloaded (into its
// history, never into a backup file) and compared with what it would be sent. --dry-run prints
// the preview and ends (its status returned); otherwise the order is given each device's own
// body (--keep-identity) and the versions taken before the write are logged.
std::optional<int> PreviewRestore(const TSettings& settings, const TOptions& options, TTransferOrder& order,
                                  const THTTPLogin& login, std::vector<TDeviceIdentity> identities)
{
    if (identities.empty())
        identities = IdentifyHosts(settings, order.Devices);
    TTransferOrder fetch;
    fetch.Command = TTransferCommand::Fetch;
    fetch.Devices = order.Devices;
    fetch.Jobs = order.Jobs;
    fetch.History = HistoryOfSettings(settings);
    int signal = 0;
    TPreviewInput input;
    input.Fetched = RunTransferOrder(fetch, login, signal);
    if (signal != 0)
        return 128 + signal;
    input.Devices = order.Devices;
    input.Identities = identities;
    if (options.HasFile)
        input.Targets.push_back(PreviewTargetOfFile(options.File));
    else
        input.Targets = BackupTargets(order.Devices, order.File);
    input.KeepIdentity = options.KeepIdentity;
    input.ExtraIdentityPaths = settings.IdentityPaths;
    const TPreview preview = BuildPreview(input);
    if (options.DryRun) {
        for (const std::string& line : PreviewLines(preview))
            std::printf("%s\n", line.c_str());
        return kExitOk;
    }
    if (options.KeepIdentity) {
        order.Bodies = PreviewBodies(preview);
        order.Refusals = PreviewRefusals(preview);
    }
    LogVersionsBeforeWrite(preview);
    return std::nullopt;
}

// Runs the command the line chose; the hosts are checked already.
int RunTransferCommand(const TOptions& options)
{
    const std::vector<std::string>& hosts = options.Hosts;
    const std::string& file = options.TransferFile;
    const TCommand command = options.Command;
    const char* const name = command == TCommand::Upgrade  ? "upgrade"
                             : command == TCommand::Backup ? "backup"
                                                           : "restore";
    if ((command == TCommand::Upgrade || command == TCommand::Load || (command == TCommand::Restore && options.HasFile))
        && !Readable(file, true))
        return kExitNoStart;

    TCliHost host;
    host.Login.User = options.User;
    if (options.HasPasswordFile) {
        if (!Readable(options.PasswordFile, false))
            return kExitNoStart;
        std::ifstream in(options.PasswordFile, std::ios::binary);
        std::getline(in, host.Login.Password);
        if (!host.Login.Password.empty() && host.Login.Password.back() == '\r')
            host.Login.Password.pop_back();
    } else if (const char* password = std::getenv("PYXET_PASSWORD")) {
        host.Login.Password = password;
    }
    const bool credentialsGiven = !host.Login.User.empty() || !host.Login.Password.empty();

    TCliSession session(options.Log);

    // The devices: the hosts given, or every device one discovery cycle finds.
    std::vector<TBatchDevice> devices;
    std::vector<TDeviceIdentity> identities;
    TOutputExtras extras;
    if (options.All) {
        if (!FindFleet(session.Settings, options, devices, extras.Macs, &identities))
            return kExitNoStart;
        if (devices.empty()) {
            std::fprintf(stderr, "pyxet-cli: %s --all: no device found\n", name);
            return kExitFailed;
        }
    } else {
        for (const std::string& h : hosts)
            devices.push_back({h, h});
        if (command == TCommand::Backup || command == TCommand::Save)
            AskMacs(devices);
    }

    TTransferOrder order;
    order.Devices = devices;
    order.Jobs = options.Jobs;
    // --verify: the batch asks each device's revision before its image goes out and waits for
    // another one after the device accepted it; a check that fails fails the device. A signal
    // ends the waits.
    const bool verify = command == TCommand::Upgrade && options.VerifySeconds.has_value();
    if (verify)
        order.Verification = {*options.VerifySeconds, [] { return g_signal != 0; }};
    switch (command) {
    case TCommand::Upgrade:
        order.Command = TTransferCommand::Upgrade;
        order.File = file;
        break;
    case TCommand::Backup:
        order.History = HistoryOfSettings(session.Settings);
        order.Command = TTransferCommand::Backup;
        order.File = options.HasDir ? options.Dir : kBackupFolder;
        QDir().mkpath(QString::fromStdString(order.File));  // a failure shows as each host's file error
        break;
    case TCommand::Restore:
        order.Command = options.HasFile ? TTransferCommand::RestoreCommon : TTransferCommand::Restore;
        order.File = options.HasFile ? file : options.HasDir ? options.Dir : kBackupFolder;
        break;
    case TCommand::Save:
        order.History = HistoryOfSettings(session.Settings);
        order.Command = TTransferCommand::Save;
        order.File = file;
        break;
    case TCommand::Load:
        order.Command = TTransferCommand::Load;
        order.File = file;
        break;
    }

    // --dry-run and --keep-identity: each device's configuration is downloaded first (kept in
    // its history) and compared with what it would be sent.
    if (command == TCommand::Restore && (options.DryRun || options.KeepIdentity)) {
        const std::optional<int> previewed = PreviewRestore(session.Settings, options, order, host.Login, identities);
        if (previewed)
            return *previewed;
    }

    int signal = 0;
    const std::vector<TDeviceResult> results = RunTransferOrder(order, host.Login, signal);

    if (verify)
        for (const TDeviceResult& r : results)
            extras.Checks.push_back({r.Verified, r.FirmwareBefore, r.FirmwareAfter, {}, r.Ok ? "" : r.Error});
    PrintResults(results, options.Json, credentialsGiven, extras);
    if (signal != 0)
        return 128 + signal;
    bool allOk = true;
    for (const TDeviceResult& r : results)
        allOk = allOk && r.Ok;
    return allOk ? kExitOk : kExitFailed;
}

}  // namespace

const char* TransferUsage() { return kTransferUsage; }

void AddTransferCommands(CLI::App& app, TCommandBody& body)
{
    const struct {
        const char* Name;
        TCommand Command;
        const char* Summary;
    } commands[] = {
        {"upgrade", TCommand::Upgrade, "uploads a firmware image"},
        {"backup", TCommand::Backup, "downloads each device's setup.xml into a folder"},
        {"restore", TCommand::Restore, "uploads each device's setup.xml from a folder, or one file to all"},
        {"save", TCommand::Save, "downloads one device's setup.xml"},
        {"load", TCommand::Load, "uploads a setup.xml to one device"},
    };
    for (const auto& entry : commands) {
        const TCommand command = entry.Command;
        const bool login = command == TCommand::Upgrade || command == TCommand::Restore || command == TCommand::Load;
        const bool list = command == TCommand::Upgrade || command == TCommand::Backup || command == TCommand::Restore;
        struct TArgs {
            std::vector<std::string> Positional;
            std::optional<std::string> User, PasswordFile, Dir, File, Jobs, Verify, Family;
            std::vector<std::string> Types;
            TDiscoveryArgs Discovery;
            bool All = false, Json = false, Log = false, KeepIdentity = false, DryRun = false;
        };
        auto args = std::make_shared<TArgs>();
        CLI::App* sub = AddCommand(app, entry.Name, entry.Summary, UsageLines(kTransferUsage, entry.Name), [] {
            const THTTPLimits l = EffectiveHTTPLimits();
            return Format(kTransferHelp, l.ConnectSeconds, l.FloorBytesPerSecond, l.FloorSeconds, l.AnswerSeconds,
                          l.FloorSeconds, int(kMaxConfigBytes / (1024 * 1024)));
        });
        AddArguments(*sub, "ARGS", args->Positional, "");
        if (command == TCommand::Upgrade)
            AddValue(*sub, "--verify", args->Verify, "SECONDS",
                     "waits up to SECONDS for the device to come back with another firmware");
        if (command == TCommand::Backup || command == TCommand::Restore)
            AddValue(*sub, "--dir", args->Dir, "DIR", "the folder of the files (default backup)");
        if (command == TCommand::Restore) {
            AddValue(*sub, "--file", args->File, "FILE", "sends FILE to every host");
            AddFlag(*sub, "--keep-identity", args->KeepIdentity,
                    "each device keeps its own address, name and MAC where the file has them");
            AddFlag(*sub, "--dry-run", args->DryRun, "prints what would change on each device and writes nothing");
        }
        if (login) {
            AddValue(*sub, "--user", args->User, "NAME", "the user name of the login");
            AddValue(*sub, "--password-file", args->PasswordFile, "FILE",
                     "the password: the first line of FILE (else $PYXET_PASSWORD)");
        }
        if (list) {
            AddValue(*sub, "--jobs", args->Jobs, "N", "up to N transfers at once (1-32, default 1)");
            AddFlag(*sub, "--all", args->All, "every device one discovery cycle finds, instead of hosts")
                ->group("Discovery");
            AddValues(*sub, "--type", args->Types, "NAME", "with --all: only devices of this type")->group("Discovery");
            AddValue(*sub, "--family", args->Family, "Orvex|HWG", "with --all: only devices of this family")
                ->group("Discovery");
            AddDiscoveryOptions(*sub, args->Discovery);
            AddFlag(*sub, "--json", args->Json, "the results as JSON");
        }
        AddFlag(*sub, "--log", args->Log, "every action-log line on standard error, as LEVEL<TAB>message");
        sub->callback([sub, args, &body, command, name = std::string(entry.Name)] {
            RefuseUnknownOptions(*sub);
            TOptions options;
            options.Command = command;
            options.Json = args->Json;
            options.Log = args->Log;
            options.All = args->All;
            options.KeepIdentity = args->KeepIdentity;
            options.DryRun = args->DryRun;
            options.User = args->User.value_or("");
            options.HasUser = args->User.has_value();
            options.PasswordFile = args->PasswordFile.value_or("");
            options.HasPasswordFile = args->PasswordFile.has_value();
            options.Dir = args->Dir.value_or("");
            options.HasDir = args->Dir.has_value();
            options.File = args->File.value_or("");
            options.HasFile = args->File.has_value();
            if (args->Jobs) {
                const std::optional<int> jobs = WholeNumber(*args->Jobs, 1, kMaxJobs);
                if (!jobs)
                    Refuse("--jobs", Format("takes a number from 1 to %d, not \"%s\"", kMaxJobs, args->Jobs->c_str()));
                options.Jobs = *jobs;
            }
            if (args->Verify) {
                options.VerifySeconds = WholeNumber(*args->Verify, 1, kMaxVerifySeconds);
                if (!options.VerifySeconds)
                    Refuse("--verify", Format("takes whole seconds from 1 to %d, not \"%s\"", kMaxVerifySeconds,
                                              args->Verify->c_str()));
            }
            if (args->Family && !FindFamily(*args->Family))
                Refuse("--family", Format("takes %s, not \"%s\"", FamilyNames(" or ").c_str(), args->Family->c_str()));
            if (args->Family)
                options.Family = FindFamily(*args->Family);
            options.Types = args->Types;
            options.Discovery = ReadDiscoveryOptions(args->Discovery);
            const std::string narrowing = !args->Types.empty() ? "--type"
                                          : args->Family       ? "--family"
                                                               : args->Discovery.FirstGiven();
            if (!narrowing.empty() && !options.All)
                Refuse(narrowing, "goes with --all");
            if (options.HasDir && options.HasFile)
                Refuse("--dir and --file exclude each other");
            if (options.HasDir && options.Dir.empty())
                Refuse("--dir", "an empty folder name");
            if (options.HasFile && options.File.empty())
                Refuse("--file", "an empty file name");

            // The arguments: the hosts, with the image first (upgrade) or the file last (save, load).
            std::vector<std::string> hosts = args->Positional;
            if (command == TCommand::Upgrade) {
                if (hosts.empty() || (hosts.size() < 2 && !options.All))
                    Refuse("upgrade needs FILE and at least one HOST (or --all)");
                options.TransferFile = hosts.front();
                hosts.erase(hosts.begin());
            } else if (command == TCommand::Save || command == TCommand::Load) {
                if (hosts.size() != 2)
                    Refuse(name + " needs exactly HOST and FILE");
                options.TransferFile = hosts.back();
                hosts.pop_back();
            } else if (hosts.empty() && !options.All) {
                Refuse(name + " needs at least one HOST (or --all)");
            }
            if (options.All && !hosts.empty())
                Refuse("--all", Format("takes no HOST, not \"%s\"", hosts.front().c_str()));
            for (const std::string& host : hosts)
                if (!IsHost(host))
                    Refuse(Format("\"%s\" is not a dotted IPv4 address", host.c_str()));
            if (command == TCommand::Restore && options.HasFile)
                options.TransferFile = options.File;
            options.Hosts = std::move(hosts);
            body = [options] { return RunTransferCommand(options); };
        });
    }
}
