// The simulated devices of a fleet driven without sockets, with an events file of their own.
#pragma once
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "events.h"
#include "fleet.h"
#include "packets.h"
#include "simulator.h"

namespace sim {

inline constexpr Ip4 kAll{255, 255, 255, 255};

// A datagram from the lab's PC to `to` (a broadcast when it is 255.255.255.255).
inline Origin To(const Ip4& to) {
    Origin origin;
    origin.from = {10, 77, 0, 1};
    origin.fromPort = 40000;
    origin.to = to;
    origin.broadcast = to == kAll;
    return origin;
}

// The devices of a fleet file plus an events file of their own.
class Devices {
public:
    explicit Devices(const std::string& fleet) {
        const FleetResult parsed = ParseFleet(fleet);
        EXPECT_EQ(parsed.error, "");
        char path[] = "/tmp/pyxet-sim-model-XXXXXX";
        const int fd = mkstemp(path);
        EXPECT_GE(fd, 0);
        close(fd);
        path_ = path;
        std::string error;
        EXPECT_TRUE(events_.Open(path_, error)) << error;
        sim_ = std::make_unique<Simulator>(parsed.devices, events_, 3000);
    }
    ~Devices() { std::remove(path_.c_str()); }

    std::vector<Send> Orvex(const Bytes& request, const Ip4& to) {
        std::vector<Send> out;
        sim_->Tick(Clock::now());
        sim_->HandleOrvex(request.data(), request.size(), To(to), out);
        return out;
    }
    std::vector<Send> Hwg(const Bytes& request, const Ip4& to) {
        std::vector<Send> out;
        sim_->Tick(Clock::now());
        sim_->HandleHwg(request.data(), request.size(), To(to), out);
        return out;
    }
    Simulator& Sim() { return *sim_; }

    // The events written so far.
    std::vector<nlohmann::json> EventLines() {
        events_.Flush();
        std::vector<nlohmann::json> lines;
        std::ifstream file(path_);
        std::string line;
        while (std::getline(file, line)) lines.push_back(nlohmann::json::parse(line));
        return lines;
    }

private:
    std::string path_;
    Events events_;
    std::unique_ptr<Simulator> sim_;
};

}  // namespace sim
