// The HWG family: the TProductHwg device class, the info request, the decoding of a verified
// answer, and the read handler that files decoded devices.
#pragma once
#include "devices/Product.h"
#include "protocols/hwg/Hwgudppackets.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TUDPServer;
struct TFamilyTarget;

class TProductHwg : public TProduct {
public:
    void Update() override;
    void FactoryDefault() override;
    void Restart() override;  // HWG devices cannot be restarted: does nothing
    // Every new setup needs a restart.
    void SetParameters(const std::string& name, const std::string& ip, const std::string& mask,
                       const std::string& gateway, const std::string& dns1, const std::string& dns2,
                       int32_t dhcp, int32_t httpPort, int32_t telnetPort) override;

    // The device's whole answer datagram; its first 48 bytes are the base of every command.
    std::vector<uint8_t> AnswerPacket;
};

// The 48-byte info request, exactly as sent.
std::vector<uint8_t> BuildHwgInfoRequest();

// Decodes one answer from peerIP into a new device (TypeName and UdpServer left to the
// registration). Null when the answer is longer than 110 bytes (silently), fails its MAC check or
// is shorter than 48 bytes, or carries a type item that contradicts its header (both logged).
std::unique_ptr<TProductHwg> DecodeHwgInfoAnswer(const uint8_t* data, size_t size, const std::string& peerIP);

// Where OnHwgInfoAnswer files its devices; set at the start of every discovery cycle.
void SetHwgTarget(const TFamilyTarget& target);

// Logs and broadcasts the info request to port 9999 through endpoint.
void SendHwgInfoRequest(TUDPServer& endpoint);

// The read handler of the HWG endpoint: every datagram is taken as an info answer, decoded and
// handed to the target's registry. The endpoint and peer port are not used.
void OnHwgInfoAnswer(TUDPServer* endpoint, const uint8_t* data, size_t size, const std::string& peerIP,
                     uint16_t peerPort);
