// The PC's network interfaces as discovery sees them, and the decisions that follow from them:
// where each discovery cycle sends its requests, and where a device's commands go.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One IPv4 address of one interface. Addresses are numbers in host order (10.0.0.1 = 0x0A000001).
struct TNetInterface {
    std::string Name;
    uint32_t Address = 0;
    int PrefixLength = 0;
    uint32_t Broadcast = 0;  // 0 when the address has none (point-to-point, /31, /32)
    bool Up = false;
    bool Loopback = false;
    bool CanBroadcast = false;
};

constexpr uint32_t kLimitedBroadcast = 0xFFFFFFFFu;

std::string AddressText(uint32_t address);
// Strict dotted quad (four numbers 0-255, digits only); nullopt otherwise.
std::optional<uint32_t> ParseAddress(const std::string& text);
uint32_t PrefixMask(int prefixLength);

// Every IPv4 address of every interface of this PC (QNetworkInterface).
std::vector<TNetInterface> ListNetInterfaces();

// The interface of the default route in the text of /proc/net/route (the one with the lowest
// metric); empty when there is none.
std::string DefaultRouteInterfaceIn(const std::string& procNetRoute);
// The same for this PC; empty when there is no default route or the table cannot be read.
std::string DefaultRouteInterface();

// The interfaces discovery can use: up, not loopback, broadcast allowed, with a broadcast
// address. One entry per address, in the order given.
std::vector<TNetInterface> DiscoveryInterfaces(const std::vector<TNetInterface>& all);

// "eth1 — 10.78.0.1/16" (every address of the interface, separated by ", ").
std::string InterfaceLabel(const std::vector<TNetInterface>& interfaces, const std::string& name);
// Names of the discovery interfaces, each once, in order.
std::vector<std::string> DiscoveryInterfaceNames(const std::vector<TNetInterface>& all);

// Where a cycle sends each family's request: each subnet once (one subnet = one network address
// and prefix length, however many interfaces or addresses share it). With no interface chosen:
// 255.255.255.255 (which leaves by the default route's interface and covers its subnets), then
// the directed broadcast of every other subnet of the discovery interfaces. With interfaces
// chosen: only their directed broadcasts. A chosen name that is no discovery interface is left
// out (see UnknownInterfaces).
std::vector<uint32_t> DiscoveryBroadcasts(const std::vector<TNetInterface>& all, const std::string& defaultRoute,
                                          const std::vector<std::string>& chosen);
// The chosen names that are no discovery interface.
std::vector<std::string> UnknownInterfaces(const std::vector<TNetInterface>& all, const std::vector<std::string>& chosen);

// The discovery interface whose subnet holds address, or nullptr.
const TNetInterface* AttachedInterface(const std::vector<TNetInterface>& all, uint32_t address);

// Where a device's commands go, given the address it answered from: a device on a subnet of the
// default route's interface gets 255.255.255.255 as always, whichever other interface shares
// that subnet and wherever it is listed; on another attached subnet, that interface's
// directed broadcast; a device answering from elsewhere that was asked by unicast (reached
// through a router) gets its own address; any other (a device whose address does not fit the
// network it sits in) gets 255.255.255.255, which is how it was found.
uint32_t CommandAddress(const std::vector<TNetInterface>& all, const std::string& defaultRoute, uint32_t peer,
                        bool askedByUnicast);
