// The program's only door to UDP: one socket bound to 0.0.0.0 on a port the system chooses,
// broadcasts allowed, every received datagram handed to one replaceable handler on the GUI thread.
#pragma once
#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

class QUdpSocket;

class TUDPServer : public QObject {
    Q_OBJECT
public:
    using TReadHandler = std::function<void(TUDPServer* endpoint, const uint8_t* data, size_t size,
                                            const std::string& peerIP, uint16_t peerPort)>;
    static constexpr size_t kReceiveBufferSize = 8192;  // a longer datagram is dropped

    TUDPServer();
    ~TUDPServer() override;

    // Replaces the read handler; the next datagram goes to the new one. Empty drops datagrams.
    TReadHandler OnRead;

    // Sends one datagram to 255.255.255.255:port from this endpoint's socket.
    // Returns false (and says why in *error when given) when the send fails.
    bool SendBroadcast(uint16_t port, const uint8_t* buffer, size_t size, std::string* error = nullptr);
    // The same to any IPv4 address (dotted text): a directed broadcast or one device's address.
    bool SendTo(const std::string& address, uint16_t port, const uint8_t* buffer, size_t size,
                std::string* error = nullptr);
    // One datagram to address (host order) without waiting: 0 when the whole datagram went,
    // else the errno of the send (EAGAIN/EWOULDBLOCK: the send buffer is full, try again later).
    int TrySend(uint32_t address, uint16_t port, const uint8_t* buffer, size_t size);

    bool IsOpen() const;
    std::string OpenError() const;   // why the socket could not be opened, "" when it is open
    uint16_t LocalPort() const;
    int ReceiveBufferBytes() const;  // what the kernel granted

private:
    void ReadPending();
    QUdpSocket* Socket = nullptr;
    std::string Error;
};
