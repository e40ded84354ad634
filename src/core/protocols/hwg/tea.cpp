// TEA block cipher (encrypt direction) and the CBC-MAC built on it for HWG datagrams.
#include "core/protocols/hwg/tea.h"

const uint32_t kHwgTeaKey[4] = {0x0FDBCB33u, 0x9FDE6970u, 0x2505A16Cu, 0x1D5612E5u};

namespace {
uint32_t g_key[4];
uint32_t g_y = 0;
uint32_t g_z = 0;

uint32_t ReadBigEndian32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void WriteBigEndian32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

void MacOverHeader(const uint8_t* packet)
{
    TeaSetKey();
    TeaMacReset();
    for (size_t block = 0; block < kHwgMacOffset; block += 8)
        TeaMacAddBlock(packet + block);
}
} // namespace

void TeaSetKey() { TeaSetKey(kHwgTeaKey); }

void TeaSetKey(const uint32_t key[4])
{
    for (int i = 0; i < 4; ++i)
        g_key[i] = key[i];
}

void TeaMacReset() { g_y = g_z = 0; }

void TeaEncipher()
{
    uint32_t y = g_y, z = g_z, sum = 0;
    for (int round = 0; round < 32; ++round) {
        sum += 0x9E3779B9u;
        y += ((z << 4) + g_key[0]) ^ (z + sum) ^ ((z >> 5) + g_key[1]);
        z += ((y << 4) + g_key[2]) ^ (y + sum) ^ ((y >> 5) + g_key[3]);
    }
    g_y = y;
    g_z = z;
}

void TeaMacAddBlock(const uint8_t block[8])
{
    g_y ^= ReadBigEndian32(block);
    g_z ^= ReadBigEndian32(block + 4);
    TeaEncipher();
}

void TeaMacStore(uint8_t out[8])
{
    WriteBigEndian32(out, g_y);
    WriteBigEndian32(out + 4, g_z);
}

int TeaMacCheck(const uint8_t mac[8])
{
    return (g_y ^ ReadBigEndian32(mac)) == 0 && (g_z ^ ReadBigEndian32(mac + 4)) == 0 ? 0 : -1;
}

bool HwgSignPacket(uint8_t* packet, size_t size)
{
    if (size < kHwgSignedSize)
        return false;
    MacOverHeader(packet);
    TeaMacStore(packet + kHwgMacOffset);
    return true;
}

bool HwgVerifyPacket(const uint8_t* packet, size_t size)
{
    if (size < kHwgSignedSize)
        return false;
    MacOverHeader(packet);
    return TeaMacCheck(packet + kHwgMacOffset) == 0;
}
