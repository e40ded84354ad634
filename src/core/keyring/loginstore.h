// The keyring as Pyxet uses it: entries read, written and removed by key, each call answered
// later through its callback (a desktop keyring answers over D-Bus, asynchronously), and the
// operations built on them: the logins of a device, remembering, forgetting, the list.
//
// Nothing waits: every operation returns at once and calls `done` once, on the thread of the
// store (the thread's event loop must run), or before it returns when the store answers at once.
// Operations run one after another in the order asked, so that the index is read and written by
// one at a time.
#pragma once
#include "core/keyring/logins.h"

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

enum class TStoreStatus {
    Ok,
    NotFound,   // no entry of that key
    NoKeyring,  // no keyring service on the session bus (or no session bus)
    Refused,    // the keyring refused: locked, access denied, another error
};

struct TStoreAnswer {
    TStoreStatus Status = TStoreStatus::Ok;
    std::string Data;   // Read: the entry's text
    std::string Error;  // the keyring's own words, for NoKeyring and Refused
};
using TStoreDone = std::function<void(const TStoreAnswer&)>;

class TLoginStore {
public:
    virtual ~TLoginStore() = default;
    virtual void Read(const std::string& key, TStoreDone done) = 0;
    virtual void Write(const std::string& key, const std::string& data, TStoreDone done) = 0;
    virtual void Remove(const std::string& key, TStoreDone done) = 0;
};

// The logins of one device as the keyring holds them.
struct TRemembered {
    std::optional<TLogin> Device;
    std::optional<TLogin> Every;
    // The keyring answered (an entry or none); false: no keyring, or it refused (Error says why).
    bool Available = true;
    std::string Error;
};

// What an operation that changes the keyring or lists it ends with.
struct TKeyringResult {
    TStoreStatus Status = TStoreStatus::Ok;  // NotFound: no such entry to forget
    std::string Error;
    TLoginIndex Index;  // List: the index; the others: the index after the change
    bool Ok() const { return Status == TStoreStatus::Ok; }
};

class TKeyringLogins {
public:
    explicit TKeyringLogins(TLoginStore& store) : Store(store) {}
    ~TKeyringLogins();
    TKeyringLogins(const TKeyringLogins&) = delete;
    TKeyringLogins& operator=(const TKeyringLogins&) = delete;

    // Whether the keyring answers: the index is read (an index or none counts as an answer).
    void Probe(std::function<void(bool available, const std::string& why)> done);
    // The entries of the device of `mac` (any form ParseMac takes; "" or no MAC: only the entry
    // of every device) and of every device.
    void LookUp(const std::string& mac, std::function<void(const TRemembered&)> done);
    // Remembers `login` for the device of `key` (a device key, DeviceKey) or for every device
    // (kEveryDeviceKey), replacing what was there, and lists it in the index.
    void Remember(const std::string& key, const TLogin& login, std::function<void(const TKeyringResult&)> done);
    // Forgets the entry of `key`; NotFound when neither the keyring nor the index had it.
    void Forget(const std::string& key, std::function<void(const TKeyringResult&)> done);
    // Forgets every entry the index lists, the entry of every device and the index.
    void ForgetAll(std::function<void(const TKeyringResult&)> done);
    // The index.
    void List(std::function<void(const TKeyringResult&)> done);

private:
    using TStep = std::function<void(std::function<void()> next)>;
    void Queue(TStep step);
    void RunNext();
    // Reads the index, changes it, writes it back (removes it when empty); `then` gets the result.
    void ChangeIndex(std::function<void(TLoginIndex&)> change, std::function<void(const TKeyringResult&)> then);

    TLoginStore& Store;
    std::deque<TStep> Steps;
    bool Busy = false;
    std::shared_ptr<bool> Alive = std::make_shared<bool>(true);
};
