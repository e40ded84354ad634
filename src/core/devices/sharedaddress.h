// Units that share their address. An HTTP request goes to an address, never to a MAC: where units
// of several MACs answered one discovery cycle from one sender address (PeerIP), a request to it
// reaches whichever of them holds the address on the wire, and nothing tells which. The batches
// start no transfer for such units (core/http/batch.h); the window and pyxet-cli --all ask here.
#pragma once
#include "core/devices/ipconflicts.h"

#include <functional>
#include <unordered_map>
#include <vector>

class TDeviceRegistry;
class TProduct;

// For each answer (its sender address in IP, its MAC), how many units of other MACs answered from
// the same address, in the order given. One unit answering through both families (one MAC, two
// answers) shares with nobody; MACs are compared without regard to letter case.
std::vector<int> AddressSharers(const std::vector<TIpClaim>& answers);

// The same over every device of the registry's cycle, whatever a type filter, a search, --type or
// --family later shows of them: the devices that share their sender address, with the number of
// other units there. A device that has its address alone is not in it.
// `away` (may be empty): devices that count for no one, units a watch has marked gone or missing;
// they share with nobody either.
using TAddressSharers = std::unordered_map<const TProduct*, int>;
TAddressSharers AddressSharers(const TDeviceRegistry& registry,
                               const std::function<bool(const TProduct& device)>& away = {});
// How many other units share the device's address (0: none), from AddressSharers.
int SharersOf(const TAddressSharers& sharers, const TProduct* device);
