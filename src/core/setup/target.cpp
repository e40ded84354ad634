// Finding a pyxet-cli command's device.
#include "core/setup/target.h"

#include "core/devices/utils.h"

#include <algorithm>

std::optional<TTarget> ParseTarget(const std::string& text)
{
    const auto only = [&text](auto allowed) { return !text.empty() && std::all_of(text.begin(), text.end(), allowed); };
    uint8_t mac[6];
    const bool macCharacters = only([](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '-';
    });
    if (macCharacters && ParseMac(text, mac) == 0 && text.back() != ':' && text.back() != '-')
        return TTarget{true, FormatMac(mac)};
    uint8_t ip[4];
    if (only([](char c) { return (c >= '0' && c <= '9') || c == '.'; }) && ParseIpChecked(text, ip))
        return TTarget{false, FormatIp(ip)};
    return std::nullopt;
}

std::vector<TProduct*> MatchTarget(const TDeviceRegistry& list, const TTarget& target)
{
    std::vector<TProduct*> found;
    for (const TDeviceEntry& entry : list.DeviceList()) {
        const TProductInfo& info = entry.Device->Info;
        if ((target.ByMac ? info.MAC : info.PeerIP) == target.Text)
            found.push_back(entry.Device.get());
    }
    return found;
}
