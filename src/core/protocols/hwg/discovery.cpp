// The HWG family's part of a discovery cycle.
#include "core/protocols/hwg/discovery.h"

#include "core/app/i18n.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/protocols/hwg/packets.h"

void SendHwgInfoRequest(TUDPServer& endpoint, const std::string& address)
{
    LogAction(_("Info Packet Send"), Format(_("->> Sending HWG UDP Info to %s"), address.c_str()), LOG_DEBUG);
    std::string error;
    if (!endpoint.SendTo(address, Hwg::kPort, Hwg::kInfoRequest.data(), Hwg::kInfoRequest.size(), &error))
        LogAction("", Format(_("Sending to %s failed: %s"), address.c_str(), error.c_str()), LOG_ERROR);
}

TUDPServer::TReadHandler HwgInfoHandler(TDeviceSink sink)
{
    return [sink = std::move(sink)](TUDPServer*, const uint8_t* data, size_t size, const std::string& peerIP,
                                    uint16_t) {
        std::unique_ptr<TProduct> device = DecodeHwgInfoAnswer(data, size, peerIP);
        if (device && sink)
            sink(std::move(device));
    };
}
