// "Check Failed Devices": the devices that did not come through the last batch of the window (a
// firmware upgrade, a backup, a restore, a configuration of devices, or a plan), remembered by
// who they are rather than by their objects, which the next discovery frees. A device is known
// by its MAC's six bytes and its family, so "00-0a-59-00-00-01" and "00:0A:59:00:00:01" are one
// device, and an Orvex and an HWG device with one MAC are two.
#pragma once
#include "core/devices/listview.h"
#include "core/http/batch.h"

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

class TProduct;

struct TUnitKey {
    std::array<uint8_t, 6> Mac{};
    std::string Family;  // "Orvex", "HWG" ("" for a device of neither)
    bool Valid = false;  // the MAC text was six bytes

    auto operator<=>(const TUnitKey&) const = default;
};
TUnitKey UnitKey(const std::string& macText, const std::string& family);
TUnitKey UnitKey(const TProduct& device);

class TFailedDevices {
public:
    // A transfer batch has ended: its devices as it took them and its results in device order.
    // A device with a result that is not Ok failed (a failed verification included); a device
    // the batch has no result for was not started. Either way it is remembered, and what an
    // earlier batch left is forgotten.
    void Record(const std::vector<TUnitKey>& devices, const std::vector<TDeviceResult>& results);
    // Any other run (a plan) has ended: these are the devices that did not come through.
    void RecordFailed(std::vector<TUnitKey> failed);

    bool Empty() const { return Failed.empty(); }
    bool Contains(const TProduct& device) const;
    // The rows, by index, whose devices are remembered, in row order.
    std::vector<int> Matching(const std::vector<TDeviceRow>& rows) const;

private:
    std::set<TUnitKey> Failed;  // valid identities only
};
