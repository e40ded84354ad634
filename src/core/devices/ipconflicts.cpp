// Devices of different MACs reporting one configured address.
#include "core/devices/ipconflicts.h"

#include <QByteArray>

#include <algorithm>

namespace {

std::string MacKey(const std::string& mac)
{
    return QByteArray::fromStdString(mac).toUpper().toStdString();
}

}  // namespace

bool CountsForIpConflicts(const std::string& ip)
{
    return !ip.empty() && ip != "N/A" && ip != "0.0.0.0";
}

std::vector<TIpConflict> TIpConflicts::Add(const void* device, const std::string& ip, const std::string& mac)
{
    std::vector<TIpConflict> found;
    if (!device || !CountsForIpConflicts(ip))
        return found;
    const std::string key = MacKey(mac);
    std::vector<TClaim>& claims = ByAddress[ip];
    for (const TClaim& other : claims) {
        if (other.MacKey == key)
            continue;
        Conflicted.insert(other.Device);
        Conflicted.insert(device);
        // One report per pair and address, whichever of the two answered first.
        const std::string pair = ip + '\n' + std::min(other.MacKey, key) + '\n' + std::max(other.MacKey, key);
        if (Reported.insert(pair).second)
            found.push_back({ip, other.Mac, mac});
    }
    claims.push_back({device, mac, key});
    Addresses[device] = ip;
    return found;
}

std::vector<TIpConflict> TIpConflicts::Move(const void* device, const std::string& ip, const std::string& mac)
{
    if (const auto at = Addresses.find(device); at != Addresses.end()) {
        if (at->second == ip)
            return {};
        const auto old = ByAddress.find(at->second);
        std::vector<TClaim>& claims = old->second;
        claims.erase(std::remove_if(claims.begin(), claims.end(), [device](const TClaim& c) { return c.Device == device; }),
                     claims.end());
        for (const TClaim& claim : claims)
            if (std::none_of(claims.begin(), claims.end(), [&claim](const TClaim& c) { return c.MacKey != claim.MacKey; }))
                Conflicted.erase(claim.Device);
        if (claims.empty())
            ByAddress.erase(old);
        Addresses.erase(at);
    }
    Conflicted.erase(device);
    return Add(device, ip, mac);
}

std::string TIpConflicts::AddressOf(const void* device) const
{
    const auto at = Addresses.find(device);
    return at == Addresses.end() || !InConflict(device) ? std::string() : at->second;
}

std::vector<std::string> TIpConflicts::OthersOf(const void* device) const
{
    std::vector<std::string> others;
    const std::string ip = AddressOf(device);
    if (ip.empty())
        return others;
    std::string own;
    for (const TClaim& claim : ByAddress.at(ip))
        if (claim.Device == device)
            own = claim.MacKey;
    std::unordered_set<std::string> seen{own};
    for (const TClaim& claim : ByAddress.at(ip))
        if (seen.insert(claim.MacKey).second)
            others.push_back(claim.Mac);
    return others;
}

void TIpConflicts::Clear()
{
    ByAddress.clear();
    Addresses.clear();
    Conflicted.clear();
    Reported.clear();
}

std::vector<TIpConflict> FindIpConflicts(const std::vector<TIpClaim>& claims)
{
    // Each claim stands for a device of its own; their addresses are only compared.
    TIpConflicts conflicts;
    std::vector<TIpConflict> found;
    for (size_t i = 0; i < claims.size(); ++i) {
        for (TIpConflict& c : conflicts.Add(&claims[i], claims[i].IP, claims[i].MAC))
            found.push_back(std::move(c));
    }
    return found;
}
