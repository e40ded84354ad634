// Events file writer.
#include "events.h"

#include <cerrno>
#include <cstring>

namespace sim {

Events::Events() : start_(std::chrono::steady_clock::now()) {}

Events::~Events() {
    Flush();
    if (file_) std::fclose(file_);
}

bool Events::Open(const std::string& path, std::string& error) {
    file_ = std::fopen(path.c_str(), "a");
    if (!file_) {
        error = "cannot open the events file " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void Events::Write(nlohmann::json event) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    event["t"] = double(int64_t(seconds * 1000)) / 1000;
    // Names and file names come from the network and may be any bytes: never throw on them.
    std::string line = event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::lock_guard lock(mutex_);
    if (!file_) return;
    pending_ += line;
    pending_ += '\n';
}

void Events::Flush() {
    std::lock_guard lock(mutex_);
    if (!file_ || pending_.empty()) return;
    std::fwrite(pending_.data(), 1, pending_.size(), file_);
    std::fflush(file_);
    pending_.clear();
}

}  // namespace sim
