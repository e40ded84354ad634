// The HWG device commands: the device's own answer header rewritten and signed again.
#include "core/protocols/hwg/commands.h"

#include "core/app/i18n.h"
#include "core/devices/udpserver.h"
#include "core/devices/utils.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/protocols/hwg/packets.h"
#include "core/protocols/hwg/product.h"
#include "core/protocols/hwg/tea.h"

namespace {

using namespace Hwg;

void Send(const TProduct& device, const std::vector<uint8_t>& command)
{
    std::string error = _("no UDP endpoint");
    const std::string& address = device.CommandAddress;
    if (!device.UdpServer || !device.UdpServer->SendTo(address, kPort, command.data(), command.size(), &error))
        LogAction("", Format(_("Sending to %s failed: %s"), address.c_str(), error.c_str()), LOG_ERROR);
}

bool Sendable(const TProductHwg& device)
{
    if (device.AnswerPacket.size() >= kHeaderSize)
        return true;
    LogAction("", Format(_("Nothing sent: no answer of %s is kept to build the command from"), device.Info.MAC.c_str()),
              LOG_ERROR);
    return false;
}

} // namespace

std::vector<uint8_t> BuildHwgUpdateCommand(std::vector<uint8_t>& answer, const TProductInfo& info)
{
    if (answer.size() < kHeaderSize)
        return {};
    const auto port = static_cast<uint16_t>(info.HTTPPort);  // -1 goes out as FF FF
    answer[kOffHttpPort] = static_cast<uint8_t>(port >> 8);
    answer[kOffHttpPort + 1] = static_cast<uint8_t>(port & 0xFF);
    auto flags = static_cast<uint8_t>(answer[kOffFlags] & ~(kFlagDhcpEnabled | kFlagFactoryDefault));
    if (info.Dhcp != 0)
        flags |= kFlagDhcpEnabled;
    answer[kOffFlags] = flags;
    ParseIp(info.IP, &answer[kOffIp]);
    ParseIp(info.Mask, &answer[kOffMask]);
    ParseIp(info.Gateway, &answer[kOffGateway]);
    HwgSignPacket(answer.data(), kHeaderSize);  // in place: the next command starts from here
    return std::vector<uint8_t>(answer.begin(), answer.begin() + kHeaderSize);
}

std::vector<uint8_t> BuildHwgFactoryDefaultCommand(const std::vector<uint8_t>& answer)
{
    if (answer.size() < kHeaderSize)
        return {};
    std::vector<uint8_t> command(answer.begin(), answer.begin() + kHeaderSize);
    command[kOffFlags] |= kFlagFactoryDefault;
    HwgSignPacket(command.data(), command.size());
    return command;
}

void TProductHwg::Update()
{
    if (!Sendable(*this))
        return;
    const std::vector<uint8_t> command = BuildHwgUpdateCommand(AnswerPacket, Info);
    LogAction(_("Update Packet Send"), Format(_("->> Sending HWG UDP Update to %s"), CommandAddress.c_str()),
              LOG_DEBUG);
    Send(*this, command);
}

void TProductHwg::FactoryDefault()
{
    if (!Sendable(*this))
        return;
    const std::vector<uint8_t> command = BuildHwgFactoryDefaultCommand(AnswerPacket);
    LogAction(_("Default Packet Send"), Format(_("->> Sending HWG UDP Default to %s"), CommandAddress.c_str()),
              LOG_DEBUG);
    Send(*this, command);
}

void TProductHwg::Restart() {}
