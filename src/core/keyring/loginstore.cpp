#include "core/keyring/loginstore.h"

TKeyringLogins::~TKeyringLogins() { *Alive = false; }

void TKeyringLogins::Queue(TStep step)
{
    Steps.push_back(std::move(step));
    if (!Busy)
        RunNext();
}

void TKeyringLogins::RunNext()
{
    if (Steps.empty()) {
        Busy = false;
        return;
    }
    Busy = true;
    TStep step = std::move(Steps.front());
    Steps.pop_front();
    // With a store that answers at once the next step starts from within this one: as deep as
    // the steps queued meanwhile, a few.
    step([this, alive = Alive] {
        if (*alive)
            RunNext();
    });
}

void TKeyringLogins::Probe(std::function<void(bool, const std::string&)> done)
{
    Queue([this, done](std::function<void()> next) {
        Store.Read(kIndexKey, [done, next](const TStoreAnswer& a) {
            const bool ok = a.Status == TStoreStatus::Ok || a.Status == TStoreStatus::NotFound;
            done(ok, ok ? std::string() : a.Error);
            next();
        });
    });
}

void TKeyringLogins::LookUp(const std::string& mac, std::function<void(const TRemembered&)> done)
{
    const std::string key = DeviceKey(mac);
    Queue([this, key, done](std::function<void()> next) {
        auto found = std::make_shared<TRemembered>();
        auto take = [found](const TStoreAnswer& a, std::optional<TLogin>& into) {
            if (a.Status == TStoreStatus::Ok)
                into = ParseLoginEntry(a.Data);
            else if (a.Status != TStoreStatus::NotFound && found->Available) {
                found->Available = false;
                found->Error = a.Error;
            }
        };
        auto every = [this, found, take, done, next] {
            if (!found->Available) {  // a keyring that refused one entry is not asked again
                done(*found);
                next();
                return;
            }
            Store.Read(kEveryDeviceKey, [found, take, done, next](const TStoreAnswer& a) {
                take(a, found->Every);
                done(*found);
                next();
            });
        };
        if (key.empty()) {
            every();
            return;
        }
        Store.Read(key, [found, take, every](const TStoreAnswer& a) {
            take(a, found->Device);
            every();
        });
    });
}

void TKeyringLogins::ChangeIndex(std::function<void(TLoginIndex&)> change,
                                 std::function<void(const TKeyringResult&)> then)
{
    Store.Read(kIndexKey, [this, change, then](const TStoreAnswer& read) {
        if (read.Status != TStoreStatus::Ok && read.Status != TStoreStatus::NotFound) {
            then({read.Status, read.Error, {}});
            return;
        }
        auto index = std::make_shared<TLoginIndex>(read.Status == TStoreStatus::Ok ? ParseLoginIndex(read.Data)
                                                                                    : TLoginIndex());
        change(*index);
        auto written = [index, then](const TStoreAnswer& a) {
            const bool ok = a.Status == TStoreStatus::Ok || a.Status == TStoreStatus::NotFound;
            then({ok ? TStoreStatus::Ok : a.Status, a.Error, *index});
        };
        if (index->Empty())
            Store.Remove(kIndexKey, written);
        else
            Store.Write(kIndexKey, LoginIndexText(*index), written);
    });
}

void TKeyringLogins::Remember(const std::string& key, const TLogin& login,
                              std::function<void(const TKeyringResult&)> done)
{
    Queue([this, key, login, done](std::function<void()> next) {
        Store.Write(key, LoginEntryText(login), [this, key, user = login.User, done, next](const TStoreAnswer& a) {
            if (a.Status != TStoreStatus::Ok) {
                done({a.Status, a.Error, {}});
                next();
                return;
            }
            ChangeIndex([key, user](TLoginIndex& index) { IndexRemember(index, key, user); },
                        [done, next](const TKeyringResult& r) {
                            done(r);
                            next();
                        });
        });
    });
}

void TKeyringLogins::Forget(const std::string& key, std::function<void(const TKeyringResult&)> done)
{
    Queue([this, key, done](std::function<void()> next) {
        // Whether there is an entry to forget: the keyring's word, not the index's alone.
        Store.Read(key, [this, key, done, next](const TStoreAnswer& read) {
            if (read.Status != TStoreStatus::Ok && read.Status != TStoreStatus::NotFound) {
                done({read.Status, read.Error, {}});
                next();
                return;
            }
            const bool had = read.Status == TStoreStatus::Ok;
            Store.Remove(key, [this, key, had, done, next](const TStoreAnswer& removed) {
                if (removed.Status != TStoreStatus::Ok && removed.Status != TStoreStatus::NotFound) {
                    done({removed.Status, removed.Error, {}});
                    next();
                    return;
                }
                auto listed = std::make_shared<bool>(false);
                ChangeIndex(
                    [key, listed](TLoginIndex& index) {
                        const TLoginIndex before = index;
                        IndexForget(index, key);
                        *listed = !(before == index);
                    },
                    [had, listed, done, next](TKeyringResult r) {
                        if (r.Ok() && !had && !*listed)
                            r.Status = TStoreStatus::NotFound;
                        done(r);
                        next();
                    });
            });
        });
    });
}

void TKeyringLogins::ForgetAll(std::function<void(const TKeyringResult&)> done)
{
    Queue([this, done](std::function<void()> next) {
        Store.Read(kIndexKey, [this, done, next](const TStoreAnswer& read) {
            if (read.Status != TStoreStatus::Ok && read.Status != TStoreStatus::NotFound) {
                done({read.Status, read.Error, {}});
                next();
                return;
            }
            auto keys = std::make_shared<std::deque<std::string>>();
            if (read.Status == TStoreStatus::Ok)
                for (const TLoginIndex::TDevice& device : ParseLoginIndex(read.Data).Devices)
                    keys->push_back(device.Key);
            keys->push_back(kEveryDeviceKey);
            keys->push_back(kIndexKey);
            auto failure = std::make_shared<TKeyringResult>();
            // One removal after another; the first refusal is reported, the rest still tried.
            // The removal under way holds the step; the step itself only looks at it.
            auto step = std::make_shared<std::function<void()>>();
            *step = [this, keys, failure, done, next, weak = std::weak_ptr<std::function<void()>>(step)] {
                if (keys->empty()) {
                    done(*failure);
                    next();
                    return;
                }
                const std::string key = keys->front();
                keys->pop_front();
                Store.Remove(key, [failure, step = weak.lock()](const TStoreAnswer& a) {
                    if (a.Status != TStoreStatus::Ok && a.Status != TStoreStatus::NotFound && failure->Ok())
                        *failure = {a.Status, a.Error, {}};
                    (*step)();
                });
            };
            (*step)();
        });
    });
}

void TKeyringLogins::List(std::function<void(const TKeyringResult&)> done)
{
    Queue([this, done](std::function<void()> next) {
        Store.Read(kIndexKey, [done, next](const TStoreAnswer& read) {
            if (read.Status == TStoreStatus::Ok)
                done({TStoreStatus::Ok, {}, ParseLoginIndex(read.Data)});
            else if (read.Status == TStoreStatus::NotFound)
                done({TStoreStatus::Ok, {}, {}});
            else
                done({read.Status, read.Error, {}});
            next();
        });
    });
}
