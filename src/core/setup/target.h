// The device a pyxet-cli command acts on: named by its MAC address or by the address it
// answered from, and looked up among the devices of one discovery cycle.
#pragma once
#include "core/devices/registry.h"

#include <optional>
#include <string>
#include <vector>

struct TTarget {
    bool ByMac = false;  // else by the answering address (PeerIP)
    std::string Text;    // normalised: "00:0A:14:1E:28:32" or "10.77.1.1"
};

// A MAC address (any case, ':' or '-' between the pairs, or none) or a dotted address of four
// decimal numbers up to 255. Nothing else (blanks included) is a target.
std::optional<TTarget> ParseTarget(const std::string& text);

// Every listed device the target names, in list order.
std::vector<TProduct*> MatchTarget(const TDeviceRegistry& list, const TTarget& target);
