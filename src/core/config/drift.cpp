#include "core/config/drift.h"

// Placeholder until drift grouping lands: every readable device in a group of its own.
TDrift GroupDrift(const std::vector<TDriftDevice>& devices)
{
    TDrift drift;
    for (size_t i = 0; i < devices.size(); ++i) {
        if (!devices[i].Read) {
            drift.Unreadable.push_back(i);
            continue;
        }
        drift.Groups.push_back({{i}, devices[i].Differences});
    }
    return drift;
}
