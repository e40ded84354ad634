// The events file: one JSON object per line for every request a device receives and every state
// change it makes, so that tests can see what reached the devices.
#pragma once
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

namespace sim {

class Events {
public:
    Events();
    ~Events();
    Events(const Events&) = delete;
    Events& operator=(const Events&) = delete;

    // Appends to path (created when missing). Without a file, events are dropped.
    bool Open(const std::string& path, std::string& error);

    // Queues one line; "t" (seconds since the simulator started) is added.
    void Write(nlohmann::json event);
    // Writes the queued lines to the file.
    void Flush();

private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
    std::string pending_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace sim
