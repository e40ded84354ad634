// TProductOrvex: a device of the Orvex family, with the commands sent over the Orvex protocol.
#pragma once
#include "core/devices/product.h"

#include <cstdint>
#include <functional>
#include <string>

class TProductOrvex : public TProduct {
public:
    // Each command installs its answer handler on UdpServer, then builds and sends its request
    // (see commands.h). None waits for the answer.
    void Update() override;
    void FactoryDefault() override;
    void Restart() override;
    // Sets RestartNeeded when SetupNeedsRestart says so; it is never cleared here.
    void SetParameters(const std::string& name, const std::string& ip, const std::string& mask,
                       const std::string& gateway, const std::string& dns1, const std::string& dns2,
                       int32_t dhcp, int32_t httpPort, int32_t telnetPort) override;
    // A new IP, mask or gateway text, or a new DHCP state (low 16 bits), needs a restart.
    bool SetupNeedsRestart(const TProductInfo& stored, const std::string& ip, const std::string& mask,
                           const std::string& gateway, int32_t dhcp) const override;
    // With DHCP on, the update carries no addresses.
    TSentFields SentFields(int32_t dhcp) const override;
    // An empty address text goes out as 0.0.0.0.
    bool SendsEmptyAddressAsZero() const override;

    // Told the error code of the device's answer to the next commands sent (pyxet-cli waits for
    // it); the answer handler keeps its own copy, so it outlives the device object safely.
    std::function<void(int errorCode)> OnCommandAnswer;
};
