// TEA used as a CBC-MAC over the first 40 bytes of an HWG datagram. The key is shared with the
// devices. The MAC state is module-level: every computation resets it first, and all callers run
// on the GUI thread.
#pragma once
#include <cstddef>
#include <cstdint>

extern const uint32_t kHwgTeaKey[4];

void TeaSetKey();                       // loads the built-in key
void TeaSetKey(const uint32_t key[4]);  // loads any key (known-answer checks)
void TeaMacReset();                     // y = z = 0
void TeaMacAddBlock(const uint8_t block[8]);  // y ^= big-endian word 0, z ^= word 1, encipher
void TeaMacStore(uint8_t out[8]);             // y, z big-endian
int TeaMacCheck(const uint8_t mac[8]);        // 0 when the state equals mac, -1 otherwise
void TeaEncipher();                           // 32 TEA rounds on (y, z) under the loaded key

// The MAC covers bytes 0-39 and sits in bytes 40-47.
constexpr size_t kHwgMacOffset = 40;
constexpr size_t kHwgSignedSize = 48;

// Writes a fresh MAC into bytes 40-47. False (and nothing written) when size is below 48.
bool HwgSignPacket(uint8_t* packet, size_t size);
// True when bytes 40-47 hold the MAC of bytes 0-39; a packet shorter than 48 bytes never does.
bool HwgVerifyPacket(const uint8_t* packet, size_t size);
