// The HWG device commands: the device's own answer header rewritten, signed again with the TEA
// MAC and broadcast back to port 9999. Devices do not answer them. Builders touch no socket, so
// tests check their bytes directly.
#pragma once
#include "core/devices/product.h"

#include <cstdint>
#include <vector>

// Rewrites the setup fields of the stored answer in place from info: address, mask and gateway
// (ParseIp; a text that does not parse gives 255.255.255.255), the DHCP bit (set for any
// non-zero Dhcp, -1 included), the HTTP port; the factory-default bit is cleared. Returns its
// first 48 bytes signed, the update command. Every other byte goes back as the device sent it.
// Empty when the stored answer is shorter than 48 bytes.
std::vector<uint8_t> BuildHwgUpdateCommand(std::vector<uint8_t>& answer, const TProductInfo& info);

// The first 48 bytes of the stored answer with the factory-default bit set, signed. The stored
// answer itself is left as it is, so a later update does not reset the device once more.
// Empty when the stored answer is shorter than 48 bytes.
std::vector<uint8_t> BuildHwgFactoryDefaultCommand(const std::vector<uint8_t>& answer);
