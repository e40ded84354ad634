// A device on a loopback address for the tests of configuration transfers: its web server (port
// 80) hands out its "setup.xml" on GET and takes a new one on POST (the multipart part's content
// becomes its configuration), and it answers the Orvex info request (UDP 57739) with its MAC when
// it has one. Runs on a thread of its own inside the test's private network namespace.
#pragma once
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
        : Config(std::move(config)), Mac(mac)
    {
        sockaddr_in where{};
        where.sin_family = AF_INET;
        ::inet_pton(AF_INET, address.c_str(), &where.sin_addr);
        Web = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(Web, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        where.sin_port = htons(80);
        const bool web =
            Web >= 0 && ::bind(Web, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0 && ::listen(Web, 8) == 0;
        Udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        where.sin_port = htons(Orvex::kPort);
        const bool udp = Udp >= 0 && ::bind(Udp, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0;
        Listening = web && udp;
        if (Listening)
            Thread = std::thread([this] { Serve(); });
    }
    ~TFakeConfigDevice()
    {
        Quit = true;
        if (Thread.joinable())
            Thread.join();
        for (const int fd : {Web, Udp})
            if (fd >= 0)
                ::close(fd);
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
        std::string request, head;
        char buffer[8192];
        size_t bodyStart = std::string::npos;
        size_t length = 0;
        bool continued = false;
        for (;;) {
            if (bodyStart == std::string::npos && (bodyStart = request.find("\r\n\r\n")) != std::string::npos) {
                bodyStart += 4;
                head = request.substr(0, bodyStart);
                std::string lower = head;
                std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
                if (const size_t at = lower.find("content-length:"); at != std::string::npos)
                    length = std::stoul(lower.substr(at + 15));
                if (lower.find("100-continue") != std::string::npos && !continued) {
                    const char* go = "HTTP/1.1 100 Continue\r\n\r\n";
                    continued = ::write(client, go, std::strlen(go)) > 0;
                }
            }
            if (bodyStart != std::string::npos && request.size() >= bodyStart + length)
                break;
            pollfd in{client, POLLIN, 0};
            if (::poll(&in, 1, 5000) <= 0)
                break;
            const ssize_t got = ::read(client, buffer, sizeof buffer);
            if (got <= 0)
                break;
            request.append(buffer, size_t(got));
        }
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

    std::mutex Lock;
    std::string Config, FileName;
    const std::optional<std::array<uint8_t, 6>> Mac;
    int Web = -1, Udp = -1;
    std::atomic<int> PostCount{0}, GetCount{0};
    std::atomic<bool> Quit{false};
    std::thread Thread;
};
