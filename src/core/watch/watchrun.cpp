// The rounds of a watch: requests within the budget through two discovery runs (the interfaces'
// broadcasts, the units found by unicast), answers into the registry and the watch.
#include "core/watch/watchrun.h"

#include "core/devices/family.h"
#include "core/devices/registry.h"
#include "core/devices/udpserver.h"

#include <QDateTime>

#include <algorithm>

std::string BroadcastInterface(const TDiscoveryPlan& plan, uint32_t broadcast)
{
    if (broadcast == kLimitedBroadcast)
        return plan.DefaultRoute.empty() ? AddressText(broadcast) : plan.DefaultRoute;
    for (const TNetInterface& nic : plan.Interfaces)
        if (nic.Broadcast == broadcast)
            return nic.Name;
    return AddressText(broadcast);
}

TWatchRunner::TWatchRunner(QObject* parent) : QObject(parent)
{
    Now = [] { return QDateTime::currentMSecsSinceEpoch(); };
    Clock.start();
    RoundTimer.setSingleShot(true);
    RoundTimer.setTimerType(Qt::PreciseTimer);
    connect(&RoundTimer, &QTimer::timeout, this, &TWatchRunner::BeginRound);
    AnswerTimer.setSingleShot(true);
    AnswerTimer.setTimerType(Qt::PreciseTimer);
    connect(&AnswerTimer, &QTimer::timeout, this, &TWatchRunner::EndRound);
}

TWatchRunner::~TWatchRunner() = default;

void TWatchRunner::Start(TDeviceRegistry& list, std::vector<TDiscoveryFamily> families, TDiscoveryPlan plan,
                         int seconds)
{
    Stop();
    List = &list;
    Families = std::move(families);
    Plan = std::move(plan);
    FirstRound = true;
    SetSeconds(seconds);
    Active = true;
    RoundNow();
}

void TWatchRunner::Stop()
{
    Active = false;
    RoundOpen = false;
    RoundTimer.stop();
    AnswerTimer.stop();
    Broadcast.reset();
    Unicast.reset();
}

void TWatchRunner::SetPaused(bool paused)
{
    if (paused == Resting)
        return;
    Resting = paused;
    if (!paused) {
        RoundNow();
        return;
    }
    RoundTimer.stop();
    AnswerTimer.stop();
    RoundOpen = false;
    Broadcast.reset();
    Unicast.reset();
    // Late answers to the dropped round would file rows under the batch's feet.
    for (const TDiscoveryFamily& family : Families)
        if (family.Server)
            family.Server->OnRead = nullptr;
}

void TWatchRunner::Clear()
{
    Stop();
    Spent.Clear();
    State = TWatch();
}

void TWatchRunner::SetSeconds(int seconds)
{
    IntervalSeconds = std::clamp(seconds, kWatchMinSeconds, kWatchMaxSeconds);
}

int64_t TWatchRunner::Elapsed() const
{
    return Clock.elapsed();
}

std::vector<std::string> TWatchRunner::RoundKeys(std::vector<std::string>* unicast) const
{
    std::vector<std::string> keys;
    for (const TDiscoveryFamily& family : Families) {
        if (!family.Family || !family.Server || !family.Products)
            continue;
        for (const uint32_t broadcast : Plan.Broadcasts) {
            const std::string key = BroadcastBudgetKey(family.Family->Name, BroadcastInterface(Plan, broadcast));
            if (std::find(keys.begin(), keys.end(), key) == keys.end())
                keys.push_back(key);
        }
    }
    if (!FirstRound)
        for (const std::string& address : State.UnicastAddresses()) {
            if (unicast)
                unicast->push_back(address);
            keys.push_back(UnicastBudgetKey(address));
        }
    return keys;
}

void TWatchRunner::RoundNow()
{
    if (!Active || Resting)
        return;
    const int64_t now = Elapsed();
    ScheduleRound(DueAt(RoundKeys(nullptr), now));
}

int64_t TWatchRunner::DueAt(const std::vector<std::string>& keys, int64_t now) const
{
    int64_t due = now;
    for (const std::string& key : keys)
        due = std::max(due, Spent.NextAllowed(key, now));
    // The first round's targets (Find at Addresses) hold a unit found by unicast before to its
    // distance too; the others are not recorded before they answer.
    if (FirstRound)
        for (const uint32_t target : Plan.Targets)
            due = std::max(due, Spent.NextAllowed(UnicastBudgetKey(AddressText(target)), now));
    return due;
}

void TWatchRunner::ScheduleRound(int64_t at)
{
    RoundTimer.start(static_cast<int>(std::max<int64_t>(0, at - Elapsed())));
}

void TWatchRunner::BeginRound()
{
    if (!Active || Resting)
        return;
    std::vector<std::string> unicast;
    const std::vector<std::string> keys = RoundKeys(&unicast);
    const int64_t now = Elapsed();
    const int64_t due = DueAt(keys, now);
    if (due > now) {  // a timer a little early, or a round asked for too soon
        ScheduleRound(due);
        return;
    }
    if (RoundOpen)
        EndRound();
    for (const std::string& key : keys)
        Spent.Take(key, now);

    State.BeginRound(Now());
    RoundOpen = true;
    emit RoundBegun(State.Rounds());
    RoundTimer.start(IntervalSeconds * 1000);

    auto heard = [this](const TProductInfo& info, const TFamily& family, bool byUnicast) {
        OnAnswer(info, family, byUnicast);
    };
    Launching = true;
    // A sweep of the targets longer than the interval goes on (cut, the addresses it has not
    // asked yet would never be): the units found by unicast wait for a round after it.
    if (!Unicast || !Unicast->Sending()) {
        // The units found by unicast first: the endpoints keep the handler of the run started last.
        Unicast = std::make_unique<TDiscoveryRun>();
        Unicast->OnAnswer = heard;
        connect(Unicast.get(), &TDiscoveryRun::Finished, this, &TWatchRunner::CheckSent);
        // The plan's targets (a search on other subnets) are asked in the first round, once each;
        // later rounds ask the units found by unicast.
        TDiscoveryPlan asked = Plan;
        asked.Broadcasts.clear();
        asked.Repeat = 1;
        if (!FirstRound) {
            asked.Targets.clear();
            for (const std::string& address : unicast)
                if (const std::optional<uint32_t> parsed = ParseAddress(address))
                    asked.Targets.push_back(*parsed);
        }
        if (!asked.Targets.empty())
            Unicast->Start(*List, Families, std::move(asked));
    }
    Broadcast = std::make_unique<TDiscoveryRun>();
    Broadcast->OnAnswer = heard;
    connect(Broadcast.get(), &TDiscoveryRun::Finished, this, &TWatchRunner::CheckSent);
    TDiscoveryPlan broadcasts = Plan;
    broadcasts.Targets.clear();
    Broadcast->Start(*List, Families, std::move(broadcasts));
    FirstRound = false;
    Launching = false;
    CheckSent();
}

void TWatchRunner::CheckSent()
{
    if (Launching || !RoundOpen || AnswerTimer.isActive())
        return;
    if ((Broadcast && Broadcast->Sending()) || (Unicast && Unicast->Sending()))
        return;
    AnswerTimer.start(std::min(kWatchAnswerMs, IntervalSeconds * 1000 / 2));
}

void TWatchRunner::EndRound()
{
    if (!RoundOpen)
        return;
    RoundOpen = false;
    AnswerTimer.stop();
    for (const TWatchEvent& event : State.EndRound(Now()))
        emit Event(event);
    emit RoundEnded(State.Rounds());
}

void TWatchRunner::OnAnswer(const TProductInfo& info, const TFamily& family, bool unicast)
{
    if (Resting)
        return;
    // A unicast request leaves some time into its round (a sweep paces its addresses, the first
    // round's over the whole search): its answer tells when it had gone at the latest, and the
    // unit's next request keeps its distance from then.
    if (unicast)
        Spent.Note(UnicastBudgetKey(info.PeerIP), Elapsed());
    TWatchAnswer answer = WatchAnswerOf(info, family.Name);
    // A unit found by unicast stays one when a broadcast reaches it too.
    const std::optional<TWatchKey> key = WatchKeyOf(answer.MAC, answer.Family);
    const TWatchUnit* known = key ? State.Find(*key) : nullptr;
    answer.Unicast = unicast || (known && known->Last.Unicast);
    const std::vector<TWatchEvent> events = State.Answer(answer, Now());
    emit Answered(answer);
    for (const TWatchEvent& event : events)
        emit Event(event);
}
