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
        while (!Quit) {
            pollfd watched[2] = {{Web, POLLIN, 0}, {Udp, POLLIN, 0}};
            if (::poll(watched, 2, 50) <= 0)
                continue;
            if (watched[1].revents & POLLIN) {
                uint8_t buffer[512];
                sockaddr_in from{};
                socklen_t size = sizeof from;
                if (::recvfrom(Udp, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &size) > 0 && Mac) {
                    std::vector<uint8_t> answer = BuildOrvexInfoRequest();
                    std::copy(Mac->begin(), Mac->end(), answer.begin());
                    std::fill(answer.begin() + 98, answer.begin() + 114, 0);
                    std::memcpy(&answer[98], "1.0", 3);
                    ::sendto(Udp, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), size);
                }
            }
            if (watched[0].revents & POLLIN)
                TakeRequest();
        }
    }

    // One request: read whole, then answered.
    void TakeRequest()
    {
        const int client = ::accept4(Web, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        std::string head;
        size_t bodyStart = std::string::npos;
        const std::string request = ReadRequest(client, head, bodyStart);
        std::string body = "<html><h1>OK</h1></html>";
        std::string status = "200 OK";
        if (request.rfind("GET /setup.xml ", 0) == 0) {
            ++GetCount;
            body = Current();
        } else if (request.rfind("POST /setup.xml ", 0) == 0 && bodyStart != std::string::npos) {
            TakePart(head, request.substr(bodyStart));
            ++PostCount;  // counted before the answer goes out
        } else {
            status = "404 Not Found";
        }
        const std::string answer = "HTTP/1.0 " + status + "\r\nContent-Type: text/xml\r\nContent-Length: "
                                   + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        const ssize_t sent = ::write(client, answer.data(), answer.size());
        (void)sent;
        ::shutdown(client, SHUT_WR);
        ::close(client);
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
    const int Web = Sockets.Web, Udp = Sockets.Udp;
    std::mutex Lock;
    std::string Config, FileName;
    const std::optional<std::array<uint8_t, 6>> Mac;
    std::atomic<int> PostCount{0}, GetCount{0};
    std::atomic<bool> Quit{false};
    std::thread Thread;
};
