// TUDPServer: a QUdpSocket on the GUI thread sends; a receiving thread reads its descriptor and
// queues what arrives; the GUI thread hands each datagram to the handler, one at a time and in
// order.
#include "core/devices/udpserver.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QMetaObject>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <system_error>

namespace {

// A whole site answering one broadcast within a millisecond or two: the kernel charges about
// 832 bytes of buffer per queued datagram whatever its size, so the default (about 200 KiB)
// holds only some 250 answers. 4 MiB (the kernel doubles it) holds several thousand.
constexpr int kWantedReceiveBuffer = 4 * 1024 * 1024;

// How long one pass of the event loop hands queued datagrams to the handler (milliseconds).
constexpr qint64 kDeliverySliceMs = 10;

// Raises the socket's receive buffer. Must run after bind: before it, Qt has no socket yet and
// silently forgets the option. SO_RCVBUFFORCE passes net.core.rmem_max where the process may
// (CAP_NET_ADMIN); otherwise SO_RCVBUF gives as much as rmem_max allows.
void EnlargeReceiveBuffer(qintptr fd)
{
    const int wanted = kWantedReceiveBuffer;
#ifdef SO_RCVBUFFORCE
    if (::setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_RCVBUFFORCE, &wanted, sizeof wanted) == 0)
        return;
#endif
    ::setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted);
}

}  // namespace

TUDPServer::TUDPServer()
    : Socket(new QUdpSocket(this))
{
    if (!Socket->bind(QHostAddress(QHostAddress::AnyIPv4), 0)) {
        Error = Socket->errorString().toStdString();
        if (Error.empty())
            Error = "cannot open a UDP socket";
        return;
    }
    const qintptr fd = Socket->socketDescriptor();
    const int on = 1;
    if (::setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        Error = std::string("cannot allow broadcasts: ") + std::strerror(errno);
        Socket->close();
        return;
    }
    EnlargeReceiveBuffer(fd);
    WakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (WakeFd < 0) {
        Error = std::string("cannot start receiving: ") + std::strerror(errno);
        Socket->close();
        return;
    }
    // Nobody reads through the QUdpSocket: Qt only looks (without reading) once whether a
    // datagram waits, then leaves the descriptor to the receiving thread.
    try {
        Receiver = std::thread(&TUDPServer::ReceiveLoop, this, static_cast<int>(fd), WakeFd);
    } catch (const std::system_error& e) {
        Error = std::string("cannot start receiving: ") + e.what();
        ::close(WakeFd);
        WakeFd = -1;
        Socket->close();
    }
}

TUDPServer::~TUDPServer()
{
    StopReceiving();
    // Socket is a child of this object; it is closed once nothing reads it any more.
    Socket->close();
}

void TUDPServer::StopReceiving()
{
    if (Receiver.joinable()) {
        const uint64_t one = 1;
        while (::write(WakeFd, &one, sizeof one) < 0 && errno == EINTR) {
        }
        Receiver.join();
    }
    if (WakeFd >= 0)
        ::close(WakeFd);
    WakeFd = -1;
}

bool TUDPServer::IsOpen() const
{
    return Socket->state() == QAbstractSocket::BoundState;
}

std::string TUDPServer::OpenError() const
{
    return IsOpen() ? std::string() : Error;
}

uint16_t TUDPServer::LocalPort() const
{
    return IsOpen() ? Socket->localPort() : 0;
}

int TUDPServer::ReceiveBufferBytes() const
{
    if (!IsOpen())
        return 0;
    int granted = 0;
    socklen_t len = sizeof granted;
    if (::getsockopt(static_cast<int>(Socket->socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &granted, &len) != 0)
        return 0;
    return granted;
}

bool TUDPServer::SendBroadcast(uint16_t port, const uint8_t* buffer, size_t size, std::string* error)
{
    return SendTo("255.255.255.255", port, buffer, size, error);
}

int TUDPServer::TrySend(uint32_t address, uint16_t port, const uint8_t* buffer, size_t size)
{
    if (!IsOpen())
        return EBADF;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    const auto fd = static_cast<int>(Socket->socketDescriptor());
    for (;;) {
        const ssize_t sent = ::sendto(fd, buffer, size, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (sent >= 0)
            return static_cast<size_t>(sent) == size ? 0 : EMSGSIZE;
        if (errno != EINTR)
            return errno;
    }
}

bool TUDPServer::SendTo(const std::string& address, uint16_t port, const uint8_t* buffer, size_t size,
                        std::string* error)
{
    auto fail = [error](std::string why) {
        if (error)
            *error = std::move(why);
        return false;
    };
    if (!IsOpen())
        return fail("the UDP socket is not open: " + Error);
    const qint64 sent = Socket->writeDatagram(reinterpret_cast<const char*>(buffer), static_cast<qint64>(size),
                                              QHostAddress(QString::fromStdString(address)), port);
    if (sent < 0)
        return fail(Socket->errorString().toStdString());
    if (static_cast<size_t>(sent) != size)
        return fail("the datagram was sent only in part");
    return true;
}

void TUDPServer::ReceiveLoop(int fd, int wake)
{
    // One byte more than the largest datagram delivered tells an over-long one.
    constexpr unsigned kBatch = 64;
    constexpr size_t kSlot = kReceiveBufferSize + 1;
    const std::unique_ptr<uint8_t[]> buffers(new uint8_t[kBatch * kSlot]);
    std::array<mmsghdr, kBatch> messages{};
    std::array<iovec, kBatch> slices{};
    std::array<sockaddr_in, kBatch> senders{};
    pollfd watched[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};

    for (;;) {
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (watched[1].revents != 0)
            return;  // the endpoint is going away
        for (;;) {
            for (unsigned i = 0; i < kBatch; ++i) {
                slices[i] = {buffers.get() + i * kSlot, kSlot};
                messages[i].msg_hdr = {};
                messages[i].msg_hdr.msg_name = &senders[i];
                messages[i].msg_hdr.msg_namelen = sizeof senders[i];
                messages[i].msg_hdr.msg_iov = &slices[i];
                messages[i].msg_hdr.msg_iovlen = 1;
                messages[i].msg_len = 0;
            }
            const int got = ::recvmmsg(fd, messages.data(), kBatch, MSG_DONTWAIT, nullptr);
            if (got < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK)
                    break;  // all read: wait again
                if (errno == EBADF || errno == ENOTSOCK || errno == EFAULT || errno == EINVAL)
                    return;
                continue;  // an error reported for an earlier send (ICMP): that report is read now
            }
            bool wakeGuiThread = false;
            {
                const std::lock_guard<std::mutex> lock(QueueLock);
                for (int i = 0; i < got; ++i) {
                    const mmsghdr& m = messages[size_t(i)];
                    if (m.msg_len > kReceiveBufferSize || (m.msg_hdr.msg_flags & MSG_TRUNC) != 0)
                        continue;  // longer than the buffer: dropped
                    if (Queue.size() >= kMaxQueuedDatagrams || QueuedBytes + m.msg_len > kMaxQueuedBytes)
                        continue;
                    char address[INET_ADDRSTRLEN] = {};
                    ::inet_ntop(AF_INET, &senders[size_t(i)].sin_addr, address, sizeof address);
                    const uint8_t* data = buffers.get() + size_t(i) * kSlot;
                    Queue.push_back({std::vector<uint8_t>(data, data + m.msg_len), address,
                                     ntohs(senders[size_t(i)].sin_port)});
                    QueuedBytes += m.msg_len;
                }
                if (!Queue.empty() && !DeliveryPosted) {
                    DeliveryPosted = true;
                    wakeGuiThread = true;
                }
            }
            if (wakeGuiThread)
                QMetaObject::invokeMethod(this, [this] { DeliverQueued(); }, Qt::QueuedConnection);
            if (got < int(kBatch))
                break;
        }
    }
}

void TUDPServer::DeliverQueued()
{
    // One datagram at a time from the shared queue. While a handler runs (even one that waits in
    // an event loop of its own, a message box) no further delivery is asked for, so the next
    // datagrams wait their turn and come in order when it has returned. A site's burst of
    // answers is handed over a slice of time at a time: the rest wait for another pass of the
    // event loop, so the window keeps drawing and its timers keep running meanwhile.
    QElapsedTimer slice;
    slice.start();
    for (;;) {
        TDatagram datagram;
        {
            const std::lock_guard<std::mutex> lock(QueueLock);
            if (Queue.empty()) {
                DeliveryPosted = false;
                return;
            }
            if (slice.elapsed() >= kDeliverySliceMs) {
                QMetaObject::invokeMethod(this, [this] { DeliverQueued(); }, Qt::QueuedConnection);
                return;
            }
            datagram = std::move(Queue.front());
            Queue.pop_front();
            QueuedBytes -= datagram.Bytes.size();
        }
        if (!OnRead)
            continue;  // no handler: dropped
        // The handler may install another handler while it runs (a command replacing the
        // discovery parser); keep the running one alive until it returns.
        const TReadHandler handler = OnRead;
        // A handler that throws leaves the rest of the queue to another delivery.
        struct TResume {
            TUDPServer* Endpoint;
            int Unwinding = std::uncaught_exceptions();
            ~TResume()
            {
                if (std::uncaught_exceptions() > Unwinding)
                    QMetaObject::invokeMethod(Endpoint, [e = Endpoint] { e->DeliverQueued(); }, Qt::QueuedConnection);
            }
        } resume{this};
        static const uint8_t kNothing = 0;  // a datagram of 0 bytes still has a readable start
        const uint8_t* data = datagram.Bytes.empty() ? &kNothing : datagram.Bytes.data();
        handler(this, data, datagram.Bytes.size(), datagram.PeerIP, datagram.PeerPort);
    }
}
