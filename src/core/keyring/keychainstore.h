// The desktop's keyring through QtKeychain (the Secret Service on Linux: GNOME Keyring,
// KWallet, KeePassXC), service "Pyxet". Its plain-text fallback stays off: without a keyring
// nothing is written anywhere else. Each call starts a QtKeychain job, whose answer comes
// through the event loop of the thread that made the store.
#pragma once
#include "core/keyring/loginstore.h"

#include <memory>

class TKeychainStore : public TLoginStore {
public:
    // A job still running when the store goes runs to its end (the keyring's library still holds
    // it), and its answer is dropped.
    ~TKeychainStore() override { *Alive = false; }
    void Read(const std::string& key, TStoreDone done) override;
    void Write(const std::string& key, const std::string& data, TStoreDone done) override;
    void Remove(const std::string& key, TStoreDone done) override;

private:
    std::shared_ptr<bool> Alive = std::make_shared<bool>(true);
};
