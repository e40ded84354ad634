// What the simulated devices do with the datagrams they receive.
#include "simulator.h"

#include "setupxml.h"

#include <cstdio>

#include <algorithm>

namespace sim {

using nlohmann::json;

uint32_t AddressKey(const Ip4& ip) {
    return (uint32_t(ip[0]) << 24) | (uint32_t(ip[1]) << 16) | (uint32_t(ip[2]) << 8) | uint32_t(ip[3]);
}

json SetupToEventJson(const NetSetup& setup, Family family) {
    json object;
    object["name"] = setup.name;
    object["ip"] = IpText(setup.ip);
    object["mask"] = IpText(setup.mask);
    object["gateway"] = IpText(setup.gateway);
    if (family == Family::Orvex) {
        object["dns1"] = IpText(setup.dns1);
        object["dns2"] = IpText(setup.dns2);
        object["dhcp"] = setup.dhcp;
    } else {
        object["dhcp"] = setup.dhcp < 0 ? json(nullptr) : json(setup.dhcp != 0);
    }
    object["http_port"] = setup.http_port;
    object["telnet_port"] = setup.telnet_port;
    return object;
}

namespace {
const char* FamilyText(Family family) { return family == Family::Hwg ? "HWG" : "Orvex"; }

std::string EndpointText(const Ip4& ip, uint16_t port) { return IpText(ip) + ":" + std::to_string(port); }

}  // namespace

Simulator::Simulator(std::vector<DeviceConfig> fleet, Events& events, int defaultRestartMs)
    : events_(events), defaultRestartMs_(defaultRestartMs) {
    devices_.reserve(fleet.size());
    for (DeviceConfig& config : fleet) {
        Device device;
        device.setup = config.setup;
        device.address = config.address;
        device.config = std::move(config);
        device.setupXml = device.config.http.setup_xml ? *device.config.http.setup_xml : DefaultSetupXml(device);
        const size_t index = devices_.size();
        byAddress_[AddressKey(device.address)].push_back(index);
        byMac_[device.config.mac] = index;
        (device.config.family == Family::Hwg ? hwg_ : orvex_).push_back(index);
        devices_.push_back(std::move(device));
    }
}

std::string Simulator::DefaultSetupXml(const Device& device) {
    return GenerateSetupXml(device.config, device.setup, device.config.http.encoding,
                            device.config.http.not_well_formed);
}

std::string Simulator::ServeSetupXml(size_t index) {
    std::lock_guard lock(mutex_);
    Device& device = devices_[index];
    ++device.downloads;
    const int every = device.config.http.changing;
    if (every < 0) return device.setupXml;
    const long long counter =
        every == 0 ? device.downloads
                   : std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started_).count() / every;
    return WithCounter(device.setupXml, counter);
}

std::string Simulator::StoreSetupXml(size_t index, const std::string& file) {
    std::lock_guard lock(mutex_);
    devices_[index].setupXml = file;
    const std::string taken = TakeSetupValues(index, "configuration");
    if (taken == "network") StartRestart(index, "configuration");
    return taken;
}

std::string Simulator::TakeSetupValues(size_t index, const char* cause) {
    Device& device = devices_[index];
    const SetupValues values = ReadSetupValues(device.setupXml);
    NetSetup next = device.setup;
    if (values.name && device.config.family == Family::Orvex && values.name->size() <= 32) next.name = *values.name;
    if (values.name && device.config.family == Family::Hwg) next.name = *values.name;
    auto take = [](const std::optional<std::string>& text, Ip4& into) {
        if (!text) return;
        if (const auto ip = ParseIpText(*text)) into = *ip;
    };
    take(values.ip, next.ip);
    take(values.mask, next.mask);
    take(values.gateway, next.gateway);
    take(values.dns1, next.dns1);
    take(values.dns2, next.dns2);
    if (values.dhcp && device.setup.dhcp >= 0) {
        char* end = nullptr;
        const long dhcp = std::strtol(values.dhcp->c_str(), &end, 10);
        if (!values.dhcp->empty() && *end == '\0' && dhcp >= 0 && dhcp <= 255)
            next.dhcp = device.config.family == Family::Hwg ? (dhcp != 0 ? 1 : 0) : int(dhcp);
    }
    if (next == device.setup) return "";
    const bool network = next.ip != device.setup.ip || next.mask != device.setup.mask ||
                         next.gateway != device.setup.gateway || next.dhcp != device.setup.dhcp;
    device.setup = next;
    StateEvent(index, cause);
    return network ? "network" : "name";
}

int Simulator::DeviceAt(const Ip4& address) {
    std::lock_guard lock(mutex_);
    Tick(Clock::now());
    return FirstAt(address);
}

int Simulator::FirstAt(const Ip4& address) const {
    const auto found = byAddress_.find(AddressKey(address));
    return found == byAddress_.end() || found->second.empty() ? -1 : int(found->second.front());
}

void Simulator::Move(size_t index, const Ip4& to) {
    Device& device = devices_[index];
    const Ip4 from = device.address;
    auto& old = byAddress_[AddressKey(from)];
    old.erase(std::find(old.begin(), old.end(), index));
    if (old.empty()) byAddress_.erase(AddressKey(from));
    auto& now = byAddress_[AddressKey(to)];
    now.insert(std::lower_bound(now.begin(), now.end(), index), index);
    device.address = to;
    json event;
    event["event"] = "state";
    event["family"] = FamilyText(device.config.family);
    event["device"] = MacText(device.config.mac);
    event["cause"] = "moved";
    event["old_address"] = IpText(from);
    event["new_address"] = IpText(to);
    event["setup"] = SetupToEventJson(device.setup, device.config.family);
    events_.Write(std::move(event));
}

int Simulator::RestartMs(const Device& device) const {
    return device.config.restart_ms >= 0 ? device.config.restart_ms : defaultRestartMs_;
}

std::vector<size_t> Simulator::Targets(Family family, const Origin& origin) const {
    // A datagram sent to one device's own address reaches that device only; a broadcast reaches
    // every device of the family.
    const int one = FirstAt(origin.to);
    if (one >= 0) {
        if (devices_[size_t(one)].config.family == family) return {size_t(one)};
        return {};
    }
    if (!origin.broadcast) return {};
    return family == Family::Hwg ? hwg_ : orvex_;
}

json Simulator::RequestEvent(size_t index, const Origin& origin, const char* kind) const {
    const Device& device = devices_[index];
    json event;
    event["event"] = "request";
    event["family"] = FamilyText(device.config.family);
    event["device"] = MacText(device.config.mac);
    event["from"] = EndpointText(origin.from, origin.fromPort);
    event["to"] = IpText(origin.to);
    event["broadcast"] = origin.broadcast;
    if (origin.datagram) event["datagram"] = origin.datagram;
    event["kind"] = kind;
    return event;
}

void Simulator::StateEvent(size_t index, const char* cause) {
    const Device& device = devices_[index];
    json event;
    event["event"] = "state";
    event["family"] = FamilyText(device.config.family);
    event["device"] = MacText(device.config.mac);
    event["cause"] = cause;
    event["setup"] = SetupToEventJson(device.setup, device.config.family);
    events_.Write(std::move(event));
}

void Simulator::StartRestart(size_t index, const char* cause) {
    Device& device = devices_[index];
    const int ms = RestartMs(device);
    json event;
    event["event"] = "restart";
    event["family"] = FamilyText(device.config.family);
    event["device"] = MacText(device.config.mac);
    event["cause"] = cause;
    event["ms"] = ms;
    events_.Write(std::move(event));
    device.restarting = true;
    device.restartUntil = Clock::now() + std::chrono::milliseconds(ms);
    restarting_.insert(index);
}

std::string Simulator::AcceptFirmware(size_t index, const std::string& image, std::vector<std::string>& changed) {
    static const std::string kMarker = "PYXET-SIM-FIRMWARE ";
    std::lock_guard lock(mutex_);
    Device& device = devices_[index];
    // An upgrade that changes settings: the file first, then the values the device takes from it.
    for (const auto& [element, text] : device.config.http.upgrade_changes) {
        const std::string before = device.setupXml;
        device.setupXml = WithElementText(device.setupXml, element, text);
        if (device.setupXml != before) changed.push_back(element);
    }
    const bool restarts = image.compare(0, kMarker.size(), kMarker) == 0;
    if (!changed.empty() && TakeSetupValues(index, "upgrade") == "network" && !restarts)
        StartRestart(index, "configuration");
    // Other images are taken as before: no restart, the revision stays.
    if (!restarts) return "";
    const size_t end = image.find('\n');
    std::string revision = image.substr(kMarker.size(), end == std::string::npos ? std::string::npos : end - kMarker.size());
    if (!revision.empty() && revision.back() == '\r') revision.pop_back();
    if (!revision.empty() && device.config.family == Family::Hwg) {
        int a = -1, b = -1, c = -1;
        char tail = 0;
        if (std::sscanf(revision.c_str(), "%d.%d.%d%c", &a, &b, &c, &tail) == 3 && a >= 0 && a <= 7 && b >= 0 &&
            b <= 15 && c >= 0 && c <= 15)
            device.config.hwg_rev = {a, b, c};
        else
            revision.clear();
    } else if (revision.size() > 16) {
        revision.clear();  // an Orvex answer holds 16 bytes of revision
    }
    if (!revision.empty()) device.config.firmware = revision;
    StartRestart(index, "firmware");
    return revision;
}

void Simulator::RefuseFirmware(size_t index) {
    std::lock_guard lock(mutex_);
    Device& device = devices_[index];
    StartRestart(index, "firmware");
    if (device.steppedAside || !device.config.step_aside) return;
    device.steppedAside = true;
    const Ip4 left = device.address;
    Move(index, device.config.step_aside->to);
    Move(byMac_.at(device.config.step_aside->heir), left);
}

bool Simulator::Away(const Device& device, Clock::time_point now) const {
    return device.gone ||
           (device.config.away_ms > 0 && now < started_ + std::chrono::milliseconds(device.config.away_ms));
}

std::vector<TimedChange> Simulator::Timetable() const {
    std::vector<TimedChange> changes;
    for (size_t i = 0; i < devices_.size(); ++i) {
        const Schedule& schedule = devices_[i].config.schedule;
        if (schedule.Gone()) {
            changes.push_back({schedule.gone_from, i, TimedChangeKind::Gone});
            changes.push_back({schedule.gone_to, i, TimedChangeKind::Back});
        }
        if (schedule.NewIp()) changes.push_back({schedule.new_ip_at, i, TimedChangeKind::NewIp});
        if (schedule.NewFirmware()) changes.push_back({schedule.new_firmware_at, i, TimedChangeKind::NewFirmware});
    }
    std::stable_sort(changes.begin(), changes.end(), [](const TimedChange& a, const TimedChange& b) {
        return a.at != b.at ? a.at < b.at : a.kind < b.kind;
    });
    return changes;
}

json Simulator::Apply(const TimedChange& change, RouteChange& routes) {
    std::lock_guard lock(mutex_);
    Device& device = devices_[change.device];
    json event;
    event["event"] = "scheduled";
    event["family"] = FamilyText(device.config.family);
    event["device"] = MacText(device.config.mac);
    switch (change.kind) {
    case TimedChangeKind::Gone:
        event["change"] = "gone";
        event["address"] = IpText(device.address);
        event["until"] = device.config.schedule.gone_to;
        device.gone = true;
        device.hidden = {device.address};
        routes.hide = device.hidden;
        break;
    case TimedChangeKind::Back:
        event["change"] = "back";
        event["address"] = IpText(device.address);
        device.gone = false;
        routes.show = std::move(device.hidden);
        device.hidden.clear();
        break;
    case TimedChangeKind::NewIp: {
        // Configured with the new address and found there, as after a change by DHCP.
        event["change"] = "new_ip";
        event["old_address"] = IpText(device.address);
        event["new_address"] = IpText(device.config.schedule.new_ip);
        device.setup.ip = device.config.schedule.new_ip;
        Move(change.device, device.config.schedule.new_ip);
        // A device that is gone is not found at its new address either until it is back.
        if (device.gone) {
            device.hidden.push_back(device.address);
            routes.hide = {device.address};
        }
        break;
    }
    case TimedChangeKind::NewFirmware: {
        event["change"] = "new_firmware";
        event["old"] = device.config.firmware;
        event["new"] = device.config.schedule.new_firmware;
        device.config.firmware = device.config.schedule.new_firmware;
        if (device.config.family == Family::Hwg) {
            int a = 0, b = 0, c = 0;
            std::sscanf(device.config.firmware.c_str(), "%d.%d.%d", &a, &b, &c);
            device.config.hwg_rev = {a, b, c};
        }
        break;
    }
    }
    return event;
}

Clock::time_point Simulator::Tick(Clock::time_point now) {
    Clock::time_point next = Clock::time_point::max();
    for (auto it = restarting_.begin(); it != restarting_.end();) {
        Device& device = devices_[*it];
        if (device.restartUntil <= now) {
            device.restarting = false;
            // A device that follows its ip comes back at the address it now has configured (one
            // that no device could have leaves it where it was).
            if (device.config.follow_ip && device.setup.ip != device.address && UsableDeviceAddress(device.setup.ip))
                Move(*it, device.setup.ip);
            json event;
            event["event"] = "restarted";
            event["family"] = FamilyText(device.config.family);
            event["device"] = MacText(device.config.mac);
            events_.Write(std::move(event));
            it = restarting_.erase(it);
        } else {
            next = std::min(next, device.restartUntil);
            ++it;
        }
    }
    return next;
}

void Simulator::HandleOversizedRequest(Family family, size_t size, const Origin& origin) {
    json event;
    event["event"] = "malformed";
    event["family"] = FamilyText(family);
    event["device"] = nullptr;
    event["from"] = EndpointText(origin.from, origin.fromPort);
    event["size"] = size;
    event["reason"] = "longer than any request";
    events_.Write(std::move(event));
}

namespace {
// Queues an answer with the device's send faults applied.
void Answer(const Device& device, size_t index, Bytes data, std::vector<Send>& out) {
    const int copies = device.config.faults.twice ? 2 : 1;
    for (int i = 0; i < copies; ++i) out.push_back({index, device.address, data, device.config.faults.late_ms});
}
}  // namespace

void Simulator::HandleOrvex(const uint8_t* data, size_t size, const Origin& origin, std::vector<Send>& out) {
    std::string why;
    const auto request = ParseOrvexRequest(data, size, why);
    if (!request) {
        // A device that recognises its own MAC in a broken request answers with an error; anything
        // else is dropped.
        json event;
        event["event"] = "malformed";
        event["family"] = "Orvex";
        event["from"] = EndpointText(origin.from, origin.fromPort);
        event["size"] = size;
        event["reason"] = why;
        event["device"] = nullptr;
        if (size >= kOrvexHeaderSize) {
            Mac target;
            std::copy(data, data + 6, target.begin());
            const auto found = byMac_.find(target);
            if (found != byMac_.end() && devices_[found->second].config.family == Family::Orvex) {
                const Device& device = devices_[found->second];
                event["device"] = MacText(device.config.mac);
                event["error_code"] = kOrvexErrorMalformed;
                if (!device.config.faults.silent && !device.config.faults.ignore_commands && !device.restarting &&
                    !Away(device, Clock::now()))
                    Answer(device, found->second,
                           BuildOrvexCommandAnswer(data, size, device.config.mac, kOrvexErrorMalformed), out);
            }
        }
        events_.Write(std::move(event));
        return;
    }

    if (request->query) {
        for (size_t index : Targets(Family::Orvex, origin)) {
            Device& device = devices_[index];
            if (!request->toAll && request->target != device.config.mac) continue;
            json event = RequestEvent(index, origin, "info");
            const bool dropped = ++device.infoRequests % device.config.faults.answer_every != 0;
            if (Away(device, Clock::now())) {
                event["outcome"] = "away";
            } else if (device.restarting) {
                event["outcome"] = "ignored: restarting";
            } else if (device.config.faults.silent) {
                event["outcome"] = "silent";
            } else if (dropped) {
                event["outcome"] = "dropped";
            } else {
                Bytes answer = BuildOrvexInfoAnswer(device.config.mac, device.setup, device.config.type,
                                                    device.config.firmware, device.config.error_code);
                if (device.config.faults.oversized) answer.resize(200, 0);
                Answer(device, index, std::move(answer), out);
                event["outcome"] = "answered";
                event["error_code"] = device.config.error_code;
            }
            events_.Write(std::move(event));
        }
        return;
    }

    const int action = request->action.value_or(0);
    const char* kind = request->set ? (size == 65 ? "dhcp_update" : "update")
                       : action == 2 ? "factory_default"
                       : action == 1 ? "restart"
                                     : "command";
    const auto found = byMac_.find(request->target);
    const std::vector<size_t> reachable = Targets(Family::Orvex, origin);
    if (request->toAll || found == byMac_.end() ||
        std::find(reachable.begin(), reachable.end(), found->second) == reachable.end()) {
        json event;
        event["event"] = "unmatched";
        event["family"] = "Orvex";
        event["device"] = nullptr;
        event["from"] = EndpointText(origin.from, origin.fromPort);
        event["kind"] = kind;
        event["target"] = MacText(request->target);
        event["reason"] = request->toAll          ? "a command needs one device's MAC"
                          : found == byMac_.end() ? "no device has this MAC"
                                                  : "the device with this MAC is not at that address";
        events_.Write(std::move(event));
        return;
    }
    const size_t index = found->second;
    Device& device = devices_[index];
    json event = RequestEvent(index, origin, kind);
    event["size"] = size;
    event["action"] = action;
    if (Away(device, Clock::now())) {
        event["outcome"] = "away";
        events_.Write(std::move(event));
        return;
    }
    if (device.restarting) {
        event["outcome"] = "ignored: restarting";
        events_.Write(std::move(event));
        return;
    }
    if (device.config.faults.ignore_commands) {
        event["outcome"] = "ignored";
        events_.Write(std::move(event));
        return;
    }
    // An error code spoils every answer; refuse_commands refuses the commands only.
    int error = device.config.error_code ? device.config.error_code : device.config.refuse_commands;
    if (error == 0 && action > 2) error = kOrvexErrorUnknownAction;
    if (!device.config.faults.silent)
        Answer(device, index, BuildOrvexCommandAnswer(data, size, device.config.mac, error), out);
    event["error_code"] = error;
    event["outcome"] = error ? "refused" : "done";
    events_.Write(std::move(event));
    if (error) return;

    if (action == 2) {
        device.setup = device.config.factory;
        StateEvent(index, "factory_default");
        StartRestart(index, "factory_default");
        return;
    }
    if (request->set) {
        const OrvexSetValues& v = request->values;
        NetSetup& s = device.setup;
        if (v.name) s.name = *v.name;
        if (v.ip) s.ip = *v.ip;
        if (v.mask) s.mask = *v.mask;
        if (v.gateway) s.gateway = *v.gateway;
        if (v.dns1) s.dns1 = *v.dns1;
        if (v.dns2) s.dns2 = *v.dns2;
        if (v.dhcp) s.dhcp = *v.dhcp;
        if (v.http_port) s.http_port = *v.http_port;
        if (v.telnet_port) s.telnet_port = *v.telnet_port;
        StateEvent(index, kind);
    }
    if (action == 1) StartRestart(index, kind);
}

void Simulator::HandleHwg(const uint8_t* data, size_t size, const Origin& origin, std::vector<Send>& out) {
    if (IsHwgInfoRequest(data, size)) {
        for (size_t index : Targets(Family::Hwg, origin)) {
            Device& device = devices_[index];
            json event = RequestEvent(index, origin, "info");
            const bool dropped = ++device.infoRequests % device.config.faults.answer_every != 0;
            if (Away(device, Clock::now())) {
                event["outcome"] = "away";
            } else if (device.restarting) {
                event["outcome"] = "ignored: restarting";
            } else if (device.config.faults.silent) {
                event["outcome"] = "silent";
            } else if (dropped) {
                event["outcome"] = "dropped";
            } else {
                Answer(device, index, BuildHwgAnswer(device.config, device.setup), out);
                event["outcome"] = "answered";
            }
            events_.Write(std::move(event));
        }
        return;
    }
    const auto command = ParseHwgCommand(data, size);
    const auto found = command ? byMac_.find(command->target) : byMac_.end();
    const std::vector<size_t> reachable = Targets(Family::Hwg, origin);
    if (!command || found == byMac_.end() ||
        std::find(reachable.begin(), reachable.end(), found->second) == reachable.end()) {
        json event;
        event["event"] = command ? "unmatched" : "malformed";
        event["family"] = "HWG";
        event["device"] = nullptr;
        event["from"] = EndpointText(origin.from, origin.fromPort);
        event["size"] = size;
        if (command) {
            event["kind"] = command->factoryDefault ? "factory_default" : "command";
            event["target"] = MacText(command->target);
        }
        event["reason"] = command ? "no HWG device has this MAC" : "neither the info request nor a 48-byte command";
        events_.Write(std::move(event));
        return;
    }
    const size_t index = found->second;
    Device& device = devices_[index];
    json event = RequestEvent(index, origin, command->factoryDefault ? "factory_default" : "command");
    event["authentic"] = command->authentic;
    event["filler_intact"] = command->fillerIntact;
    if (Away(device, Clock::now())) {
        event["outcome"] = "away";
    } else if (!command->authentic) {
        event["outcome"] = "ignored: bad MAC";
    } else if (device.restarting) {
        event["outcome"] = "ignored: restarting";
    } else if (device.config.faults.ignore_commands) {
        event["outcome"] = "ignored";
    } else if (device.config.refuse_commands) {
        event["outcome"] = "refused: refuse_commands";
    } else if (command->factoryDefault && !device.config.can_set_default) {
        event["outcome"] = "refused: no factory default";
    } else {
        event["outcome"] = "done";
    }
    const bool act = event["outcome"] == "done";
    events_.Write(std::move(event));
    if (!act) return;
    if (command->factoryDefault) {
        device.setup = device.config.factory;
        StateEvent(index, "factory_default");
        StartRestart(index, "factory_default");
        return;
    }
    NetSetup& s = device.setup;
    s.ip = command->ip;
    s.mask = command->mask;
    s.gateway = command->gateway;
    if (s.dhcp >= 0) s.dhcp = command->dhcp ? 1 : 0;  // a device without a DHCP setting keeps none
    s.http_port = command->http_port;
    StateEvent(index, "command");
    StartRestart(index, "command");
}

}  // namespace sim
