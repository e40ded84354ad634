// register_1000, register_5000: seconds to file and register that many answered devices through
// TDeviceRegistry::AddDevice, with the action log kept as the window keeps it but no window.
// The answers arrive in random order, as a burst does. register_5000_first_1000 and
// register_5000_last_1000 show whether filing slows down as the list grows.
#include "core/app/settings.h"
#include "core/devices/registry.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/protocols/orvex/packets.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::unique_ptr<TProduct>> MakeDevices(int count)
{
    static const int kTypes[] = {0, 1, 2, 3, 4, 20, 32, 33, 34, 35};
    std::vector<std::unique_ptr<TProduct>> devices;
    for (int i = 0; i < count; ++i) {
        auto d = std::make_unique<TProductOrvex>();
        d->Info.TypeCode = kTypes[i % 10];
        d->Info.MAC = Format("00:0A:14:%2.2x:%2.2x:%2.2x", (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
        d->Info.Name = Format("Device %d", i);
        d->Info.PeerIP = Format("10.%d.%d.%d", (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
        d->Info.IP = d->Info.PeerIP;
        d->Info.FirmwareRev = "1.4.2";
        d->Info.CanSetDefault = d->Info.CanRestart = true;
        devices.push_back(std::move(d));
    }
    std::shuffle(devices.begin(), devices.end(), std::mt19937(12345));
    return devices;
}

// Registers count devices into a fresh list; returns the seconds taken by each 1,000 of them.
std::vector<double> Register(int count)
{
    TActionLogger log;
    SetCurrentLogger(&log);
    const TProductTable products = SplitCommaText(kBuiltInOrvexTable);
    TDeviceRegistry list;
    std::vector<std::unique_ptr<TProduct>> devices = MakeDevices(count);

    std::vector<double> perThousand;
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        list.AddDevice(std::move(devices[i]), products, nullptr);
        if ((i + 1) % 1000 == 0 || i + 1 == count) {
            const auto now = Clock::now();
            perThousand.push_back(std::chrono::duration<double>(now - start).count());
            start = now;
        }
    }
    if (list.DeviceList().size() != static_cast<size_t>(count))
        std::fprintf(stderr, "bench_register: %zu of %d devices filed\n", list.DeviceList().size(), count);
    SetCurrentLogger(nullptr);
    return perThousand;
}

double Sum(const std::vector<double>& v)
{
    double s = 0;
    for (double x : v)
        s += x;
    return s;
}

}  // namespace

int main()
{
    Register(1000);  // warm up allocator and collation
    std::printf("register_1000 %.4f s\n", Sum(Register(1000)));
    const std::vector<double> big = Register(5000);
    std::printf("register_5000 %.4f s\n", Sum(big));
    std::printf("register_5000_first_1000 %.4f s\n", big.front());
    std::printf("register_5000_last_1000 %.4f s\n", big.back());
    return 0;
}
