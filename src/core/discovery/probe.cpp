#include "core/discovery/probe.h"

#include "core/app/i18n.h"
#include "core/devices/netinterfaces.h"
#include "core/devices/product.h"
#include "core/devices/utils.h"
#include "core/log/format.h"
#include "core/log/safetext.h"
#include "core/devices/family.h"
#include "core/discovery/families.h"

#include <QElapsedTimer>

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
#include <memory>
#include <thread>
#include <vector>

namespace {

// A socket's receive buffer: a broadcast asks every unit on the subnet, and the one answer that
// counts must not be dropped in the burst of the others (the system's default holds about 256).
constexpr int kProbeReceiveBuffer = 4 * 1024 * 1024;

// One family's UDP socket: bound to an ephemeral port of every local address, allowed to
// broadcast, closed with it.
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
        if (Fd >= 0) {
            const int on = 1;
            ::setsockopt(Fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
            // After bind: a size asked for before it may be lost. A smaller buffer still works.
            ::setsockopt(Fd, SOL_SOCKET, SO_RCVBUF, &kProbeReceiveBuffer, sizeof kProbeReceiveBuffer);
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

TRevisionTarget RevisionTarget(const std::string& host, const std::string& mac, const std::string& family,
                               const std::string& commandAddress)
{
    TRevisionTarget target;
    target.Host = host;
    target.Broadcast = commandAddress;
    if (target.Broadcast.empty())
        if (const std::optional<uint32_t> peer = ParseAddress(host))
            target.Broadcast =
                AddressText(CommandAddress(ListNetInterfaces(), DefaultRouteInterface(), *peer, true));
    if (FindFamily(family)) {
        target.Mac = MacKeyOf(mac);
        if (target.Mac)
            target.Family = family;
    }
    return target;
}

std::optional<TRevisionAnswer> AskFirmwareRevision(const TRevisionTarget& target, int waitMs)
{
    // Sockets of its own rather than TUDPServers: this waits on the calling thread, which may be
    // one of several transfer threads without an event loop. A unit answers to the port the
    // request came from, but from any port it likes: each family asks from a socket of its own,
    // and the socket an answer reaches tells its family.
    in_addr host{};
    if (::inet_pton(AF_INET, target.Host.c_str(), &host) != 1)
        return std::nullopt;
    // The broadcast only for a unit known by its MAC: an answer from elsewhere counts for no other.
    std::vector<in_addr> addresses = {host};
    in_addr broadcast{};
    if (target.Mac && !target.Broadcast.empty() && ::inet_pton(AF_INET, target.Broadcast.c_str(), &broadcast) == 1
        && broadcast.s_addr != host.s_addr)
        addresses.push_back(broadcast);
    // One socket a family; a unit known by its MAC asks only its own family.
    std::vector<const TFamily*> asked;
    for (const TFamily* family : Families())
        if (!target.Mac || target.Family == family->Name)
            asked.push_back(family);
    std::vector<TProbeSocket> sockets(asked.size());
    for (const TProbeSocket& socket : sockets)
        if (socket.Fd < 0)
            return std::nullopt;
    // To the unit's address first; the broadcast (every unit of the network answers it) only
    // when the unit has not answered from there meanwhile: a unit that moved or restarted elsewhere.
    const auto send = [&](const in_addr& address) {
        for (size_t k = 0; k < asked.size(); ++k) {
            const std::vector<uint8_t> request = asked[k]->InfoRequest();
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(asked[k]->DiscoveryPort);
            to.sin_addr = address;
            while (::sendto(sockets[k].Fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                            sizeof to) < 0
                   && errno == EINTR) {
            }
        }
    };
    send(addresses.front());
    bool broadcastSent = addresses.size() < 2;
    const qint64 broadcastAt = std::min<qint64>(kBroadcastAfterMs, waitMs / 2);

    QElapsedTimer timer;
    timer.start();
    std::array<uint8_t, 8192> buffer;
    // The first answer on socket that its family decodes and that comes from the unit asked.
    const auto read = [&](const TProbeSocket& socket, const TFamily& family) -> std::optional<TRevisionAnswer> {
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
            // Known by its MAC: from any address. Known by its address only: from there.
            if (size == 0 || (!target.Mac && sender.sin_addr.s_addr != host.s_addr)
                || (target.Mac && target.Family != family.Name))
                continue;
            char peer[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &sender.sin_addr, peer, sizeof peer);
            const std::unique_ptr<TProduct> device = family.DecodeInfoAnswer(buffer.data(), size_t(size), peer);
            if (!device)
                continue;
            const std::optional<uint64_t> mac = MacKeyOf(device->Info.MAC);
            if (!mac || (target.Mac && *mac != *target.Mac))
                continue;  // another unit: it never answers for this one
            return TRevisionAnswer{device->Info.FirmwareRev, *mac, family.Name, peer};
        }
    };
    for (;;) {
        for (size_t k = 0; k < asked.size(); ++k)
            if (std::optional<TRevisionAnswer> answer = read(sockets[k], *asked[k]))
                return answer;
        if (!broadcastSent && timer.elapsed() >= broadcastAt) {
            send(addresses.back());
            broadcastSent = true;
        }
        const qint64 left = waitMs - timer.elapsed();
        if (left <= 0)
            return std::nullopt;
        const qint64 until = broadcastSent ? left : std::min(left, broadcastAt - timer.elapsed());
        std::vector<pollfd> watched;
        for (const TProbeSocket& socket : sockets)
            watched.push_back({socket.Fd, POLLIN, 0});
        if (::poll(watched.data(), watched.size(), int(std::max<qint64>(until, 0))) < 0 && errno != EINTR)
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
int64_t SteadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

void WaitUnlessStopped(int ms, const std::function<bool()>& stop)
{
    constexpr int kLookMs = 50;
    const int64_t end = SteadyMs() + ms;
    for (int64_t left = ms; left > 0 && !(stop && stop()); left = end - SteadyMs())
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(kLookMs, left)));
}

TUpgradeCheck VerifyUpgradedDevice(const TRevisionTarget& target, const std::optional<std::string>& before,
                                   int seconds, const std::function<bool()>& stop)
{
    return VerifyUpgrade(
        before, seconds,
        [&target](int ms) -> std::optional<std::string> {
            if (const std::optional<TRevisionAnswer> answer = AskFirmwareRevision(target, ms))
                return answer->Revision;
            return std::nullopt;
        },
        [&stop] { return stop && stop() ? std::numeric_limits<int64_t>::max() / 2 : SteadyMs(); },
        [&stop](int ms) { WaitUnlessStopped(ms, stop); });
}

std::optional<std::string> AskDeviceMac(const std::string& host, int waitMs)
{
    // Unknown by MAC and family: both families' requests go to the host alone, and the first
    // answer from there says who it is.
    TRevisionTarget target;
    target.Host = host;
    const std::optional<TRevisionAnswer> answer = AskFirmwareRevision(target, waitMs);
    if (!answer)
        return std::nullopt;
    uint8_t mac[6];
    for (int k = 0; k < 6; ++k)
        mac[k] = uint8_t(answer->Mac >> (8 * (5 - k)));
    return FormatMac(mac);
}
