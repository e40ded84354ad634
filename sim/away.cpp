// Devices switched off for their first moments: their addresses leave the namespace meanwhile.
#include "away.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

namespace sim {

namespace {

struct RouteMessage {
    nlmsghdr header;
    rtmsg route;
    char attributes[256];
};

void AddAttribute(nlmsghdr& header, unsigned short type, const void* data, size_t size) {
    auto* attribute = reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&header) + NLMSG_ALIGN(header.nlmsg_len));
    attribute->rta_type = type;
    attribute->rta_len = static_cast<unsigned short>(RTA_LENGTH(size));
    std::memcpy(RTA_DATA(attribute), data, size);
    header.nlmsg_len = NLMSG_ALIGN(header.nlmsg_len) + RTA_ALIGN(attribute->rta_len);
}

// What follows a netlink message's header.
template <typename T>
T* Payload(nlmsghdr* header) {
    return reinterpret_cast<T*>(reinterpret_cast<char*>(header) + NLMSG_ALIGN(sizeof(nlmsghdr)));
}

// A message about the single address `address` in the `local` table.
RouteMessage HostRoute(const Ip4& address, unsigned short type, unsigned short flags) {
    RouteMessage message{};
    message.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    message.header.nlmsg_type = type;
    message.header.nlmsg_flags = flags;
    message.route.rtm_family = AF_INET;
    message.route.rtm_dst_len = 32;
    message.route.rtm_table = RT_TABLE_LOCAL;
    const uint32_t destination = htonl(AddressKey(address));
    AddAttribute(message.header, RTA_DST, &destination, sizeof destination);
    return message;
}

}  // namespace

AwayRoutes::AwayRoutes() {
    fd_ = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd_ < 0) return;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

AwayRoutes::~AwayRoutes() {
    if (fd_ >= 0) close(fd_);
}

// Sends one request and reads its answer: an acknowledgement (or error), or with `answer` the
// first message the kernel sends back.
bool AwayRoutes::Talk(void* message, std::string& error, void* answer, size_t answerSize) {
    if (fd_ < 0) {
        error = std::string("netlink: ") + std::strerror(errno);
        return false;
    }
    auto* header = static_cast<nlmsghdr*>(message);
    header->nlmsg_seq = ++sequence_;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (sendto(fd_, message, header->nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0) {
        error = std::string("netlink: ") + std::strerror(errno);
        return false;
    }
    alignas(nlmsghdr) char buffer[8192];
    for (;;) {
        const ssize_t received = recv(fd_, buffer, sizeof buffer, 0);
        if (received < 0 && errno == EINTR) continue;
        if (received < 0) {
            error = std::string("netlink: ") + std::strerror(errno);
            return false;
        }
        int left = int(received);
        for (auto* reply = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(reply, left); reply = NLMSG_NEXT(reply, left)) {
            if (reply->nlmsg_seq != sequence_) continue;
            if (reply->nlmsg_type == NLMSG_ERROR) {
                const int code = Payload<nlmsgerr>(reply)->error;
                if (code != 0) error = std::strerror(-code);
                return code == 0 && !answer;
            }
            if (answer) {
                std::memcpy(answer, reply, std::min<size_t>(reply->nlmsg_len, answerSize));
                return true;
            }
        }
    }
}

bool AwayRoutes::Hide(const Ip4& address, std::string& error) {
    // Which route makes the address local now: it must be one put there by hand on the loopback
    // interface, as the lab's are; an interface's own address, or an address that is not local
    // at all, is left alone.
    RouteMessage query = HostRoute(address, RTM_GETROUTE, NLM_F_REQUEST);
    query.route.rtm_table = RT_TABLE_UNSPEC;
    query.route.rtm_flags = RTM_F_FIB_MATCH;
    alignas(nlmsghdr) char answer[4096] = {};
    if (!Talk(&query, error, answer, sizeof answer)) {
        error = "cannot look up " + IpText(address) + ": " + error;
        return false;
    }
    auto* header = reinterpret_cast<nlmsghdr*>(answer);
    const auto* found = Payload<rtmsg>(header);
    int outputInterface = 0;
    int left = int(RTM_PAYLOAD(header));
    for (auto* attribute = RTM_RTA(found); RTA_OK(attribute, left); attribute = RTA_NEXT(attribute, left))
        if (attribute->rta_type == RTA_OIF) std::memcpy(&outputInterface, RTA_DATA(attribute), sizeof outputInterface);
    if (header->nlmsg_type != RTM_NEWROUTE || found->rtm_type != RTN_LOCAL || found->rtm_protocol == RTPROT_KERNEL ||
        outputInterface != int(if_nametoindex("lo"))) {
        error = IpText(address) + " is not made local by a route of the lab (scripts/lab.sh)";
        return false;
    }
    // The lab's route of this very address (a prefix of one) is replaced, and put back later.
    const bool own = found->rtm_dst_len == 32;
    if (own) replaced_[AddressKey(address)] = found->rtm_protocol;
    RouteMessage add = HostRoute(address, RTM_NEWROUTE,
                                 NLM_F_REQUEST | NLM_F_ACK | NLM_F_CREATE | (own ? NLM_F_REPLACE : NLM_F_EXCL));
    add.route.rtm_protocol = RTPROT_BOOT;
    add.route.rtm_scope = RT_SCOPE_UNIVERSE;
    add.route.rtm_type = RTN_UNREACHABLE;
    if (!Talk(&add, error)) {
        error = "cannot take " + IpText(address) + " away: " + error;
        return false;
    }
    return true;
}

bool AwayRoutes::Show(const Ip4& address, std::string& error) {
    const auto own = replaced_.find(AddressKey(address));
    RouteMessage message;
    if (own != replaced_.end()) {
        // Local again through a route of its own on the loopback interface, as before.
        message = HostRoute(address, RTM_NEWROUTE, NLM_F_REQUEST | NLM_F_ACK | NLM_F_REPLACE);
        message.route.rtm_protocol = own->second;
        message.route.rtm_scope = RT_SCOPE_HOST;
        message.route.rtm_type = RTN_LOCAL;
        const int loopback = int(if_nametoindex("lo"));
        AddAttribute(message.header, RTA_OIF, &loopback, sizeof loopback);
    } else {
        message = HostRoute(address, RTM_DELROUTE, NLM_F_REQUEST | NLM_F_ACK);
        message.route.rtm_scope = RT_SCOPE_NOWHERE;
        message.route.rtm_type = RTN_UNREACHABLE;
    }
    if (!Talk(&message, error)) {
        error = "cannot give " + IpText(address) + " back: " + error;
        return false;
    }
    return true;
}

bool StartTimedChanges(Simulator& simulator, std::string& error) {
    struct Away {
        size_t index;
        Ip4 address;
        int ms;
    };
    std::vector<Away> away;
    for (size_t i = 0; i < simulator.Size(); ++i)
        if (simulator.At(i).config.away_ms > 0)
            away.push_back({i, simulator.At(i).address, simulator.At(i).config.away_ms});
    std::vector<TimedChange> timetable = simulator.Timetable();
    if (away.empty() && timetable.empty()) return true;
    auto routes = std::make_shared<AwayRoutes>();
    auto event = [&simulator](const char* name, const Away& device) {
        nlohmann::json line;
        line["event"] = name;
        line["device"] = MacText(simulator.At(device.index).config.mac);
        line["address"] = IpText(device.address);
        return line;
    };
    for (const Away& device : away) {
        if (!routes->Hide(device.address, error)) return false;
        nlohmann::json line = event("away", device);
        line["ms"] = device.ms;
        simulator.EventLog().Write(std::move(line));
    }
    // A timed change: the device's state first, then its routes, then its event.
    auto apply = [&simulator, routes](const TimedChange& change, std::string& why) {
        RouteChange reach;
        nlohmann::json line = simulator.Apply(change, reach);
        bool ok = true;
        for (const Ip4& address : reach.hide) ok = ok && routes->Hide(address, why);
        for (const Ip4& address : reach.show) {
            std::string failed;
            if (!routes->Show(address, failed)) {
                why = failed;
                ok = false;
            }
        }
        if (!ok) line["error"] = why;
        simulator.EventLog().Write(std::move(line));
        simulator.EventLog().Flush();
        return ok;
    };
    // Changes at second 0 are made before anyone can ask.
    size_t first = 0;
    for (; first < timetable.size() && timetable[first].at <= 0; ++first)
        if (!apply(timetable[first], error)) return false;
    simulator.EventLog().Flush();

    // The rest, in the order of their times: away devices coming back and timed changes.
    struct Step {
        Clock::time_point when;
        std::function<void()> run;
    };
    std::vector<Step> steps;
    for (const Away& device : away)
        steps.push_back({simulator.Started() + std::chrono::milliseconds(device.ms), [&simulator, routes, device, event] {
                             std::string why;
                             nlohmann::json line = event("back", device);
                             if (!routes->Show(device.address, why)) line["error"] = why;
                             simulator.EventLog().Write(std::move(line));
                             simulator.EventLog().Flush();
                         }});
    for (size_t i = first; i < timetable.size(); ++i) {
        const auto offset = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timetable[i].at));
        steps.push_back({simulator.Started() + offset, [apply, change = timetable[i]] {
                             std::string why;
                             apply(change, why);
                         }});
    }
    std::stable_sort(steps.begin(), steps.end(), [](const Step& a, const Step& b) { return a.when < b.when; });
    std::thread([steps = std::move(steps)] {
        for (const Step& step : steps) {
            std::this_thread::sleep_until(step.when);
            step.run();
        }
    }).detach();
    return true;
}

}  // namespace sim
