// The UDP endpoint, exercised for real inside the test's private network namespace: broadcasts
// sent to an endpoint's own port come back to it through the kernel's local copy.
#include "coreapp.h"
#include "core/devices/udpserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// Runs the event loop until done() holds or two seconds pass.
bool Pump(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Gives datagrams that should NOT arrive a fair chance to do so.
void Settle()
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

struct TReceived {
    std::vector<uint8_t> Data;
    std::string PeerIP;
    uint16_t PeerPort = 0;
    int Handler = 0;
};

TUDPServer::TReadHandler Recorder(std::vector<TReceived>& into, int handlerId = 1)
{
    return [&into, handlerId](TUDPServer*, const uint8_t* data, size_t size, const std::string& ip, uint16_t port) {
        into.push_back({std::vector<uint8_t>(data, data + size), ip, port, handlerId});
    };
}

bool Send(TUDPServer& from, uint16_t port, const std::vector<uint8_t>& bytes)
{
    std::string error;
    const bool ok = from.SendBroadcast(port, bytes.data(), bytes.size(), &error);
    EXPECT_TRUE(ok) << error;
    return ok;
}

class UdpServer : public ::testing::Test {
protected:
    void SetUp() override { EnsureApp(); }
};

}  // namespace

TEST_F(UdpServer, TwoEndpointsHaveTheirOwnPortsAndHandlers)
{
    TUDPServer orvex, hwg;
    ASSERT_TRUE(orvex.IsOpen()) << orvex.OpenError();
    ASSERT_TRUE(hwg.IsOpen()) << hwg.OpenError();
    EXPECT_EQ(orvex.OpenError(), "");
    EXPECT_NE(orvex.LocalPort(), 0);
    EXPECT_NE(orvex.LocalPort(), hwg.LocalPort());

    std::vector<TReceived> atOrvex, atHwg;
    orvex.OnRead = Recorder(atOrvex);
    hwg.OnRead = Recorder(atHwg);
    const std::vector<uint8_t> answer = {0x00, 0x0A, 0x14, 0xFF, 0x80};
    Send(orvex, hwg.LocalPort(), answer);
    ASSERT_TRUE(Pump([&] { return !atHwg.empty(); }));
    Settle();

    ASSERT_EQ(atHwg.size(), 1u);
    EXPECT_TRUE(atOrvex.empty());
    EXPECT_EQ(atHwg[0].Data, answer);
    EXPECT_EQ(atHwg[0].PeerPort, orvex.LocalPort());
    // Plain dotted IPv4, never the "::ffff:" form of a dual-stack socket.
    EXPECT_EQ(atHwg[0].PeerIP, "10.77.0.1");
}

TEST_F(UdpServer, DatagramsOfUnusualSizes)
{
    TUDPServer sender, receiver;
    std::vector<TReceived> got;
    receiver.OnRead = Recorder(got);
    const std::vector<uint8_t> full(TUDPServer::kReceiveBufferSize, 0x5A);
    std::vector<uint8_t> tooLong(TUDPServer::kReceiveBufferSize + 1, 0xA5);

    Send(sender, receiver.LocalPort(), {});        // empty: delivered with length 0
    Send(sender, receiver.LocalPort(), tooLong);   // one byte over the buffer: dropped
    Send(sender, receiver.LocalPort(), full);      // exactly the buffer: delivered whole
    ASSERT_TRUE(Pump([&] { return got.size() >= 2; }));
    Settle();

    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[0].Data.empty());
    EXPECT_EQ(got[1].Data, full);
}

TEST_F(UdpServer, HandlerChangesTakeEffectAtTheNextDatagram)
{
    TUDPServer sender, receiver;
    std::vector<TReceived> got;

    Send(sender, receiver.LocalPort(), {1});  // no handler yet: dropped without effect
    Settle();

    // The first handler installs the second one while it runs, as a command does when it
    // replaces the discovery parser.
    auto record2 = Recorder(got, 2);
    receiver.OnRead = [&](TUDPServer* endpoint, const uint8_t* data, size_t size, const std::string& ip,
                          uint16_t port) {
        endpoint->OnRead = record2;
        got.push_back({std::vector<uint8_t>(data, data + size), ip, port, 1});
    };
    Send(sender, receiver.LocalPort(), {2});
    Send(sender, receiver.LocalPort(), {3});
    ASSERT_TRUE(Pump([&] { return got.size() >= 2; }));
    Settle();

    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].Data, std::vector<uint8_t>{2});
    EXPECT_EQ(got[0].Handler, 1);
    EXPECT_EQ(got[1].Data, std::vector<uint8_t>{3});
    EXPECT_EQ(got[1].Handler, 2);
}

TEST_F(UdpServer, HandlerThatRunsTheEventLoopIsNotReentered)
{
    // A handler may wait in a nested event loop (a message box); the next datagrams wait in the
    // socket until it returns, then come in order.
    TUDPServer sender, receiver;
    std::vector<uint8_t> order;
    int depth = 0, deepest = 0;
    receiver.OnRead = [&](TUDPServer*, const uint8_t* data, size_t, const std::string&, uint16_t) {
        deepest = std::max(deepest, ++depth);
        order.push_back(data[0]);
        if (data[0] == 1)
            Settle();
        --depth;
    };
    for (uint8_t i = 1; i <= 3; ++i)
        Send(sender, receiver.LocalPort(), {i});
    ASSERT_TRUE(Pump([&] { return order.size() >= 3; }));
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(order, (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(UdpServer, BurstIsDeliveredWholeAndInOrder)
{
    TUDPServer sender, receiver;
    std::vector<TReceived> got;
    receiver.OnRead = Recorder(got);
    // Sent before the event loop runs, so they all queue in the socket like a burst of answers:
    // about 832 bytes of receive buffer each, far more than the kernel's default holds.
    const int count = 2000;
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> answer(114, 0);
        answer[0] = static_cast<uint8_t>(i >> 8);
        answer[1] = static_cast<uint8_t>(i);
        Send(sender, receiver.LocalPort(), answer);
    }
    ASSERT_TRUE(Pump([&] { return got.size() >= count; }));
    for (int i = 0; i < count; ++i)
        ASSERT_EQ((got[i].Data[0] << 8) | got[i].Data[1], i);
}

TEST_F(UdpServer, BurstIsHandedOverASliceOfTimePerPass)
{
    // A burst that takes the handler far longer than a slice (30 datagrams of 2 ms each): the
    // pass of the event loop that takes the first ones returns before the last, which come in
    // the next passes, in order.
    TUDPServer sender, receiver;
    std::vector<TReceived> got;
    const TUDPServer::TReadHandler record = Recorder(got);
    receiver.OnRead = [&](TUDPServer* endpoint, const uint8_t* data, size_t size, const std::string& ip, uint16_t port) {
        record(endpoint, data, size, ip, port);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    const int count = 30;
    for (int i = 0; i < count; ++i)
        Send(sender, receiver.LocalPort(), {static_cast<uint8_t>(i)});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the receiving thread queues them
    QElapsedTimer timer;
    timer.start();
    while (got.empty() && timer.elapsed() < 2000)
        QCoreApplication::processEvents();  // one pass
    ASSERT_FALSE(got.empty());
    EXPECT_LT(got.size(), size_t(count));
    ASSERT_TRUE(Pump([&] { return got.size() >= count; }));
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(got[size_t(i)].Data[0], i);
}

TEST_F(UdpServer, BurstLargerThanTheReceiveBufferArrivesWhole)
{
    // Three times what the largest receive buffer the kernel grants holds (about 10,000 queued
    // datagrams), all sent while the GUI thread is busy sending: only a reader that does not
    // wait for the GUI thread gets them all. The short pauses leave it its share of the CPU.
    TUDPServer sender, receiver;
    std::vector<TReceived> got;
    receiver.OnRead = Recorder(got);
    const int count = 30000;
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> answer(114, 0);
        answer[0] = static_cast<uint8_t>(i >> 8);
        answer[1] = static_cast<uint8_t>(i);
        Send(sender, receiver.LocalPort(), answer);
        if (i % 250 == 249)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(Pump([&] { return got.size() >= count; })) << got.size() << " of " << count;
    for (int i = 0; i < count; ++i)
        ASSERT_EQ((got[i].Data[0] << 8) | got[i].Data[1], i & 0xFFFF);
}

TEST_F(UdpServer, SocketThatCannotBeOpenedSaysWhy)
{
    // Allow no further file descriptor, so the socket cannot be created.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int probe = open("/dev/null", O_RDONLY);
    ASSERT_GE(probe, 0);
    close(probe);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(probe);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    auto server = std::make_unique<TUDPServer>();
    setrlimit(RLIMIT_NOFILE, &saved);

    EXPECT_FALSE(server->IsOpen());
    EXPECT_NE(server->OpenError(), "");
    EXPECT_EQ(server->ReceiveBufferBytes(), 0);
    std::string error;
    const uint8_t byte = 0;
    EXPECT_FALSE(server->SendBroadcast(9999, &byte, 1, &error));
    EXPECT_NE(error, "");
}
