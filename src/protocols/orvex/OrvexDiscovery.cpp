// The Orvex family's part of a discovery cycle: the broadcast of the info request and the read
// handler that files every decoded answer in the registry it was told to use.
#include "protocols/orvex/Orvex.h"

#include "app/i18n.h"
#include "devices/registry.h"
#include "devices/udpserver.h"
#include "log/actionlog.h"
#include "log/format.h"

namespace {
TFamilyTarget g_target;  // the GUI thread alone reads and writes it
} // namespace

void SetOrvexTarget(const TFamilyTarget& target) { g_target = target; }

void SendOrvexInfoRequest(TUDPServer& endpoint)
{
    const std::vector<uint8_t> request = BuildOrvexInfoRequest();
    LogAction(_("Info Orvex Packet Send"), Format(_("->> Sending Orvex UDP Info to %s"), "255.255.255.255"),
              LOG_DEBUG);
    std::string error;
    if (!endpoint.SendBroadcast(Orvex::kPort, request.data(), request.size(), &error))
        LogAction("", Format(_("Sending to %s failed: %s"), "255.255.255.255", error.c_str()), LOG_ERROR);
}

void OnOrvexInfoAnswer(TUDPServer*, const uint8_t* data, size_t size, const std::string& peerIP, uint16_t)
{
    FileDevice(g_target, DecodeOrvexInfoAnswer(data, size, peerIP));
}
