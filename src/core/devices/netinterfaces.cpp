// Interfaces and the address decisions of discovery; only ListNetInterfaces and
// DefaultRouteInterface look at the PC, everything else is plain arithmetic on their results.
#include "core/devices/netinterfaces.h"

#include <QFile>
#include <QNetworkInterface>

#include <algorithm>
#include <sstream>

std::string AddressText(uint32_t address)
{
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "."
        + std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::optional<uint32_t> ParseAddress(const std::string& text)
{
    uint32_t value = 0;
    int parts = 0;
    size_t at = 0;
    while (parts < 4) {
        size_t digits = 0;
        uint32_t part = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4) {
            part = part * 10 + static_cast<uint32_t>(text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || digits > 3 || part > 255)
            return std::nullopt;
        value = (value << 8) | part;
        ++parts;
        if (parts < 4) {
            if (at >= text.size() || text[at] != '.')
                return std::nullopt;
            ++at;
        }
    }
    if (at != text.size())
        return std::nullopt;
    return value;
}

uint32_t PrefixMask(int prefixLength)
{
    if (prefixLength <= 0)
        return 0;
    if (prefixLength >= 32)
        return 0xFFFFFFFFu;
    return 0xFFFFFFFFu << (32 - prefixLength);
}

std::vector<TNetInterface> ListNetInterfaces()
{
    std::vector<TNetInterface> result;
    for (const QNetworkInterface& nic : QNetworkInterface::allInterfaces()) {
        const auto flags = nic.flags();
        for (const QNetworkAddressEntry& entry : nic.addressEntries()) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            TNetInterface item;
            item.Name = nic.name().toStdString();
            item.Address = entry.ip().toIPv4Address();
            item.PrefixLength = entry.prefixLength();
            item.Up = flags.testFlag(QNetworkInterface::IsUp) && flags.testFlag(QNetworkInterface::IsRunning);
            item.Loopback = flags.testFlag(QNetworkInterface::IsLoopBack);
            item.CanBroadcast = flags.testFlag(QNetworkInterface::CanBroadcast);
            if (!entry.broadcast().isNull())
                item.Broadcast = entry.broadcast().toIPv4Address();
            else if (item.CanBroadcast && item.PrefixLength > 0 && item.PrefixLength <= 30)
                item.Broadcast = item.Address | ~PrefixMask(item.PrefixLength);
            result.push_back(std::move(item));
        }
    }
    return result;
}

std::string DefaultRouteInterfaceIn(const std::string& procNetRoute)
{
    // Iface Destination Gateway Flags RefCnt Use Metric Mask ...; numbers in hexadecimal.
    std::istringstream lines(procNetRoute);
    std::string line;
    std::getline(lines, line);  // the heading
    std::string best;
    long bestMetric = -1;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name, destination, gateway, flags, refCount, use, metric, mask;
        if (!(fields >> name >> destination >> gateway >> flags >> refCount >> use >> metric >> mask))
            continue;
        const unsigned long up = std::stoul(flags, nullptr, 16) & 0x1;  // RTF_UP
        if (destination != "00000000" || mask != "00000000" || !up)
            continue;
        const long value = std::strtol(metric.c_str(), nullptr, 10);
        if (bestMetric < 0 || value < bestMetric) {
            best = name;
            bestMetric = value;
        }
    }
    return best;
}

std::string DefaultRouteInterface()
{
    QFile file(QStringLiteral("/proc/net/route"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return DefaultRouteInterfaceIn(file.readAll().toStdString());
}

std::vector<TNetInterface> DiscoveryInterfaces(const std::vector<TNetInterface>& all)
{
    std::vector<TNetInterface> usable;
    for (const TNetInterface& nic : all)
        if (nic.Up && !nic.Loopback && nic.CanBroadcast && nic.Broadcast != 0)
            usable.push_back(nic);
    return usable;
}

std::string InterfaceLabel(const std::vector<TNetInterface>& interfaces, const std::string& name)
{
    std::string addresses;
    for (const TNetInterface& nic : interfaces)
        if (nic.Name == name)
            addresses += (addresses.empty() ? "" : ", ") + AddressText(nic.Address) + "/"
                + std::to_string(nic.PrefixLength);
    return addresses.empty() ? name : name + " \u2014 " + addresses;
}

std::vector<std::string> DiscoveryInterfaceNames(const std::vector<TNetInterface>& all)
{
    std::vector<std::string> names;
    for (const TNetInterface& nic : DiscoveryInterfaces(all))
        if (std::find(names.begin(), names.end(), nic.Name) == names.end())
            names.push_back(nic.Name);
    return names;
}

namespace {

// A subnet: its network address and prefix length. Two addresses of one subnet (two interfaces
// on one LAN, or two addresses on one segment) reach the same devices.
struct TSubnet {
    uint32_t Network = 0;
    int PrefixLength = 0;
    bool operator==(const TSubnet&) const = default;
};

TSubnet SubnetOf(const TNetInterface& nic) { return {nic.Address & PrefixMask(nic.PrefixLength), nic.PrefixLength}; }

bool Holds(const TNetInterface& nic, uint32_t address)
{
    const uint32_t mask = PrefixMask(nic.PrefixLength);
    return nic.Up && !nic.Loopback && nic.PrefixLength > 0 && (nic.Address & mask) == (address & mask);
}

} // namespace

std::vector<uint32_t> DiscoveryBroadcasts(const std::vector<TNetInterface>& all, const std::string& defaultRoute,
                                          const std::vector<std::string>& chosen)
{
    std::vector<uint32_t> addresses;
    std::vector<TSubnet> asked;
    auto ask = [&addresses, &asked](const TNetInterface& nic) {
        const TSubnet subnet = SubnetOf(nic);
        if (std::find(asked.begin(), asked.end(), subnet) != asked.end())
            return;
        asked.push_back(subnet);
        if (std::find(addresses.begin(), addresses.end(), nic.Broadcast) == addresses.end())
            addresses.push_back(nic.Broadcast);
    };
    const std::vector<TNetInterface> usable = DiscoveryInterfaces(all);
    if (chosen.empty()) {
        addresses.push_back(kLimitedBroadcast);
        // 255.255.255.255 leaves by the default route's interface: its subnets are asked by it.
        for (const TNetInterface& nic : usable)
            if (nic.Name == defaultRoute)
                asked.push_back(SubnetOf(nic));
        for (const TNetInterface& nic : usable)
            if (nic.Name != defaultRoute)
                ask(nic);
        return addresses;
    }
    for (const std::string& name : chosen)
        for (const TNetInterface& nic : usable)
            if (nic.Name == name)
                ask(nic);
    return addresses;
}

std::vector<std::string> UnknownInterfaces(const std::vector<TNetInterface>& all, const std::vector<std::string>& chosen)
{
    const std::vector<std::string> known = DiscoveryInterfaceNames(all);
    std::vector<std::string> unknown;
    for (const std::string& name : chosen)
        if (std::find(known.begin(), known.end(), name) == known.end())
            unknown.push_back(name);
    return unknown;
}

const TNetInterface* AttachedInterface(const std::vector<TNetInterface>& all, uint32_t address)
{
    for (const TNetInterface& nic : all)
        if (Holds(nic, address))
            return &nic;
    return nullptr;
}

uint32_t CommandAddress(const std::vector<TNetInterface>& all, const std::string& defaultRoute, uint32_t peer,
                        bool askedByUnicast)
{
    // The default route's subnets first: another interface on the same subnet (listed before it
    // or not) changes nothing.
    for (const TNetInterface& nic : all)
        if (nic.Name == defaultRoute && Holds(nic, peer))
            return kLimitedBroadcast;
    const TNetInterface* attached = AttachedInterface(all, peer);
    if (attached) {
        // An interface without broadcasts still reaches its own subnet by unicast.
        return attached->CanBroadcast && attached->Broadcast != 0 ? attached->Broadcast : peer;
    }
    return askedByUnicast ? peer : kLimitedBroadcast;
}
