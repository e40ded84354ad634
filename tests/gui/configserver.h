// A device's web server on a loopback address for the window tests of configurations: GET of
// setup.xml answers the configuration it holds, a POST is kept whole (its multipart body holds the
// file sent) and answered 200. Runs on a thread of its own (the window's batch waits on the test's
// thread) inside the test's private network namespace; an address without one refuses at once.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TConfigServer {
public:
    TConfigServer(const char* ip, std::string config) : Config(std::move(config))
    {
        Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(Fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(80);
        ::inet_pton(AF_INET, ip, &address.sin_addr);
        Listening =
            Fd >= 0 && ::bind(Fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(Fd, 8) == 0;
        if (Listening)
            Thread = std::thread([this] { Serve(); });
    }
    ~TConfigServer()
    {
        Quit = true;
        if (Thread.joinable())
            Thread.join();
        if (Fd >= 0)
            ::close(Fd);
    }
    TConfigServer(const TConfigServer&) = delete;
    TConfigServer& operator=(const TConfigServer&) = delete;

    bool Listening = false;
    int Gets() const { return GetCount; }
    // The POST requests received, whole (headers and body).
    std::vector<std::string> Posts() const
    {
        std::lock_guard<std::mutex> hold(Mutex);
        return Posted;
    }

private:
    void Serve()
    {
        while (!Quit) {
            pollfd wait{Fd, POLLIN, 0};
            if (::poll(&wait, 1, 50) <= 0)
                continue;
            const int client = ::accept4(Fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0)
                Answer(client);
        }
    }
    void Answer(int client)
    {
        std::string request;
        char buffer[8192];
        size_t want = std::string::npos;  // the whole request's length once the headers are in
        while (want == std::string::npos || request.size() < want) {
            pollfd in{client, POLLIN, 0};
            if (::poll(&in, 1, 3000) <= 0)
                break;
            const ssize_t got = ::read(client, buffer, sizeof buffer);
            if (got <= 0)
                break;
            request.append(buffer, size_t(got));
            const size_t end = request.find("\r\n\r\n");
            if (want == std::string::npos && end != std::string::npos) {
                size_t length = 0;
                for (const char* key : {"Content-Length: ", "content-length: "}) {
                    const size_t at = request.find(key);
                    if (at != std::string::npos && at < end)
                        length = std::stoul(request.substr(at + std::string(key).size()));
                }
                want = end + 4 + length;
                if (request.find("Expect: 100-continue") < end) {
                    const char go[] = "HTTP/1.1 100 Continue\r\n\r\n";
                    (void)!::write(client, go, sizeof go - 1);
                }
            }
        }
        std::string body;
        if (request.rfind("POST", 0) == 0) {
            std::lock_guard<std::mutex> hold(Mutex);
            Posted.push_back(request);
            body = "OK";
        } else {
            ++GetCount;
            body = Config;
        }
        const std::string answer = "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nContent-Length: "
                                   + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        (void)!::write(client, answer.data(), answer.size());
        ::shutdown(client, SHUT_WR);
        ::close(client);
    }

    std::string Config;
    int Fd = -1;
    std::atomic<bool> Quit{false};
    std::atomic<int> GetCount{0};
    mutable std::mutex Mutex;
    std::vector<std::string> Posted;
    std::thread Thread;
};
