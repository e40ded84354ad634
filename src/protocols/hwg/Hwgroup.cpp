// The HWG family's part of a discovery cycle: the broadcast of the info request and the read
// handler that files every verified answer in the registry it was told to use.
#include "protocols/hwg/Hwgroup.h"

#include "app/i18n.h"
#include "devices/registry.h"
#include "devices/udpserver.h"
#include "log/actionlog.h"
#include "log/format.h"

namespace {
TFamilyTarget g_target;  // the GUI thread alone reads and writes it
} // namespace

void SetHwgTarget(const TFamilyTarget& target) { g_target = target; }

void SendHwgInfoRequest(TUDPServer& endpoint)
{
    LogAction(_("Info Packet Send"), Format(_("->> Sending HWG UDP Info to %s"), "255.255.255.255"), LOG_DEBUG);
    std::string error;
    if (!endpoint.SendBroadcast(Hwg::kPort, Hwg::kInfoRequest.data(), Hwg::kInfoRequest.size(), &error))
        LogAction("", Format(_("Sending to %s failed: %s"), "255.255.255.255", error.c_str()), LOG_ERROR);
}

void OnHwgInfoAnswer(TUDPServer*, const uint8_t* data, size_t size, const std::string& peerIP, uint16_t)
{
    FileDevice(g_target, DecodeHwgInfoAnswer(data, size, peerIP));
}
