// Drift across a fleet: devices compared with one reference, grouped by the set of differences
// they have (path and the device's value), identity places left out.
#pragma once
#include "core/config/compare.h"

#include <string>
#include <vector>

struct TDriftDevice {
    std::string MAC;
    std::string Host;
    std::string Name;
    bool Read = false;      // its configuration was read
    std::string Error;      // why not (translated), when not Read
    std::vector<TConfigDifference> Differences;  // from the reference (identity marked)
};

// Two devices are in one group when they have the same set of differences other than at identity
// places, each taken as its path, its kind and the device's value (the reference's value is the
// same for all). A group's differences are those of its first device, in their order.
struct TDriftGroup {
    std::vector<size_t> Devices;                 // indexes into the devices given, in their order
    std::vector<TConfigDifference> Differences;  // without identity places; empty: the group that matches
};

struct TDrift {
    std::vector<TDriftGroup> Groups;  // the matching group first (when any), then by size, largest first
    std::vector<size_t> Unreadable;
};
TDrift GroupDrift(const std::vector<TDriftDevice>& devices);
