// The running devices: their state and what each does with a datagram it receives. No sockets
// here; the UDP and HTTP services call in and send what comes out.
#pragma once
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "events.h"
#include "fleet.h"
#include "packets.h"

namespace sim {

using Clock = std::chrono::steady_clock;

struct Device {
    DeviceConfig config;
    NetSetup setup;        // current setup
    Ip4 address{};         // where the device is now: config.address, or its ip once it followed it
    std::string setupXml;  // the configuration file served at setup.xml
    Clock::time_point restartUntil{};
    bool restarting = false;
    int infoRequests = 0;  // info requests received (for the answer_every fault)
    bool steppedAside = false;  // step_aside: its first image moved it
    long long downloads = 0;    // GETs of setup.xml (for the `changing` setting)
    bool gone = false;          // within its "gone" time: answers nothing, its addresses are nobody's
    std::vector<Ip4> hidden;    // the addresses taken away while it is gone
};

// A change a device makes at a set time (its schedule), in the order the simulator makes them.
enum class TimedChangeKind { Gone, NewIp, NewFirmware, Back };
struct TimedChange {
    double at = 0;  // seconds from the simulator's start
    size_t device = 0;
    TimedChangeKind kind = TimedChangeKind::Gone;
};
// Reachability that changes with a timed change: addresses to take away and to give back.
struct RouteChange {
    std::vector<Ip4> hide, show;
};

// One datagram a device sends.
struct Send {
    size_t device;  // index
    Ip4 source;     // the device's address when it answered: the answer leaves from here
    Bytes data;
    int delayMs = 0;
};

// Where a datagram came from and where it was addressed.
struct Origin {
    Ip4 from{};
    uint16_t fromPort = 0;
    Ip4 to{};  // destination of the datagram: a device's address or a broadcast address
    bool broadcast = true;  // to is a broadcast address (else a datagram to no device reaches none)
    uint64_t datagram = 0;  // number of the datagram as received (from 1; 0: not counted)
};

// Orvex error codes of the simulated devices.
inline constexpr int kOrvexErrorMalformed = 1;
inline constexpr int kOrvexErrorUnknownAction = 2;

class Simulator {
public:
    Simulator(std::vector<DeviceConfig> fleet, Events& events, int defaultRestartMs);

    // Handle one datagram received on the family's port; fills out with the answers to send.
    void HandleOrvex(const uint8_t* data, size_t size, const Origin& origin, std::vector<Send>& out);
    void HandleHwg(const uint8_t* data, size_t size, const Origin& origin, std::vector<Send>& out);
    // A datagram that did not fit the receive buffer.
    void HandleOversizedRequest(Family family, size_t size, const Origin& origin);

    // The web server took a firmware image for the device. An image of the simulator's own
    // form, first line "PYXET-SIM-FIRMWARE <revision>", restarts the device, which then reports
    // that revision if it fits the family (else the one it had). Any other image changes
    // nothing. Returns the new revision, or "" when it stays.
    // A device with upgrade_changes also changes its file then; `changed` gets the elements.
    std::string AcceptFirmware(size_t index, const std::string& image, std::vector<std::string>& changed);
    // A device that does not take firmware images (keep_revision, step_aside) was sent one: it
    // restarts with the revision it had. The first time, a step_aside device moves to its
    // step_aside address and its heir moves to the address it left, at once.
    void RefuseFirmware(size_t index);

    // Every change of the devices' schedules, by time; at one time a device goes before it moves,
    // moves before its new revision, and comes back last.
    std::vector<TimedChange> Timetable() const;
    // Makes one change (under the lock) and returns its "scheduled" event, not yet written: the
    // caller changes the routes first. `routes` gets the addresses to take away or give back.
    nlohmann::json Apply(const TimedChange& change, RouteChange& routes);

    // Whether the device is switched off: away_ms from the simulator's start, or gone.
    bool Away(const Device& device, Clock::time_point now) const;
    Clock::time_point Started() const { return started_; }

    // Ends restarts that are due; returns the time of the next one (or max when none).
    Clock::time_point Tick(Clock::time_point now);

    // For the web server: the device at a local address (the first listed of those that share
    // it, as ARP picks one on a real network), or -1. Ends due restarts first, so that a device
    // that moved is found at its new address as soon as its restart is over.
    int DeviceAt(const Ip4& address);

    std::mutex& Mutex() { return mutex_; }  // guards every device's state
    Device& At(size_t index) { return devices_[index]; }
    size_t Size() const { return devices_.size(); }
    Events& EventLog() { return events_; }

    static std::string DefaultSetupXml(const Device& device);
    // The file a GET of setup.xml returns now (a `changing` device's counter moved on).
    std::string ServeSetupXml(size_t index);
    // A POST of setup.xml: the file is kept as sent, and the device takes the network values it
    // carries; a new address, mask, gateway or DHCP setting restarts it (like an update with
    // action 1). Returns what changed ("" nothing, "name", "network").
    std::string StoreSetupXml(size_t index, const std::string& file);

private:
    // Takes the values the device's file now carries (see StoreSetupXml); the caller holds the lock.
    std::string TakeSetupValues(size_t index, const char* cause);
    void StartRestart(size_t index, const char* cause);
    void StateEvent(size_t index, const char* cause);
    std::vector<size_t> Targets(Family family, const Origin& origin) const;
    int FirstAt(const Ip4& address) const;
    void Move(size_t index, const Ip4& to);
    nlohmann::json RequestEvent(size_t index, const Origin& origin, const char* kind) const;
    int RestartMs(const Device& device) const;

    std::vector<Device> devices_;
    std::unordered_map<uint32_t, std::vector<size_t>> byAddress_;  // in fleet order
    std::map<Mac, size_t> byMac_;
    std::vector<size_t> orvex_, hwg_;
    std::set<size_t> restarting_;
    Events& events_;
    int defaultRestartMs_;
    mutable std::mutex mutex_;
    Clock::time_point started_ = Clock::now();
};

nlohmann::json SetupToEventJson(const NetSetup& setup, Family family);
uint32_t AddressKey(const Ip4& ip);

}  // namespace sim
