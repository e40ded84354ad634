// The discovery cycle without any window: what "Find Devices" does after the view is cleared,
// shared by the main window and pyxet-cli.
#pragma once
#include "core/devices/netinterfaces.h"
#include "core/devices/product.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TDeviceRegistry;
class TUDPServer;
class TUnicastSweep;

struct TFamily;
struct TSettings;

// One family's part of discovery: the family, its endpoint and the product table that names its
// types. The table must live as long as the cycle collects answers.
struct TDiscoveryFamily {
    const TFamily* Family = nullptr;
    TUDPServer* Server = nullptr;
    const TProductTable* Products = nullptr;
};

// Every family of Families() with its endpoint (endpoints[k] for the k-th family; none past the
// end) and its product table from settings.
std::vector<TDiscoveryFamily> DiscoveryFamilies(const std::vector<TUDPServer*>& endpoints, const TSettings& settings);

constexpr int kMaxRepeat = 5;
constexpr int kRepeatGapMs = 250;

// What one cycle sends, and what it knows of the PC's network to direct commands later.
struct TDiscoveryPlan {
    std::vector<uint32_t> Broadcasts{kLimitedBroadcast};  // each family's request goes to each
    std::vector<uint32_t> Targets;                         // asked by unicast (a search on other subnets)
    int Repeat = 1;                                        // each request this many times, 250 ms apart
    std::vector<TNetInterface> Interfaces;
    std::string DefaultRoute;
};

// The plan for this PC: its interfaces (none chosen: all of them), the targets and the repeat
// count (kept within 1 to kMaxRepeat). Interfaces chosen that do not exist are reported in
// *unknown and left out.
TDiscoveryPlan PlanDiscovery(const std::vector<std::string>& interfaces, std::vector<uint32_t> targets, int repeat,
                             std::vector<std::string>* unknown = nullptr);

// A cycle by a plan: logs "Finding devices", makes each family's info-answer handler the read
// handler of its endpoint and tells each family to file its devices into list (a family whose
// endpoint or table is missing is skipped); then sends each family's request in turn (Orvex,
// then HWG) to every broadcast address of the plan; the repeats follow 250 ms apart, and
// the targets are asked by a unicast sweep. Each device gets its CommandAddress from the way it
// answered. The caller runs TDeviceRegistry::BeginCycle (and clears its view) first. Starting
// again (or destroying the run) stops what the previous cycle still had to send; answers keep
// coming in until then.
class TDiscoveryRun : public QObject {
    Q_OBJECT
public:
    explicit TDiscoveryRun(QObject* parent = nullptr);
    ~TDiscoveryRun() override;

    void Start(TDeviceRegistry& list, std::vector<TDiscoveryFamily> families, TDiscoveryPlan plan);
    // Stops sending (repeats and sweep); answers are still registered.
    void Stop();
    bool Sending() const;
    TUnicastSweep* Sweep() const { return Sweeper.get(); }

    // Told of every answer after the registry has filed it (duplicates too): the device's
    // info with its type name, its family, and whether it answered a unicast request of the
    // sweep. Set before Start.
    std::function<void(const TProductInfo& info, const TFamily& family, bool unicast)> OnAnswer;

signals:
    // Addresses of the sweep asked so far (each pass counted), of total.
    void Progress(int done, int total);
    // The last request of the cycle has gone (at once when nothing is repeated or swept).
    void Finished();

private:
    void SendRound();
    void CheckFinished();
    TDiscoveryPlan Current;
    std::vector<TDiscoveryFamily> Asked;  // the families with an endpoint and a table
    QTimer RepeatTimer;
    int RoundsLeft = 0;
    bool SweepRunning = false;
    bool FinishedSent = true;
    std::unique_ptr<TUnicastSweep> Sweeper;
};
