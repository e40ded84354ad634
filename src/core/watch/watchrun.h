// Rounds of a watch: every Seconds, each family's discovery request on each interface of the
// plan (its Repeat copies are one request) and a unicast request to each unit last found by
// unicast, all within the request budget; the answers go to the registry as in any discovery
// cycle and to a TWatch, whose events come out as signals. Timers only, no event loop of its own.
// Used by the window (Actions -> "Watch") and `pyxet-cli watch`.
#pragma once
#include "core/discovery/discovery.h"
#include "core/watch/budget.h"
#include "core/watch/watch.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TDeviceRegistry;

// How long after a round's last request its answers are awaited before the round ends
// (at most half the interval).
constexpr int kWatchAnswerMs = 2000;

// The budget key of a broadcast address of a plan: the interface it leaves by
// (255.255.255.255: the default route's).
std::string BroadcastInterface(const TDiscoveryPlan& plan, uint32_t broadcast);

class TWatchRunner : public QObject {
    Q_OBJECT
public:
    explicit TWatchRunner(QObject* parent = nullptr);
    ~TWatchRunner() override;

    // Starts watching: a round at once (within the budget), then one every `seconds` (kept within
    // kWatchMinSeconds..kWatchMaxSeconds). The answers are filed into `list` (AddDevice, as a
    // discovery cycle does; the registry is not cleared by a round) and told to Watch(). The
    // plan's Targets are asked in the first round only, once each (its Repeat is for broadcasts); later rounds ask the units found by
    // unicast (TWatch::UnicastAddresses). Starting again keeps the watch's units and the budget.
    void Start(TDeviceRegistry& list, std::vector<TDiscoveryFamily> families, TDiscoveryPlan plan, int seconds);
    // Stops the rounds (the round in progress ends without its EndRound); the budget is kept
    // until Clear, so switching on again does not ask sooner than it may.
    void Stop();
    bool Running() const { return Active; }
    // A round as soon as the budget allows (Find Devices pressed while watching): at once when
    // every request of the round may go, otherwise when the last of them may; the round in
    // progress ends first. The interval counts from that round.
    void RoundNow();
    // While a batch runs the rounds rest: the round in progress is dropped without its EndRound
    // (no unit misses it), its late answers are not taken, and no round begins. Resuming gives
    // the next round as soon as the budget allows (as RoundNow). Kept across Start and Stop.
    void SetPaused(bool paused);
    bool Paused() const { return Resting; }
    // Changes the interval (from the next round on).
    void SetSeconds(int seconds);
    int Seconds() const { return IntervalSeconds; }
    // Forgets the budget and the units (the watch switched off for good).
    void Clear();

    TWatch& Watch() { return State; }
    const TWatch& Watch() const { return State; }
    const TRequestBudget& Budget() const { return Spent; }
    bool InRound() const { return RoundOpen; }

    // The events' clock, ms since 1970 UTC (tests may replace it); the budget keeps its own,
    // monotonic one.
    std::function<int64_t()> Now;

signals:
    // A round's requests are about to go (round counts from 1).
    void RoundBegun(int round);
    // One event of the watch (an answer's, or the round end's).
    void Event(const TWatchEvent& event);
    // A unit's answer has been filed into the registry and told to the watch (every answer,
    // changed or not): the window re-files the unit when its line changed.
    void Answered(const TWatchAnswer& answer);
    // The round ended (after its Gone and Missing events).
    void RoundEnded(int round);

private:
    void BeginRound();
    void EndRound();
    void ScheduleRound(int64_t at);
    std::vector<std::string> RoundKeys(std::vector<std::string>* unicast) const;
    // When a round of these keys may begin, at `now` or later.
    int64_t DueAt(const std::vector<std::string>& keys, int64_t now) const;
    void CheckSent();
    void OnAnswer(const TProductInfo& info, const TFamily& family, bool unicast);
    int64_t Elapsed() const;  // the budget's clock: monotonic ms

    TWatch State;
    TRequestBudget Spent;
    TDeviceRegistry* List = nullptr;
    std::vector<TDiscoveryFamily> Families;
    TDiscoveryPlan Plan;
    int IntervalSeconds = kWatchDefaultSeconds;
    bool Active = false;
    bool RoundOpen = false;
    bool FirstRound = true;
    bool Launching = false;
    bool Resting = false;
    QElapsedTimer Clock;
    QTimer RoundTimer;   // the next round
    QTimer AnswerTimer;  // the end of the round in progress
    std::unique_ptr<TDiscoveryRun> Broadcast;  // the families' requests on the interfaces
    std::unique_ptr<TDiscoveryRun> Unicast;    // the units found by unicast
};
