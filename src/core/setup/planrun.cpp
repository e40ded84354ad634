// Applying a plan device by device through the setup panel's command, then asking the devices
// for their info until each shows the values it was sent.
#include "core/setup/planrun.h"

#include "core/app/i18n.h"
#include "core/devices/netinterfaces.h"
#include "core/devices/udpserver.h"
#include "core/devices/utils.h"
#include "core/discovery/export.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/log/safetext.h"
#include "core/devices/family.h"
#include "core/discovery/families.h"
#include "core/setup/addressrule.h"

#include <QPointer>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <unordered_map>

namespace {

// Whether sending values to device, whose stored setup is stored, makes it restart: a restart
// already pending, or the family's rule on the values as "Apply Changes" stores them (trimmed).
bool NeedsRestart(const TProduct& device, const TProductInfo& stored, TSetupValues values)
{
    CheckSetupAddresses(device, values);
    return device.RestartNeeded
           || device.SetupNeedsRestart(stored, values.IP, values.Mask, values.Gateway, values.Dhcp);
}

// Answers the restart question for the whole plan; keeps why a command was refused.
class TPlanAsker : public TSetupAsker {
public:
    explicit TPlanAsker(bool restartAllowed) : RestartAllowed(restartAllowed) {}
    bool Confirm(const std::string&) override { return RestartAllowed; }
    void Refuse(const std::string& message) override { Refusal = message; }
    bool RestartAllowed;
    std::string Refusal;
};

int LogLevel(const TPlanDeviceStatus& status)
{
    switch (status.State) {
    case TPlanDeviceState::Unchanged: return LOG_DEBUG;
    case TPlanDeviceState::NotSent:
    case TPlanDeviceState::Gone: return LOG_WARNING;
    default: return PlanStatusFailed(status) ? LOG_ERROR : LOG_INFO;
    }
}

bool IsResult(TPlanDeviceState state)
{
    return state != TPlanDeviceState::Waiting && state != TPlanDeviceState::Sending
           && state != TPlanDeviceState::Verifying;
}

}  // namespace

struct TPlanRun::TState {
    TPlan Plan;
    TDeviceRegistry* List = nullptr;
    TPlanRunOptions Options;
    std::vector<TPlanDeviceStatus> Statuses;
    bool Running = false;
    int Stops = 0;

    // Sending: the next device to reach; the one whose Orvex answer is awaited.
    size_t Next = 0;
    int Awaited = -1;
    uint64_t Command = 0;  // counts the commands, so that a late answer is told from the awaited one
    QTimer AnswerTimer;

    // Where each device was found: its answering address and where its commands went (before
    // any change for a shared address). Filled when the device is reached.
    struct TWhere {
        std::string PeerIP;
        std::string CommandAddress;
    };
    std::vector<TWhere> Where;

    // Verification.
    bool Verifying = false;
    std::vector<std::unique_ptr<TUDPServer>> Sockets;  // one for each family of Families(), in its order
    QTimer RoundTimer;
    QTimer LimitTimer;
    std::unordered_map<uint64_t, std::vector<size_t>> ByMac;  // the devices verified, by MAC
    std::vector<std::string> Differs;  // the last answer's first differing field, "" while none came

    // Closes a verification socket without destroying it under a handler that may be running.
    static void Close(std::vector<std::unique_ptr<TUDPServer>>& sockets)
    {
        for (std::unique_ptr<TUDPServer>& socket : sockets) {
            socket->OnRead = nullptr;
            socket.release()->deleteLater();
        }
        sockets.clear();
    }
};

std::string PlanStatusText(const TPlanDeviceStatus& status)
{
    switch (status.State) {
    case TPlanDeviceState::Waiting: return _("waiting");
    case TPlanDeviceState::Unchanged: return _("unchanged");
    case TPlanDeviceState::NotSent:
        return status.Detail.empty() ? std::string(_("not sent")) : Format(_("not sent: %s"), status.Detail.c_str());
    case TPlanDeviceState::Gone: return _("no longer found");
    case TPlanDeviceState::Refused:
        return status.Detail.empty() ? std::string(_("refused")) : Format(_("refused: %s"), status.Detail.c_str());
    case TPlanDeviceState::Sending: return _("sending");
    case TPlanDeviceState::Sent: return _("sent");
    case TPlanDeviceState::DeviceRefused: return Format(_("refused by the device (error code %d)"), status.ErrorCode);
    case TPlanDeviceState::NoAnswer: return _("no answer");
    case TPlanDeviceState::Verifying: return _("verifying");
    case TPlanDeviceState::Verified: return _("verified");
    case TPlanDeviceState::NotVerified: break;
    }
    return Format(_("not verified: %s"), status.Detail.c_str());
}

bool PlanStatusFailed(const TPlanDeviceStatus& status)
{
    switch (status.State) {
    case TPlanDeviceState::DeviceRefused:
    case TPlanDeviceState::NoAnswer:
    case TPlanDeviceState::NotVerified:
    case TPlanDeviceState::Gone:
    case TPlanDeviceState::Refused:
    case TPlanDeviceState::NotSent: return true;
    default: return false;
    }
}

bool PlanNeedsRestart(const TDevicePlan& device)
{
    return device.Changes() && device.Device && NeedsRestart(*device.Device, device.Before, device.Values());
}

std::string PlanCommandAddress(const TProductInfo& info)
{
    const std::optional<uint32_t> peer = ParseAddress(info.PeerIP);
    const std::optional<uint32_t> mask = ParseAddress(info.Mask);
    // A mask is ones then zeros; /31 and /32 have no broadcast address of their own.
    if (!peer || !mask || (~*mask & (~*mask + 1)) != 0 || ~*mask < 3)
        return AddressText(kLimitedBroadcast);
    return AddressText(*peer | ~*mask);
}

TPlanRun::TPlanRun(QObject* parent) : QObject(parent), S(std::make_unique<TState>())
{
    // Limits, not paces: a coarse timer may end them 5 % early.
    S->AnswerTimer.setSingleShot(true);
    S->AnswerTimer.setTimerType(Qt::PreciseTimer);
    connect(&S->AnswerTimer, &QTimer::timeout, this, &TPlanRun::CommandTimedOut);
    S->RoundTimer.setInterval(kPlanVerifyGapMs);
    connect(&S->RoundTimer, &QTimer::timeout, this, &TPlanRun::SendVerifyRound);
    S->LimitTimer.setSingleShot(true);
    S->LimitTimer.setTimerType(Qt::PreciseTimer);
    connect(&S->LimitTimer, &QTimer::timeout, this, [this] { EndVerification(false); });
}

TPlanRun::~TPlanRun()
{
    TState::Close(S->Sockets);
}

void TPlanRun::Start(const TPlan& plan, TDeviceRegistry& list, const TPlanRunOptions& options)
{
    if (S->Running)
        return;
    S->Plan = plan;
    S->List = &list;
    S->Options = options;
    S->Statuses.assign(plan.Devices.size(), TPlanDeviceStatus{});
    S->Where.assign(plan.Devices.size(), TState::TWhere{});
    S->Differs.assign(plan.Devices.size(), std::string());
    S->ByMac.clear();
    S->Running = true;
    S->Verifying = false;
    S->Stops = 0;
    S->Next = 0;
    S->Awaited = -1;
    LogAction(_("Set Up Devices"),
              Format(_("Applying the plan. Devices to set up: %d. Please wait."), static_cast<int>(plan.ChangingDevices())),
              LOG_INFO);
    // Everything runs from the event loop, so the caller connects and returns first.
    QTimer::singleShot(0, this, &TPlanRun::SendNext);
}

void TPlanRun::Stop()
{
    if (!S->Running)
        return;
    ++S->Stops;
    if (S->Verifying)
        EndVerification(true);
}

bool TPlanRun::Running() const { return S->Running; }

const std::vector<TPlanDeviceStatus>& TPlanRun::Statuses() const { return S->Statuses; }

void TPlanRun::SetStatus(size_t device, TPlanDeviceStatus status)
{
    S->Statuses[device] = std::move(status);
    const TPlanDeviceStatus& now = S->Statuses[device];
    if (IsResult(now.State)) {
        const TProductInfo& info = S->Plan.Devices[device].Before;
        LogAction("",
                  Format(_("Device %s from %s: %s"), SafeText(info.MAC).c_str(), SafeText(info.PeerIP).c_str(),
                         PlanStatusText(now).c_str()),
                  LogLevel(now));
    }
    emit StatusChanged(static_cast<int>(device));
}

void TPlanRun::SendNext()
{
    if (!S->Running || S->Verifying || S->Awaited >= 0)
        return;
    while (S->Next < S->Plan.Devices.size()) {
        const size_t k = S->Next++;
        const TDevicePlan& planned = S->Plan.Devices[k];
        if (S->Stops > 0) {
            SetStatus(k, {TPlanDeviceState::NotSent, 0, _("stopped")});
            continue;
        }
        if (!planned.Changes()) {
            SetStatus(k, {TPlanDeviceState::Unchanged, 0, {}});
            continue;
        }
        // Found again by MAC and family: the plan's pointer may be stale.
        TProduct* device = nullptr;
        const std::optional<uint64_t> key = MacKeyOf(planned.Before.MAC);
        for (const TDeviceEntry& entry : S->List->DeviceList())
            if (key && entry.Device && MacKeyOf(entry.Device->Info.MAC) == key
                && FamilyName(*entry.Device) == planned.Family) {
                device = entry.Device.get();
                break;
            }
        if (!device) {
            SetStatus(k, {TPlanDeviceState::Gone, 0, {}});
            continue;
        }
        const TSetupValues values = planned.Values();
        if (!S->Options.RestartAllowed && NeedsRestart(*device, device->Info, values)) {
            SetStatus(k, {TPlanDeviceState::NotSent, 0, _("needs a restart")});
            continue;
        }

        S->Where[k] = {device->Info.PeerIP, device->CommandAddress};
        const std::string commandAddress = device->CommandAddress;
        bool shared = false;
        if (commandAddress == device->Info.PeerIP)
            for (const TDeviceEntry& entry : S->List->DeviceList())
                if (entry.Device && entry.Device.get() != device && entry.Device->Info.PeerIP == device->Info.PeerIP) {
                    shared = true;
                    break;
                }
        if (shared)
            device->CommandAddress = PlanCommandAddress(device->Info);

        const bool answers = device->Family().AnswersCommands;
        const uint64_t command = ++S->Command;
        if (answers) {
            // The endpoint's answer handler keeps its own copy of this; a late answer, or one to
            // another run, finds the command counted on and is left alone.
            device->OnCommandAnswer = [self = QPointer<TPlanRun>(this), command](int errorCode) {
                if (self && self->S->Awaited >= 0 && self->S->Command == command)
                    self->CommandAnswered(errorCode);
            };
        }
        TPlanAsker asker(S->Options.RestartAllowed);
        S->Statuses[k].State = TPlanDeviceState::Sending;
        const TCommandOutcome outcome = ApplyChanges(device, values, asker);
        if (answers)
            device->OnCommandAnswer = nullptr;
        device->CommandAddress = commandAddress;

        switch (outcome) {
        case TCommandOutcome::Sent: break;
        case TCommandOutcome::Declined: SetStatus(k, {TPlanDeviceState::NotSent, 0, _("needs a restart")}); continue;
        default: SetStatus(k, {TPlanDeviceState::Refused, 0, SafeText(asker.Refusal)}); continue;
        }
        if (!answers) {  // a family whose devices do not answer commands (HWG)
            SetStatus(k, {TPlanDeviceState::Sent, 0, {}});
            continue;
        }
        S->Awaited = static_cast<int>(k);
        S->AnswerTimer.start(std::max(0, S->Options.AnswerWaitMs));
        emit StatusChanged(static_cast<int>(k));
        return;
    }
    StartVerification();
}

void TPlanRun::CommandAnswered(int errorCode)
{
    const auto k = static_cast<size_t>(S->Awaited);
    S->Awaited = -1;
    S->AnswerTimer.stop();
    if (errorCode == 0)
        SetStatus(k, {TPlanDeviceState::Sent, 0, {}});
    else
        SetStatus(k, {TPlanDeviceState::DeviceRefused, errorCode, {}});
    // Not from inside the endpoint's handler: the next command replaces it.
    QTimer::singleShot(0, this, &TPlanRun::SendNext);
}

void TPlanRun::CommandTimedOut()
{
    if (S->Awaited < 0)
        return;
    const auto k = static_cast<size_t>(S->Awaited);
    S->Awaited = -1;
    SetStatus(k, {TPlanDeviceState::NoAnswer, 0, {}});
    SendNext();
}

void TPlanRun::StartVerification()
{
    if (S->Options.VerifySeconds <= 0) {
        Finish();
        return;
    }
    S->ByMac.clear();
    for (size_t k = 0; k < S->Statuses.size(); ++k) {
        if (S->Statuses[k].State != TPlanDeviceState::Sent)
            continue;
        if (const std::optional<uint64_t> key = MacKeyOf(S->Plan.Devices[k].Before.MAC))
            S->ByMac[*key].push_back(k);
        S->Differs[k].clear();
        SetStatus(k, {TPlanDeviceState::Verifying, 0, {}});
    }
    S->Verifying = true;
    if (S->ByMac.empty() || S->Stops > 1) {
        EndVerification(S->Stops > 1);
        return;
    }
    // Sockets of its own on ports the system chooses: the list's endpoints keep their handlers,
    // and the socket an answer reaches tells its family, whatever port it came from.
    for (const TFamily* family : Families()) {
        S->Sockets.push_back(std::make_unique<TUDPServer>());
        TUDPServer& socket = *S->Sockets.back();
        if (!socket.IsOpen())
            LogAction("", Format(_("Cannot open a UDP socket: %s"), socket.OpenError().c_str()), LOG_ERROR);
        socket.OnRead = [this, family](TUDPServer*, const uint8_t* data, size_t size, const std::string& peerIP,
                                       uint16_t) { VerifyAnswer(*family, data, size, peerIP); };
    }
    S->LimitTimer.start(std::min(S->Options.VerifySeconds, 86400) * 1000);
    S->RoundTimer.start();
    SendVerifyRound();
}

void TPlanRun::SendVerifyRound()
{
    if (!S->Verifying)
        return;
    // Each address once a round, with the requests of the families that wait there: the
    // broadcast a device was found through, or, for a device found by unicast, its new address
    // and the one it answered from.
    std::map<uint32_t, std::vector<bool>> targets;  // address: each family of Families() asked there
    for (size_t k = 0; k < S->Statuses.size(); ++k) {
        if (S->Statuses[k].State != TPlanDeviceState::Verifying)
            continue;
        const TDevicePlan& planned = S->Plan.Devices[k];
        std::vector<std::string> addresses;
        if (S->Where[k].CommandAddress != S->Where[k].PeerIP)
            addresses.push_back(S->Where[k].CommandAddress);
        else {
            addresses.push_back(S->Where[k].PeerIP);
            const std::vector<TSetupField> fields = planned.VerifiedFields();
            if (std::find(fields.begin(), fields.end(), TSetupField::IP) != fields.end())
                addresses.push_back(planned.ExpectedValue(TSetupField::IP));
        }
        for (const std::string& text : addresses)
            if (const std::optional<uint32_t> address = ParseAddress(text); address && *address != 0) {
                std::vector<bool>& asked = targets[*address];
                asked.resize(Families().size());
                for (size_t f = 0; f < Families().size(); ++f)
                    if (Families()[f]->Name == planned.Family)
                        asked[f] = true;
            }
    }
    std::vector<std::vector<uint8_t>> requests;
    for (const TFamily* family : Families())
        requests.push_back(family->InfoRequest());
    for (const auto& [address, asked] : targets) {
        const auto send = [address](TUDPServer& socket, uint16_t port, const uint8_t* data, size_t size) {
            if (const int error = socket.TrySend(address, port, data, size))
                LogAction("", Format(_("Sending to %s failed: %s"), AddressText(address).c_str(), std::strerror(error)),
                          LOG_DEBUG);
        };
        for (size_t f = 0; f < asked.size() && f < S->Sockets.size(); ++f)
            if (asked[f] && S->Sockets[f]->IsOpen())
                send(*S->Sockets[f], Families()[f]->DiscoveryPort, requests[f].data(), requests[f].size());
    }
}

void TPlanRun::VerifyAnswer(const TFamily& family, const uint8_t* data, size_t size, const std::string& peerIP)
{
    if (!S->Verifying)
        return;
    // A device's answer is untrusted: what does not decode is dropped, and only the fields the
    // plan sent are read, each against the value it was sent.
    const std::unique_ptr<TProduct> answer = family.DecodeInfoAnswer(data, size, peerIP);
    if (!answer)
        return;
    const std::optional<uint64_t> key = MacKeyOf(answer->Info.MAC);
    const auto it = key ? S->ByMac.find(*key) : S->ByMac.end();
    if (it == S->ByMac.end())
        return;
    for (const size_t k : it->second) {
        const TDevicePlan& planned = S->Plan.Devices[k];
        if (S->Statuses[k].State != TPlanDeviceState::Verifying || planned.Family != family.Name)
            continue;
        std::string differs;
        for (const TSetupField field : planned.VerifiedFields()) {
            const std::string expected = planned.ExpectedValue(field);
            const std::string answered = FieldValue(answer->Info, field);
            if (answered != expected) {
                differs = Format(_("%s: %s, expected %s"), FieldKey(field), SafeText(answered).c_str(),
                                 SafeText(expected).c_str());
                break;
            }
        }
        if (differs.empty())
            SetStatus(k, {TPlanDeviceState::Verified, 0, {}});
        else
            S->Differs[k] = differs;  // it may still be restarting: a later answer counts
    }
    const bool waiting = std::any_of(S->Statuses.begin(), S->Statuses.end(),
                                     [](const TPlanDeviceStatus& s) { return s.State == TPlanDeviceState::Verifying; });
    if (!waiting)
        EndVerification(false);
}

void TPlanRun::EndVerification(bool stopped)
{
    if (!S->Verifying)
        return;
    S->Verifying = false;
    S->RoundTimer.stop();
    S->LimitTimer.stop();
    TState::Close(S->Sockets);
    for (size_t k = 0; k < S->Statuses.size(); ++k) {
        if (S->Statuses[k].State != TPlanDeviceState::Verifying)
            continue;
        std::string detail = stopped                 ? std::string(_("stopped"))
                             : S->Differs[k].empty() ? std::string(_("no answer"))
                                                     : S->Differs[k];
        SetStatus(k, {TPlanDeviceState::NotVerified, 0, std::move(detail)});
    }
    Finish();
}

void TPlanRun::Finish()
{
    if (!S->Running)
        return;
    S->Running = false;
    int done = 0;
    int failed = 0;
    for (const TPlanDeviceStatus& status : S->Statuses) {
        done += status.State == TPlanDeviceState::Sent || status.State == TPlanDeviceState::Verified;
        failed += PlanStatusFailed(status);
    }
    LogAction(_("Set Up Devices"), Format(_("The plan is done. Set up: %d, failed: %d."), done, failed),
              failed ? LOG_WARNING : LOG_INFO);
    // Queued, so that a slot may destroy the run, and never from inside a socket's handler.
    QTimer::singleShot(0, this, [this] { emit Finished(); });
}
