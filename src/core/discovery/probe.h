// Asking one unit for its info answer: the firmware check of an upgrade's verification (the
// window's "Verify Upgrades", `pyxet-cli upgrade --verify`), before the image goes out and while
// the unit restarts. A unit is known by its MAC address and family: units that share an address,
// or one that took over the address of another, never answer for each other.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The unit a firmware revision is asked of, and where it is asked.
struct TRevisionTarget {
    std::string Host;       // the address it answered from: asked by unicast
    std::string Broadcast;  // asked too when not empty and not Host: the way discovery reaches the
                            // unit (255.255.255.255 or its interface's directed broadcast)
    std::optional<uint64_t> Mac;  // MacKey of its MAC; none while only its address is known
    std::string Family;           // "Orvex" or "HWG", with Mac
};

// A unit's answer.
struct TRevisionAnswer {
    std::string Revision;
    uint64_t Mac = 0;
    std::string Family;  // "Orvex" or "HWG"
    std::string Host{};  // the address the answer came from
};

// The target of a unit at host: by its MAC text and family when they are known (a MAC that does
// not parse counts as unknown), asked at host and at commandAddress, the way discovery's commands
// reach it; an empty commandAddress is worked out from this PC's interfaces as discovery would
// for a unit asked by unicast (the default route's subnet: 255.255.255.255; another attached
// subnet: its directed broadcast; behind a router: host itself).
TRevisionTarget RevisionTarget(const std::string& host, const std::string& mac, const std::string& family,
                               const std::string& commandAddress);

// Sends the info request once to the target's host and, for a unit known by its MAC that has not
// answered from there within kBroadcastAfterMs (or half the wait, when shorter), once to its
// broadcast, each family from a socket of its own (a unit known by its family: only that
// family's request), and waits up to waitMs for the unit's answer: with a MAC, only an answer
// carrying that MAC, of that family, from whatever address it comes; without one, the first
// answer from the host address, which then tells who the unit is. The family is that of the
// socket the answer reached, whatever port it came from. No value when none came. Blocking, and
// usable on any thread: the transfers of --jobs check their devices side by side.
std::optional<TRevisionAnswer> AskFirmwareRevision(const TRevisionTarget& target, int waitMs);
// How long a unit is asked at its own address alone before the broadcast asks the whole network
// (where every unit answers: many units checked at once would each be flooded with the answers).
constexpr int kBroadcastAfterMs = 400;

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
// sends one request and waits up to ms for the unit's revision (AskFirmwareRevision), every
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

// Waits ms, or less once stop() (when given) says true, looked at every 50 ms. It blocks its
// thread: a window's batch calls it on the batch's own threads.
void WaitUnlessStopped(int ms, const std::function<bool()>& stop);
// VerifyUpgrade of the target unit with AskFirmwareRevision and WaitUnlessStopped: once stop()
// says true the time is up at once. Only the unit's own answers count, so the target should
// carry its MAC (learnt from the answer before the upgrade when only its address was known).
TUpgradeCheck VerifyUpgradedDevice(const TRevisionTarget& target, const std::optional<std::string>& before,
                                   int seconds, const std::function<bool()>& stop);

// Who answers at `host`: the info request of both families sent to it by unicast, the first
// answer from that address within waitMs. Its MAC as FormatMac gives it ("00:1A:2B:3C:4D:FF");
// none when nothing answered. pyxet-cli's backup and save without discovery ask it so that what
// they download is kept in the device's history.
std::optional<std::string> AskDeviceMac(const std::string& host, int waitMs);
// How long AskDeviceMac waits.
constexpr int kMacQuestionWaitMs = 1500;
