// The UDP side of the fleet: one socket per family bound to the family's port on every address,
// answers sent from each device's own address (and from the service port, unless the device's
// ephemeral_port fault sends them from a socket on a port the system chose).
#pragma once
#include <atomic>
#include <string>

#include "simulator.h"

namespace sim {

class UdpService {
public:
    explicit UdpService(Simulator& simulator) : sim_(simulator) {}
    ~UdpService();
    UdpService(const UdpService&) = delete;
    UdpService& operator=(const UdpService&) = delete;

    bool Open(uint16_t orvexPort, uint16_t hwgPort, std::string& error);
    // Runs until stop becomes true.
    void Run(const std::atomic<bool>& stop);

private:
    void Receive(int fd, Family family);
    void SendNow(int fd, const Ip4& source, const Ip4& to, uint16_t toPort, const Bytes& data);

    Simulator& sim_;
    int orvexFd_ = -1;
    int hwgFd_ = -1;
    int ephemeralFd_ = -1;  // sends only: the answers of devices with the ephemeral_port fault
    uint64_t datagrams_ = 0;  // received so far: each request event names its datagram's number
};

}  // namespace sim
