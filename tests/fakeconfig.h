// A device on a loopback address for the tests of configuration transfers: its web server (port
// 80) hands out its "setup.xml" on GET and takes a new one on POST (the multipart part's content
// becomes its configuration), and it answers the Orvex info request (UDP 57739) with its MAC when
// it has one. Runs on a thread of its own inside the test's private network namespace.
#pragma once
#include "fakeweb.h"

#include "core/protocols/orvex/packets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class TFakeConfigDevice {
public:
    // `mac`: the six bytes it answers the info request with; none: it does not answer.
    TFakeConfigDevice(const std::string& address, std::string config,
                      std::optional<std::array<uint8_t, 6>> mac = std::nullopt)
        : Sockets(address), Config(std::move(config)), Mac(mac)
    {
        Listening = Sockets.Listening;
        if (Listening)
            Thread = std::thread([this] { Serve(); });
    }
    ~TFakeConfigDevice()
    {
        Quit = true;
        if (Thread.joinable())
            Thread.join();
    }
    TFakeConfigDevice(const TFakeConfigDevice&) = delete;
    TFakeConfigDevice& operator=(const TFakeConfigDevice&) = delete;

    bool Listening = false;
    std::string Current()
    {
        std::lock_guard<std::mutex> guard(Lock);
        return Config;
    }
    void Set(std::string config)
    {
        std::lock_guard<std::mutex> guard(Lock);
        Config = std::move(config);
    }
    // The multipart file name of the last POST.
    std::string PostedName()
    {
        std::lock_guard<std::mutex> guard(Lock);
        return FileName;
    }
    int Posts() const { return PostCount; }
    int Gets() const { return GetCount; }

private:
    void Serve()
    {
        ServeFake(
            Sockets, Quit,
            [this] {
                if (!Mac)
                    return std::vector<uint8_t>();
                std::vector<uint8_t> answer = BuildOrvexInfoRequest();
                std::copy(Mac->begin(), Mac->end(), answer.begin());
                std::fill(answer.begin() + 98, answer.begin() + 114, 0);
                std::memcpy(&answer[98], "1.0", 3);
                return answer;
            },
            [this](const std::string& request, const std::string& head, size_t bodyStart) {
                TFakeAnswer answer{"200 OK", "<html><h1>OK</h1></html>", "text/xml"};
                if (request.rfind("GET /setup.xml ", 0) == 0) {
                    ++GetCount;
                    answer.Body = Current();
                } else if (request.rfind("POST /setup.xml ", 0) == 0 && bodyStart != std::string::npos) {
                    TakePart(head, request.substr(bodyStart));
                    ++PostCount;  // counted before the answer goes out
                } else {
                    answer.Status = "404 Not Found";
                }
                return answer;
            });
    }

    // The one part of a multipart body: its content becomes the configuration.
    void TakePart(const std::string& head, const std::string& body)
    {
        const size_t at = head.find("boundary=");
        if (at == std::string::npos)
            return;
        const std::string boundary = "--" + head.substr(at + 9, head.find("\r\n", at) - at - 9);
        const size_t partHead = body.find(boundary);
        const size_t content = body.find("\r\n\r\n", partHead);
        const size_t end = body.find("\r\n" + boundary, content);
        if (partHead == std::string::npos || content == std::string::npos || end == std::string::npos)
            return;
        const std::string headers = body.substr(partHead, content - partHead);
        std::lock_guard<std::mutex> guard(Lock);
        Config = body.substr(content + 4, end - content - 4);
        const size_t name = headers.find("filename=\"");
        FileName = name == std::string::npos ? "" : headers.substr(name + 10, headers.find('"', name + 10) - name - 10);
    }

    TFakeSockets Sockets;
    std::mutex Lock;
    std::string Config, FileName;
    const std::optional<std::array<uint8_t, 6>> Mac;
    std::atomic<int> PostCount{0}, GetCount{0};
    std::atomic<bool> Quit{false};
    std::thread Thread;
};
