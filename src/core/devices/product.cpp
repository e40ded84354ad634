#include "core/devices/product.h"

#include "core/devices/family.h"

#include <algorithm>

const TFamily& NoFamily()
{
    static const TFamily kNone = [] {
        TFamily family;
        family.SetupNeedsRestart = [](const TProductInfo&, const std::string&, const std::string&, const std::string&,
                                      int32_t) { return false; };
        return family;
    }();
    return kNone;
}

const TFamily& TProduct::Family() const
{
    return NoFamily();
}

void TProduct::SetParameters(const std::string& name, const std::string& ip, const std::string& mask,
                             const std::string& gateway, const std::string& dns1, const std::string& dns2,
                             int32_t dhcp, int32_t httpPort, int32_t telnetPort)
{
    if (SetupNeedsRestart(Info, ip, mask, gateway, dhcp))
        RestartNeeded = true;
    // The local code page is UTF-8, so the name is already in the form the devices take.
    Info.Name = name;
    Info.IP = ip;
    Info.Mask = mask;
    Info.Gateway = gateway;
    Info.DNS1 = dns1;
    Info.DNS2 = dns2;
    Info.Dhcp = static_cast<int16_t>(static_cast<uint16_t>(dhcp));
    Info.HTTPPort = static_cast<int16_t>(static_cast<uint16_t>(httpPort));
    Info.TelnetPort = static_cast<int16_t>(static_cast<uint16_t>(telnetPort));
}

bool TProduct::SetupNeedsRestart(const TProductInfo& stored, const std::string& ip, const std::string& mask,
                                 const std::string& gateway, int32_t dhcp) const
{
    return Family().SetupNeedsRestart(stored, ip, mask, gateway, dhcp);
}

TSentFields TProduct::SentFields(int32_t dhcp) const
{
    const TFamily& family = Family();
    return family.SentFields ? family.Carries & family.SentFields(Info, dhcp) : family.Carries;
}

bool TProduct::SendsEmptyAddressAsZero() const
{
    return Family().SendsEmptyAddressAsZero;
}

void TProduct::ApplySetup()
{
    Update();
    RestartNeeded = false;
}

std::string ProductTypeName(const TProductTable& table, int32_t code)
{
    const std::string key = std::to_string(code);
    for (const std::string& entry : table) {
        const auto eq = entry.find('=');
        if (eq == std::string::npos || entry.compare(0, eq, key) != 0 || eq != key.size())
            continue;
        std::string name = entry.substr(eq + 1);
        std::replace(name.begin(), name.end(), '+', ' ');
        return name;
    }
    return {};
}
