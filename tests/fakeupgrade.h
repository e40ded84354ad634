// A device on a loopback address for the tests of verified upgrades: its web server takes an
// image on POST /upload (port 80) and answers 200, and it answers the Orvex info request (UDP
// 57739) with its firmware revision. After an image it restarts: silent for a while, then back
// with a new revision, with the old one, or never. Runs on a thread of its own (the window's
// batch waits on the test's thread) inside the test's private network namespace.
#pragma once
#include "fakeweb.h"

#include "core/protocols/orvex/packets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TFakeUpgradeDevice {
public:
    enum class TAfter { NewRevision, SameRevision, NeverBack };

    TFakeUpgradeDevice(const std::string& address, TAfter after, std::string revision = "1.0",
                       std::string newRevision = "2.0", int restartMs = 700)
        : Sockets(address), After(after), Revision(std::move(revision)), NewRevision(std::move(newRevision)), RestartMs(restartMs)
    {
        Listening = Sockets.Listening;
        if (Listening)
            Thread = std::thread([this] { Serve(); });
    }
    ~TFakeUpgradeDevice()
    {
        Quit = true;
        if (Thread.joinable())
            Thread.join();
    }
    TFakeUpgradeDevice(const TFakeUpgradeDevice&) = delete;
    TFakeUpgradeDevice& operator=(const TFakeUpgradeDevice&) = delete;

    bool Listening = false;
    int Uploads() const { return UploadCount; }
    int InfoRequests() const { return Requests; }

private:
    using TClock = std::chrono::steady_clock;

    // The revision answered now, or "" for silence.
    std::string AnswerNow()
    {
        if (UploadCount == 0)
            return Revision;
        if (After == TAfter::NeverBack || TClock::now() < Restarted + std::chrono::milliseconds(RestartMs))
            return {};
        return After == TAfter::NewRevision ? NewRevision : Revision;
    }

    std::vector<uint8_t> InfoAnswer(const std::string& revision) const
    {
        std::vector<uint8_t> answer = BuildOrvexInfoRequest();
        const uint8_t mac[] = {0x00, 0x0A, 0x14, 0x1E, 0x28, 0x32};
        std::copy(std::begin(mac), std::end(mac), answer.begin());
        std::fill(answer.begin() + 98, answer.begin() + 114, 0);
        std::memcpy(&answer[98], revision.data(), std::min<size_t>(revision.size(), 16));
        return answer;
    }

    void Serve()
    {
        ServeFake(
            Sockets, Quit,
            [this] {
                ++Requests;
                const std::string revision = AnswerNow();
                return revision.empty() ? std::vector<uint8_t>() : InfoAnswer(revision);
            },
            [this](const std::string& request, const std::string&, size_t) {
                // Counted before the answer goes out: whoever has read the answer finds the upload counted.
                if (request.rfind("POST /upload", 0) == 0) {
                    Restarted = TClock::now();
                    ++UploadCount;
                }
                return TFakeAnswer{"200 OK", "<html><h1>Upgrade successful</h1></html>"};
            });
    }

    TFakeSockets Sockets;
    const TAfter After;
    const std::string Revision, NewRevision;
    const int RestartMs;
    std::atomic<int> UploadCount{0};
    std::atomic<int> Requests{0};
    TClock::time_point Restarted;  // written before UploadCount grows, on the device's thread
    std::atomic<bool> Quit{false};
    std::thread Thread;
};
