// TEA and the CBC-MAC with which HWG devices sign and check their datagrams.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace sim {

using TeaKey = std::array<uint32_t, 4>;

// The key every HWG device shares with the program.
inline constexpr TeaKey kHwgKey = {0x0FDBCB33u, 0x9FDE6970u, 0x2505A16Cu, 0x1D5612E5u};

// One TEA encryption of the block (y, z): 32 rounds.
void TeaEncipher(uint32_t& y, uint32_t& z, const TeaKey& key);

// CBC-MAC over the first 40 bytes of a datagram: five big-endian 8-byte blocks, zero start state.
std::array<uint8_t, 8> HwgMac(const uint8_t* first40, const TeaKey& key = kHwgKey);

// Writes the MAC of bytes 0-39 into bytes 40-47; data holds at least 48 bytes.
void HwgSign(uint8_t* data);

// True when size >= 48 and bytes 40-47 are the MAC of bytes 0-39.
bool HwgVerify(const uint8_t* data, size_t size);

}  // namespace sim
