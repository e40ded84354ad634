// plan_preview_5000: milliseconds the planner takes to recompute the preview of a plan for 5,000
// checked devices of both families, as the window does at every keystroke: consecutive
// addresses from a first address that many devices already use, a name pattern, one mask and
// gateway for all. The target is under 50 ms.
#include "core/devices/netinterfaces.h"
#include "core/log/format.h"
#include "core/protocols/hwg/product.h"
#include "core/protocols/orvex/product.h"
#include "core/setup/plan.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <class Family> class TQuiet : public Family {
public:
    void Update() override {}
    void FactoryDefault() override {}
    void Restart() override {}
};

std::vector<std::unique_ptr<TProduct>> MakeDevices(int count)
{
    std::vector<std::unique_ptr<TProduct>> devices;
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<TProduct> d;
        if (i % 4 == 3)
            d = std::make_unique<TQuiet<TProductHwg>>();
        else
            d = std::make_unique<TQuiet<TProductOrvex>>();
        d->Info.MAC = Format("00:0A:14:%2.2x:%2.2x:%2.2x", (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
        d->Info.Name = Format("Device %d", i);
        // Half of them wait on the factory address, the others are spread over the subnet.
        d->Info.IP = i % 2 ? "10.0.0.100" : Format("10.0.%d.%d", (i >> 8) & 0xFF, i & 0xFF);
        d->Info.PeerIP = d->Info.IP;
        d->Info.Mask = "255.255.0.0";
        d->Info.Gateway = "10.0.0.1";
        d->Info.DNS1 = d->Info.DNS2 = i % 4 == 3 ? "N/A" : "10.0.0.1";
        d->Info.HTTPPort = 80;
        d->Info.TelnetPort = i % 4 == 3 ? -1 : 23;
        devices.push_back(std::move(d));
    }
    return devices;
}

}  // namespace

int main()
{
    const int kDevices = 5000;
    const std::vector<std::unique_ptr<TProduct>> devices = MakeDevices(kDevices);
    TPlanInputs in;
    for (const auto& d : devices)
        in.Found.push_back(d.get());
    in.Chosen = in.Found;
    TNetInterface pc;
    pc.Name = "eth0";
    pc.Address = *ParseAddress("10.0.0.2");
    pc.PrefixLength = 16;
    pc.Up = pc.CanBroadcast = true;
    in.Interfaces = {pc};
    in.Form[TSetupField::IP] = "10.0.0.100";
    in.Form[TSetupField::Name] = "Boiler ####";
    in.Form[TSetupField::Mask] = "255.255.0.0";
    in.Form[TSetupField::Gateway] = "10.0.0.1";
    in.Form[TSetupField::Dhcp] = "0";

    const int kRounds = 20;
    double best = 1e9;
    double total = 0;
    size_t changing = 0;
    for (int round = 0; round < kRounds; ++round) {
        // A keystroke in the name field: the pattern changes, everything is planned again.
        in.Form[TSetupField::Name] = Format("Boiler %d ####", round);
        const auto start = Clock::now();
        const TPlan plan = MakePlan(in);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        best = std::min(best, ms);
        total += ms;
        changing = plan.ChangingDevices();
    }
    if (changing != static_cast<size_t>(kDevices)) {
        std::fprintf(stderr, "bench_plan_preview: %zu of %d devices change\n", changing, kDevices);
        return 1;
    }
    std::printf("plan_preview_5000 %.2f ms\n", total / kRounds);
    std::printf("plan_preview_5000_best %.2f ms\n", best);
    return 0;
}
