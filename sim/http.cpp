// Web server of the simulated devices: GET/POST setup.xml, POST /upload, Basic credentials,
// configured failures, slow transfers and broken answers.
#include "http.h"

#include <arpa/inet.h>
#include <linux/filter.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "httpparse.h"

namespace sim {

using nlohmann::json;

namespace {

std::atomic<int> g_connections{0};

Ip4 FromSockaddr(const sockaddr_in& address) {
    const uint32_t host = ntohl(address.sin_addr.s_addr);
    return {uint8_t(host >> 24), uint8_t(host >> 16), uint8_t(host >> 8), uint8_t(host)};
}

const char* Reason(int status) {
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return status >= 500 ? "Server Error" : "Client Error";
    }
}

std::string Page(const std::string& heading, const std::string& text = "") {
    return "<html><head><title>" + heading + "</title></head><body><h1>" + heading + "</h1>" +
           (text.empty() ? "" : "<p>" + text + "</p>") + "</body></html>\n";
}

// A request that reached a device: the events "http_open" (its head has been read) and
// "http_close" (written just before the last byte of its answer goes out, or when the connection
// ends without an answer) let a test count the transfers running at once. Each such span lies
// within the client's own request, so the count never exceeds what the client ran at once.
class OpenRequest {
public:
    OpenRequest(Simulator& sim, const json& event) : sim_(sim) {
        mark_["device"] = event["device"];
        mark_["from"] = event["from"];
        mark_["method"] = event["method"];
        mark_["path"] = event["path"];
        Write("http_open");
    }
    ~OpenRequest() { Close(); }
    OpenRequest(const OpenRequest&) = delete;
    OpenRequest& operator=(const OpenRequest&) = delete;
    void Close() {
        if (closed_) return;
        closed_ = true;
        Write("http_close");
    }

private:
    void Write(const char* name) {
        json line = mark_;
        line["event"] = name;
        sim_.EventLog().Write(std::move(line));
        sim_.EventLog().Flush();
    }
    Simulator& sim_;
    json mark_;
    bool closed_ = false;
};

class Connection {
public:
    Connection(int fd, Simulator& sim) : fd_(fd), sim_(sim) {}
    ~Connection() { close(fd_); }
    void Serve();

private:
    bool ReadMore();  // false on end of stream, error or time-out
    bool WriteAll(const std::string& data, int bytesPerSecond);
    void Respond(int status, const std::string& body, const std::string& contentType = "text/html",
                 const std::string& extraHeaders = "");
    bool ReadBody(const HttpHead& head, std::string& body, int& failStatus);
    void Finish(json& event, int status);
    void Drop(json& event, const char* why);
    // The answer to a request that succeeded, as the device's `answer` setting makes it.
    void Succeed(json& event, const std::string& body, const std::string& contentType = "text/html");
    void CloseAfterHead(json& event);
    void Stream(json& event);
    void DripHead(json& event);
    void Vanish(json& event, int ms);

    int fd_;
    Simulator& sim_;
    std::string input_;
    int slowBps_ = 0;
    size_t vanishAfter_ = 0;  // while a body is read: the device reads no more past this many bytes
    bool vanished_ = false;   // it stopped there
    HttpAnswer answer_ = HttpAnswer::Normal;
    OpenRequest* open_ = nullptr;  // the request being answered, once it reached a device
};

bool Connection::ReadMore() {
    char buffer[16384];
    size_t want = sizeof buffer;
    if (slowBps_ > 0) want = std::min<size_t>(want, std::max(1, slowBps_ / 10));
    if (vanishAfter_ > 0) {
        if (input_.size() >= vanishAfter_) {
            vanished_ = true;
            return false;
        }
        want = std::min(want, vanishAfter_ - input_.size());
    }
    const ssize_t received = recv(fd_, buffer, want, 0);
    if (received <= 0) return false;
    input_.append(buffer, size_t(received));
    if (slowBps_ > 0) std::this_thread::sleep_for(std::chrono::microseconds(int64_t(received) * 1000000 / slowBps_));
    return true;
}

bool Connection::WriteAll(const std::string& data, int bytesPerSecond) {
    size_t sent = 0;
    while (sent < data.size()) {
        size_t piece = data.size() - sent;
        if (bytesPerSecond > 0) {
            // Each piece waits for its share of time first, so that even a short answer is slow.
            piece = std::min<size_t>(piece, std::max(1, bytesPerSecond / 10));
            std::this_thread::sleep_for(std::chrono::microseconds(int64_t(piece) * 1000000 / bytesPerSecond));
        }
        const ssize_t written = send(fd_, data.data() + sent, piece, MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        sent += size_t(written);
    }
    return true;
}

void Connection::Respond(int status, const std::string& body, const std::string& contentType,
                         const std::string& extraHeaders) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
    head += "Server: pyxet-sim\r\n";
    if (status != 204)  // an answer without content has neither type nor length
        head += "Content-Type: " + contentType + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    head += extraHeaders + "Connection: close\r\n\r\n";
    // The last byte goes out after the request is marked closed.
    const std::string& last = body.empty() ? head : body;
    bool written = body.empty() || WriteAll(head, 0);
    if (written) written = WriteAll(last.substr(0, last.size() - 1), body.empty() ? 0 : slowBps_);
    if (open_) open_->Close();
    if (written) WriteAll(last.substr(last.size() - 1), 0);
    // Let the client read the answer before the socket goes away.
    shutdown(fd_, SHUT_WR);
    pollfd pfd{fd_, POLLIN, 0};
    char sink[4096];
    for (int i = 0; i < 20 && poll(&pfd, 1, 100) > 0; ++i)
        if (recv(fd_, sink, sizeof sink, 0) <= 0) break;
}

bool Connection::ReadBody(const HttpHead& head, std::string& body, int& failStatus) {
    const auto te = head.headers.find("transfer-encoding");
    if (te != head.headers.end() && te->second.find("chunked") != std::string::npos) {
        for (;;) {
            size_t consumed = 0;
            const ChunkedStatus status = DecodeChunked(input_, body, consumed);
            if (status == ChunkedStatus::Complete) return true;
            if (status == ChunkedStatus::Broken || input_.size() > kMaxBodyBytes + 65536) {
                failStatus = 400;
                return false;
            }
            if (!ReadMore()) {
                failStatus = 0;
                return false;
            }
        }
    }
    const auto cl = head.headers.find("content-length");
    if (cl == head.headers.end()) {
        body.clear();
        return true;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long length = std::strtoull(cl->second.c_str(), &end, 10);
    if (cl->second.empty() || *end != '\0' || errno != 0 || cl->second[0] == '-') {
        failStatus = 400;
        return false;
    }
    if (length > kMaxBodyBytes) {
        failStatus = 413;
        return false;
    }
    while (input_.size() < length)
        if (!ReadMore()) {
            failStatus = 0;
            return false;
        }
    body = input_.substr(0, size_t(length));
    return true;
}

void Connection::Finish(json& event, int status) {
    event["status"] = status;
    sim_.EventLog().Write(event);
    sim_.EventLog().Flush();
}

void Connection::Drop(json& event, const char* why) {
    event["status"] = nullptr;
    event["outcome"] = why;
    sim_.EventLog().Write(event);
    sim_.EventLog().Flush();
    // Reset rather than close politely, as a device that gives up on the request.
    linger hard{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}

void Connection::Succeed(json& event, const std::string& body, const std::string& contentType) {
    if (answer_ != HttpAnswer::Normal) event["answer"] = HttpAnswerName(answer_);
    switch (answer_) {
    case HttpAnswer::Normal:
    case HttpAnswer::Close:  // (closed before)
        Finish(event, 200);
        Respond(200, body, contentType);
        return;
    case HttpAnswer::Empty:
        Finish(event, 200);
        Respond(200, "", contentType);
        return;
    case HttpAnswer::NoContent:
        Finish(event, 204);
        Respond(204, "");
        return;
    case HttpAnswer::Partial: {
        const size_t half = body.size() / 2;
        Finish(event, 206);
        Respond(206, body.substr(0, half), contentType,
                "Content-Range: bytes 0-" + std::to_string(half > 0 ? half - 1 : 0) + "/" +
                    std::to_string(body.size()) + "\r\n");
        return;
    }
    case HttpAnswer::Endless:
        Finish(event, 200);
        Stream(event);
        return;
    case HttpAnswer::Drip:
        Finish(event, 200);
        DripHead(event);
        return;
    }
}

// A device that gives up on a request once it has read its head: it shuts the connection both
// ways, so its end goes out first and any more of the body is answered with a reset: a client
// still sending meets a broken pipe. The socket is closed once the client has gone (or after 2 s).
void Connection::CloseAfterHead(json& event) {
    event["status"] = nullptr;
    event["outcome"] = "closed after the head";
    sim_.EventLog().Write(event);
    sim_.EventLog().Flush();
    if (open_) open_->Close();
    shutdown(fd_, SHUT_RDWR);
    for (int i = 0; i < 20; ++i) {
        pollfd pfd{fd_, POLLRDHUP, 0};
        if (poll(&pfd, 1, 100) > 0 && (pfd.revents & (POLLRDHUP | POLLHUP | POLLERR))) break;
    }
}

// 200 and a body without length or end, written as fast as the client takes it, until it goes.
void Connection::Stream(json& event) {
    (void)event;
    const std::string head =
        "HTTP/1.1 200 OK\r\nServer: pyxet-sim\r\nContent-Type: text/xml\r\nConnection: close\r\n\r\n";
    std::string filler = "<setup>";
    filler.resize(65536, 'x');
    if (open_) open_->Close();
    if (!WriteAll(head, 0)) return;
    while (WriteAll(filler, 0)) {
    }
}

// A device that goes away in the middle of a request's body (its power cut, its cable pulled): it
// has read no more since vanish_after bytes and keeps its window closed for `ms`, answering the
// client's window probes, then answers no packet at all. The connection is kept, silent, until
// the simulator ends: closing it would send what a device that went away never sends.
void Connection::Vanish(json& event, int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    // A socket filter that passes nothing: the kernel drops every packet of the connection before
    // TCP sees it, so no acknowledgement and no window goes back.
    sock_filter nothing[] = {{BPF_RET | BPF_K, 0, 0, 0}};
    sock_fprog program{1, nothing};
    setsockopt(fd_, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
    event["status"] = nullptr;
    event["outcome"] = "went away";
    event["request_bytes"] = input_.size();
    sim_.EventLog().Write(event);
    sim_.EventLog().Flush();
    if (open_) open_->Close();
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

// The head of a 200, one byte every 100 ms, header after header without end, until the client goes.
void Connection::DripHead(json& event) {
    (void)event;
    std::string head = "HTTP/1.1 200 OK\r\nServer: pyxet-sim\r\n";
    if (open_) open_->Close();
    for (size_t i = 0;; ++i) {
        if (i == head.size()) head += "X-Drip: " + std::to_string(i) + "\r\n";
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!WriteAll(head.substr(i, 1), 0)) return;
    }
}

void Connection::Serve() {
    timeval timeout{10, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in local{}, peer{};
    socklen_t length = sizeof local;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
    length = sizeof peer;
    getpeername(fd_, reinterpret_cast<sockaddr*>(&peer), &length);
    const int index = sim_.DeviceAt(FromSockaddr(local));

    json event;
    event["event"] = "http";
    event["device"] = nullptr;
    event["from"] = IpText(FromSockaddr(peer)) + ":" + std::to_string(ntohs(peer.sin_port));

    // The head, up to the blank line.
    size_t headEnd;
    while ((headEnd = input_.find("\r\n\r\n")) == std::string::npos) {
        if (input_.size() > kMaxHeadBytes) {
            event["outcome"] = "head too long";
            Finish(event, 431);
            Respond(431, Page("Request Header Fields Too Large"));
            return;
        }
        if (!ReadMore()) return;  // the client went away before a request
    }
    std::string why;
    const auto head = ParseHttpHead(input_.substr(0, headEnd), why);
    input_.erase(0, headEnd + 4);
    if (!head) {
        event["outcome"] = why;
        Finish(event, 400);
        Respond(400, Page("Bad Request"));
        return;
    }
    event["method"] = head->method;
    event["path"] = head->path;
    if (index < 0) {
        Finish(event, 404);
        Respond(404, Page("Not Found", "No device at this address."));
        return;
    }

    // Configuration is fixed after start; the setup and the file change under the lock.
    const DeviceConfig& config = sim_.At(size_t(index)).config;
    event["device"] = MacText(config.mac);
    // The request is open from here until its answer's last byte goes out (or the connection
    // ends without one): see OpenRequest.
    OpenRequest openRequest(sim_, event);
    open_ = &openRequest;
    slowBps_ = config.http.slow_bps;
    // A body that came in with the head was read before the device was known: it is paced now,
    // so that a slow device is as slow however the client's bytes happened to arrive.
    if (slowBps_ > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(int64_t(input_.size()) * 1000000 / slowBps_));
    if (config.http.receive_buffer > 0) {
        // From here on the device's kernel holds no more than this of a body it has not read.
        const int size = config.http.receive_buffer;
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    answer_ = config.http.answer;
    bool restarting;
    {
        std::lock_guard lock(sim_.Mutex());
        const Device& device = sim_.At(size_t(index));
        restarting = device.restarting && device.restartUntil > Clock::now();
    }
    if (restarting) {
        Finish(event, 503);
        Respond(503, Page("Service Unavailable", "The device is restarting."));
        return;
    }
    if (answer_ == HttpAnswer::Close) {
        CloseAfterHead(event);
        return;
    }

    const bool isPost = head->method == "POST";
    const bool expectContinue = [&] {
        const auto expect = head->headers.find("expect");
        return expect != head->headers.end() && expect->second == "100-continue";
    }();
    const bool getSetup = head->method == "GET" && head->path == "/setup.xml";
    if ((isPost || (getSetup && config.http.get_login)) && config.http.NeedsLogin()) {
        const auto header = head->headers.find("authorization");
        const auto given = header == head->headers.end() ? std::nullopt : ParseBasicAuth(header->second);
        const bool ok = given && given->first == config.http.user && given->second == config.http.password;
        event["auth"] = ok ? "ok" : header == head->headers.end() ? "missing" : "wrong";
        if (!ok) {
            if (config.http.refuse_by_drop) {
                Drop(event, "connection dropped: no valid credentials");
                return;
            }
            // Without an announced body, read it first so that the answer is not lost in a reset.
            std::string ignored;
            int failStatus = 0;
            if (!expectContinue) ReadBody(*head, ignored, failStatus);
            Finish(event, 401);
            Respond(401, Page("Unauthorized"), "text/html", "WWW-Authenticate: Basic realm=\"device\"\r\n");
            return;
        }
    }
    if (expectContinue && isPost) WriteAll("HTTP/1.1 100 Continue\r\n\r\n", 0);

    std::string body;
    int failStatus = 0;
    vanishAfter_ = size_t(config.http.vanish_after);
    const bool read = ReadBody(*head, body, failStatus);
    vanishAfter_ = 0;
    // Whether a body reached the device whole or was cut short (its client or the device went
    // away in the middle), and how much of it was read.
    if (vanished_) {
        if (isPost) event["body"] = "cut short";
        Vanish(event, config.http.vanish_ms);
        return;
    }
    if (!read) {
        if (failStatus == 0) {
            event["outcome"] = "client went away";
            if (isPost) {
                event["body"] = "cut short";
                event["request_bytes"] = input_.size();
            }
            Finish(event, 0);
            return;
        }
        Finish(event, failStatus);
        Respond(failStatus, Page(Reason(failStatus)));
        return;
    }
    event["request_bytes"] = body.size();
    if (isPost) event["body"] = "whole";
    // A device busy with what it was sent (flashing an image) answers late, or never; the
    // connection stays open meanwhile.
    if (config.http.answer_ms > 0) {
        const auto until = Clock::now() + std::chrono::milliseconds(config.http.answer_ms);
        while (Clock::now() < until) {
            pollfd pfd{fd_, POLLRDHUP, 0};
            if (poll(&pfd, 1, 100) > 0 && (pfd.revents & (POLLRDHUP | POLLHUP | POLLERR))) {
                event["outcome"] = "client went away";
                Finish(event, 0);
                return;
            }
        }
    }

    if (config.http.status != 0) {
        Finish(event, config.http.status);
        Respond(config.http.status, Page(Reason(config.http.status)));
        return;
    }

    const std::string& path = head->path;
    if (head->method == "GET" && (path == "/" || path == "/index.html")) {
        std::string name;
        {
            std::lock_guard lock(sim_.Mutex());
            name = sim_.At(size_t(index)).setup.name;
        }
        Succeed(event, Page(config.family == Family::Hwg ? "HWG device" : "Orvex device",
                            "Simulated device " + MacText(config.mac) + ", type " + std::to_string(config.type) + "."));
        return;
    }
    if (path == "/setup.xml" && head->method == "GET") {
        const std::string xml = sim_.ServeSetupXml(size_t(index));
        event["bytes"] = xml.size();
        Succeed(event, xml, "text/xml");
        return;
    }
    if ((path == "/setup.xml" || path == "/upload") && isPost) {
        const auto contentType = head->headers.find("content-type");
        const auto parts =
            ParseMultipart(contentType == head->headers.end() ? "" : contentType->second, body, why);
        const FormPart* file = nullptr;
        if (parts)
            for (const FormPart& part : *parts)
                if (part.name == "filename") {
                    file = &part;
                    break;
                }
        if (!file) {
            event["outcome"] = parts ? "no part named filename" : why;
            Finish(event, 400);
            Respond(400, Page("Bad Request", "Send one file part named filename."));
            return;
        }
        event["file_name"] = file->fileName;
        event["bytes"] = file->data.size();
        char crc[9];
        std::snprintf(crc, sizeof crc, "%08X", Crc32(file->data));
        event["crc32"] = crc;
        if (path == "/setup.xml") {
            const std::string taken = sim_.StoreSetupXml(size_t(index), file->data);
            event["outcome"] = taken == "network" ? "configuration stored: network values taken"
                               : taken == "name" ? "configuration stored: name taken"
                                                 : "configuration stored";
            Succeed(event, Page("Configuration saved"));
            return;
        }
        // A device whose flash fails once it has the whole image.
        if (config.http.upload_fails) {
            event["outcome"] = "upload failed";
            event["image"] = "failed";
            Finish(event, 500);
            Respond(500, Page(config.http.heading.value_or("Upload failed"), "The image was not accepted."));
            return;
        }
        if (file->data.empty()) {
            event["outcome"] = "empty image";
            Finish(event, 400);
            Respond(400, Page(config.http.heading.value_or("Upload failed"), "The image is empty."));
            return;
        }
        // A device that refuses the image (or steps aside) answers as if it took it, restarts and
        // keeps its revision.
        if (config.step_aside || config.http.keep_revision) {
            sim_.RefuseFirmware(size_t(index));
            event["outcome"] = config.step_aside ? "image not taken: stepped aside" : "image not taken: revision kept";
            event["image"] = "refused";
            event["firmware"] = nullptr;
            Succeed(event, Page(config.http.heading.value_or("Upload OK"), std::to_string(file->data.size()) + " bytes written."));
            return;
        }
        // An image of the simulator's own form restarts the device into it: silent from now on
        // for its restart time (the answer below still goes out), then reporting its revision.
        std::vector<std::string> changed;
        const std::string revision = sim_.AcceptFirmware(size_t(index), file->data, changed);
        event["outcome"] = "firmware accepted";
        event["image"] = "taken";
        event["firmware"] = revision.empty() ? json(nullptr) : json(revision);
        if (!changed.empty()) event["config_changed"] = changed;
        Succeed(event, Page(config.http.heading.value_or("Upload OK"), std::to_string(file->data.size()) + " bytes written."));
        return;
    }
    const bool known = path == "/setup.xml" || path == "/upload" || path == "/";
    const int status = known ? 405 : 404;
    Finish(event, status);
    Respond(status, Page(Reason(status)));
}

}  // namespace

bool HttpService::Open(uint16_t port, std::string& error) {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int on = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listenFd_, 128) != 0) {
        error = "web server on TCP port " + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void HttpService::Run() {
    for (;;) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE || errno == ENFILE) {
                if (errno == EMFILE || errno == ENFILE) std::this_thread::sleep_for(std::chrono::milliseconds(50));
                continue;
            }
            return;
        }
        if (g_connections >= kMaxConnections) {
            close(fd);
            continue;
        }
        ++g_connections;
        std::thread([fd, this] {
            {
                Connection connection(fd, sim_);
                connection.Serve();
            }
            --g_connections;
        }).detach();
    }
}

}  // namespace sim
