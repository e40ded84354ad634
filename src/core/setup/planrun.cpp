#include "core/setup/planrun.h"

#include <map>

// A first shape of the run: nothing is sent yet, every device ends "not sent".

struct TPlanRunState {
    std::vector<TPlanDeviceStatus> Statuses;
};

namespace {
TPlanRunState& StateOf(const TPlanRun* run)
{
    static std::map<const TPlanRun*, TPlanRunState> states;
    return states[run];
}
} // namespace

std::string PlanStatusText(const TPlanDeviceStatus& status)
{
    return status.Detail;
}

bool PlanStatusFailed(const TPlanDeviceStatus& status)
{
    return status.State != TPlanDeviceState::Verified && status.State != TPlanDeviceState::Sent
        && status.State != TPlanDeviceState::Unchanged;
}

bool PlanNeedsRestart(const TDevicePlan& device)
{
    return device.Changes();
}

TPlanRun::TPlanRun(QObject* parent) : QObject(parent) {}
TPlanRun::~TPlanRun() = default;

void TPlanRun::Start(const TPlan& plan, TDeviceRegistry&, const TPlanRunOptions&)
{
    auto& state = StateOf(this);
    state.Statuses.assign(plan.Devices.size(), {TPlanDeviceState::NotSent, 0, "not sent"});
    QTimer::singleShot(0, this, [this] { emit Finished(); });
}

void TPlanRun::Stop() {}

bool TPlanRun::Running() const
{
    return false;
}

const std::vector<TPlanDeviceStatus>& TPlanRun::Statuses() const
{
    return StateOf(this).Statuses;
}
