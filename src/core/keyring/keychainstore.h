// The desktop's keyring through QtKeychain (the Secret Service on Linux: GNOME Keyring,
// KWallet, KeePassXC), service "Pyxet". Its plain-text fallback stays off: without a keyring
// nothing is written anywhere else. Each call starts a QtKeychain job, whose answer comes
// through the event loop of the thread that made the store.
#pragma once
#include "core/keyring/loginstore.h"

#include <QObject>

class TKeychainStore : public TLoginStore {
public:
    // A job still running when the store goes is deleted with it: its answer never comes.
    void Read(const std::string& key, TStoreDone done) override;
    void Write(const std::string& key, const std::string& data, TStoreDone done) override;
    void Remove(const std::string& key, TStoreDone done) override;

private:
    QObject Jobs;  // the running jobs' parent
};
