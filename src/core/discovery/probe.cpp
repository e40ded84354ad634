#include "core/discovery/probe.h"

#include "core/app/i18n.h"
#include "core/log/format.h"
#include "core/log/safetext.h"
#include "core/protocols/hwg/packets.h"
#include "core/protocols/orvex/packets.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <limits>
#include <thread>

namespace {

// One family's UDP socket: bound to an ephemeral port of every local address, closed with it.
class TProbeSocket {
public:
    TProbeSocket()
    {
        Fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_addr.s_addr = htonl(INADDR_ANY);
        if (Fd >= 0 && ::bind(Fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
            ::close(Fd);
            Fd = -1;
        }
    }
    ~TProbeSocket()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
    TProbeSocket(const TProbeSocket&) = delete;
    TProbeSocket& operator=(const TProbeSocket&) = delete;

    int Fd = -1;
};

} // namespace

std::optional<std::string> AskFirmwareRevision(const std::string& host, int waitMs)
{
    // Sockets of its own rather than TUDPServers: this waits on the calling thread, which may be
    // one of several transfer threads without an event loop, and only this device's answers must
    // reach them. A device answers to the port the request came from, but from any port it
    // likes: each family asks from a socket of its own, and the socket an answer reaches tells
    // its family.
    in_addr address{};
    if (::inet_pton(AF_INET, host.c_str(), &address) != 1)
        return std::nullopt;
    TProbeSocket orvexSocket, hwgSocket;
    if (orvexSocket.Fd < 0 || hwgSocket.Fd < 0)
        return std::nullopt;
    const auto send = [&address](const TProbeSocket& socket, uint16_t port, const uint8_t* data, size_t size) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr = address;
        while (::sendto(socket.Fd, data, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0
               && errno == EINTR) {
        }
    };
    const std::vector<uint8_t> orvex = BuildOrvexInfoRequest();
    send(orvexSocket, Orvex::kPort, orvex.data(), orvex.size());
    send(hwgSocket, Hwg::kPort, Hwg::kInfoRequest.data(), Hwg::kInfoRequest.size());

    QElapsedTimer timer;
    timer.start();
    std::array<uint8_t, 8192> buffer;
    // The revision of the first answer from host that its family decodes, read from socket.
    const auto read = [&](const TProbeSocket& socket, bool hwg) -> std::optional<std::string> {
        for (;;) {
            sockaddr_in sender{};
            socklen_t senderSize = sizeof sender;
            const ssize_t size = ::recvfrom(socket.Fd, buffer.data(), buffer.size(), 0,
                                            reinterpret_cast<sockaddr*>(&sender), &senderSize);
            if (size < 0) {
                if (errno == EINTR)
                    continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK)
                    return std::nullopt;
                continue;  // an error reported for the request (ICMP): read on
            }
            if (size == 0 || sender.sin_addr.s_addr != address.s_addr)
                continue;
            std::unique_ptr<TProduct> device;
            if (hwg)
                device = DecodeHwgInfoAnswer(buffer.data(), size_t(size), host);
            else
                device = DecodeOrvexInfoAnswer(buffer.data(), size_t(size), host);
            if (device)
                return device->Info.FirmwareRev;
        }
    };
    for (;;) {
        if (std::optional<std::string> revision = read(orvexSocket, false))
            return revision;
        if (std::optional<std::string> revision = read(hwgSocket, true))
            return revision;
        const qint64 left = waitMs - timer.elapsed();
        if (left <= 0)
            return std::nullopt;
        pollfd watched[2] = {{orvexSocket.Fd, POLLIN, 0}, {hwgSocket.Fd, POLLIN, 0}};
        if (::poll(watched, 2, int(left)) < 0 && errno != EINTR)
            return std::nullopt;
    }
}

TUpgradeCheck VerifyUpgrade(const std::optional<std::string>& before, int seconds,
                            const std::function<std::optional<std::string>(int ms)>& ask,
                            const std::function<int64_t()>& now, const std::function<void(int ms)>& sleep)
{
    TUpgradeCheck check;
    check.Before = before;
    const auto fail = [&check](std::string reason) {
        check.Reason = std::move(reason);
        check.Error = Format(_("not verified: %s"), check.Reason.c_str());
        return check;
    };
    if (!before)
        return fail(_("the device did not answer discovery before the upgrade"));
    const int64_t deadline = now() + int64_t(seconds) * 1000;
    bool wentSilent = false;
    for (;;) {
        const int64_t sent = now();
        if (sent >= deadline)
            break;
        const int wait = int(std::min<int64_t>(kVerifyPollSeconds * 1000, deadline - sent));
        const std::optional<std::string> revision = ask(wait);
        if (!revision) {
            wentSilent = true;
        } else {
            check.After = revision;
            if (*revision != *before) {
                check.Verified = true;
                return check;
            }
            if (wentSilent)
                break;  // restarted, and came back as it was
        }
        const int64_t next = sent + kVerifyPollSeconds * 1000;
        const int64_t pause = std::min(next, deadline) - now();
        if (pause > 0)
            sleep(int(pause));
    }
    if (check.After)
        return fail(Format(_("the firmware revision is still %s"), SafeText(*check.After).c_str()));
    return fail(Format(_("no answer to discovery within %d s"), seconds));
}

namespace {
// Whether waiting here must keep the application's event loop turning.
bool OnApplicationThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

int64_t SteadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

std::optional<std::string> AskFirmwareRevisionTurning(const std::string& host, int waitMs)
{
    if (!OnApplicationThread())
        return AskFirmwareRevision(host, waitMs);
    std::optional<std::string> revision;
    QEventLoop loop;
    QObject waker;
    std::thread asker([&] {
        revision = AskFirmwareRevision(host, waitMs);
        QMetaObject::invokeMethod(
            &waker, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    asker.join();
    return revision;
}

void WaitTurning(int ms, const std::function<bool()>& stop)
{
    constexpr int kLookMs = 50;
    const int64_t end = SteadyMs() + ms;
    if (!OnApplicationThread()) {
        for (int64_t left = ms; left > 0 && !(stop && stop()); left = end - SteadyMs())
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(kLookMs, left)));
        return;
    }
    if (stop && stop())
        return;
    QEventLoop loop;
    QTimer look;
    look.setInterval(kLookMs);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (SteadyMs() >= end || (stop && stop()))
            loop.quit();
    });
    look.start();
    QTimer::singleShot(std::max(0, ms), &loop, [&loop] { loop.quit(); });
    loop.exec();
}

TUpgradeCheck VerifyUpgradedDevice(const std::string& host, const std::optional<std::string>& before, int seconds,
                                   const std::function<bool()>& stop)
{
    return VerifyUpgrade(
        before, seconds, [&host](int ms) { return AskFirmwareRevisionTurning(host, ms); },
        [&stop] { return stop && stop() ? std::numeric_limits<int64_t>::max() / 2 : SteadyMs(); },
        [&stop](int ms) { WaitTurning(ms, stop); });
}
