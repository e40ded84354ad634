// The byte layouts of both device families, read and written from the device's side.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fleet.h"

namespace sim {

using Bytes = std::vector<uint8_t>;

// ---- Orvex (UDP 57739) ----

inline constexpr size_t kOrvexInfoSize = 114;
inline constexpr size_t kOrvexHeaderSize = 11;

// Values carried by a parameter set item; each is present only when the item held it.
struct OrvexSetValues {
    std::optional<std::string> name;
    std::optional<Ip4> ip, mask, gateway, dns1, dns2;
    std::optional<int> dhcp;
    std::optional<uint16_t> http_port, telnet_port;
};

struct OrvexRequest {
    Mac target{};
    bool toAll = false;      // target FF:FF:FF:FF:FF:FF
    bool query = false;      // parameter query item present: an info request
    bool set = false;        // parameter set item present
    OrvexSetValues values;
    std::optional<int> action;  // action item: 0 store, 1 restart, 2 factory defaults
};

// Reads a request: an 11-byte header (type 1, length = size - 11, error 0 not checked) followed
// by items that fill the datagram exactly. On failure returns nothing and says why.
std::optional<OrvexRequest> ParseOrvexRequest(const uint8_t* data, size_t size, std::string& why);

// The 114-byte info answer: the info request's layout with the values filled in.
Bytes BuildOrvexInfoAnswer(const Mac& mac, const NetSetup& setup, int type, const std::string& firmware,
                           int errorCode);

// A command answer: the request itself, with the device's MAC in bytes 0-5 and the error code in
// byte 9. The request holds at least 11 bytes.
Bytes BuildOrvexCommandAnswer(const uint8_t* request, size_t size, const Mac& mac, int errorCode);

// ---- HWG (UDP 9999) ----

inline constexpr size_t kHwgHeaderSize = 48;
inline constexpr size_t kHwgMaxAnswer = 110;

// The one info request the devices answer: FF x6, "IIIIMMMMFFFFWWWWUC12345678", "(c)ORVEX DEVICES".
const Bytes& HwgInfoRequest();
bool IsHwgInfoRequest(const uint8_t* data, size_t size);

// Bytes 14-21, 29 and 32-39 of an answer mean nothing to the program; a device fills them with
// this pattern so that a command shows whether they came back untouched.
uint8_t HwgFillerByte(size_t offset);

// The signed answer of a device with this configuration and setup; faults applied.
Bytes BuildHwgAnswer(const DeviceConfig& device, const NetSetup& setup);

// A 48-byte command as a device reads it.
struct HwgCommand {
    Mac target{};
    bool authentic = false;  // MAC over bytes 0-39 matches bytes 40-47
    bool factoryDefault = false;  // byte 28 bit 5
    Ip4 ip{}, mask{}, gateway{};
    bool dhcp = false;  // byte 28 bit 4
    uint16_t http_port = 0;
    bool fillerIntact = false;  // bytes 14-21, 29, 32-39 as the device sent them
};
std::optional<HwgCommand> ParseHwgCommand(const uint8_t* data, size_t size);

}  // namespace sim
