// Logins kept in the desktop's keyring: what the entries are called and hold, the index of the
// devices that have one, and the order in which a request that needs a login takes one. Plain
// decisions, without the keyring itself (loginstore.h), so that they run anywhere.
//
// The keyring's service "Pyxet" holds one entry per device (its key: the MAC address as 12
// upper-case hex digits), one entry for every device, and one index entry that lists the devices
// with an entry and their user names (a keyring cannot be asked what it holds). A login entry is
// {"user": ..., "password": ...} as JSON; the index holds user names only, never a password.
#pragma once
#include <optional>
#include <string>
#include <vector>

// The keyring's service name.
constexpr const char* kKeyringService = "Pyxet";
// The keys of the entry of every device and of the index.
constexpr const char* kEveryDeviceKey = "every-device";
constexpr const char* kIndexKey = "index";

struct TLogin {
    std::string User;
    std::string Password;
    bool operator==(const TLogin&) const = default;
};

// The key of a device's entry: its MAC in any form ParseMac takes ("00:0A:14:50:00:01",
// "000a14500001") as 12 upper-case hex digits; "" for a text that is no MAC.
std::string DeviceKey(const std::string& mac);

// A login entry's text and back; nothing for a text that is not such an entry.
std::string LoginEntryText(const TLogin& login);
std::optional<TLogin> ParseLoginEntry(const std::string& text);

// The index: the devices with an entry (key and user name, in key order) and the user name of
// the entry of every device, when there is one.
struct TLoginIndex {
    struct TDevice {
        std::string Key;
        std::string User;
        bool operator==(const TDevice&) const = default;
    };
    std::vector<TDevice> Devices;
    std::optional<std::string> EveryDeviceUser;
    bool Empty() const { return Devices.empty() && !EveryDeviceUser; }
    bool operator==(const TLoginIndex&) const = default;
};
// A broken or foreign index reads as an empty one: the entries it lost stay in the keyring, where
// "Forget" of their key still removes them.
TLoginIndex ParseLoginIndex(const std::string& text);
std::string LoginIndexText(const TLoginIndex& index);
// The index after a login was remembered or forgotten under `key` (a device key or
// kEveryDeviceKey).
void IndexRemember(TLoginIndex& index, const std::string& key, const std::string& user);
void IndexForget(TLoginIndex& index, const std::string& key);

// Which rule gave a request its login.
enum class TLoginRule {
    ThisDevice,   // the device's own entry in the keyring
    EveryDevice,  // the keyring's entry of every device
    ThisRun,      // the login typed (or given) earlier in this run
    Typed,        // the login just typed at the device's question
};
// The rule as the log names it: "login of this device from the keyring", ... (translated).
std::string LoginRuleText(TLoginRule rule);

struct TLoginChoice {
    TLoginRule Rule;
    TLogin Login;
};

// One device's way through the rules, for one transfer: its entries in the keyring (as read when
// the transfer began), then the login of this run, then the question. A login the device refused
// is never given again (under any rule), except one typed at the question, which is tried next
// whatever it is.
class TLoginChain {
public:
    TLoginChain() = default;
    TLoginChain(std::optional<TLogin> device, std::optional<TLogin> every)
        : Device(std::move(device)), Every(std::move(every))
    {
    }

    // The login of the next request, `thisRun` being the run's login then (none: nothing typed
    // or given); nothing when no rule is left and the device's question comes next.
    std::optional<TLoginChoice> Next(const std::optional<TLogin>& thisRun);
    // The device refused the login of the last choice.
    void Refused();
    // The login typed at the question: Next gives it.
    void Typed(const TLogin& login);
    // The user name the question starts with: that of a refused login from the keyring ("" when
    // none was refused).
    const std::string& QuestionUser() const { return RefusedKeyringUser; }
    // Whether any rule gave a login so far.
    bool Tried() const { return Last.has_value(); }

private:
    bool WasRefused(const TLogin& login) const;

    std::optional<TLogin> Device, Every, Answer;
    int Stage = 0;  // the keyring's next entry to look at: 0 this device's, 1 every device's, 2 none
    std::optional<TLoginChoice> Last;
    std::vector<TLogin> RefusedLogins;
    std::string RefusedKeyringUser;
};
