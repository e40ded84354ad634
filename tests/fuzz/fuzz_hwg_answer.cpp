// Any datagram handed to the HWG answer decoder, once as received (almost always refused by the
// MAC check) and once signed, so that the item walk sees every shape of item list.
#include "fuzz_common.h"
#include "core/protocols/hwg/packets.h"
#include "core/protocols/hwg/tea.h"

#include <QString>

#include <vector>

namespace {
void CheckDevice(const TProductHwg& device, const uint8_t* data, size_t size)
{
    const TProductInfo& info = device.Info;
    FUZZ_CHECK(device.AnswerPacket == std::vector<uint8_t>(data, data + size));
    FUZZ_CHECK(info.MAC.size() == 17);
    FUZZ_CHECK(info.Dhcp >= -1 && info.Dhcp <= 1);
    FUZZ_CHECK(info.TypeCode >= 0 && info.TypeCode <= 255);
    FUZZ_CHECK(info.Name.find('\0') == std::string::npos);
    FUZZ_CHECK(QString::fromStdString(info.Name).toStdString() == info.Name);  // valid UTF-8
    FUZZ_CHECK(!info.CanRestart);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InstallDroppingLogger();
    // Exact-size heap copies, so AddressSanitizer sees any read past the datagram.
    std::vector<uint8_t> raw(data, data + size);
    if (const auto device = DecodeHwgInfoAnswer(raw.data(), raw.size(), "10.77.0.20"))
        CheckDevice(*device, raw.data(), raw.size());

    if (size < Hwg::kHeaderSize)
        return 0;
    std::vector<uint8_t> signed_(data, data + size);
    FUZZ_CHECK(HwgSignPacket(signed_.data(), signed_.size()));
    FUZZ_CHECK(HwgVerifyPacket(signed_.data(), signed_.size()));
    const auto device = DecodeHwgInfoAnswer(signed_.data(), signed_.size(), "10.77.0.20");
    if (size > Hwg::kMaxAnswerSize)
        FUZZ_CHECK(!device);
    if (device)
        CheckDevice(*device, signed_.data(), signed_.size());
    return 0;
}
