// Drift across a fleet: devices grouped by the differences from the reference they share.
#include "core/config/drift.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace {

// What makes two devices drift alike: the same places differing the same way, with the same
// value on the device (the reference's value is the same for all).
using TDriftKey = std::vector<std::tuple<std::string, TDifferenceKind, std::string>>;

TDriftKey KeyOf(const std::vector<TConfigDifference>& differences)
{
    TDriftKey key;
    for (const TConfigDifference& d : differences)
        if (!d.Identity)
            key.emplace_back(d.Path, d.Kind, d.Right);
    std::sort(key.begin(), key.end());
    key.erase(std::unique(key.begin(), key.end()), key.end());
    return key;
}

}  // namespace

TDrift GroupDrift(const std::vector<TDriftDevice>& devices)
{
    TDrift drift;
    std::map<TDriftKey, size_t> groupOf;
    for (size_t i = 0; i < devices.size(); ++i) {
        const TDriftDevice& device = devices[i];
        if (!device.Read) {
            drift.Unreadable.push_back(i);
            continue;
        }
        const auto [at, added] = groupOf.emplace(KeyOf(device.Differences), drift.Groups.size());
        if (added) {
            TDriftGroup group;
            for (const TConfigDifference& d : device.Differences)
                if (!d.Identity)
                    group.Differences.push_back(d);
            drift.Groups.push_back(std::move(group));
        }
        drift.Groups[at->second].Devices.push_back(i);
    }
    // The matching group first, then the largest; among equals the one met first.
    std::stable_sort(drift.Groups.begin(), drift.Groups.end(), [](const TDriftGroup& a, const TDriftGroup& b) {
        if (a.Differences.empty() != b.Differences.empty())
            return a.Differences.empty();
        return a.Devices.size() > b.Devices.size();
    });
    return drift;
}
