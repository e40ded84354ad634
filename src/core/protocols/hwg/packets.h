// HWG datagram layouts. All numbers on the wire are big-endian; addresses are in dotted order.
// An answer is a 48-byte header (MAC-protected in bytes 0-39, MAC in 40-47) followed by an item
// list; a command is the device's own 48-byte header rewritten and signed again.
#pragma once
#include "core/protocols/hwg/product.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Hwg {
constexpr uint16_t kPort = 9999;
constexpr size_t kHeaderSize = 48;      // also the size of the request and of every command
constexpr size_t kMaxAnswerSize = 110;  // longer datagrams are not HWG answers

// Answer and command header
constexpr size_t kOffMac = 0;        // 6 bytes, the device's MAC address
constexpr size_t kOffIp = 6;         // 4 bytes
constexpr size_t kOffMask = 10;      // 4 bytes
constexpr size_t kOffRevision = 22;  // bits 7-4 second, bits 3-0 third number of the revision
constexpr size_t kOffTypeRev = 23;   // bits 7-3 device type, bits 2-0 first revision number
constexpr size_t kOffGateway = 24;   // 4 bytes
constexpr size_t kOffFlags = 28;
constexpr size_t kOffHttpPort = 30;  // 2 bytes
constexpr size_t kOffAuth = 40;      // 8 bytes, TEA CBC-MAC over bytes 0-39
constexpr size_t kOffItems = 48;

constexpr uint8_t kFlagDhcpPresent = 0x08;
constexpr uint8_t kFlagDhcpEnabled = 0x10;
constexpr uint8_t kFlagFactoryDefault = 0x20;  // set only in commands

// Item list after the header: type byte, length byte, value. 0xFF ends the list.
constexpr uint8_t kItemEnd = 0xFF;
constexpr uint8_t kItemCanDefault = 1;  // first value byte non-zero: factory default allowed
constexpr uint8_t kItemName = 2;        // UTF-8 text ending in a NUL byte
constexpr uint8_t kItemType = 4;        // first value byte: the device type
constexpr uint8_t kItemHttpPort = 5;    // 2 bytes
constexpr uint8_t kItemTelnetPort = 6;  // 2 bytes

// Type items of this value or more are not compared with the 5-bit header type.
constexpr int kWideTypeFirst = 31;

// The info request: FF x6, a fixed signature, and "(c)" with the vendor text. It carries no MAC;
// its bytes 40-47 are simply the end of the trailer.
constexpr std::array<uint8_t, kHeaderSize> kInfoRequest = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    'I', 'I', 'I', 'I', 'M', 'M', 'M', 'M', 'F', 'F', 'F', 'F', 'W', 'W', 'W', 'W', 'U', 'C',
    '1', '2', '3', '4', '5', '6', '7', '8',
    '(', 'c', ')', 'O', 'R', 'V', 'E', 'X', ' ', 'D', 'E', 'V', 'I', 'C', 'E', 'S',
};
} // namespace Hwg

// The 48-byte info request, exactly as sent.
std::vector<uint8_t> BuildHwgInfoRequest();

// Decodes one answer from peerIP into a new device (TypeName and UdpServer left to the
// registration). Null when the answer is longer than 110 bytes (silently), fails its MAC check or
// is shorter than 48 bytes, or carries a type item that contradicts its header (both logged).
std::unique_ptr<TProductHwg> DecodeHwgInfoAnswer(const uint8_t* data, size_t size, const std::string& peerIP);
