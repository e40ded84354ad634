// The Orvex device commands: the update, factory-default and restart requests (addressed to one
// device by its MAC address, broadcast to port 57739) and the read handler that logs a device's
// answer to them. Builders touch no socket, so tests check their bytes directly.
#pragma once
#include "core/devices/product.h"
#include "core/devices/udpserver.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace Orvex {
constexpr size_t kUpdateSize = 95;      // static-address update: every parameter
constexpr size_t kDhcpUpdateSize = 65;  // DHCP update: name, DHCP state and ports, no addresses
constexpr size_t kActionSize = 16;      // factory default and restart: the action item alone

// First byte of the action item; the second is always 0.
constexpr uint8_t kActionStore = 0;           // store the setup
constexpr uint8_t kActionRestart = 1;         // store it and restart; or restart alone
constexpr uint8_t kActionFactoryDefault = 2;  // return to the factory setup
} // namespace Orvex

enum class TOrvexCommand { Update, DhcpUpdate, FactoryDefault, Restart };

// The update request for the device at mac with the setup held in info: 95 bytes when
// info.Dhcp is 0, else 65 bytes without addresses. Addresses are read by TryParseIp; one that
// does not convert stays 0.0.0.0. A name longer than 32 bytes is cut at the last whole
// character within them (an ASCII name at its 32nd byte).
std::vector<uint8_t> BuildOrvexUpdateRequest(const uint8_t mac[6], const TProductInfo& info, bool restart);

// The 16-byte request that carries only an action (factory default or restart).
std::vector<uint8_t> BuildOrvexActionRequest(const uint8_t mac[6], uint8_t action);

// Request size of each command; its answer has the same size.
size_t OrvexRequestSize(TOrvexCommand command);

// Makes the answer handler of command the read handler of endpoint. A datagram of the request's
// size whose bytes 0-5 are target is the device's answer: its error code (byte 9) is logged as
// the command's outcome, then onAnswer (when set) gets that code. Any other datagram is not
// this command's business and goes to the handler that was installed before the first command
// (discovery, which files a late info answer and logs anything else as ignored); when there is
// none, it is logged at DEBUG as ignored. The handler stays installed until replaced.
void InstallOrvexAnswerHandler(TUDPServer& endpoint, TOrvexCommand command, const uint8_t target[6],
                               std::function<void(int errorCode)> onAnswer);
