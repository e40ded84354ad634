// The desktop's keyring through QtKeychain (the Secret Service on Linux: GNOME Keyring,
// KWallet, KeePassXC), service "Pyxet". Its plain-text fallback stays off: without a keyring
// nothing is written anywhere else. Each call starts a QtKeychain job, whose answer comes
// through the event loop of the thread that made the store.
#pragma once
#include "core/keyring/loginstore.h"

class TKeychainStore : public TLoginStore {
public:
    void Read(const std::string& key, TStoreDone done) override;
    void Write(const std::string& key, const std::string& data, TStoreDone done) override;
    void Remove(const std::string& key, TStoreDone done) override;
};
