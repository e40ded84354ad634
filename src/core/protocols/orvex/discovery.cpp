// The Orvex family's part of a discovery cycle.
#include "core/protocols/orvex/discovery.h"

#include "core/app/i18n.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/protocols/orvex/packets.h"

void SendOrvexInfoRequest(TUDPServer& endpoint, const std::string& address)
{
    const std::vector<uint8_t> request = BuildOrvexInfoRequest();
    LogAction(_("Info Orvex Packet Send"), Format(_("->> Sending Orvex UDP Info to %s"), address.c_str()),
              LOG_DEBUG);
    std::string error;
    if (!endpoint.SendTo(address, Orvex::kPort, request.data(), request.size(), &error))
        LogAction("", Format(_("Sending to %s failed: %s"), address.c_str(), error.c_str()), LOG_ERROR);
}

TUDPServer::TReadHandler OrvexInfoHandler(TDeviceSink sink)
{
    return [sink = std::move(sink)](TUDPServer*, const uint8_t* data, size_t size, const std::string& peerIP,
                                    uint16_t) {
        std::unique_ptr<TProduct> device = DecodeOrvexInfoAnswer(data, size, peerIP);
        if (device && sink)
            sink(std::move(device));
    };
}
