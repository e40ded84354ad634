// What the fake devices of the tests share: a web server socket (TCP port 80) and an Orvex info
// socket (UDP 57739) on one loopback address, and one HTTP request read whole. Used inside the
// test's private network namespace only.
#pragma once
#include "core/protocols/orvex/packets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

struct TFakeSockets {
    explicit TFakeSockets(const std::string& address)
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
    }
    ~TFakeSockets()
    {
        for (const int fd : {Web, Udp})
            if (fd >= 0)
                ::close(fd);
    }
    TFakeSockets(const TFakeSockets&) = delete;
    TFakeSockets& operator=(const TFakeSockets&) = delete;

    int Web = -1, Udp = -1;
    bool Listening = false;
};

// One request of a client, read until its whole body (by its Content-Length) is in or the client
// falls silent for 5 s; a request that expects "100 Continue" gets it. `head` is its head (request
// line and headers), `bodyStart` where the body begins (npos when the head never ended).
inline std::string ReadRequest(int client, std::string& head, size_t& bodyStart)
{
    std::string request;
    char buffer[8192];
    bodyStart = std::string::npos;
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
    return request;
}

// A fake's answer to a web request.
struct TFakeAnswer {
    std::string Status = "200 OK";
    std::string Body;
    std::string ContentType = "text/html";
};

// A fake device's thread until `quit`: each info request answered with what info() gives (none
// when it gives nothing), each web request read whole and answered with what web(request, head,
// bodyStart) gives, the connection then closed.
inline void ServeFake(const TFakeSockets& sockets, const std::atomic<bool>& quit,
                      const std::function<std::vector<uint8_t>()>& info,
                      const std::function<TFakeAnswer(const std::string&, const std::string&, size_t)>& web)
{
    while (!quit) {
        pollfd watched[2] = {{sockets.Web, POLLIN, 0}, {sockets.Udp, POLLIN, 0}};
        if (::poll(watched, 2, 50) <= 0)
            continue;
        if (watched[1].revents & POLLIN) {
            uint8_t buffer[512];
            sockaddr_in from{};
            socklen_t size = sizeof from;
            if (::recvfrom(sockets.Udp, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &size) > 0) {
                const std::vector<uint8_t> answer = info();
                if (!answer.empty())
                    ::sendto(sockets.Udp, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), size);
            }
        }
        if (!(watched[0].revents & POLLIN))
            continue;
        const int client = ::accept4(sockets.Web, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        std::string head;
        size_t bodyStart = std::string::npos;
        const std::string request = ReadRequest(client, head, bodyStart);
        const TFakeAnswer answer = web(request, head, bodyStart);
        const std::string text = "HTTP/1.0 " + answer.Status + "\r\nContent-Type: " + answer.ContentType
                                 + "\r\nContent-Length: " + std::to_string(answer.Body.size())
                                 + "\r\nConnection: close\r\n\r\n" + answer.Body;
        const ssize_t sent = ::write(client, text.data(), text.size());
        (void)sent;
        ::shutdown(client, SHUT_WR);
        ::close(client);
    }
}
