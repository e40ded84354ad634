// HWG info request and answer decoding. Nothing here touches a socket, so the decoder can be
// driven directly by tests and the fuzzer.
#include "core/protocols/hwg/packets.h"

#include "core/app/i18n.h"
#include "core/devices/utils.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/protocols/hwg/tea.h"

namespace {

uint16_t BigEndian16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

} // namespace

std::vector<uint8_t> BuildHwgInfoRequest()
{
    return std::vector<uint8_t>(Hwg::kInfoRequest.begin(), Hwg::kInfoRequest.end());
}

std::unique_ptr<TProductHwg> DecodeHwgInfoAnswer(const uint8_t* data, size_t size, const std::string& peerIP)
{
    using namespace Hwg;
    if (size > kMaxAnswerSize)
        return nullptr;
    if (!HwgVerifyPacket(data, size)) {
        LogAction("", Format(_("Error verify packet from %s"), peerIP.c_str()), LOG_DEBUG);
        return nullptr;
    }

    std::string name = "N/A";
    int typeItem = -1;
    int32_t httpPort = -1;
    int32_t telnetPort = -1;
    bool canSetDefault = true;

    // The walk stays inside the datagram: an item whose length byte or value would run past the
    // end ends it, and an item too short for its value is skipped. The last occurrence wins.
    size_t pos = kOffItems;
    while (pos < size && data[pos] != kItemEnd) {
        if (pos + 1 >= size)
            break;
        const uint8_t type = data[pos];
        const size_t length = data[pos + 1];
        const uint8_t* value = data + pos + 2;
        if (length > size - (pos + 2))
            break;
        switch (type) {
        case kItemCanDefault:
            if (length >= 1)
                canSetDefault = value[0] != 0;
            break;
        case kItemName:
            name = ValidUtf8(FieldText(value, length));
            break;
        case kItemType:
            if (length >= 1)
                typeItem = value[0];
            break;
        case kItemHttpPort:
            if (length >= 2)
                httpPort = BigEndian16(value);
            break;
        case kItemTelnetPort:
            if (length >= 2)
                telnetPort = BigEndian16(value);
            break;
        default:
            break;
        }
        pos += 2 + length;
    }

    const int headerType = data[kOffTypeRev] >> 3;
    int32_t typeCode = typeItem;
    if (typeItem < 0) {
        // Devices without a type item report their type and HTTP port in the header only.
        typeCode = headerType;
        httpPort = BigEndian16(data + kOffHttpPort);
    } else if (typeItem < kWideTypeFirst && typeItem != headerType) {
        LogAction("", Format(_("Error device type at %s"), peerIP.c_str()), LOG_DEBUG);
        return nullptr;
    }

    const uint8_t flags = data[kOffFlags];
    int16_t dhcp = -1;
    if (flags & kFlagDhcpPresent)
        dhcp = (flags & kFlagDhcpEnabled) ? 1 : 0;

    auto device = std::make_unique<TProductHwg>();
    TProductInfo& info = device->Info;
    info.TypeCode = typeCode;
    info.MAC = FormatMac(data + kOffMac);
    info.Name = name;
    info.PeerIP = peerIP;
    info.IP = FormatIp(data + kOffIp);
    info.Mask = FormatIp(data + kOffMask);
    info.Gateway = FormatIp(data + kOffGateway);
    info.DNS1 = "N/A";
    info.DNS2 = "N/A";
    info.Dhcp = dhcp;
    info.FirmwareRev = Format("%d.%d.%d", data[kOffTypeRev] & 0x07, data[kOffRevision] >> 4,
                              data[kOffRevision] & 0x0F);
    info.HTTPPort = static_cast<int16_t>(static_cast<uint16_t>(httpPort));
    info.TelnetPort = static_cast<int16_t>(static_cast<uint16_t>(telnetPort));
    info.CanSetDefault = canSetDefault;
    info.CanRestart = false;
    device->AnswerPacket.assign(data, data + size);
    return device;
}
