// TProductHwg: a device of the HWG family, with the commands sent over the HWG protocol.
#pragma once
#include "core/devices/product.h"

#include <cstdint>
#include <string>
#include <vector>

class TProductHwg : public TProduct {
public:
    // Both commands are the stored answer's header rewritten and signed (see commands.h).
    void Update() override;
    void FactoryDefault() override;
    void Restart() override;  // HWG devices cannot be restarted: does nothing
    // Every new setup needs a restart (SetupNeedsRestart).
    void SetParameters(const std::string& name, const std::string& ip, const std::string& mask,
                       const std::string& gateway, const std::string& dns1, const std::string& dns2,
                       int32_t dhcp, int32_t httpPort, int32_t telnetPort) override;
    bool SetupNeedsRestart(const TProductInfo& stored, const std::string& ip, const std::string& mask,
                           const std::string& gateway, int32_t dhcp) const override;
    // The command carries addresses, the DHCP bit (for a device that has the setting) and the
    // HTTP port; never the name, the name servers or the Telnet port.
    TSentFields SentFields(int32_t dhcp) const override;
    // No: ParseIp cannot read an empty address text, and the device would get 255.255.255.255.
    bool SendsEmptyAddressAsZero() const override;

    // The device's whole answer datagram; its first 48 bytes are the base of every command.
    std::vector<uint8_t> AnswerPacket;
};
