// UDP receive loop, delayed answers and restarts.
#include "udp.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <queue>

namespace sim {

namespace {

struct Delayed {
    Clock::time_point when;
    int fd;
    Ip4 source, to;
    uint16_t toPort;
    Bytes data;
    bool operator>(const Delayed& other) const { return when > other.when; }
};

std::priority_queue<Delayed, std::vector<Delayed>, std::greater<>>& DelayedQueue() {
    static std::priority_queue<Delayed, std::vector<Delayed>, std::greater<>> queue;
    return queue;
}

Ip4 FromInAddr(in_addr address) {
    const uint32_t host = ntohl(address.s_addr);
    return {uint8_t(host >> 24), uint8_t(host >> 16), uint8_t(host >> 8), uint8_t(host)};
}

in_addr ToInAddr(const Ip4& ip) {
    in_addr address{};
    address.s_addr = htonl(AddressKey(ip));
    return address;
}

// 255.255.255.255 and the broadcast address of any interface here (a directed broadcast).
bool IsBroadcast(const Ip4& to) {
    if (to == Ip4{255, 255, 255, 255}) return true;
    static const std::vector<uint32_t> broadcasts = [] {
        std::vector<uint32_t> found;
        ifaddrs* list = nullptr;
        if (getifaddrs(&list) != 0) return found;
        for (ifaddrs* item = list; item; item = item->ifa_next)
            if (item->ifa_addr && item->ifa_addr->sa_family == AF_INET && (item->ifa_flags & IFF_BROADCAST)
                && item->ifa_netmask) {
                // The subnet's all-ones address, whether or not a broadcast address was set.
                const uint32_t address = ntohl(reinterpret_cast<sockaddr_in*>(item->ifa_addr)->sin_addr.s_addr);
                const uint32_t mask = ntohl(reinterpret_cast<sockaddr_in*>(item->ifa_netmask)->sin_addr.s_addr);
                if (mask < 0xFFFFFFFEu) found.push_back(address | ~mask);
                if (item->ifa_broadaddr)
                    found.push_back(ntohl(reinterpret_cast<sockaddr_in*>(item->ifa_broadaddr)->sin_addr.s_addr));
            }
        freeifaddrs(list);
        return found;
    }();
    return std::find(broadcasts.begin(), broadcasts.end(), AddressKey(to)) != broadcasts.end();
}

int OpenSocket(uint16_t port, std::string& error) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    const int on = 1;
    // Bursts of a thousand answers leave faster than the link drains them.
    const int sendBuffer = 4 << 20, receiveBuffer = 1 << 20;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = "bind UDP port " + std::to_string(port) + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

UdpService::~UdpService() {
    if (orvexFd_ >= 0) close(orvexFd_);
    if (hwgFd_ >= 0) close(hwgFd_);
    if (ephemeralFd_ >= 0) close(ephemeralFd_);
}

bool UdpService::Open(uint16_t orvexPort, uint16_t hwgPort, std::string& error) {
    orvexFd_ = OpenSocket(orvexPort, error);
    if (orvexFd_ < 0) return false;
    hwgFd_ = OpenSocket(hwgPort, error);
    if (hwgFd_ < 0) return false;
    ephemeralFd_ = OpenSocket(0, error);  // port 0: one the system chooses, the same for every answer
    return ephemeralFd_ >= 0;
}

void UdpService::SendNow(int fd, const Ip4& source, const Ip4& to, uint16_t toPort, const Bytes& data) {
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(toPort);
    destination.sin_addr = ToInAddr(to);
    iovec iov{const_cast<uint8_t*>(data.data()), data.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = &destination;
    message.msg_namelen = sizeof destination;
    message.msg_iov = &iov;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst = ToInAddr(source);  // the answer leaves from the device's own address
    std::memcpy(CMSG_DATA(header), &info, sizeof info);
    while (sendmsg(fd, &message, 0) < 0 && errno == EINTR) {
    }
}

void UdpService::Receive(int fd, Family family) {
    uint8_t buffer[2048];
    std::vector<Send> out;
    for (int batch = 0; batch < 256; ++batch) {
        sockaddr_in from{};
        iovec iov{buffer, sizeof buffer};
        alignas(cmsghdr) char control[256];
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &iov;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t received = recvmsg(fd, &message, MSG_DONTWAIT | MSG_TRUNC);
        if (received < 0) break;
        Origin origin;
        origin.from = FromInAddr(from.sin_addr);
        origin.fromPort = ntohs(from.sin_port);
        origin.to = {255, 255, 255, 255};
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(header), sizeof info);
                origin.to = FromInAddr(info.ipi_addr);
            }
        }
        origin.broadcast = IsBroadcast(origin.to);
        origin.datagram = ++datagrams_;
        out.clear();
        {
            std::lock_guard lock(sim_.Mutex());
            sim_.Tick(Clock::now());
            if (size_t(received) > sizeof buffer)
                sim_.HandleOversizedRequest(family, size_t(received), origin);
            else if (family == Family::Orvex)
                sim_.HandleOrvex(buffer, size_t(received), origin, out);
            else
                sim_.HandleHwg(buffer, size_t(received), origin, out);
        }
        // Answers first, as one burst; the events follow.
        const auto now = Clock::now();
        for (Send& send : out) {
            const DeviceConfig& device = sim_.At(send.device).config;
            const int sendFd = device.faults.ephemeral_port ? ephemeralFd_ : fd;
            if (send.delayMs <= 0)
                SendNow(sendFd, send.source, origin.from, origin.fromPort, send.data);
            else
                DelayedQueue().push({now + std::chrono::milliseconds(send.delayMs), sendFd, send.source, origin.from,
                                     origin.fromPort, std::move(send.data)});
        }
        sim_.EventLog().Flush();
    }
}

void UdpService::Run(const std::atomic<bool>& stop) {
    pollfd fds[2] = {{orvexFd_, POLLIN, 0}, {hwgFd_, POLLIN, 0}};
    auto& delayed = DelayedQueue();
    while (!stop) {
        Clock::time_point next;
        {
            std::lock_guard lock(sim_.Mutex());
            next = sim_.Tick(Clock::now());
        }
        sim_.EventLog().Flush();
        if (!delayed.empty()) next = std::min(next, delayed.top().when);
        int timeout = 200;
        const auto now = Clock::now();
        if (next != Clock::time_point::max()) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count() + 1;
            timeout = int(std::clamp<long long>(wait, 0, 200));
        }
        const int ready = poll(fds, 2, timeout);
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0) {
            if (fds[0].revents & POLLIN) Receive(orvexFd_, Family::Orvex);
            if (fds[1].revents & POLLIN) Receive(hwgFd_, Family::Hwg);
        }
        while (!delayed.empty() && delayed.top().when <= Clock::now()) {
            const Delayed& item = delayed.top();
            SendNow(item.fd, item.source, item.to, item.toPort, item.data);
            delayed.pop();
        }
    }
}

}  // namespace sim
