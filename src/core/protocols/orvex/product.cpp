// TProductOrvex: storing a new setup and deciding whether it needs a restart.
#include "core/protocols/orvex/product.h"

void TProductOrvex::SetParameters(const std::string& name, const std::string& ip, const std::string& mask,
                                  const std::string& gateway, const std::string& dns1, const std::string& dns2,
                                  int32_t dhcp, int32_t httpPort, int32_t telnetPort)
{
    if (SetupNeedsRestart(Info, ip, mask, gateway, dhcp))
        RestartNeeded = true;
    TProduct::SetParameters(name, ip, mask, gateway, dns1, dns2, dhcp, httpPort, telnetPort);
}

bool TProductOrvex::SetupNeedsRestart(const TProductInfo& stored, const std::string& ip, const std::string& mask,
                                      const std::string& gateway, int32_t dhcp) const
{
    return ip != stored.IP || mask != stored.Mask || gateway != stored.Gateway
           || static_cast<int16_t>(static_cast<uint16_t>(dhcp)) != stored.Dhcp;
}

TSentFields TProductOrvex::SentFields(int32_t dhcp) const
{
    TSentFields sent;
    if (static_cast<int16_t>(static_cast<uint16_t>(dhcp)) != 0)
        sent.IP = sent.Mask = sent.Gateway = sent.DNS1 = sent.DNS2 = false;
    return sent;
}

bool TProductOrvex::SendsEmptyAddressAsZero() const
{
    return true;
}
