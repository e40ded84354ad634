// Orvex info request and answer decoding. Nothing here touches a socket, so the decoder can be
// driven directly by tests and the fuzzer.
#include "core/protocols/orvex/packets.h"

#include "core/app/i18n.h"
#include "core/devices/utils.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

int16_t LittleEndian16(const uint8_t* p)
{
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

} // namespace

std::vector<uint8_t> BuildOrvexInfoRequest()
{
    using namespace Orvex;
    std::vector<uint8_t> packet(kInfoSize, 0);
    std::fill_n(packet.begin() + kOffMac, 6, 0xFF);
    packet[kOffHeaderType] = 0x01;
    packet[kOffLength] = (kInfoSize - kHeaderSize) >> 8;
    packet[kOffLength + 1] = (kInfoSize - kHeaderSize) & 0xFF;

    // Parameter query item: every network parameter, with zero values.
    size_t at = kHeaderSize;
    packet[at++] = kItemQuery;
    packet[at++] = 0x00;
    packet[at++] = 76;
    const std::array<std::pair<uint8_t, uint8_t>, 9> parameters{{
        {kSubName, kNameSize}, {kSubIp, 4}, {kSubMask, 4}, {kSubGateway, 4}, {kSubDns1, 4},
        {kSubDns2, 4}, {kSubDhcp, 1}, {kSubHttpPort, 2}, {kSubTelnetPort, 2},
    }};
    for (const auto& [id, length] : parameters) {
        packet[at++] = id;
        packet[at++] = length;
        at += length;
    }

    // Product item: type code and firmware revision.
    packet[at++] = kItemProduct;
    packet[at++] = 0x00;
    packet[at++] = 21;
    packet[at++] = kSubTypeCode;
    packet[at++] = 1;
    at += 1;
    packet[at++] = kSubRevision;
    packet[at++] = kRevisionSize;
    return packet;
}

std::unique_ptr<TProductOrvex> DecodeOrvexInfoAnswer(const uint8_t* data, size_t size, const std::string& peerIP)
{
    using namespace Orvex;
    if (size < kInfoSize) {
        LogAction("", Format(_("Ignored Orvex answer of %d bytes from %s"), static_cast<int>(size), peerIP.c_str()),
                  LOG_DEBUG);
        return nullptr;
    }
    // Only the fixed offsets of the first 114 bytes are read; anything longer is cut.
    std::array<uint8_t, kInfoSize> answer;
    std::memcpy(answer.data(), data, kInfoSize);

    const std::string mac = FormatMac(&answer[kOffMac]);
    int32_t typeCode = answer[kOffTypeCode];
    if (answer[kOffError] != 0) {
        LogAction(_("Error Info"), Format(_("Error device %s. Error code = %d"), mac.c_str(), answer[kOffError]),
                  LOG_ERROR);
        typeCode = 0;
    }

    auto device = std::make_unique<TProductOrvex>();
    TProductInfo& info = device->Info;
    info.TypeCode = typeCode;
    info.MAC = mac;
    info.Name = ValidUtf8(FieldText(&answer[kOffName], kNameSize));
    info.PeerIP = peerIP;
    info.IP = FormatIp(&answer[kOffIp]);
    info.Mask = FormatIp(&answer[kOffMask]);
    info.Gateway = FormatIp(&answer[kOffGateway]);
    info.DNS1 = FormatIp(&answer[kOffDns1]);
    info.DNS2 = FormatIp(&answer[kOffDns2]);
    info.Dhcp = answer[kOffDhcp];
    info.HTTPPort = LittleEndian16(&answer[kOffHttpPort]);
    info.TelnetPort = LittleEndian16(&answer[kOffTelnetPort]);
    info.FirmwareRev = FieldText(&answer[kOffRevision], kRevisionSize);
    if (info.FirmwareRev.empty())
        info.FirmwareRev = "N/A";
    info.CanSetDefault = true;  // every Orvex device takes the factory-default and restart commands
    info.CanRestart = true;
    return device;
}
