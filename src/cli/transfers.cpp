// pyxet-cli upgrade, backup, restore, save and load: the window's batch commands for scripts.
//
//   pyxet-cli upgrade FILE HOST...|--all [--verify SECONDS] [ROLLOUT] [--journal FILE] [--one-kind] [--user NAME]
//                     [--password-file FILE] [--jobs N] [--json] [--log]
//   pyxet-cli upgrade --resume JOURNAL [--one-kind] [--user NAME] [--password-file FILE] [--json] [--log]
//   ROLLOUT: [--first N] [--wave M] [--halt-after F] [--skip-current [--image-revision REV]] [--backup-first]
//            [--retries R]
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
#include "core/keyring/keychainstore.h"
#include "core/keyring/loginstore.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/log/safetext.h"

#include <QDir>
#include <QFileInfo>
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
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// How long the units at the hosts given are waited for.
constexpr double kMacQuestionSeconds = 1.5;

const char* const kTransferUsage =
    "       pyxet-cli upgrade FILE HOST...|--all [--verify SECONDS] [ROLLOUT] [--journal FILE] [--one-kind]\n"
    "                         [LOGIN] [--jobs N] [--json] [--log]\n"
    "       pyxet-cli upgrade --resume JOURNAL [--one-kind] [LOGIN] [--json] [--log]\n"
    "         ROLLOUT: [--first N] [--wave M] [--halt-after F] [--skip-current [--image-revision REV]]\n"
    "                  [--backup-first] [--retries R]\n"
    "       pyxet-cli backup HOST...|--all [--dir DIR] [LOGIN] [--jobs N] [--json] [--log]\n"
    "       pyxet-cli restore HOST...|--all [--dir DIR | --file FILE] [--keep-identity] [--dry-run]\n"
    "                         [LOGIN] [--jobs N] [--json] [--log]\n"
    "       pyxet-cli save HOST FILE [LOGIN] [--log]\n"
    "       pyxet-cli load HOST FILE [LOGIN] [--log]\n"
    "       LOGIN: [--login keyring] [--user NAME] [--password-file FILE]\n";

const char* const kTransferHelp =
    "HOST is a dotted IPv4 address; hosts are handled in the order given, on TCP port 80.\n"
    "A host that several units share (a factory address) reaches only one of them, whichever\n"
    "holds the address on the wire; one host named twice never has two transfers at once.\n"
    "backup writes DIR/setup_HOST_.xml (DIR: backup, created when missing); restore sends each\n"
    "host its file from DIR, or FILE to every host. The password is the first line of\n"
    "--password-file (a file only you can read, a pipe, or - for standard input), else\n"
    "$PYXET_PASSWORD. --login keyring: a device that asks for a login gets its own entry of the\n"
    "desktop's keyring, else the entry of every device (pyxet-cli login), else --user's login.\n"
    "A host that asks for a login and gets none it takes fails.\n"
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
    "upgrade first prints on standard error what the image will reach, \"pyxet-cli: upgrade: 5 devices:\n"
    "Orvex Sense T ×4, Poseidon 2250 ×1\" (hosts given are asked who answers there first), and a\n"
    "warning when the devices are of more than one kind; --one-kind then refuses the batch (exit 2,\n"
    "nothing sent). Every upgrade writes a journal (--journal FILE, default\n"
    "backup/upgrade-YYYYMMDDTHHMMSSZ.json, the folder created when missing) and names it on standard\n"
    "error: the image's path, size and SHA-256, the settings, each unit's state. A rollout (any flag\n"
    "of ROLLOUT) does not start without its journal (exit 2); a plain upgrade warns and goes on.\n"
    "The settings file's [Rollout] is not read: only the flags count.\n"
    "--first N: the first N units are upgraded and verified alone, in order, before any other (a\n"
    "rollout with --first verifies every unit: --verify SECONDS, else 120 s). --wave M: M units at\n"
    "a time, each wave ended before the next (0: --jobs). --halt-after F: F failures within one wave\n"
    "halt the batch (default 1, 0 never; a failed first unit always halts); the rest is \"not\n"
    "started\". --skip-current: a unit that reported the image's revision (as the first verified\n"
    "unit of its kind came back with, or --image-revision REV from the start) is skipped, within\n"
    "its kind (family and type). --backup-first: each unit's configuration is kept in its history\n"
    "before the image (no backup: not upgraded, failed) and compared after it. --retries R: units\n"
    "that could not be reached are tried again R times at the end (after 30, 60, 120 s;\n"
    "PYXET_RETRY_SECONDS=30,60,120 sets the waits). Limits: --first 0-%d, --wave 0-%d,\n"
    "--halt-after 0-%d, --retries 0-%d.\n"
    "--resume JOURNAL (no FILE, HOST or --all): one discovery cycle (the discovery options) finds\n"
    "the journal's units by MAC wherever they answer now, and the batch goes on with the journal's\n"
    "settings and image (refused when it changed): a unit \"sent\" is only verified, one \"sending\"\n"
    "is sent again only if it still reports its old revision, one not found is \"not found\"; the\n"
    "journal is continued.\n"
    "Output: HOST<TAB>ok or HOST<TAB>failed<TAB>reason (--all and --resume: MAC<TAB>HOST<TAB>...;\n"
    "a check of the firmware adds the revisions to ok, --backup-first \"config kept\" or \"config\n"
    "changed: PATH, ...\"); upgrade also prints HOST<TAB>skipped<TAB>reason, HOST<TAB>not started,\n"
    "HOST<TAB>refused<TAB>reason and MAC<TAB><TAB>not found. --json: [{\"host\", \"ok\", \"error\"}]\n"
    "(--all adds \"mac\", --verify \"firmware_before\" and \"firmware_after\"); upgrade's rows also\n"
    "have \"mac\", \"family\", \"type\", \"state\" (verified, upgraded, skipped, not started, failed,\n"
    "refused, not found), \"reason\" and \"config\" ({\"check\": kept|changed|none, \"paths\",\n"
    "\"before\", \"after\"}), one row a unit.\n"
    "Limits: connection %d s; a transfer moving fewer than %d bytes/s for %d s fails; an upload's\n"
    "answer is awaited %d s after its body (a device may flash first), a download's %d s.\n"
    "PYXET_HTTP_LIMITS=C,L,T,R sets these four values (seconds, bytes/s, seconds, seconds).\n"
    "A downloaded file must come with status 200, not empty and at most %d MiB; else the old one stays.\n"
    "Exit status: 0 every host succeeded (upgrade: a skipped unit counts as done), 1 any failed\n"
    "(--all: or none found; upgrade: or was refused, not found or not started after a halt), 2 wrong\n"
    "command line, unreadable file, no UDP socket (--all), mixed kinds with --one-kind, a rollout's\n"
    "journal not written or a journal not resumable, 128+N stopped by signal N.\n";

enum class TCommand { Upgrade, Backup, Restore, Save, Load };

constexpr int kMaxVerifySeconds = 86400;

struct TOptions : TFleetChoice {
    TCommand Command = TCommand::Upgrade;
    std::string User;
    std::string PasswordFile;
    std::string Dir;
    std::string File;  // restore --file
    bool HasUser = false, HasPasswordFile = false, HasDir = false, HasFile = false;
    bool Keyring = false;  // --login keyring
    bool Json = false;
    bool Log = false;
    int Jobs = 1;
    std::optional<int> VerifySeconds;
    bool KeepIdentity = false;  // restore: each device keeps its own identity
    bool DryRun = false;        // restore: the preview only
    // upgrade: the rollout's flags, --journal FILE, --resume JOURNAL and --one-kind
    TRolloutSetting Rollout;
    std::optional<std::string> Journal;
    std::optional<std::string> Resume;
    bool OneKind = false;
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

// The first line of --password-file ("-": standard input). A regular file must be readable by
// its owner alone: looked at on the file opened, so that what is checked is what is read. A pipe
// or a terminal is taken as it is. False, and why on standard error, when it is refused.
bool ReadPasswordFile(const std::string& path, std::string& password)
{
    const bool standardInput = path == "-";
    const int fd = standardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    int error = fd < 0 ? errno : ::fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
    if (error != 0) {
        std::fprintf(stderr, "pyxet-cli: cannot read %s: %s\n", path.c_str(), std::strerror(error));
        if (fd >= 0 && !standardInput)
            ::close(fd);
        return false;
    }
    if (S_ISREG(info.st_mode) && (info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        std::fprintf(stderr,
                     "pyxet-cli: --password-file: %s is readable by its group or others; "
                     "make it yours alone (chmod 600) or use a pipe\n",
                     path.c_str());
        if (!standardInput)
            ::close(fd);
        return false;
    }
    password.clear();
    char c;
    ssize_t got;
    while ((got = ::read(fd, &c, 1)) == 1 && c != '\n')
        password.push_back(c);
    if (!standardInput)
        ::close(fd);
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    return true;
}

// The window's login dialog has no place here: the keyring's entries (--login keyring), the
// given credentials, and no asking.
class TCliHost : public THTTPHost {
public:
    THTTPLogin Login;
    std::unique_ptr<TKeychainStore> Store;  // --login keyring
    std::unique_ptr<TKeyringLogins> Keyring;
    THTTPLogin Credentials() override { return Login; }
    void LookUpLogins(const std::string& mac, std::function<void(const TRemembered&)> done) override
    {
        if (Keyring)
            Keyring->LookUp(mac, std::move(done));
        else
            THTTPHost::LookUpLogins(mac, std::move(done));
    }
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
// With --login keyring, `entries` names the keyring's entries looked for.
std::string Reason(const TDeviceResult& result, bool credentialsGiven, const std::string& entries)
{
    std::string reason = result.Error;
    if (result.NeedsLogin && !entries.empty())
        reason += "; no login in the keyring served it (looked for " + entries + ")"
                  + (credentialsGiven ? ", and the device refused the credentials given" : "");
    else if (result.NeedsLogin)
        reason += credentialsGiven ? "; the device refused the credentials given"
                                   : "; the device asks for a login: give --user and --password-file or PYXET_PASSWORD";
    return reason;
}

// The keyring's entries a device's login was looked for in.
std::string KeyringEntries(const TBatchDevice& device)
{
    const std::string key = DeviceKey(device.MAC);
    return key.empty() ? std::string("the entry of every device; the device's MAC is not known")
                       : "the entries " + key + " and " + kEveryDeviceKey;
}

// What the output tells beyond the transfer's result: the device's MAC (--all) and the
// keyring's entries looked for.
struct TOutputExtras {
    std::vector<std::string> Macs;          // empty: hosts were given
    std::vector<std::string> Entries;       // --login keyring: the entries looked for
};

// How a row of the text output names its device: HOST, or MAC<TAB>HOST when devices are named by MAC.
std::string RowName(const std::vector<std::string>& macs, size_t i, const std::string& host)
{
    return macs.empty() ? host : macs[i] + "\t" + host;
}

// Standard output is checked by the caller once the command is over (main.cpp).
void PrintResults(const std::vector<TDeviceResult>& results, bool json, bool credentialsGiven,
                  const TOutputExtras& extras)
{
    const auto entries = [&](size_t i) { return extras.Entries.empty() ? std::string() : extras.Entries[i]; };
    if (json) {
        QJsonArray objects;
        for (size_t i = 0; i < results.size(); ++i) {
            const TDeviceResult& r = results[i];
            QJsonObject object{{QStringLiteral("host"), JsonText(r.Host)},
                               {QStringLiteral("ok"), r.Ok},
                               {QStringLiteral("error"), r.Ok ? QJsonValue() : JsonText(Reason(r, credentialsGiven, entries(i)))}};
            if (!extras.Macs.empty())
                object.insert(QStringLiteral("mac"), JsonText(extras.Macs[i]));
            objects.append(object);
        }
        std::fputs(JsonLines(objects).c_str(), stdout);
        return;
    }
    for (size_t i = 0; i < results.size(); ++i) {
        const TDeviceResult& r = results[i];
        const std::string name = RowName(extras.Macs, i, r.Host);
        if (r.Ok)
            std::printf("%s\tok\n", name.c_str());
        else
            std::printf("%s\tfailed\t%s\n", name.c_str(), Reason(r, credentialsGiven, entries(i)).c_str());
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
    asking.UntilEveryTarget = true;
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
        devices[i].Kind = asked.Kind;
        devices[i].Revision = asked.Revision;
        identities[i] = IdentityOf(*found);
    }
    list.FreeDevices();
    return identities;
}

std::vector<TDeviceResult> RunTransferOrder(const TTransferOrder& order, const TCliLogin& login, int& signal)
{
    TCliHost host;
    host.Login = login.Given;
    if (login.Keyring) {
        host.Store = std::make_unique<TKeychainStore>();
        host.Keyring = std::make_unique<TKeyringLogins>(*host.Store);
    }
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
                                  const TCliLogin& login, std::vector<TDeviceIdentity> identities)
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

// The devices of a command: every device one discovery cycle finds (--all), else the hosts given,
// asked who answers there when `identify` (upgrade) or for their MAC (backup, save). The exit
// status when the command cannot go on.
std::optional<int> TakeDevices(const TCliSession& session, const TOptions& options, const char* name, bool identify,
                               std::vector<TBatchDevice>& devices, std::vector<std::string>& macs,
                               std::vector<TDeviceIdentity>& identities)
{
    if (options.All) {
        if (!FindFleet(session.Settings, options, devices, macs, &identities))
            return kExitNoStart;
        if (devices.empty()) {
            std::fprintf(stderr, "pyxet-cli: %s --all: no device found\n", name);
            return kExitFailed;
        }
        return std::nullopt;
    }
    for (const std::string& h : options.Hosts)
        devices.push_back({h, h});
    if (identify)
        identities = IdentifyHosts(session.Settings, devices);
    else if (options.Command == TCommand::Backup || options.Command == TCommand::Save)
        AskMacs(devices);
    return std::nullopt;
}

// ---- upgrade -----------------------------------------------------------------------------------

// How long a rollout with --first checks each unit's new firmware when --verify is not given.
constexpr int kRolloutVerifySeconds = 120;

// Where a unit ended: the batch's state, or what its result tells when the batch left none (a
// unit without a result was not started).
TUnitState UnitStateOf(const TDeviceResult* result)
{
    if (!result)
        return TUnitState::NotStarted;
    if (result->State != TUnitState::NotStarted)
        return result->State;
    if (result->Ok)
        return result->Verified ? TUnitState::Verified : TUnitState::Upgraded;
    return result->Error.empty() ? TUnitState::NotStarted : TUnitState::Failed;
}

// Whether a unit's end leaves the batch a success: upgraded, verified or already current.
bool UnitDone(TUnitState state)
{
    return state == TUnitState::Verified || state == TUnitState::Upgraded || state == TUnitState::Skipped;
}

// One unit of upgrade's output.
struct TUpgradeRow {
    std::string Name;  // HOST, or MAC<TAB>HOST
    std::string Host;
    std::string Mac, Family, Type;
    TUnitState State = TUnitState::NotStarted;
    std::string Reason;  // why it failed (with the login hints), was skipped, refused or not found
    std::optional<std::string> Before, After;
    TConfigCheck Config;
};

// A row for every unit, those the batch did not start included.
std::vector<TUpgradeRow> UpgradeRows(const std::vector<TBatchDevice>& devices,
                                     const std::vector<TDeviceResult>& results, bool namedByMac,
                                     bool credentialsGiven, const std::vector<std::string>& entries)
{
    std::vector<TUpgradeRow> rows;
    for (size_t i = 0; i < devices.size(); ++i) {
        const TBatchDevice& device = devices[i];
        const TDeviceResult* result = i < results.size() ? &results[i] : nullptr;
        TUpgradeRow row;
        row.Host = result && !result->Host.empty() ? result->Host : device.PeerIP;
        row.Mac = device.MAC;
        row.Family = !device.Family.empty() ? device.Family : device.Kind.Family;
        row.Type = device.Kind.TypeName;
        row.Name = namedByMac ? row.Mac + "\t" + row.Host : row.Host;
        row.State = UnitStateOf(result);
        if (result) {
            if (row.State == TUnitState::Failed && !result->Error.empty())
                row.Reason = Reason(*result, credentialsGiven, entries.empty() ? std::string() : entries[i]);
            else
                row.Reason = !result->Reason.empty() ? result->Reason : result->Error;
            row.Before = result->FirmwareBefore;
            row.After = result->FirmwareAfter;
            row.Config = result->ConfigCheck;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

QJsonValue JsonOrNull(const std::optional<std::string>& text) { return text ? JsonText(*text) : QJsonValue(); }
QJsonValue JsonOrNull(const std::string& text) { return text.empty() ? QJsonValue() : JsonText(text); }

// upgrade's output: a row a unit, as JSON or as lines. `checked`: the new firmware was checked
// (the revisions are told).
void PrintUpgradeRows(const std::vector<TUpgradeRow>& rows, bool json, bool checked)
{
    if (json) {
        QJsonArray objects;
        for (const TUpgradeRow& row : rows) {
            const bool ok = UnitDone(row.State);
            QJsonArray paths;
            for (const std::string& path : row.Config.Paths)
                paths.append(JsonText(path));
            QJsonObject object{
                {QStringLiteral("host"), JsonOrNull(row.Host)},  // none: a resume did not find it
                {QStringLiteral("ok"), ok},
                {QStringLiteral("error"), ok ? QJsonValue() : JsonText(row.Reason)},
                {QStringLiteral("mac"), JsonOrNull(row.Mac)},
                {QStringLiteral("family"), JsonOrNull(row.Family)},
                {QStringLiteral("type"), JsonOrNull(row.Type)},
                {QStringLiteral("state"), QString::fromUtf8(UnitStateName(row.State))},
                {QStringLiteral("reason"), JsonOrNull(row.Reason)},
                {QStringLiteral("config"),
                 QJsonObject{{QStringLiteral("check"), QString::fromUtf8(ConfigCheckName(row.Config.Kind))},
                             {QStringLiteral("paths"), paths},
                             {QStringLiteral("before"), JsonOrNull(row.Config.Before)},
                             {QStringLiteral("after"), JsonOrNull(row.Config.After)}}}};
            if (checked) {
                object.insert(QStringLiteral("firmware_before"), JsonOrNull(row.Before));
                object.insert(QStringLiteral("firmware_after"), JsonOrNull(row.After));
            }
            objects.append(object);
        }
        std::fputs(JsonLines(objects).c_str(), stdout);
        return;
    }
    for (const TUpgradeRow& row : rows) {
        std::string line = row.Name;
        if (row.State == TUnitState::Verified || row.State == TUnitState::Upgraded) {
            line += "\tok";
            if (checked && row.Before && row.After) {
                const std::string older = IsOlderRevision(*row.Before, *row.After) ? std::string(" ") + _("(older)") : "";
                line += "\tfirmware " + SafeText(*row.Before) + " -> " + SafeText(*row.After) + older;
            }
            if (row.Config.Kind == TConfigCheckKind::Kept)
                line += "\tconfig kept";
            if (row.Config.Kind == TConfigCheckKind::Changed) {
                line += "\tconfig changed:";
                for (size_t i = 0; i < row.Config.Paths.size(); ++i)
                    line += (i == 0 ? " " : ", ") + SafeText(row.Config.Paths[i]);
            }
        } else {
            line += std::string("\t") + UnitStateName(row.State);
            if (!row.Reason.empty() && row.State != TUnitState::NotFound)  // its reason only repeats it
                line += "\t" + row.Reason;
        }
        std::printf("%s\n", line.c_str());
    }
}

// The line of what the image will reach, on standard error, and the warning of mixed kinds.
// False (after saying why) when --one-kind refuses the batch.
bool SayKinds(const std::vector<TBatchDevice>& devices, bool oneKind)
{
    std::vector<TUnitKind> kinds;
    for (const TBatchDevice& device : devices)
        kinds.push_back(device.Kind);
    const TKindsLine line = KindsLine(kinds);
    std::fprintf(stderr, "pyxet-cli: upgrade: %s\n", line.Text.c_str());
    if (!line.Mixed)
        return true;
    if (oneKind) {
        std::fprintf(stderr, "pyxet-cli: --one-kind: the devices are of more than one kind; nothing sent\n");
        return false;
    }
    std::fprintf(stderr,
                 "pyxet-cli: upgrade: warning: the devices are of more than one kind; an image is made for one "
                 "kind of device\n");
    return true;
}

// The image's size and SHA-256 for its journal, or why they could not be read.
struct TImageHash {
    bool Ok = false;
    int64_t Size = 0;
    std::string Sha256;
    std::string Error;
};

// Hashes the image on a thread of its own, while the units are being found.
std::future<TImageHash> HashImageAside(const std::string& image)
{
    return std::async(std::launch::async, [image] {
        TImageHash hash;
        hash.Ok = HashImage(image, hash.Size, hash.Sha256, hash.Error);
        if (!hash.Ok)
            hash.Error = image + ": " + hash.Error;
        return hash;
    });
}

// A new journal for the devices, written once: --journal FILE, else a new file in backup/ (the
// folder made when missing). None, with why, when it could not be written.
std::shared_ptr<TJournalWriter> StartJournal(const TOptions& options, const std::vector<TBatchDevice>& devices,
                                             const TRolloutSetting& rollout, int verifySeconds,
                                             const TImageHash& hash, std::string& error)
{
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    if (!hash.Ok) {
        error = hash.Error;
        return nullptr;
    }
    std::vector<TJournalUnit> units;
    for (const TBatchDevice& device : devices)
        units.push_back(JournalUnitOf(device));
    if (!options.Journal)
        QDir().mkdir(QString::fromUtf8(kBackupFolder));  // a failure shows as the journal's
    const std::string path = options.Journal ? *options.Journal : NewJournalName(kBackupFolder, now);
    const std::string image = QFileInfo(QString::fromStdString(options.TransferFile)).absoluteFilePath().toStdString();
    auto writer = std::make_shared<TJournalWriter>(
        path, NewJournal(image, hash.Size, hash.Sha256, rollout, options.Jobs, verifySeconds, std::move(units), now));
    if (writer->Ok())
        return writer;
    error = writer->Error();
    return nullptr;
}

// upgrade, and upgrade --resume: the units, what the image will reach, the journal, the batch,
// a row a unit.
int RunUpgrade(const TOptions& options, const TCliLogin& login)
{
    const bool credentialsGiven = !login.Given.User.empty() || !login.Given.Password.empty();
    TCliSession session(options.Log);

    std::vector<TBatchDevice> devices;
    std::optional<TUpgradeJournal> resumed;
    std::future<TImageHash> hashing;
    if (options.Resume) {
        // The journal read back, its image unchanged, its units found by MAC wherever they answer.
        std::string error;
        resumed = ReadJournal(*options.Resume, error);
        if (!resumed) {
            std::fprintf(stderr, "pyxet-cli: --resume: %s\n", error.c_str());
            return kExitNoStart;
        }
        const std::string changed = ImageChangedRefusal(*resumed);
        if (!changed.empty()) {
            std::fprintf(stderr, "pyxet-cli: --resume: %s\n", changed.c_str());
            return kExitNoStart;
        }
        TFleetChoice everyDevice;
        everyDevice.All = true;
        everyDevice.Discovery = options.Discovery;
        std::vector<TBatchDevice> found;
        std::vector<std::string> foundMacs;
        if (!FindFleet(session.Settings, everyDevice, found, foundMacs))
            return kExitNoStart;
        devices = ResumeDevices(*resumed, found);
    } else {
        hashing = HashImageAside(options.TransferFile);
        std::vector<std::string> macs;
        std::vector<TDeviceIdentity> identities;
        if (const std::optional<int> status = TakeDevices(session, options, "upgrade", true, devices, macs, identities))
            return *status;
    }
    if (!SayKinds(devices, options.OneKind))
        return kExitNoStart;

    // The settings: the flags, or the journal's when resuming. A rollout with --first checks every
    // unit's new firmware, with --verify's seconds or kRolloutVerifySeconds.
    const TRolloutSetting rollout = resumed ? resumed->Rollout : options.Rollout;
    const int verifySeconds = resumed                 ? resumed->VerifySeconds
                              : options.VerifySeconds ? *options.VerifySeconds
                              : rollout.Verifies()    ? kRolloutVerifySeconds
                                                      : 0;
    std::string error;
    std::shared_ptr<TJournalWriter> journal;
    if (resumed) {
        journal = std::make_shared<TJournalWriter>(*options.Resume, *resumed);
        if (!journal->Ok()) {
            error = journal->Error();
            journal.reset();
        }
    } else {
        journal = StartJournal(options, devices, rollout, verifySeconds, hashing.get(), error);
    }
    if (!journal && rollout.Asked()) {
        std::fprintf(stderr, "pyxet-cli: upgrade: cannot write the journal: %s; a rollout does not start without it\n",
                     error.c_str());
        return kExitNoStart;
    }
    if (!journal)
        std::fprintf(stderr, "pyxet-cli: upgrade: warning: cannot write the journal: %s; going on without it\n",
                     error.c_str());
    else
        std::fprintf(stderr, "pyxet-cli: upgrade: journal %s\n", journal->Path().c_str());

    TTransferOrder order;
    order.Command = TTransferCommand::Upgrade;
    order.Devices = devices;
    order.File = resumed ? resumed->Image : options.TransferFile;
    order.Jobs = resumed ? std::clamp(resumed->Jobs, 1, kMaxJobs) : options.Jobs;
    order.Rollout = rollout;
    order.Journal = journal;
    order.Resumed = resumed;
    order.History = HistoryOfSettings(session.Settings);
    // The check after each accepted image: the batch asks each unit's revision before its image
    // goes out and waits for another one after; a check that fails fails the unit. A signal ends
    // the waits.
    if (verifySeconds > 0)
        order.Verification = {verifySeconds, [] { return g_signal != 0; }};

    std::vector<std::string> entries;
    if (options.Keyring)
        for (const TBatchDevice& device : devices)
            entries.push_back(KeyringEntries(device));

    int signal = 0;
    const std::vector<TDeviceResult> results = RunTransferOrder(order, login, signal);
    const std::vector<TUpgradeRow> rows = UpgradeRows(devices, results, options.All || resumed, credentialsGiven, entries);
    PrintUpgradeRows(rows, options.Json, verifySeconds > 0);
    if (signal != 0)
        return 128 + signal;
    for (const TUpgradeRow& row : rows)
        if (!UnitDone(row.State))
            return kExitFailed;
    return kExitOk;
}

// The logins of the command line: --user, the password of --password-file or PYXET_PASSWORD,
// --login keyring. False, after a line on standard error, when the password file is refused.
bool ReadLogin(const TOptions& options, TCliLogin& login)
{
    login.Given.User = options.User;
    login.Keyring = options.Keyring;
    if (options.HasPasswordFile)
        return ReadPasswordFile(options.PasswordFile, login.Given.Password);
    if (const char* password = std::getenv("PYXET_PASSWORD"))
        login.Given.Password = password;
    return true;
}

// Runs the command the line chose; the hosts are checked already.
int RunTransferCommand(const TOptions& options)
{
    const std::string& file = options.TransferFile;
    const TCommand command = options.Command;
    const char* const name = command == TCommand::Backup ? "backup" : "restore";
    if (((command == TCommand::Upgrade && !options.Resume) || command == TCommand::Load
         || (command == TCommand::Restore && options.HasFile))
        && !Readable(file, true))
        return kExitNoStart;

    TCliLogin login;
    if (!ReadLogin(options, login))
        return kExitNoStart;
    if (command == TCommand::Upgrade)
        return RunUpgrade(options, login);
    const bool credentialsGiven = !login.Given.User.empty() || !login.Given.Password.empty();

    TCliSession session(options.Log);

    // The devices: the hosts given, or every device one discovery cycle finds.
    std::vector<TBatchDevice> devices;
    std::vector<TDeviceIdentity> identities;
    TOutputExtras extras;
    if (const std::optional<int> status = TakeDevices(session, options, name, false, devices, extras.Macs, identities))
        return *status;
    if (options.Keyring)
        for (const TBatchDevice& device : devices)
            extras.Entries.push_back(KeyringEntries(device));

    TTransferOrder order;
    order.Devices = devices;
    order.Jobs = options.Jobs;
    switch (command) {
    case TCommand::Upgrade:  // RunUpgrade
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
        const std::optional<int> previewed = PreviewRestore(session.Settings, options, order, login, identities);
        if (previewed)
            return *previewed;
    }

    int signal = 0;
    const std::vector<TDeviceResult> results = RunTransferOrder(order, login, signal);
    PrintResults(results, options.Json, credentialsGiven, extras);
    if (signal != 0)
        return 128 + signal;
    bool allOk = true;
    for (const TDeviceResult& r : results)
        allOk = allOk && r.Ok;
    return allOk ? kExitOk : kExitFailed;
}

// upgrade's rollout options as given.
struct TRolloutArgs {
    std::optional<std::string> First, Wave, HaltAfter, Retries, ImageRevision, Journal, Resume;
    bool SkipCurrent = false, BackupFirst = false, OneKind = false;
};

void AddRolloutOptions(CLI::App& sub, TRolloutArgs& args)
{
    const std::string group = "Rollout";
    AddValue(sub, "--first", args.First, "N", "the first N units alone, each upgraded and verified before any other")
        ->group(group);
    AddValue(sub, "--wave", args.Wave, "M", "M units at a time, each wave ended before the next (0: --jobs)")
        ->group(group);
    AddValue(sub, "--halt-after", args.HaltAfter, "F", "F failures within a wave halt the batch (default 1, 0 never)")
        ->group(group);
    AddFlag(sub, "--skip-current", args.SkipCurrent, "skips units that already run the image's revision")->group(group);
    AddValue(sub, "--image-revision", args.ImageRevision, "REV",
             "with --skip-current: the image's revision, to skip from the start")
        ->group(group);
    AddFlag(sub, "--backup-first", args.BackupFirst,
            "keeps each unit's configuration before its image and compares it after")
        ->group(group);
    AddValue(sub, "--retries", args.Retries, "R", "tries units that could not be reached again R times at the end")
        ->group(group);
    AddValue(sub, "--journal", args.Journal, "FILE", "the journal (default backup/upgrade-TIME.json)")->group(group);
    AddValue(sub, "--resume", args.Resume, "JOURNAL", "goes on with the units of JOURNAL not done")->group(group);
    AddFlag(sub, "--one-kind", args.OneKind, "refuses a batch of devices of more than one kind")->group(group);
}

// A whole number of a rollout option, from 0 to high; refuses anything else.
int RolloutNumber(const std::optional<std::string>& text, const char* option, int high, int otherwise)
{
    if (!text)
        return otherwise;
    const std::optional<int> n = WholeNumber(*text, 0, high);
    if (!n)
        Refuse(option, Format("takes a number from 0 to %d, not \"%s\"", high, text->c_str()));
    return *n;
}

// Checks the rollout options and takes them into options.
void ReadRolloutOptions(const TRolloutArgs& args, TOptions& options)
{
    TRolloutSetting& rollout = options.Rollout;
    rollout.First = RolloutNumber(args.First, "--first", kMaxRolloutFirst, rollout.First);
    rollout.Wave = RolloutNumber(args.Wave, "--wave", kMaxRolloutWave, rollout.Wave);
    rollout.HaltAfter = RolloutNumber(args.HaltAfter, "--halt-after", kMaxRolloutHalt, rollout.HaltAfter);
    rollout.Retries = RolloutNumber(args.Retries, "--retries", kMaxRolloutRetries, rollout.Retries);
    rollout.SkipCurrent = args.SkipCurrent;
    rollout.BackupFirst = args.BackupFirst;
    if (args.ImageRevision) {
        const std::string& revision = *args.ImageRevision;
        if (revision.find_first_not_of(" \t") == std::string::npos)
            Refuse("--image-revision", "an empty revision");
        if (revision.size() > 64 || std::any_of(revision.begin(), revision.end(),
                                                 [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
            Refuse("--image-revision", "at most 64 characters, no control characters");
        if (!args.SkipCurrent)
            Refuse("--image-revision", "goes with --skip-current");
        rollout.ImageRevision = revision;
    }
    if (args.HaltAfter && !rollout.Waves())
        Refuse("--halt-after", "goes with --first or --wave");
    if (args.Journal && args.Journal->empty())
        Refuse("--journal", "an empty file name");
    if (args.Resume && args.Resume->empty())
        Refuse("--resume", "an empty file name");
    if (args.Resume) {
        const char* given = args.First ? "--first" : args.Wave ? "--wave" : args.HaltAfter ? "--halt-after"
                            : args.SkipCurrent ? "--skip-current" : args.BackupFirst ? "--backup-first"
                            : args.Retries ? "--retries" : args.Journal ? "--journal" : nullptr;
        if (given)
            Refuse(given, "not with --resume: the journal's settings are taken");
    }
    options.Journal = args.Journal;
    options.Resume = args.Resume;
    options.OneKind = args.OneKind;
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
        const bool list = command == TCommand::Upgrade || command == TCommand::Backup || command == TCommand::Restore;
        struct TArgs {
            std::vector<std::string> Positional;
            std::optional<std::string> User, PasswordFile, Login, Dir, File, Jobs, Verify, Family;
            std::vector<std::string> Types;
            TDiscoveryArgs Discovery;
            bool All = false, Json = false, Log = false, KeepIdentity = false, DryRun = false;
            TRolloutArgs Rollout;
        };
        auto args = std::make_shared<TArgs>();
        CLI::App* sub = AddCommand(app, entry.Name, entry.Summary, UsageLines(kTransferUsage, entry.Name), [] {
            const THTTPLimits l = EffectiveHTTPLimits();
            return Format(kTransferHelp, kMaxRolloutFirst, kMaxRolloutWave, kMaxRolloutHalt, kMaxRolloutRetries,
                          l.ConnectSeconds, l.FloorBytesPerSecond, l.FloorSeconds, l.AnswerSeconds,
                          l.FloorSeconds, int(kMaxConfigBytes / (1024 * 1024)));
        });
        AddArguments(*sub, "ARGS", args->Positional, "");
        if (command == TCommand::Upgrade) {
            AddValue(*sub, "--verify", args->Verify, "SECONDS",
                     "waits up to SECONDS for the device to come back with another firmware");
            AddRolloutOptions(*sub, args->Rollout);
        }
        if (command == TCommand::Backup || command == TCommand::Restore)
            AddValue(*sub, "--dir", args->Dir, "DIR", "the folder of the files (default backup)");
        if (command == TCommand::Restore) {
            AddValue(*sub, "--file", args->File, "FILE", "sends FILE to every host");
            AddFlag(*sub, "--keep-identity", args->KeepIdentity,
                    "each device keeps its own address, name and MAC where the file has them");
            AddFlag(*sub, "--dry-run", args->DryRun, "prints what would change on each device and writes nothing");
        }
        AddValue(*sub, "--login", args->Login, "keyring", "logins from the desktop's keyring (pyxet-cli login)");
        AddValue(*sub, "--user", args->User, "NAME", "the user name of the login");
        AddValue(*sub, "--password-file", args->PasswordFile, "FILE",
                 "the password: the first line of FILE, yours alone, a pipe or - (else $PYXET_PASSWORD)");
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
            if (args->Login && *args->Login != "keyring")
                Refuse("--login", Format("takes keyring, not \"%s\"", args->Login->c_str()));
            options.Keyring = args->Login.has_value();
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
            if (command == TCommand::Upgrade)
                ReadRolloutOptions(args->Rollout, options);
            if (options.Resume && (args->Jobs || args->Verify))
                Refuse(args->Jobs ? "--jobs" : "--verify", "not with --resume: the journal's value is taken");
            const std::string discovery = args->Discovery.FirstGiven();
            const std::string narrowing = !args->Types.empty() ? "--type" : args->Family ? "--family" : discovery;
            if (!narrowing.empty() && !options.All && !(options.Resume && narrowing == discovery))
                Refuse(narrowing, options.Resume ? "goes with --all, not with --resume" : "goes with --all");
            if (options.HasDir && options.HasFile)
                Refuse("--dir and --file exclude each other");
            if (options.HasDir && options.Dir.empty())
                Refuse("--dir", "an empty folder name");
            if (options.HasFile && options.File.empty())
                Refuse("--file", "an empty file name");

            // The arguments: the hosts, with the image first (upgrade) or the file last (save, load).
            std::vector<std::string> hosts = args->Positional;
            if (command == TCommand::Upgrade && options.Resume) {
                if (!hosts.empty())
                    Refuse("--resume", Format("takes no FILE or HOST, not \"%s\"", hosts.front().c_str()));
                if (options.All)
                    Refuse("--resume", "not with --all: the journal names the units");
            } else if (command == TCommand::Upgrade) {
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
