// Applying a plan and checking that it took: each device's update through the setup panel's own
// command (ApplyChanges), one device after another, then info requests of our own until every
// device answers with the values it was sent, or the time is up. The window's "Set Up Checked
// Devices..." and pyxet-cli plan apply / undo drive the same run; nothing here asks the user.
#pragma once
#include "core/devices/registry.h"
#include "core/setup/plan.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TFamily;

class TUDPServer;

// How long an Orvex device's answer to its update is awaited before the next device's command
// goes (a later answer would reach the next command's handler and be lost).
constexpr int kPlanAnswerWaitMs = 3000;
// Verification: the default time limit, and the gap between two rounds of info requests.
constexpr int kPlanVerifySeconds = 20;
constexpr int kPlanVerifyGapMs = 1000;

enum class TPlanDeviceState {
    Waiting,       // not reached yet
    Unchanged,     // nothing to send (every field unchanged or not carried)
    NotSent,       // the restart question was answered No and the device needs a restart; or stopped
    Gone,          // no longer among the devices found (a new discovery freed it): nothing sent
    Refused,       // the setup panel's rule refused a value: nothing sent (a plan with no blocking problem never has one)
    Sending,       // its command is out, the answer awaited (Orvex)
    Sent,          // sent (HWG: sent; Orvex: answered with error code 0)
    DeviceRefused, // the device answered with an error code other than 0
    NoAnswer,      // an Orvex device gave no answer within kPlanAnswerWaitMs
    Verifying,     // sent; waiting for its info answer to show the values
    Verified,
    NotVerified,   // Detail: the field that differs ("IP: 10.0.0.5, expected 10.0.0.9") or "no answer"
};

struct TPlanDeviceStatus {
    TPlanDeviceState State = TPlanDeviceState::Waiting;
    int ErrorCode = 0;   // DeviceRefused
    std::string Detail;  // translated, safe to show (device text through SafeText)
};

// A state as the window's status column and pyxet-cli print it: "sent", "refused by the
// device (error code 3)", "no answer", "verified", "not verified: IP" ... (translated).
std::string PlanStatusText(const TPlanDeviceStatus& status);
// Whether the device counts as failed for the exit status / summary: DeviceRefused, NoAnswer,
// NotVerified, Gone, Refused, NotSent.
bool PlanStatusFailed(const TPlanDeviceStatus& status);

// Whether sending this device's plan makes it restart (HWG: always when anything is sent; Orvex:
// a new address, mask, gateway or DHCP state). The one restart question is asked when any
// device of the plan says yes.
bool PlanNeedsRestart(const TDevicePlan& device);

struct TPlanRunOptions {
    bool RestartAllowed = true;   // the answer to the one restart question
    int VerifySeconds = kPlanVerifySeconds;  // 0: no verification (every Sent device stays Sent)
    int AnswerWaitMs = kPlanAnswerWaitMs;
};

// One run of a plan. The plan must have no blocking problem and its undo file must already be
// written (WriteUndoFile, logged by the caller) before Start. Each device is found again in list
// by MAC and family when the run reaches it (the plan's pointers may be stale) and must not be
// freed while it runs: the window locks discovery and the batches meanwhile.
class TPlanRun : public QObject {
    Q_OBJECT
public:
    explicit TPlanRun(QObject* parent = nullptr);
    ~TPlanRun() override;

    // Commands go through each device's own endpoint (its UdpServer), as the setup panel's do;
    // verification uses sockets of its own, so the list's handlers stay as they are. A device that
    // shares its answering address with another device found, and whose commands would go to
    // that address, gets its update by broadcast (see PlanCommandAddress). Starting a run that is
    // still running does nothing.
    void Start(const TPlan& plan, TDeviceRegistry& list, const TPlanRunOptions& options);
    // Ends the run after the device whose command is out; devices not reached become NotSent
    // ("stopped"). Verification of the ones sent still runs unless stopped again.
    void Stop();
    bool Running() const;

    const std::vector<TPlanDeviceStatus>& Statuses() const;  // by plan device index

signals:
    void StatusChanged(int device);  // index into the plan's Devices
    void Finished();                 // queued: the run may be destroyed in a slot of it

private:
    struct TState;
    void SendNext();
    void CommandAnswered(int errorCode);
    void CommandTimedOut();
    void StartVerification();
    void SendVerifyRound();
    void VerifyAnswer(const TFamily& family, const uint8_t* data, size_t size, const std::string& peerIP);
    void EndVerification(bool stopped);
    void Finish();
    void SetStatus(size_t device, TPlanDeviceStatus status);

    std::unique_ptr<TState> S;
};

// Where the update of a device goes when another device found answers from its address too and
// its commands would go to that address (it was found by unicast): the directed broadcast of its
// subnet by its own mask, or 255.255.255.255 when that mask makes none (a /31, /32 or no mask).
// The update names the device by its MAC, so only that device takes it.
std::string PlanCommandAddress(const TProductInfo& info);
