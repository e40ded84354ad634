// The discovery cycle without any window: what "Find Devices" does after the view is cleared,
// shared by the main window and pyxet-cli.
#pragma once
#include "core/devices/product.h"

class TDeviceRegistry;
class TUDPServer;

// One family's part of discovery: its endpoint and the product table that names its types.
// The table must live as long as the cycle collects answers.
struct TDiscoveryFamily {
    TUDPServer* Server = nullptr;
    const TProductTable* Products = nullptr;
};

// Logs "Finding devices", makes the two families' info-answer handlers the read handlers of the
// two endpoints, tells both families to file their devices into list, and broadcasts the Orvex
// info request, then the HWG one. Returns at once; answers are filed as the endpoints deliver
// them. A family whose endpoint or table is missing is skipped. The caller runs
// TDeviceRegistry::BeginCycle (and clears its view) first.
void StartDiscovery(TDeviceRegistry& list, const TDiscoveryFamily& orvex, const TDiscoveryFamily& hwg);
