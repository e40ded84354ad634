// Asking one device, by its address, for its info answer: the firmware check of
// `pyxet-cli upgrade --verify`, before the image goes out and while the device restarts.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Sends both families' info requests by unicast to host (Orvex to port 57739, HWG to 9999), each
// from a socket of its own, once, and waits up to waitMs for an info answer from that address
// (from any port: the socket it reaches tells its family).
// Returns the firmware revision it reports; no value when none came. Blocking, and usable on any
// thread: the transfers of --jobs check their devices side by side.
std::optional<std::string> AskFirmwareRevision(const std::string& host, int waitMs);

// How the check after an accepted image went.
struct TUpgradeCheck {
    bool Verified = false;
    std::optional<std::string> Before;  // the revision before the upgrade, when the device said
    std::optional<std::string> After;   // the last revision it answered with afterwards
    std::string Reason;                 // why not verified, e.g. "the firmware revision is still 1.0"
    std::string Error;                  // "not verified: " and the reason, when not verified
};

// Seconds between two requests while waiting for a restarted device.
constexpr int kVerifyPollSeconds = 2;

// Waits up to `seconds` for the device to answer with another revision than `before`: ask(ms)
// sends one request and waits up to ms for the revision (AskFirmwareRevision), every
// kVerifyPollSeconds. Verified once it answers with another revision. A device that answered
// none of the requests for a while (it restarted) and then answers with the same revision fails
// at once; otherwise the check fails when the time is up. Without a `before` nothing can be
// compared: not verified, no request sent. now() is a millisecond clock and sleep(ms) waits.
TUpgradeCheck VerifyUpgrade(const std::optional<std::string>& before, int seconds,
                            const std::function<std::optional<std::string>(int ms)>& ask,
                            const std::function<int64_t()>& now, const std::function<void(int ms)>& sleep);

// How long the revision before an upgrade is waited for.
constexpr int kRevisionBeforeWaitMs = 2000;

// The check after an accepted image as a batch runs it: the seconds to wait for the new
// revision (0: no check) and what ends the waits early (empty: nothing). A plain value: each
// transfer that runs beside the others takes it as it is.
struct TVerifySetting {
    int Seconds = 0;
    std::function<bool()> Stop;  // called on the transfer's thread

    bool On() const { return Seconds > 0; }
};

// AskFirmwareRevision for any thread: on the application's thread the request waits on a
// thread of its own while the event loop turns (the windows keep painting); elsewhere it blocks.
std::optional<std::string> AskFirmwareRevisionTurning(const std::string& host, int waitMs);
// Waits ms, or less once stop() (when given) says true, looked at every 50 ms; on the
// application's thread the event loop turns meanwhile.
void WaitTurning(int ms, const std::function<bool()>& stop);
// VerifyUpgrade of the device at host with AskFirmwareRevisionTurning and WaitTurning: once
// stop() says true the time is up at once.
TUpgradeCheck VerifyUpgradedDevice(const std::string& host, const std::optional<std::string>& before, int seconds,
                                   const std::function<bool()>& stop);
