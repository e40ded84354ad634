// TProductHwg: storing a new setup, and what its commands carry.
#include "core/protocols/hwg/product.h"

void TProductHwg::SetParameters(const std::string& name, const std::string& ip, const std::string& mask,
                                const std::string& gateway, const std::string& dns1, const std::string& dns2,
                                int32_t dhcp, int32_t httpPort, int32_t telnetPort)
{
    if (SetupNeedsRestart(Info, ip, mask, gateway, dhcp))
        RestartNeeded = true;
    TProduct::SetParameters(name, ip, mask, gateway, dns1, dns2, dhcp, httpPort, telnetPort);
}

bool TProductHwg::SetupNeedsRestart(const TProductInfo&, const std::string&, const std::string&, const std::string&,
                                    int32_t) const
{
    return true;
}

TSentFields TProductHwg::SentFields(int32_t) const
{
    TSentFields sent;
    sent.Name = sent.DNS1 = sent.DNS2 = sent.TelnetPort = false;
    // The bit goes out either way, but a device without a DHCP setting ignores it.
    sent.Dhcp = Info.Dhcp != -1;
    return sent;
}

bool TProductHwg::SendsEmptyAddressAsZero() const
{
    return false;
}
