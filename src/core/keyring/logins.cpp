#include "core/keyring/logins.h"

#include "core/app/i18n.h"
#include "core/devices/utils.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

namespace {
std::string S(const QJsonValue& value) { return value.toString().toStdString(); }
}  // namespace

std::string DeviceKey(const std::string& mac) { return MacHexText(mac); }

std::string LoginEntryText(const TLogin& login)
{
    const QJsonObject object{{QStringLiteral("user"), QString::fromStdString(login.User)}, {QStringLiteral("password"), QString::fromStdString(login.Password)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<TLogin> ParseLoginEntry(const std::string& text)
{
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text));
    const QJsonObject object = document.object();
    const QJsonValue user = object.value(QStringLiteral("user"));
    const QJsonValue password = object.value(QStringLiteral("password"));
    if (!document.isObject() || !user.isString() || !password.isString())
        return std::nullopt;
    return TLogin{S(user), S(password)};
}

TLoginIndex ParseLoginIndex(const std::string& text)
{
    TLoginIndex index;
    const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
    for (const QJsonValue& value : object.value(QStringLiteral("devices")).toArray()) {
        const std::string key = DeviceKey(S(value.toObject().value(QStringLiteral("mac"))));
        if (!key.empty())
            IndexRemember(index, key, S(value.toObject().value(QStringLiteral("user"))));
    }
    const QJsonValue every = object.value(QStringLiteral("every_device"));
    if (every.isObject())
        index.EveryDeviceUser = S(every.toObject().value(QStringLiteral("user")));
    return index;
}

std::string LoginIndexText(const TLoginIndex& index)
{
    QJsonArray devices;
    for (const TLoginIndex::TDevice& device : index.Devices)
        devices.append(QJsonObject{{QStringLiteral("mac"), QString::fromStdString(device.Key)}, {QStringLiteral("user"), QString::fromStdString(device.User)}});
    QJsonObject object{{QStringLiteral("devices"), devices}};
    if (index.EveryDeviceUser)
        object.insert(QStringLiteral("every_device"), QJsonObject{{QStringLiteral("user"), QString::fromStdString(*index.EveryDeviceUser)}});
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

void IndexRemember(TLoginIndex& index, const std::string& key, const std::string& user)
{
    if (key == kEveryDeviceKey) {
        index.EveryDeviceUser = user;
        return;
    }
    auto at = std::lower_bound(index.Devices.begin(), index.Devices.end(), key,
                               [](const TLoginIndex::TDevice& d, const std::string& k) { return d.Key < k; });
    if (at != index.Devices.end() && at->Key == key)
        at->User = user;
    else
        index.Devices.insert(at, {key, user});
}

void IndexForget(TLoginIndex& index, const std::string& key)
{
    if (key == kEveryDeviceKey) {
        index.EveryDeviceUser.reset();
        return;
    }
    std::erase_if(index.Devices, [&](const TLoginIndex::TDevice& d) { return d.Key == key; });
}

std::string LoginRuleText(TLoginRule rule)
{
    switch (rule) {
    case TLoginRule::ThisDevice: return _("login of this device from the keyring");
    case TLoginRule::EveryDevice: return _("login for every device from the keyring");
    case TLoginRule::ThisRun: return _("login typed in this run");
    case TLoginRule::Typed: return _("login typed now");
    }
    return {};
}

bool TLoginChain::WasRefused(const TLogin& login) const
{
    return std::find(RefusedLogins.begin(), RefusedLogins.end(), login) != RefusedLogins.end();
}

std::optional<TLoginChoice> TLoginChain::Next(const std::optional<TLogin>& thisRun)
{
    if (Answer) {
        Last = TLoginChoice{TLoginRule::Typed, *Answer};
        Answer.reset();
        return Last;
    }
    // The keyring's two entries serve once each.
    while (Stage < 2) {
        const int stage = Stage++;
        const std::optional<TLogin>& login = stage == 0 ? Device : Every;
        if (!login || WasRefused(*login))
            continue;
        Last = TLoginChoice{stage == 0 ? TLoginRule::ThisDevice : TLoginRule::EveryDevice, *login};
        return Last;
    }
    // The run's login changes while the run goes on (another device's question): it is looked
    // at each time, and serves unless the device refused it already.
    if (thisRun && !WasRefused(*thisRun)) {
        Last = TLoginChoice{TLoginRule::ThisRun, *thisRun};
        return Last;
    }
    return std::nullopt;
}

void TLoginChain::Refused()
{
    if (!Last)
        return;
    RefusedLogins.push_back(Last->Login);
    if (RefusedKeyringUser.empty()
        && (Last->Rule == TLoginRule::ThisDevice || Last->Rule == TLoginRule::EveryDevice))
        RefusedKeyringUser = Last->Login.User;
}

void TLoginChain::Typed(const TLogin& login) { Answer = login; }
