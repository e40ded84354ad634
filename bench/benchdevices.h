// The answered devices of the window benchmarks: count devices of ten types, names "Device N",
// MAC and address counting up, in a fixed random order, as a burst of answers arrives.
#pragma once
#include "core/devices/product.h"
#include "core/log/format.h"

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

class TBenchDevice : public TProduct {
public:
    void Update() override {}
    void FactoryDefault() override {}
    void Restart() override {}
};

inline std::vector<std::unique_ptr<TProduct>> MakeBenchDevices(int count)
{
    static const int kTypes[] = {0, 1, 2, 3, 4, 20, 32, 33, 34, 35};
    std::vector<std::unique_ptr<TProduct>> devices;
    for (int i = 0; i < count; ++i) {
        auto d = std::make_unique<TBenchDevice>();
        d->Info.TypeCode = kTypes[i % 10];
        d->Info.MAC = Format("00:0A:14:%2.2x:%2.2x:%2.2x", (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
        d->Info.Name = Format("Device %d", i);
        d->Info.PeerIP = Format("10.%d.%d.%d", (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
        d->Info.IP = d->Info.PeerIP;
        d->Info.Mask = "255.0.0.0";
        d->Info.Gateway = d->Info.DNS1 = d->Info.DNS2 = "10.0.0.1";
        d->Info.FirmwareRev = "1.4.2";
        d->Info.HTTPPort = 80;
        d->Info.TelnetPort = 23;
        d->Info.CanSetDefault = d->Info.CanRestart = true;
        devices.push_back(std::move(d));
    }
    std::shuffle(devices.begin(), devices.end(), std::mt19937(12345));
    return devices;
}
