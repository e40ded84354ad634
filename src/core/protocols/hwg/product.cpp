// TProductHwg: storing a new setup.
#include "core/protocols/hwg/product.h"

void TProductHwg::SetParameters(const std::string& name, const std::string& ip, const std::string& mask,
                                const std::string& gateway, const std::string& dns1, const std::string& dns2,
                                int32_t dhcp, int32_t httpPort, int32_t telnetPort)
{
    RestartNeeded = true;
    TProduct::SetParameters(name, ip, mask, gateway, dns1, dns2, dhcp, httpPort, telnetPort);
}
