// What the compare dialog and the preview are given of the main window: the devices listed, the
// checked ones, a download of their configurations now (a fetch batch with the progress window
// as usual), checking rows by MAC, and a restore from a history version.
#pragma once
#include "core/http/batch.h"

#include <functional>
#include <string>
#include <vector>

// A device listed in the window, as the dialogs offer it.
struct TCompareDevice {
    std::string Label;  // "Name (address)"
    TBatchDevice Batch;
    std::string IP;     // configured address (an identity value)
};

struct TCompareHost {
    std::function<std::vector<TCompareDevice>()> Devices;
    std::function<std::vector<TCompareDevice>()> CheckedDevices;
    // Downloads the devices' configurations (a fetch batch: results in their order, each Ok with
    // its Config, or its Error); false when no batch could start (one is running). `done` is
    // called once the batch has ended.
    std::function<bool(const std::vector<TCompareDevice>&, std::function<void(std::vector<TDeviceResult>)> done)> Fetch;
    // Checks exactly these devices' rows.
    std::function<void(const std::vector<TCompareDevice>&)> CheckDevices;
    // "Restore This Version...": the version file back to the device, through the preview.
    std::function<void(const TCompareDevice& device, const std::string& versionPath)> RestoreVersion;
};
