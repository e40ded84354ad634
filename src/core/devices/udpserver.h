// The program's only door to UDP: one socket bound to 0.0.0.0 on a port the system chooses,
// broadcasts allowed, every received datagram handed to one replaceable handler on the GUI thread.
//
// A receiving thread of the endpoint's own only reads the socket (many datagrams per system
// call) and queues them for the GUI thread, which hands them to the handler one at a time, in
// order. A whole site answering one broadcast at once thus waits in the queue rather than in the
// kernel's receive buffer, which drops what does not fit (about 10,000 answers even at the
// largest buffer the kernel grants an ordinary process).
#pragma once
#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

    // Datagrams waiting for the GUI thread beyond these are dropped (a flood, not an answer).
    static constexpr size_t kMaxQueuedDatagrams = 200000;
    static constexpr size_t kMaxQueuedBytes = 64u << 20;

private:
    struct TDatagram {
        std::vector<uint8_t> Bytes;
        std::string PeerIP;
        uint16_t PeerPort = 0;
    };
    void ReceiveLoop(int fd, int wake);  // the receiving thread
    void DeliverQueued();                // the GUI thread
    void StopReceiving();

    QUdpSocket* Socket = nullptr;  // sends; its descriptor is read by the receiving thread
    std::string Error;
    std::thread Receiver;
    int WakeFd = -1;  // written once to end the receiving thread

    std::mutex QueueLock;  // guards the three below
    std::deque<TDatagram> Queue;
    size_t QueuedBytes = 0;
    bool DeliveryPosted = false;  // a delivery is asked for or running on the GUI thread
};
