// The unicast search: its plan (pace, attached subnets) and a real sweep inside the test's
// private network namespace, to loopback addresses where two sockets play the devices' ports.
#include "coreapp.h"
#include "core/discovery/sweep.h"

#include "core/protocols/hwg/packets.h"
#include "core/protocols/orvex/packets.h"
#include "core/protocols/hwg/family.h"
#include "core/protocols/orvex/family.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <set>

namespace {

TNetInterface Nic(const char* name, const char* address, int prefix, const char* broadcast)
{
    TNetInterface nic;
    nic.Name = name;
    nic.Address = *ParseAddress(address);
    nic.PrefixLength = prefix;
    nic.Broadcast = *ParseAddress(broadcast);
    nic.Up = nic.CanBroadcast = true;
    return nic;
}

std::vector<uint32_t> Range(const char* first, uint32_t count)
{
    std::vector<uint32_t> addresses;
    for (uint32_t i = 0; i < count; ++i)
        addresses.push_back(*ParseAddress(first) + i);
    return addresses;
}

} // namespace

TEST(SweepPlan, RoutedFastOnLinkSlowLargeOnLinkByBroadcast)
{
    const std::vector<TNetInterface> pc = {Nic("eth0", "192.168.1.20", 24, "192.168.1.255"),
                                           Nic("eth1", "10.78.0.1", 16, "10.78.255.255")};
    // Routed: 500 us each, so 65,536 take 32.8 s.
    const std::vector<TSweepStep> routed = PlanSweep(Range("10.90.0.0", 65536), pc);
    ASSERT_EQ(routed.size(), 65536u);
    EXPECT_EQ(routed.front().CostMicros, 500);
    EXPECT_NEAR(SweepSeconds(routed), 32.768, 1e-9);
    // A few on-link addresses: unicast, 250 a second.
    const std::vector<TSweepStep> few = PlanSweep(Range("192.168.1.1", 10), pc);
    ASSERT_EQ(few.size(), 10u);
    EXPECT_EQ(few[3].Address, *ParseAddress("192.168.1.4"));
    EXPECT_EQ(few[3].CostMicros, 4000);
    // Many on-link addresses: the subnet's broadcast once, where the first of them stood.
    std::vector<uint32_t> mixed = {*ParseAddress("10.90.0.1")};
    for (uint32_t a : Range("10.78.1.0", 300))
        mixed.push_back(a);
    mixed.push_back(*ParseAddress("10.91.0.1"));
    const std::vector<TSweepStep> steps = PlanSweep(mixed, pc);
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(AddressText(steps[0].Address), "10.90.0.1");
    EXPECT_EQ(AddressText(steps[1].Address), "10.78.255.255");
    EXPECT_EQ(AddressText(steps[2].Address), "10.91.0.1");
    // 256 on-link addresses are still asked one by one.
    EXPECT_EQ(PlanSweep(Range("10.78.1.0", 256), pc).size(), 256u);
}

TEST(Sweep, EveryAddressGetsBothRequestsAtThePaceAndAnswersReachTheirFamily)
{
    EnsureApp();
    // The "devices": every loopback address is local, so one socket per family port hears all.
    QUdpSocket orvexPort, hwgPort;
    ASSERT_TRUE(orvexPort.bind(QHostAddress::AnyIPv4, Orvex::kPort));
    ASSERT_TRUE(hwgPort.bind(QHostAddress::AnyIPv4, Hwg::kPort));
    std::multiset<std::string> orvexFrom, hwgFrom;
    int orvexAnswers = 0, hwgAnswers = 0;
    auto drain = [](QUdpSocket& socket, std::multiset<std::string>& into, size_t expectedSize) {
        while (socket.hasPendingDatagrams()) {
            QByteArray data(int(socket.pendingDatagramSize()), 0);
            QHostAddress from;
            quint16 port = 0;
            socket.readDatagram(data.data(), data.size(), &from, &port);
            if (size_t(data.size()) != expectedSize)
                continue;
            into.insert(std::to_string(port));
            // Answer the first one, as a device would (sender port = the family's port).
            if (into.size() == 1)
                socket.writeDatagram(QByteArray("answer"), from, port);
        }
    };
    QObject::connect(&orvexPort, &QUdpSocket::readyRead, [&] { drain(orvexPort, orvexFrom, 114); });
    QObject::connect(&hwgPort, &QUdpSocket::readyRead, [&] { drain(hwgPort, hwgFrom, 48); });

    TUnicastSweep sweep;
    sweep.Families = {{&OrvexFamily(), [&](TUDPServer*, const uint8_t*, size_t size, const std::string&, uint16_t port) {
        orvexAnswers += size == 6 && port == Orvex::kPort;
    }},
                      {&HwgFamily(), [&](TUDPServer*, const uint8_t*, size_t size, const std::string&, uint16_t port) {
        hwgAnswers += size == 6 && port == Hwg::kPort;
    }}};
    bool finished = false;
    int lastDone = -1, lastTotal = -1;
    QObject::connect(&sweep, &TUnicastSweep::Finished, [&] { finished = true; });
    QObject::connect(&sweep, &TUnicastSweep::Progress, [&](int done, int total) {
        lastDone = done;
        lastTotal = total;
    });
    const uint32_t count = 400;  // 0.2 s at 2,000 a second
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(sweep.Start(PlanSweep(Range("127.0.1.1", count), {}), 1));
    while (!finished && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const qint64 took = clock.elapsed();
    ASSERT_TRUE(finished);
    EXPECT_GE(took, 190) << "400 addresses at 2,000 a second cannot go faster";
    EXPECT_LT(took, 1500);
    EXPECT_EQ(lastDone, int(count));
    EXPECT_EQ(lastTotal, int(count));
    EXPECT_EQ(sweep.DatagramsSent(), 2 * int64_t(count));
    QElapsedTimer settle;
    settle.start();
    while ((orvexFrom.size() < count || hwgFrom.size() < count || !orvexAnswers || !hwgAnswers)
           && settle.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(orvexFrom.size(), count);
    EXPECT_EQ(hwgFrom.size(), count);
    EXPECT_EQ(orvexAnswers, 1);
    EXPECT_EQ(hwgAnswers, 1);
}

TEST(Sweep, RepeatedPassesAndStop)
{
    EnsureApp();
    TUnicastSweep sweep;
    bool finished = false;
    QObject::connect(&sweep, &TUnicastSweep::Finished, [&] { finished = true; });
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(sweep.Start(PlanSweep(Range("127.0.2.1", 3), {}), 3));
    while (!finished && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_TRUE(finished);
    EXPECT_GE(clock.elapsed(), 490) << "three passes, 250 ms apart";
    EXPECT_EQ(sweep.DatagramsSent(), 18);
    EXPECT_EQ(sweep.Total(), 9);

    finished = false;
    ASSERT_TRUE(sweep.Start(PlanSweep(Range("127.0.3.0", 4000), {}), 1));
    clock.restart();
    while (clock.elapsed() < 100)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    sweep.Stop();
    const int64_t sent = sweep.DatagramsSent();
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, 2 * 4000);
    clock.restart();
    while (clock.elapsed() < 100)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(sweep.DatagramsSent(), sent) << "nothing more after Stop";
    EXPECT_FALSE(finished);
}

TEST(Sweep, AnswersFromAnyPortReachTheFamilyThatAsked)
{
    EnsureApp();
    // Devices that answer from a port of their own choosing, both families from the same one: only
    // the address and port each answer goes to tells its family.
    QUdpSocket orvexPort, hwgPort, answerPort;
    ASSERT_TRUE(orvexPort.bind(QHostAddress::AnyIPv4, Orvex::kPort));
    ASSERT_TRUE(hwgPort.bind(QHostAddress::AnyIPv4, Hwg::kPort));
    ASSERT_TRUE(answerPort.bind(QHostAddress::AnyIPv4, 0));
    auto answer = [&answerPort](QUdpSocket& socket, const QByteArray& text) {
        while (socket.hasPendingDatagrams()) {
            QByteArray data(int(socket.pendingDatagramSize()), 0);
            QHostAddress from;
            quint16 port = 0;
            socket.readDatagram(data.data(), data.size(), &from, &port);
            answerPort.writeDatagram(text, from, port);
        }
    };
    QObject::connect(&orvexPort, &QUdpSocket::readyRead, [&] { answer(orvexPort, "orvex!"); });
    QObject::connect(&hwgPort, &QUdpSocket::readyRead, [&] { answer(hwgPort, "hwg"); });

    TUnicastSweep sweep;
    std::vector<std::string> orvexAnswers, hwgAnswers;
    std::set<uint16_t> ports;
    sweep.Families = {{&OrvexFamily(), [&](TUDPServer*, const uint8_t* data, size_t size, const std::string&, uint16_t port) {
        orvexAnswers.emplace_back(reinterpret_cast<const char*>(data), size);
        ports.insert(port);
    }},
                      {&HwgFamily(), [&](TUDPServer*, const uint8_t* data, size_t size, const std::string&, uint16_t port) {
        hwgAnswers.emplace_back(reinterpret_cast<const char*>(data), size);
        ports.insert(port);
    }}};
    ASSERT_TRUE(sweep.Start(PlanSweep(Range("127.0.4.1", 2), {}), 1));
    QElapsedTimer clock;
    clock.start();
    while ((orvexAnswers.size() < 2 || hwgAnswers.size() < 2) && clock.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(orvexAnswers, (std::vector<std::string>{"orvex!", "orvex!"}));
    EXPECT_EQ(hwgAnswers, (std::vector<std::string>{"hwg", "hwg"}));
    EXPECT_EQ(ports, std::set<uint16_t>{answerPort.localPort()});
}
