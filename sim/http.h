// The devices' web server: one listening socket on every address; the address a connection
// reached picks the device.
#pragma once
#include <cstdint>
#include <string>

#include "simulator.h"

namespace sim {

class HttpService {
public:
    explicit HttpService(Simulator& simulator) : sim_(simulator) {}
    bool Open(uint16_t port, std::string& error);
    void Run();  // accepts forever; one thread per connection, at most kMaxConnections at once

    static constexpr int kMaxConnections = 64;

private:
    Simulator& sim_;
    int listenFd_ = -1;
};

}  // namespace sim
