// Units of different MACs behind one sender address: the IP conflicts' bookkeeping, keyed by the
// address the answers came from instead of the address the units report.
#include "core/devices/sharedaddress.h"

#include "core/devices/registry.h"

std::vector<int> AddressSharers(const std::vector<TIpClaim>& answers)
{
    TIpConflicts byAddress;
    for (const TIpClaim& answer : answers)
        byAddress.Add(&answer, answer.IP, answer.MAC);
    std::vector<int> others;
    others.reserve(answers.size());
    for (const TIpClaim& answer : answers)
        others.push_back(static_cast<int>(byAddress.OthersOf(&answer).size()));
    return others;
}

TAddressSharers AddressSharers(const TDeviceRegistry& registry, const std::function<bool(const TProduct& device)>& away)
{
    std::vector<TIpClaim> answers;
    std::vector<const TProduct*> devices;
    answers.reserve(registry.DeviceList().size());
    devices.reserve(registry.DeviceList().size());
    for (const TDeviceEntry& entry : registry.DeviceList()) {
        if (away && away(*entry.Device))
            continue;
        answers.push_back({entry.Device->Info.PeerIP, entry.Device->Info.MAC});
        devices.push_back(entry.Device.get());
    }
    const std::vector<int> others = AddressSharers(answers);
    TAddressSharers sharing;
    for (size_t i = 0; i < others.size(); ++i)
        if (others[i] > 0)
            sharing[devices[i]] = others[i];
    return sharing;
}

int SharersOf(const TAddressSharers& sharers, const TProduct* device)
{
    const auto found = sharers.find(device);
    return found == sharers.end() ? 0 : found->second;
}
