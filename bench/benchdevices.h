// The answered devices of the window benchmarks: count devices of ten types, names "Device N",
// MAC and address counting up, in a fixed random order, as a burst of answers arrives. And the
// process's peak resident memory, which the benchmarks of long lists report.
#pragma once
#include "core/devices/product.h"
#include "core/log/format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
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

// The whole process's peak resident memory (VmHWM) in MB (10^6 bytes); -1 when /proc does not
// tell.
inline double PeakMemoryMB()
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    double mb = -1;
    while (std::fgets(line, sizeof line, status))
        if (std::strncmp(line, "VmHWM:", 6) == 0) {
            long kib = 0;
            if (std::sscanf(line + 6, "%ld", &kib) == 1)
                mb = double(kib) * 1024 / 1e6;
            break;
        }
    std::fclose(status);
    return mb;
}

// Starts the peak over from the memory resident now, so that the next PeakMemoryMB is the peak
// of what runs in between (Linux: "5" written to /proc/self/clear_refs). False when it cannot.
inline bool ResetPeakMemory()
{
    std::FILE* refs = std::fopen("/proc/self/clear_refs", "w");
    if (!refs)
        return false;
    const bool ok = std::fputs("5", refs) >= 0;
    return std::fclose(refs) == 0 && ok;
}
