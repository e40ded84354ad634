// The Orvex family's packet layout: the info request and the decoding of an info answer into a
// TProductOrvex. Nothing here touches a socket, so tests and the fuzzer drive it directly.
#pragma once
#include "core/protocols/orvex/product.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Every Orvex packet: an 11-byte header, then items (type byte, big-endian 16-bit length,
// content); items 1-3 hold sub-items (id byte, length byte, value). Lengths are big-endian,
// ports little-endian.
namespace Orvex {
constexpr uint16_t kPort = 57739;
constexpr size_t kHeaderSize = 11;
constexpr size_t kInfoSize = 114;  // the info request and its answer share one layout

// Header
constexpr size_t kOffMac = 0;         // 6 bytes: FF..FF for all devices, else one device
constexpr size_t kOffHeaderType = 6;  // 1 in every request
constexpr size_t kOffLength = 7;      // bytes after the header, big-endian
constexpr size_t kOffError = 9;       // 0 in requests; non-zero in an answer: device error
constexpr size_t kOffReserved = 10;

// Item types
constexpr uint8_t kItemQuery = 1;
constexpr uint8_t kItemSet = 2;
constexpr uint8_t kItemProduct = 3;
constexpr uint8_t kItemAction = 4;

// Sub-item ids inside query and set items
constexpr uint8_t kSubName = 0x13;
constexpr uint8_t kSubIp = 0x00;
constexpr uint8_t kSubMask = 0x01;
constexpr uint8_t kSubGateway = 0x02;
constexpr uint8_t kSubDns1 = 0x03;
constexpr uint8_t kSubDns2 = 0x04;
constexpr uint8_t kSubDhcp = 0x5F;
constexpr uint8_t kSubHttpPort = 0x05;
constexpr uint8_t kSubTelnetPort = 0x06;
// Sub-item ids inside the product item
constexpr uint8_t kSubTypeCode = 0x00;
constexpr uint8_t kSubRevision = 0x02;

constexpr size_t kNameSize = 33;      // UTF-8, zero-terminated, at most 32 bytes of text
constexpr size_t kNameBytes = kNameSize - 1;  // the most of a name a device receives
constexpr size_t kRevisionSize = 16;  // zero-padded; all 16 bytes may be text

// Value offsets of the info request and answer
constexpr size_t kOffName = 16;
constexpr size_t kOffIp = 51;
constexpr size_t kOffMask = 57;
constexpr size_t kOffGateway = 63;
constexpr size_t kOffDns1 = 69;
constexpr size_t kOffDns2 = 75;
constexpr size_t kOffDhcp = 81;
constexpr size_t kOffHttpPort = 84;
constexpr size_t kOffTelnetPort = 88;
constexpr size_t kOffTypeCode = 95;
constexpr size_t kOffRevision = 98;
} // namespace Orvex



// The 114-byte info request to all devices.
std::vector<uint8_t> BuildOrvexInfoRequest();

// Decodes one info answer from peerIP into a new device (TypeName and UdpServer left to the
// registration). Logs a device's error code at ERROR; the device is made all the same, with type
// code 0. Answers shorter than 114 bytes are logged at DEBUG and give null; longer ones are cut.
std::unique_ptr<TProductOrvex> DecodeOrvexInfoAnswer(const uint8_t* data, size_t size, const std::string& peerIP);
