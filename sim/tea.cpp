// TEA and the HWG CBC-MAC.
#include "tea.h"

namespace sim {

namespace {
uint32_t ReadBe32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
void WriteBe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
}  // namespace

void TeaEncipher(uint32_t& y, uint32_t& z, const TeaKey& k) {
    uint32_t sum = 0;
    for (int round = 0; round < 32; ++round) {
        sum += 0x9E3779B9u;
        y += ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
        z += ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
    }
}

std::array<uint8_t, 8> HwgMac(const uint8_t* data, const TeaKey& key) {
    uint32_t y = 0, z = 0;
    for (size_t block = 0; block < 40; block += 8) {
        y ^= ReadBe32(data + block);
        z ^= ReadBe32(data + block + 4);
        TeaEncipher(y, z, key);
    }
    std::array<uint8_t, 8> mac{};
    WriteBe32(mac.data(), y);
    WriteBe32(mac.data() + 4, z);
    return mac;
}

void HwgSign(uint8_t* data) {
    const auto mac = HwgMac(data);
    for (size_t i = 0; i < 8; ++i) data[40 + i] = mac[i];
}

bool HwgVerify(const uint8_t* data, size_t size) {
    if (size < 48) return false;
    const auto mac = HwgMac(data);
    uint8_t diff = 0;
    for (size_t i = 0; i < 8; ++i) diff |= uint8_t(mac[i] ^ data[40 + i]);
    return diff == 0;
}

}  // namespace sim
