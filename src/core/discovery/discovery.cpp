// The window-free steps of a discovery cycle: log, install the answer handlers, point both
// families at the registry, send each family's info request where the plan says.
#include "core/discovery/discovery.h"

#include "core/app/i18n.h"
#include "core/devices/registry.h"
#include "core/discovery/sweep.h"
#include "core/devices/udpserver.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/app/settings.h"
#include "core/devices/family.h"
#include "core/discovery/families.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace {

// Each family's handler hands its decoded devices to the registry, named by its own table;
// route (may be empty) sets where the device's commands go; told (may be empty) hears of it
// once it is filed.
TDeviceSink SinkFor(TDeviceRegistry& list, const TDiscoveryFamily& family,
                    std::function<void(TProduct&)> route, std::function<void(const TProductInfo&)> told)
{
    return [&list, products = family.Products, server = family.Server, route = std::move(route),
            told = std::move(told)](std::unique_ptr<TProduct> device) {
        if (route)
            route(*device);
        if (!told) {
            list.AddDevice(std::move(device), *products, server);
            return;
        }
        TProductInfo info = device->Info;  // a duplicate is destroyed by AddDevice
        info.TypeName = ProductTypeName(*products, info.TypeCode);
        list.AddDevice(std::move(device), *products, server);
        told(info);
    };
}

} // namespace

std::vector<TDiscoveryFamily> DiscoveryFamilies(const std::vector<TUDPServer*>& endpoints, const TSettings& settings)
{
    std::vector<TDiscoveryFamily> families;
    for (size_t k = 0; k < Families().size(); ++k) {
        const TFamily* family = Families()[k];
        families.push_back({family, k < endpoints.size() ? endpoints[k] : nullptr, &(settings.*(family->Products))});
    }
    return families;
}

TDiscoveryPlan PlanDiscovery(const std::vector<std::string>& interfaces, std::vector<uint32_t> targets, int repeat,
                             std::vector<std::string>* unknown)
{
    TDiscoveryPlan plan;
    plan.Interfaces = ListNetInterfaces();
    plan.DefaultRoute = DefaultRouteInterface();
    plan.Broadcasts = DiscoveryBroadcasts(plan.Interfaces, plan.DefaultRoute, interfaces);
    if (unknown)
        *unknown = UnknownInterfaces(plan.Interfaces, interfaces);
    plan.Targets = std::move(targets);
    plan.Repeat = std::clamp(repeat, 1, kMaxRepeat);
    return plan;
}

TDiscoveryRun::TDiscoveryRun(QObject* parent) : QObject(parent)
{
    RepeatTimer.setInterval(kRepeatGapMs);
    RepeatTimer.setTimerType(Qt::PreciseTimer);  // 250 ms apart, not 5 % early
    connect(&RepeatTimer, &QTimer::timeout, this, [this] {
        SendRound();
        if (--RoundsLeft <= 0)
            RepeatTimer.stop();
        CheckFinished();
    });
}

TDiscoveryRun::~TDiscoveryRun() = default;

void TDiscoveryRun::Start(TDeviceRegistry& list, std::vector<TDiscoveryFamily> families, TDiscoveryPlan plan)
{
    Stop();
    Sweeper.reset();  // late answers to the last cycle's sweep are not this cycle's
    Current = std::move(plan);
    Asked.clear();
    for (const TDiscoveryFamily& family : families)
        if (family.Family && family.Server && family.Products)
            Asked.push_back(family);
    FinishedSent = false;

    LogAction(_("Finding devices"), _("Finding devices. Please wait."), LOG_INFO);

    // Commands go back the way the device answered (see CommandAddress).
    auto targets = std::make_shared<std::unordered_set<uint32_t>>(Current.Targets.begin(), Current.Targets.end());
    auto route = [targets, interfaces = Current.Interfaces, defaultRoute = Current.DefaultRoute](TProduct& device) {
        const std::optional<uint32_t> peer = ParseAddress(device.Info.PeerIP);
        if (peer)
            device.CommandAddress = AddressText(CommandAddress(interfaces, defaultRoute, *peer, targets->count(*peer) > 0));
    };
    std::vector<TSweepFamily> sweepFamilies;  // every family is asked; those without an endpoint unheard
    for (const TFamily* family : Families())
        sweepFamilies.push_back({family, {}});
    auto told = [this](const TFamily* family, bool unicast) -> std::function<void(const TProductInfo&)> {
        if (!OnAnswer)
            return {};
        return [observer = OnAnswer, family, unicast](const TProductInfo& info) { observer(info, *family, unicast); };
    };
    for (const TDiscoveryFamily& family : Asked) {
        family.Server->OnRead = family.Family->InfoHandler(SinkFor(list, family, route, told(family.Family, false)));
        const TDeviceSink swept = SinkFor(list, family, route, told(family.Family, true));
        for (TSweepFamily& sweepFamily : sweepFamilies)
            if (sweepFamily.Family == family.Family)
                sweepFamily.OnAnswer = family.Family->InfoHandler(swept);
    }

    SendRound();
    RoundsLeft = Current.Repeat - 1;
    if (RoundsLeft > 0)
        RepeatTimer.start();

    if (!Current.Targets.empty()) {
        Sweeper = std::make_unique<TUnicastSweep>();
        Sweeper->Families = std::move(sweepFamilies);
        connect(Sweeper.get(), &TUnicastSweep::Progress, this, &TDiscoveryRun::Progress);
        connect(Sweeper.get(), &TUnicastSweep::Finished, this, [this] {
            SweepRunning = false;
            const TUnicastSweep& sweep = *Sweeper;
            LogAction(_("Finding devices"),
                      Format(_("Asked %d addresses by unicast (%d requests sent)"), sweep.Done(),
                             static_cast<int>(sweep.DatagramsSent())),
                      LOG_DEBUG);
            CheckFinished();
        });
        const std::vector<TSweepStep> steps = PlanSweep(Current.Targets, Current.Interfaces);
        const int seconds = static_cast<int>(std::ceil(SweepSeconds(steps) * Current.Repeat));
        LogAction(_("Finding devices"),
                  Format(_("Asking %d addresses by unicast, about %d s"), static_cast<int>(Current.Targets.size()),
                         seconds),
                  LOG_DEBUG);
        SweepRunning = true;
        if (!Sweeper->Start(steps, Current.Repeat))
            SweepRunning = false;
    }
    CheckFinished();
}

void TDiscoveryRun::SendRound()
{
    for (const TDiscoveryFamily& family : Asked)
        for (const uint32_t address : Current.Broadcasts)
            family.Family->SendInfoRequest(*family.Server, AddressText(address));
}

void TDiscoveryRun::Stop()
{
    RepeatTimer.stop();
    RoundsLeft = 0;
    if (Sweeper && Sweeper->Running()) {
        Sweeper->Stop();
        SweepRunning = false;
        LogAction(_("Finding devices"), Format(_("Search stopped after %d of %d addresses"), Sweeper->Done(),
                                               Sweeper->Total()),
                  LOG_INFO);
    }
    CheckFinished();
}

bool TDiscoveryRun::Sending() const
{
    return RoundsLeft > 0 || SweepRunning;
}

void TDiscoveryRun::CheckFinished()
{
    if (FinishedSent || Sending())
        return;
    FinishedSent = true;
    emit Finished();
}
