#include "core/http/faileddevices.h"

#include "core/devices/product.h"
#include "core/devices/utils.h"
#include "core/discovery/export.h"

TUnitKey UnitKey(const std::string& macText, const std::string& family)
{
    TUnitKey identity;
    identity.Family = family;
    identity.Valid = ParseMac(macText, identity.Mac.data()) == 0;
    if (!identity.Valid)
        identity.Mac = {};
    return identity;
}

TUnitKey UnitKey(const TProduct& device) { return UnitKey(device.Info.MAC, FamilyName(device)); }

void TFailedDevices::Record(const std::vector<TUnitKey>& devices, const std::vector<TDeviceResult>& results)
{
    std::vector<TUnitKey> failed;
    for (size_t i = 0; i < devices.size(); ++i) {
        const bool started = i < results.size();
        if (!started || !results[i].Ok)
            failed.push_back(devices[i]);
    }
    RecordFailed(std::move(failed));
}

void TFailedDevices::RecordFailed(std::vector<TUnitKey> failed)
{
    Failed.clear();
    for (TUnitKey& identity : failed)
        if (identity.Valid)
            Failed.insert(std::move(identity));
}

bool TFailedDevices::Contains(const TProduct& device) const
{
    if (Failed.empty())
        return false;
    const TUnitKey identity = UnitKey(device);
    return identity.Valid && Failed.count(identity) > 0;
}

std::vector<int> TFailedDevices::Matching(const std::vector<TDeviceRow>& rows) const
{
    std::vector<int> matching;
    if (Failed.empty())
        return matching;
    for (size_t row = 0; row < rows.size(); ++row)
        if (rows[row].Device && Contains(*rows[row].Device))
            matching.push_back(static_cast<int>(row));
    return matching;
}
