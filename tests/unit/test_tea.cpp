// TEA and the HWG CBC-MAC: the cipher against its published known answer, the chaining and
// byte order of the MAC, and the built-in key against a MAC worked out independently.
#include "core/protocols/hwg/tea.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using Block = std::array<uint8_t, 8>;

Block MacOfZeroKey(const uint8_t* data, size_t blocks)
{
    const uint32_t zeroKey[4] = {0, 0, 0, 0};
    TeaSetKey(zeroKey);
    TeaMacReset();
    for (size_t i = 0; i < blocks; ++i)
        TeaMacAddBlock(data + 8 * i);
    Block out{};
    TeaMacStore(out.data());
    return out;
}

TEST(Tea, KnownAnswerAndCbcChaining)
{
    // TEA, key 0, block 0 -> 41EA3A0A 94BAA940.
    const uint8_t zeros[16] = {};
    const Block once = MacOfZeroKey(zeros, 1);
    EXPECT_EQ(once, (Block{0x41, 0xEA, 0x3A, 0x0A, 0x94, 0xBA, 0xA9, 0x40}));
    EXPECT_EQ(TeaMacCheck(once.data()), 0);
    Block other = once;
    other[7] ^= 1;
    EXPECT_EQ(TeaMacCheck(other.data()), -1);

    // Two zero blocks chain as E(E(0)): the same as one block holding E(0) big-endian.
    EXPECT_EQ(MacOfZeroKey(zeros, 2), MacOfZeroKey(once.data(), 1));
}

// Bytes 0-39 of an HWG answer (MAC 00:0A:59:01:02:03, 192.168.1.50/24, revision bytes 35 1A,
// gateway 192.168.1.1, flags 18, HTTP port 80); the MAC under the built-in key was worked out
// with a separate TEA implementation.
constexpr std::array<uint8_t, 48> kSignedAnswer = {
    0x00, 0x0A, 0x59, 0x01, 0x02, 0x03, 192, 168, 1, 50, 255, 255, 255, 0,
    0, 1, 2, 3, 4, 5, 6, 7, 0x35, 0x1A, 192, 168, 1, 1, 0x18, 0, 0x00, 0x50,
    0, 0, 0, 0, 0, 0, 0, 0,
    0x4a, 0x62, 0x0b, 0x32, 0x1b, 0x4e, 0xb1, 0x62};

TEST(HwgMac, SignsWithTheDevicesKeyAndVerifiesOnlyUntouchedPackets)
{
    std::array<uint8_t, 60> packet{};
    std::copy(kSignedAnswer.begin(), kSignedAnswer.begin() + 40, packet.begin());
    packet[50] = 0x77;  // an item byte: not covered, never written
    ASSERT_TRUE(HwgSignPacket(packet.data(), packet.size()));
    EXPECT_TRUE(std::equal(kSignedAnswer.begin(), kSignedAnswer.end(), packet.begin()));
    EXPECT_EQ(packet[50], 0x77);
    EXPECT_TRUE(HwgVerifyPacket(kSignedAnswer.data(), kSignedAnswer.size()));

    // Any changed bit in the signed bytes or in the MAC is refused.
    for (size_t bit = 0; bit < 48 * 8; ++bit) {
        std::array<uint8_t, 48> changed = kSignedAnswer;
        changed[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        EXPECT_FALSE(HwgVerifyPacket(changed.data(), changed.size())) << "bit " << bit;
    }

    // The key is reloaded for every computation: a foreign key loaded before does not matter.
    const uint32_t zeroKey[4] = {0, 0, 0, 0};
    TeaSetKey(zeroKey);
    EXPECT_TRUE(HwgVerifyPacket(kSignedAnswer.data(), kSignedAnswer.size()));
}

TEST(HwgMac, ShortPacketsAreNeitherSignedNorVerified)
{
    std::array<uint8_t, 48> packet = kSignedAnswer;
    EXPECT_FALSE(HwgVerifyPacket(packet.data(), 47));
    EXPECT_FALSE(HwgVerifyPacket(packet.data(), 0));
    packet[47] ^= 0xFF;
    EXPECT_FALSE(HwgSignPacket(packet.data(), 47));
    EXPECT_EQ(packet[47], kSignedAnswer[47] ^ 0xFF);  // left as it was
}

} // namespace
