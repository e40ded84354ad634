// TUDPServer: a QUdpSocket living on the GUI thread. Its readyRead runs in the main event loop,
// so every datagram reaches the handler on the GUI thread, one at a time and in order.
#include "core/devices/udpserver.h"

#include <QHostAddress>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace {

// A whole site answering one broadcast within a millisecond or two: the kernel charges about
// 832 bytes of buffer per queued datagram whatever its size, so the default (about 200 KiB)
// holds only some 250 answers. 4 MiB (the kernel doubles it) holds several thousand.
constexpr int kWantedReceiveBuffer = 4 * 1024 * 1024;

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
    connect(Socket, &QUdpSocket::readyRead, this, &TUDPServer::ReadPending);
}

TUDPServer::~TUDPServer()
{
    // Socket is a child of this object; closing first stops any further readyRead.
    Socket->close();
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

void TUDPServer::ReadPending()
{
    // readyRead comes once for everything queued; read it all now, or the rest waits for a
    // datagram that may never come. One byte more than the buffer tells an over-long datagram.
    std::array<uint8_t, kReceiveBufferSize + 1> buffer;
    while (Socket->hasPendingDatagrams()) {
        QHostAddress sender;
        quint16 senderPort = 0;
        const qint64 size = Socket->readDatagram(reinterpret_cast<char*>(buffer.data()),
                                                 static_cast<qint64>(buffer.size()), &sender, &senderPort);
        if (size < 0)
            break;  // that datagram is lost; the socket notifier brings us back for the rest
        if (static_cast<size_t>(size) > kReceiveBufferSize || !OnRead)
            continue;
        // The handler may install another handler while it runs (a command replacing the
        // discovery parser); keep the running one alive until it returns.
        const TReadHandler handler = OnRead;
        handler(this, buffer.data(), static_cast<size_t>(size), sender.toString().toStdString(), senderPort);
    }
}
