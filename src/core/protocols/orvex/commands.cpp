// The Orvex device commands: update, factory default and restart requests, and the logging of
// the device's answer to them.
#include "core/protocols/orvex/commands.h"

#include "core/app/i18n.h"
#include "core/devices/utils.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/log/safetext.h"
#include "core/protocols/orvex/packets.h"
#include "core/protocols/orvex/product.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

using namespace Orvex;

// Header of a request to one device: its MAC address, type 1, the length of what follows.
std::vector<uint8_t> NewRequest(const uint8_t mac[6], size_t size)
{
    std::vector<uint8_t> packet(size, 0);
    std::copy_n(mac, 6, packet.begin() + kOffMac);
    packet[kOffHeaderType] = 0x01;
    packet[kOffLength] = static_cast<uint8_t>((size - kHeaderSize) >> 8);
    packet[kOffLength + 1] = static_cast<uint8_t>((size - kHeaderSize) & 0xFF);
    return packet;
}

// Item header: type byte and big-endian content length.
void PutItem(std::vector<uint8_t>& packet, size_t& at, uint8_t type, size_t length)
{
    packet[at++] = type;
    packet[at++] = static_cast<uint8_t>(length >> 8);
    packet[at++] = static_cast<uint8_t>(length & 0xFF);
}

// Sub-item header; the caller writes the value and advances past it.
void PutSub(std::vector<uint8_t>& packet, size_t& at, uint8_t id, uint8_t length)
{
    packet[at++] = id;
    packet[at++] = length;
}

void PutPort(std::vector<uint8_t>& packet, size_t& at, uint8_t id, int16_t port)
{
    PutSub(packet, at, id, 2);
    const auto value = static_cast<uint16_t>(port);
    packet[at++] = static_cast<uint8_t>(value & 0xFF);  // ports are little-endian, unlike lengths
    packet[at++] = static_cast<uint8_t>(value >> 8);
}

void PutAction(std::vector<uint8_t>& packet, size_t& at, uint8_t action)
{
    PutItem(packet, at, kItemAction, 2);
    packet[at++] = action;
    packet[at++] = 0;
}

// The answer of a command: what each one logs as the device's verdict.
struct TAnswerTexts {
    const char* ErrorCaption;
    const char* ErrorMessage;
    const char* Caption;
};

TAnswerTexts AnswerTexts(TOrvexCommand command)
{
    switch (command) {
    case TOrvexCommand::Update:
        return {"Error Reconfigured", "Error device '%s'. Error code = %d", "Device Reconfigured"};
    case TOrvexCommand::DhcpUpdate:
        return {"Error Reconfigured", "Error device %s. Error code = %d", "Device Reconfigured"};
    case TOrvexCommand::FactoryDefault:
        return {"Error Default Factory", "Error device %s. Error code = %d", "Default Factory"};
    case TOrvexCommand::Restart:
        break;
    }
    return {"Error Default Factory", "Error device %s. Error code = %d", "Restart Factory"};
}

void LogAnswer(TOrvexCommand command, const uint8_t* answer, const std::string& peerIP)
{
    const TAnswerTexts texts = AnswerTexts(command);
    const int errorCode = answer[kOffError];
    if (errorCode != 0)
        LogAction(_(texts.ErrorCaption), Format(_(texts.ErrorMessage), FormatMac(answer + kOffMac).c_str(), errorCode),
                  LOG_ERROR);
    switch (command) {
    case TOrvexCommand::Update:
    case TOrvexCommand::DhcpUpdate: {
        const std::string name = SafeText(FieldText(answer + kOffName, kNameSize));
        LogAction(_(texts.Caption), Format(_("Device %s from %s was reconfigured"), name.c_str(), peerIP.c_str()),
                  LOG_DEBUG);
        break;
    }
    case TOrvexCommand::FactoryDefault:
        LogAction(_(texts.Caption), Format(_("Device from %s was set to default factory"), peerIP.c_str()), LOG_DEBUG);
        break;
    case TOrvexCommand::Restart:
        LogAction(_(texts.Caption), Format(_("Device from %s was restarted"), peerIP.c_str()), LOG_DEBUG);
        break;
    }
}

// The read handler a command leaves on the endpoint. It knows its request's size and target, so
// only the device's own answer is reported as the command's outcome; everything else goes on to
// the discovery handler it replaced.
struct TOrvexAnswerHandler {
    TOrvexCommand Command;
    std::array<uint8_t, 6> Target;
    TUDPServer::TReadHandler Next;
    std::function<void(int errorCode)> OnAnswer;

    void operator()(TUDPServer* endpoint, const uint8_t* data, size_t size, const std::string& peerIP,
                    uint16_t peerPort) const
    {
        const bool answer = size == OrvexRequestSize(Command) && std::equal(Target.begin(), Target.end(), data);
        if (!answer) {
            if (Next)
                Next(endpoint, data, size, peerIP, peerPort);
            else
                LogAction("", Format(_("Ignored Orvex answer of %d bytes from %s"), static_cast<int>(size), peerIP.c_str()),
                          LOG_DEBUG);
            return;
        }
        LogAnswer(Command, data, peerIP);
        if (OnAnswer)
            OnAnswer(data[kOffError]);
    }
};

// The six target bytes of a device's commands; false (logged) when its MAC text does not parse.
bool TargetMac(const TProductInfo& info, uint8_t mac[6])
{
    if (ParseMac(info.MAC, mac) == 0)
        return true;
    LogAction("", Format(_("Nothing sent: \"%s\" is not a MAC address"), info.MAC.c_str()), LOG_ERROR);
    return false;
}

void Send(const TProduct& device, const std::vector<uint8_t>& request)
{
    std::string error = _("no UDP endpoint");
    const std::string& address = device.CommandAddress;
    if (!device.UdpServer || !device.UdpServer->SendTo(address, kPort, request.data(), request.size(), &error))
        LogAction("", Format(_("Sending to %s failed: %s"), address.c_str(), error.c_str()), LOG_ERROR);
}

void SendAction(TProductOrvex& device, TOrvexCommand command, uint8_t action, const char* caption, const char* message)
{
    uint8_t mac[6];
    if (!TargetMac(device.Info, mac))
        return;
    if (device.UdpServer)
        InstallOrvexAnswerHandler(*device.UdpServer, command, mac, device.OnCommandAnswer);
    const std::vector<uint8_t> request = BuildOrvexActionRequest(mac, action);
    LogAction(_(caption), Format(_(message), device.CommandAddress.c_str()), LOG_DEBUG);
    Send(device, request);
}

} // namespace

std::vector<uint8_t> BuildOrvexUpdateRequest(const uint8_t mac[6], const TProductInfo& info, bool restart)
{
    const bool dhcp = info.Dhcp != 0;
    const size_t size = dhcp ? kDhcpUpdateSize : kUpdateSize;
    std::vector<uint8_t> packet = NewRequest(mac, size);
    size_t at = kHeaderSize;
    PutItem(packet, at, kItemSet, size - kHeaderSize - 3 - 5);  // less its own header and the action item

    PutSub(packet, at, kSubName, kNameSize);
    const std::string_view name = Utf8Prefix(info.Name, kNameBytes);  // never half a character
    std::copy(name.begin(), name.end(), packet.begin() + at);
    at += kNameSize;

    if (!dhcp) {
        const std::pair<uint8_t, const std::string*> addresses[] = {
            {kSubIp, &info.IP}, {kSubMask, &info.Mask}, {kSubGateway, &info.Gateway},
            {kSubDns1, &info.DNS1}, {kSubDns2, &info.DNS2},
        };
        for (const auto& [id, text] : addresses) {
            PutSub(packet, at, id, 4);
            TryParseIp(*text, &packet[at]);  // a text that does not convert leaves 0.0.0.0
            at += 4;
        }
    }
    PutSub(packet, at, kSubDhcp, 1);
    packet[at++] = static_cast<uint8_t>(static_cast<uint16_t>(info.Dhcp) & 0xFF);
    PutPort(packet, at, kSubHttpPort, info.HTTPPort);
    PutPort(packet, at, kSubTelnetPort, info.TelnetPort);
    PutAction(packet, at, restart ? kActionRestart : kActionStore);
    return packet;
}

std::vector<uint8_t> BuildOrvexActionRequest(const uint8_t mac[6], uint8_t action)
{
    std::vector<uint8_t> packet = NewRequest(mac, kActionSize);
    size_t at = kHeaderSize;
    PutAction(packet, at, action);
    return packet;
}

size_t OrvexRequestSize(TOrvexCommand command)
{
    switch (command) {
    case TOrvexCommand::Update: return kUpdateSize;
    case TOrvexCommand::DhcpUpdate: return kDhcpUpdateSize;
    case TOrvexCommand::FactoryDefault:
    case TOrvexCommand::Restart: break;
    }
    return kActionSize;
}

void InstallOrvexAnswerHandler(TUDPServer& endpoint, TOrvexCommand command, const uint8_t target[6],
                               std::function<void(int errorCode)> onAnswer)
{
    // A command replacing another command's handler takes over the handler that one replaced,
    // so the chain never grows and discovery keeps receiving what is not an answer.
    TUDPServer::TReadHandler next = endpoint.OnRead;
    if (const auto* previous = next.target<TOrvexAnswerHandler>()) {
        TUDPServer::TReadHandler before = previous->Next;
        next = std::move(before);
    }
    TOrvexAnswerHandler handler{command, {}, std::move(next), std::move(onAnswer)};
    std::copy_n(target, 6, handler.Target.begin());
    endpoint.OnRead = std::move(handler);
}

void TProductOrvex::Update()
{
    uint8_t mac[6];
    if (!TargetMac(Info, mac))
        return;
    if (UdpServer)
        InstallOrvexAnswerHandler(*UdpServer, Info.Dhcp != 0 ? TOrvexCommand::DhcpUpdate : TOrvexCommand::Update, mac,
                                  OnCommandAnswer);
    Send(*this, BuildOrvexUpdateRequest(mac, Info, RestartNeeded));
    // The update logs after sending; the other two commands before.
    LogAction(_("Update Packet Send"), Format(_("->> Sending Orvex UDP Update to %s"), CommandAddress.c_str()),
              LOG_DEBUG);
}

void TProductOrvex::FactoryDefault()
{
    SendAction(*this, TOrvexCommand::FactoryDefault, kActionFactoryDefault, "Default Packet Send",
               "->> Sending Orvex UDP Default to %s");
}

void TProductOrvex::Restart()
{
    SendAction(*this, TOrvexCommand::Restart, kActionRestart, "Restart Packet Send",
               "->> Sending Orvex UDP Restart to %s");
}
