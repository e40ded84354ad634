// Any datagram handed to the Orvex answer decoder: it must stay inside the datagram, make a device
// exactly for answers of 114 bytes or more, and produce well-formed texts.
#include "fuzz_common.h"
#include "core/protocols/orvex/packets.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InstallDroppingLogger();
    const auto device = DecodeOrvexInfoAnswer(data, size, "10.77.0.9");
    FUZZ_CHECK((device != nullptr) == (size >= Orvex::kInfoSize));
    if (device) {
        const TProductInfo& info = device->Info;
        FUZZ_CHECK(info.MAC.size() == 17);
        FUZZ_CHECK(!info.FirmwareRev.empty() && info.FirmwareRev.size() <= 16);
        FUZZ_CHECK(info.Name.find('\0') == std::string::npos);
        FUZZ_CHECK(QString::fromStdString(info.Name).toStdString() == info.Name);  // valid UTF-8
        FUZZ_CHECK(info.Dhcp >= 0 && info.Dhcp <= 255);
        FUZZ_CHECK(data[9] == 0 || info.TypeCode == 0);
    }
    return 0;
}
