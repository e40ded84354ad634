// pyxet-cli upgrade, backup, restore, save and load: the window's batch commands for scripts.
//
//   pyxet-cli upgrade FILE HOST... [--user NAME] [--password-file FILE] [--json] [--log]
//   pyxet-cli backup HOST... [--dir DIR] [--json] [--log]
//   pyxet-cli restore HOST... [--dir DIR | --file FILE] [--user NAME] [--password-file FILE] [--json] [--log]
//   pyxet-cli save HOST FILE [--log]
//   pyxet-cli load HOST FILE [--user NAME] [--password-file FILE] [--log]
//
// HOST is a dotted IPv4 address; no discovery runs, so devices behind routers work too. Hosts are
// handled one after another in the order given, each on TCP port 80. The password comes from the
// first line of --password-file, else from PYXET_PASSWORD, never from the command line; where
// the window would ask for a login, the host fails instead. Output: HOST<TAB>ok or
// HOST<TAB>failed<TAB>reason per host, or with --json one array of {"host", "ok", "error"}.
// --log copies the action log to standard error as LEVEL<TAB>message.
#include "cli/transfers.h"

#include "cli/session.h"

#include "core/app/i18n.h"
#include "core/app/settings.h"
#include "core/devices/utils.h"
#include "core/http/batch.h"
#include "core/http/http.h"
#include "core/http/rules.h"
#include "core/log/actionlog.h"

#include <QDir>
#include <QString>

#include <arpa/inet.h>
#include <cerrno>
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

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char* const kTransferUsage =
    "       pyxet-cli upgrade FILE HOST... [--user NAME] [--password-file FILE] [--json] [--log]\n"
    "       pyxet-cli backup HOST... [--dir DIR] [--json] [--log]\n"
    "       pyxet-cli restore HOST... [--dir DIR | --file FILE] [--user NAME] [--password-file FILE]\n"
    "                         [--json] [--log]\n"
    "       pyxet-cli save HOST FILE [--log]\n"
    "       pyxet-cli load HOST FILE [--user NAME] [--password-file FILE] [--log]\n";

const char* const kTransferHelp =
    "HOST is a dotted IPv4 address; hosts are handled one after another, on TCP port 80.\n"
    "backup writes DIR/setup_HOST_.xml (DIR: backup, created when missing); restore sends each\n"
    "host its file from DIR, or FILE to every host. The password is the first line of\n"
    "--password-file, else $PYXET_PASSWORD. A host that asks for a login fails.\n"
    "Output: HOST<TAB>ok or HOST<TAB>failed<TAB>reason; --json: [{\"host\", \"ok\", \"error\"}].\n"
    "Limits: connection %d s; a transfer moving fewer than %d bytes/s for %d s fails; an upload's\n"
    "answer is awaited %d s after its body (a device may flash first), a download's %d s.\n"
    "PYXET_HTTP_LIMITS=C,L,T,R sets these four values (seconds, bytes/s, seconds, seconds).\n"
    "Exit status: 0 every host succeeded, 1 any failed, 2 wrong command line or unreadable file.\n";

enum class TCommand { Upgrade, Backup, Restore, Save, Load };

struct TOptions {
    TCommand Command = TCommand::Upgrade;
    std::vector<std::string> Positional;
    std::string User;
    std::string PasswordFile;
    std::string Dir;
    std::string File;  // restore --file
    bool HasUser = false, HasPasswordFile = false, HasDir = false, HasFile = false;
    bool Json = false;
    bool Log = false;
};

void Usage() { std::fprintf(stderr, "usage: %s", kTransferUsage + 7); }

bool Complain(const char* fmt, const std::string& what)
{
    std::fprintf(stderr, "pyxet-cli: ");
    std::fprintf(stderr, fmt, what.c_str());
    std::fprintf(stderr, "\n");
    return false;
}

// Which options each command takes.
bool Allows(TCommand command, const std::string& option)
{
    const bool login = command == TCommand::Upgrade || command == TCommand::Restore || command == TCommand::Load;
    const bool list = command == TCommand::Upgrade || command == TCommand::Backup || command == TCommand::Restore;
    if (option == "--user" || option == "--password-file")
        return login;
    if (option == "--json")
        return list;
    if (option == "--dir")
        return command == TCommand::Backup || command == TCommand::Restore;
    if (option == "--file")
        return command == TCommand::Restore;
    return option == "--log";
}

bool ParseOptions(int argc, char* argv[], TOptions& options)
{
    bool positionalOnly = false;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (positionalOnly || arg.empty() || arg[0] != '-' || arg == "-") {
            options.Positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            positionalOnly = true;
            continue;
        }
        std::string value;
        bool hasValue = false;
        if (const size_t equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg = arg.substr(0, equals);
            hasValue = true;
        }
        if (!Allows(options.Command, arg))
            return Complain("unknown option \"%s\" for this command", arg);
        if (arg == "--json" || arg == "--log") {
            if (hasValue)
                return Complain("%s takes no value", arg);
            (arg == "--json" ? options.Json : options.Log) = true;
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= argc)
                return Complain("%s needs a value", arg);
            value = argv[++i];
        }
        if (arg == "--user") {
            options.User = value;
            options.HasUser = true;
        } else if (arg == "--password-file") {
            options.PasswordFile = value;
            options.HasPasswordFile = true;
        } else if (arg == "--dir") {
            options.Dir = value;
            options.HasDir = true;
        } else if (arg == "--file") {
            options.File = value;
            options.HasFile = true;
        }
    }
    if (options.HasDir && options.HasFile)
        return Complain("%s: --dir and --file exclude each other", "restore");
    if ((options.HasDir && options.Dir.empty()) || (options.HasFile && options.File.empty()))
        return Complain("%s: an empty file or folder name", "--dir/--file");
    return true;
}

// A dotted IPv4 address in its plain form (four decimal numbers 0-255, no leading zeros), so
// that it also names a backup file one way only.
bool IsHost(const std::string& text)
{
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

// Whether a file named on the command line can be read; says why not.
bool Readable(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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

// Stops the transfers on Ctrl+C or a TERM signal: the running one ends at once (a download
// leaves the earlier file as it was), the remaining hosts fail.
THTTPModule* g_module = nullptr;
volatile std::sig_atomic_t g_signal = 0;
extern "C" void OnSignal(int signal)
{
    g_signal = signal;
    if (g_module)
        g_module->Stop();
}

std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return text;
}

std::string Reason(const TDeviceResult& result, bool credentialsGiven)
{
    std::string reason = result.Error;
    if (result.NeedsLogin)
        reason += credentialsGiven ? "; the device refused the credentials given"
                                   : "; the device asks for a login: give --user and --password-file or PYXET_PASSWORD";
    return OneLine(reason);
}

// Standard output is checked by the caller once the command is over (main.cpp).
void PrintResults(const std::vector<TDeviceResult>& results, bool json, bool credentialsGiven)
{
    if (json) {
        std::printf("[");
        for (size_t i = 0; i < results.size(); ++i) {
            const TDeviceResult& r = results[i];
            std::printf("%s\n  {\"host\": %s, \"ok\": %s, \"error\": %s}", i ? "," : "", JsonString(r.Host).c_str(),
                        r.Ok ? "true" : "false", r.Ok ? "null" : JsonString(Reason(r, credentialsGiven)).c_str());
        }
        std::printf("%s]\n", results.empty() ? "" : "\n");
    } else {
        for (const TDeviceResult& r : results) {
            if (r.Ok)
                std::printf("%s\tok\n", r.Host.c_str());
            else
                std::printf("%s\tfailed\t%s\n", r.Host.c_str(), Reason(r, credentialsGiven).c_str());
        }
    }
}

TCommand CommandOf(const std::string& name)
{
    if (name == "backup")
        return TCommand::Backup;
    if (name == "restore")
        return TCommand::Restore;
    if (name == "save")
        return TCommand::Save;
    if (name == "load")
        return TCommand::Load;
    return TCommand::Upgrade;
}

} // namespace

bool IsTransferCommand(const char* name)
{
    for (const char* command : {"upgrade", "backup", "restore", "save", "load"})
        if (std::strcmp(name, command) == 0)
            return true;
    return false;
}

const char* TransferUsage() { return kTransferUsage; }

int RunTransferCommand(int argc, char* argv[])
{
    TOptions options;
    options.Command = CommandOf(argv[1]);
    for (int i = 2; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            const THTTPLimits l = EffectiveHTTPLimits();
            std::printf("usage: %s", kTransferUsage + 7);
            std::printf(kTransferHelp, l.ConnectSeconds, l.FloorBytesPerSecond, l.FloorSeconds, l.AnswerSeconds,
                        l.FloorSeconds);
            return kExitOk;
        }
    if (!ParseOptions(argc, argv, options)) {
        Usage();
        return kExitUsage;
    }

    // Positional arguments: the hosts, with the image first (upgrade) or the file last (save, load).
    std::vector<std::string> hosts = options.Positional;
    std::string file;
    const TCommand command = options.Command;
    if (command == TCommand::Upgrade) {
        if (hosts.size() < 2) {
            Complain("%s needs FILE and at least one HOST", "upgrade");
            Usage();
            return kExitUsage;
        }
        file = hosts.front();
        hosts.erase(hosts.begin());
    } else if (command == TCommand::Save || command == TCommand::Load) {
        if (hosts.size() != 2) {
            Complain("%s needs exactly HOST and FILE", command == TCommand::Save ? "save" : "load");
            Usage();
            return kExitUsage;
        }
        file = hosts.back();
        hosts.pop_back();
    } else if (hosts.empty()) {
        Complain("%s needs at least one HOST", command == TCommand::Backup ? "backup" : "restore");
        Usage();
        return kExitUsage;
    }
    for (const std::string& host : hosts)
        if (!IsHost(host)) {
            Complain("\"%s\" is not a dotted IPv4 address", host);
            Usage();
            return kExitUsage;
        }
    if (command == TCommand::Restore && options.HasFile)
        file = options.File;
    if ((command == TCommand::Upgrade || command == TCommand::Load || (command == TCommand::Restore && options.HasFile))
        && !Readable(file))
        return kExitUsage;

    TCliHost host;
    host.Login.User = options.User;
    if (options.HasPasswordFile) {
        if (!Readable(options.PasswordFile))
            return kExitUsage;
        std::ifstream in(options.PasswordFile, std::ios::binary);
        std::getline(in, host.Login.Password);
        if (!host.Login.Password.empty() && host.Login.Password.back() == '\r')
            host.Login.Password.pop_back();
    } else if (const char* password = std::getenv("PYXET_PASSWORD")) {
        host.Login.Password = password;
    }
    const bool credentialsGiven = !host.Login.User.empty() || !host.Login.Password.empty();

    TCliSession session(options.Log);

    THTTPModule http;
    http.SetHost(&host);
    TNoLines lines;
    TTransferBatch batch(http, lines);
    g_module = &http;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::vector<TBatchDevice> devices;
    for (const std::string& h : hosts)
        devices.push_back({h, h});
    std::vector<TDeviceResult> results;
    switch (command) {
    case TCommand::Upgrade:
        results = batch.Upgrade(devices, file);
        break;
    case TCommand::Backup: {
        const std::string dir = options.HasDir ? options.Dir : kBackupFolder;
        QDir().mkpath(QString::fromStdString(dir));  // a failure shows as each host's file error
        results = batch.Backup(devices, dir);
        break;
    }
    case TCommand::Restore:
        results = options.HasFile ? batch.RestoreCommon(devices, file)
                                  : batch.Restore(devices, options.HasDir ? options.Dir : kBackupFolder);
        break;
    case TCommand::Save:
        results = batch.Save(devices.front(), file);
        break;
    case TCommand::Load:
        results = batch.Load(devices.front(), file);
        break;
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    g_module = nullptr;

    PrintResults(results, options.Json, credentialsGiven);
    if (g_signal != 0)
        return 128 + g_signal;
    bool allOk = true;
    for (const TDeviceResult& r : results)
        allOk = allOk && r.Ok;
    return allOk ? kExitOk : kExitFailed;
}
