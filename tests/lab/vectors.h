// The requests the program sends, byte for byte, as the lab tests send them to the simulator.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace vectors {

using Bytes = std::vector<uint8_t>;

// A zero buffer of size with the given bytes written at their offsets.
inline Bytes Layout(size_t size, std::initializer_list<std::pair<size_t, std::initializer_list<uint8_t>>> fields) {
    Bytes bytes(size, 0);
    for (const auto& [offset, values] : fields) {
        size_t at = offset;
        for (uint8_t value : values) bytes.at(at++) = value;
    }
    return bytes;
}

// The 114-byte Orvex info request to all devices.
inline Bytes OrvexInfoRequest() {
    return Layout(114, {{0, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
                        {6, {0x01}},
                        {7, {0x00, 0x67}},
                        {11, {0x01, 0x00, 0x4C}},
                        {14, {0x13, 0x21}},
                        {49, {0x00, 0x04}},
                        {55, {0x01, 0x04}},
                        {61, {0x02, 0x04}},
                        {67, {0x03, 0x04}},
                        {73, {0x04, 0x04}},
                        {79, {0x5F, 0x01}},
                        {82, {0x05, 0x02}},
                        {86, {0x06, 0x02}},
                        {90, {0x03, 0x00, 0x15}},
                        {93, {0x00, 0x01}},
                        {96, {0x02, 0x10}}});
}

inline constexpr uint8_t kHall[6] = {0x00, 0x0A, 0x14, 0x1E, 0x28, 0x32};

// Static-address update for 00:0A:14:1E:28:32: name Hall, 192.168.1.20/255.255.255.0, gateway
// and DNS1 192.168.1.1, DNS2 0.0.0.0, DHCP off, HTTP 80, Telnet 23, action 1 (restart).
inline Bytes OrvexStaticUpdate() {
    return Layout(95, {{0, {0x00, 0x0A, 0x14, 0x1E, 0x28, 0x32}},
                       {6, {0x01, 0x00, 0x54, 0x00, 0x00}},
                       {11, {0x02, 0x00, 0x4C}},
                       {14, {0x13, 0x21, 0x48, 0x61, 0x6C, 0x6C}},
                       {49, {0x00, 0x04, 0xC0, 0xA8, 0x01, 0x14}},
                       {55, {0x01, 0x04, 0xFF, 0xFF, 0xFF, 0x00}},
                       {61, {0x02, 0x04, 0xC0, 0xA8, 0x01, 0x01}},
                       {67, {0x03, 0x04, 0xC0, 0xA8, 0x01, 0x01}},
                       {73, {0x04, 0x04, 0x00, 0x00, 0x00, 0x00}},
                       {79, {0x5F, 0x01, 0x00}},
                       {82, {0x05, 0x02, 0x50, 0x00}},
                       {86, {0x06, 0x02, 0x17, 0x00}},
                       {90, {0x04, 0x00, 0x02, 0x01, 0x00}}});
}

// DHCP update (65 bytes) for the device with this MAC: name, DHCP 1, HTTP 80, Telnet 23.
inline Bytes OrvexDhcpUpdate(const std::string& name, uint8_t action, const uint8_t* mac = kHall) {
    Bytes bytes = Layout(65, {{6, {0x01, 0x00, 0x36, 0x00, 0x00}},
                              {11, {0x02, 0x00, 0x2E}},
                              {14, {0x13, 0x21}},
                              {49, {0x5F, 0x01, 0x01}},
                              {52, {0x05, 0x02, 0x50, 0x00}},
                              {56, {0x06, 0x02, 0x17, 0x00}},
                              {60, {0x04, 0x00, 0x02, action, 0x00}}});
    for (size_t i = 0; i < 6; ++i) bytes[i] = mac[i];
    for (size_t i = 0; i < name.size() && i < 32; ++i) bytes[16 + i] = uint8_t(name[i]);
    return bytes;
}

// The factory-default request for 00:0A:14:1E:28:32.
inline Bytes OrvexFactoryDefault() {
    return {0x00, 0x0A, 0x14, 0x1E, 0x28, 0x32, 0x01, 0x00, 0x05, 0x00, 0x00, 0x04, 0x00, 0x02, 0x02, 0x00};
}

// Factory-default (2) or restart (1) request for any MAC.
inline Bytes OrvexAction(const uint8_t* mac, uint8_t action) {
    Bytes bytes = OrvexFactoryDefault();
    for (size_t i = 0; i < 6; ++i) bytes[i] = mac[i];
    bytes[14] = action;
    return bytes;
}

// The 48-byte HWG info request with the vendor text after "(c)".
inline Bytes HwgInfoRequest(const std::string& vendor = "ORVEX DEVICES") {
    const std::string text = "\xFF\xFF\xFF\xFF\xFF\xFFIIIIMMMMFFFFWWWWUC12345678(c)" + vendor;
    return Bytes(text.begin(), text.end());
}

}  // namespace vectors
