#include "cli/login.h"
#include "cli/exitstatus.h"

#include "core/keyring/keychainstore.h"
#include "core/keyring/loginstore.h"
#include "core/log/format.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <termios.h>
#include <unistd.h>

const char* const kLoginUsage = "       pyxet-cli login set (MAC | --every-device) --user NAME\n"
                                "       pyxet-cli login list [--json]\n"
                                "       pyxet-cli login forget (MAC | --every-device | --all)\n";

namespace {

const char* const kLoginHelp =
    "The logins of the devices' web servers kept in the desktop's keyring (the Secret Service:\n"
    "GNOME Keyring, KWallet, KeePassXC), service \"Pyxet\": one entry per device, keyed by its MAC,\n"
    "and one for every device. Transfer commands use them with --login keyring, in this order:\n"
    "the device's entry, the entry of every device, then --user with --password-file or\n"
    "$PYXET_PASSWORD. set reads the password from the terminal without echo, or the first line of\n"
    "standard input when that is no terminal. list shows ENTRY<TAB>USER (never a password).\n"
    "Exit status: 0 done, 1 the keyring refused, is missing or has no such entry, 2 wrong command line.\n";

// Runs one keyring operation to its end: the jobs answer through the event loop.
template <class TResult>
TResult Await(const std::function<void(TKeyringLogins&, std::function<void(const TResult&)>)>& operation)
{
    TKeychainStore store;
    TKeyringLogins logins(store);
    QEventLoop loop;
    std::optional<TResult> result;
    operation(logins, [&](const TResult& r) {
        result = r;
        loop.quit();
    });
    if (!result)
        loop.exec();
    return *result;
}

int Report(const TKeyringResult& result, const std::string& what)
{
    if (result.Ok())
        return kExitOk;
    if (result.Status == TStoreStatus::NotFound)
        std::fprintf(stderr, "pyxet-cli: login forget: no entry %s in the keyring\n", what.c_str());
    else
        std::fprintf(stderr, "pyxet-cli: the keyring refused: %s\n", result.Error.c_str());
    return kExitFailed;
}

// The password: from the terminal without echo, else the first line of standard input.
std::optional<std::string> ReadPassword()
{
    std::string password;
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    termios saved {};
    if (terminal) {
        std::fputs("Password: ", stderr);
        std::fflush(stderr);
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    const bool read = static_cast<bool>(std::getline(std::cin, password));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr);
    }
    if (!read)
        return std::nullopt;
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    return password;
}

// The entry a MAC argument or --every-device names; refuses anything else.
std::string EntryKey(const std::vector<std::string>& macs, bool every, const std::string& command)
{
    if (every && !macs.empty())
        Refuse(Format("login %s takes a MAC or --every-device, not both", command.c_str()));
    if (every)
        return kEveryDeviceKey;
    if (macs.size() != 1)
        Refuse(Format("login %s needs one MAC (or --every-device)", command.c_str()));
    const std::string key = DeviceKey(macs.front());
    if (key.empty())
        Refuse(Format("\"%s\" is not a MAC address", macs.front().c_str()));
    return key;
}

int Set(const std::string& key, const std::string& user)
{
    const std::optional<std::string> password = ReadPassword();
    if (!password) {
        std::fputs("pyxet-cli: login set: no password given\n", stderr);
        return kExitNoStart;
    }
    const TLogin login{user, *password};
    return Report(Await<TKeyringResult>([&](TKeyringLogins& l, auto done) { l.Remember(key, login, done); }), key);
}

int List(bool json)
{
    const TKeyringResult result = Await<TKeyringResult>([](TKeyringLogins& l, auto done) { l.List(done); });
    if (!result.Ok())
        return Report(result, {});
    std::vector<std::pair<std::string, std::string>> entries;
    for (const TLoginIndex::TDevice& device : result.Index.Devices)
        entries.emplace_back(device.Key, device.User);
    if (result.Index.EveryDeviceUser)
        entries.emplace_back(kEveryDeviceKey, *result.Index.EveryDeviceUser);
    if (json) {
        QJsonArray array;
        for (const auto& [key, user] : entries)
            array.append(QJsonObject{{QStringLiteral("entry"), QString::fromStdString(key)},
                                     {QStringLiteral("user"), QString::fromStdString(user)}});
        std::fputs(QJsonDocument(array).toJson(QJsonDocument::Indented).toStdString().c_str(), stdout);
    } else {
        for (const auto& [key, user] : entries)
            std::printf("%s\t%s\n", key.c_str(), user.c_str());
    }
    return kExitOk;
}

int Forget(const std::string& key)
{
    return Report(Await<TKeyringResult>([&](TKeyringLogins& l, auto done) { l.Forget(key, done); }), key);
}

int ForgetAll()
{
    return Report(Await<TKeyringResult>([](TKeyringLogins& l, auto done) { l.ForgetAll(done); }), {});
}

}  // namespace

void AddLoginCommands(CLI::App& app, TCommandBody& body)
{
    CLI::App* login = AddCommand(app, "login", "keeps the devices' logins in the desktop's keyring",
                                 UsageLines(kLoginUsage, "login"), [] { return std::string(kLoginHelp); });
    login->require_subcommand(0, 1);
    login->callback([login] {
        if (!login->get_subcommands().empty())
            return;
        RefuseUnknownOptions(*login);
        if (login->remaining().empty())
            Refuse("login needs set, list or forget");
        Refuse(Format("unknown login command \"%s\"", login->remaining().front().c_str()));
    });

    struct TArgs {
        std::vector<std::string> Macs;
        std::optional<std::string> User;
        bool Every = false, All = false, Json = false;
    };
    auto args = std::make_shared<TArgs>();

    CLI::App* set = AddCommand(*login, "set", "remembers a login", UsageLines(kLoginUsage, "login set"),
                               [] { return std::string(kLoginHelp); });
    AddArguments(*set, "MAC", args->Macs, "");
    AddFlag(*set, "--every-device", args->Every, "the login of every device");
    AddValue(*set, "--user", args->User, "NAME", "the user name");
    set->callback([set, args, &body] {
        RefuseUnknownOptions(*set);
        const std::string key = EntryKey(args->Macs, args->Every, "set");
        if (!args->User)
            Refuse("login set needs --user NAME");
        body = [key, user = *args->User] { return Set(key, user); };
    });

    CLI::App* list = AddCommand(*login, "list", "lists the remembered logins (never a password)",
                                UsageLines(kLoginUsage, "login list"), [] { return std::string(kLoginHelp); });
    AddFlag(*list, "--json", args->Json, "the list as JSON");
    AddArguments(*list, "EXTRA", args->Macs, "")->group("");
    list->callback([list, args, &body] {
        RefuseUnknownOptions(*list);
        if (!args->Macs.empty())
            Refuse(Format("login list takes no argument \"%s\"", args->Macs.front().c_str()));
        body = [json = args->Json] { return List(json); };
    });

    CLI::App* forget = AddCommand(*login, "forget", "forgets a remembered login",
                                  UsageLines(kLoginUsage, "login forget"), [] { return std::string(kLoginHelp); });
    AddArguments(*forget, "MAC", args->Macs, "");
    AddFlag(*forget, "--every-device", args->Every, "the login of every device");
    AddFlag(*forget, "--all", args->All, "every remembered login");
    forget->callback([forget, args, &body] {
        RefuseUnknownOptions(*forget);
        if (args->All) {
            if (args->Every || !args->Macs.empty())
                Refuse("--all", "takes no MAC and no --every-device");
            body = [] { return ForgetAll(); };
            return;
        }
        body = [key = EntryKey(args->Macs, args->Every, "forget")] { return Forget(key); };
    });
}
