// HWG device commands: the stored answer rewritten field by field, signed with the TEA MAC,
// 48 bytes always; the factory-default bit never left behind for a later update.
#include "coreapp.h"
#include "core/protocols/hwg/commands.h"
#include "core/protocols/hwg/packets.h"
#include "core/protocols/hwg/product.h"
#include "core/protocols/hwg/tea.h"

#include "core/devices/udpserver.h"
#include "logcapture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A device's answer: header, a recognisable pattern in the bytes nobody interprets, a name item
// that makes it longer than 48 bytes, signed.
Bytes StoredAnswer(uint8_t flags = 0x08)
{
    Bytes answer(48, 0);
    const Bytes mac = {0x00, 0x0A, 0x59, 0x01, 0x02, 0x03};
    std::copy(mac.begin(), mac.end(), answer.begin());
    const Bytes header = {192, 168, 1, 50, 255, 255, 255, 0};
    std::copy(header.begin(), header.end(), answer.begin() + 6);
    for (size_t at : {14, 15, 16, 17, 18, 19, 20, 21, 29, 32, 33, 34, 35, 36, 37, 38, 39})
        answer[at] = static_cast<uint8_t>(0xA0 + at);
    answer[22] = 0x35;
    answer[23] = 0x1A;
    const Bytes gateway = {192, 168, 1, 1};
    std::copy(gateway.begin(), gateway.end(), answer.begin() + 24);
    answer[28] = flags;
    answer[30] = 0x00;
    answer[31] = 0x50;
    for (uint8_t b : Bytes{2, 5, 'H', 'a', 'l', 'l', 0, 0xFF})
        answer.push_back(b);
    HwgSignPacket(answer.data(), answer.size());
    return answer;
}

TProductInfo DeviceSetup(const std::string& ip, const std::string& mask, const std::string& gateway, int16_t dhcp,
                   int16_t httpPort)
{
    TProductInfo info;
    info.MAC = "00:0A:59:01:02:03";
    info.Name = "Hall";
    info.IP = ip;
    info.Mask = mask;
    info.Gateway = gateway;
    info.Dhcp = dhcp;
    info.HTTPPort = httpPort;
    info.TelnetPort = 23;
    return info;
}

// Bytes the commands never write: the MAC address, revision and type, the uninterpreted ones.
void ExpectUntouched(const Bytes& command, const Bytes& answer)
{
    for (size_t at : {0, 1, 2, 3, 4, 5, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 29, 32, 33, 34, 35, 36, 37, 38, 39})
        EXPECT_EQ(command[at], answer[at]) << "byte " << at;
}

TEST(HwgUpdateCommand, RewritesTheSetupFieldsAndSignsAgain)
{
    Bytes stored = StoredAnswer();
    const Bytes original = stored;
    const Bytes command = BuildHwgUpdateCommand(stored, DeviceSetup("10.77.128.9", "255.255.0.0", "10.77.0.254", 0, 8080));
    ASSERT_EQ(command.size(), 48u) << "the item list never goes back";
    EXPECT_EQ(Bytes(command.begin() + 6, command.begin() + 14), (Bytes{10, 77, 128, 9, 255, 255, 0, 0}));
    EXPECT_EQ(Bytes(command.begin() + 24, command.begin() + 28), (Bytes{10, 77, 0, 254}));
    EXPECT_EQ(command[28], 0x08) << "DHCP bit cleared, the other bits kept";
    EXPECT_EQ(Bytes(command.begin() + 30, command.begin() + 32), (Bytes{0x1F, 0x90})) << "big-endian port";
    ExpectUntouched(command, original);
    EXPECT_TRUE(HwgVerifyPacket(command.data(), command.size()));

    // The MAC is the TEA CBC-MAC of bytes 0-39 under the device key, computed afresh.
    Bytes resigned = command;
    std::fill(resigned.begin() + 40, resigned.end(), 0);
    HwgSignPacket(resigned.data(), resigned.size());
    EXPECT_EQ(resigned, command);
    EXPECT_NE(Bytes(command.begin() + 40, command.end()), Bytes(original.begin() + 40, original.begin() + 48));

    // The stored answer carries the rewrite: a later command starts from it.
    EXPECT_EQ(Bytes(stored.begin(), stored.begin() + 48), command);
    EXPECT_EQ(stored.size(), original.size());
}

TEST(HwgUpdateCommand, ValueEdges)
{
    struct Case {
        TProductInfo Info;
        size_t At;
        Bytes Expected;
        const char* Reason;
    };
    const Case cases[] = {
        {DeviceSetup("192.168.1.50", "255.255.255.0", "192.168.1.1", -1, 80), 28, {0x18}, "no DHCP setting (-1) counts as on"},
        {DeviceSetup("192.168.1.50", "255.255.255.0", "192.168.1.1", 1, 80), 28, {0x18}, "on"},
        {DeviceSetup("192.168.1.50", "255.255.255.0", "192.168.1.1", 0, -1), 30, {0xFF, 0xFF}, "port -1"},
        {DeviceSetup("192.168.1.256", "255.255.255.0", "192.168.1.1", 0, 80), 6, {0xFF, 0xFF, 0xFF, 0xFF}, "256 does not parse"},
        {DeviceSetup("192.168.001.010", "255.255.255.0", "192.168.1.1", 0, 80), 6, {192, 168, 1, 10}, "leading zeros"},
    };
    for (const Case& c : cases) {
        Bytes stored = StoredAnswer(0x18);
        const Bytes command = BuildHwgUpdateCommand(stored, c.Info);
        EXPECT_EQ(Bytes(command.begin() + c.At, command.begin() + c.At + c.Expected.size()), c.Expected) << c.Reason;
        EXPECT_TRUE(HwgVerifyPacket(command.data(), command.size())) << c.Reason;
    }
    Bytes tooShort(47, 0);
    EXPECT_TRUE(BuildHwgUpdateCommand(tooShort, DeviceSetup("1.2.3.4", "", "", 0, 80)).empty());
    EXPECT_TRUE(BuildHwgFactoryDefaultCommand(tooShort).empty());
}

TEST(HwgFactoryDefaultCommand, SetsBitFiveWithoutLeavingItBehind)
{
    Bytes stored = StoredAnswer(0x18);
    const Bytes original = stored;
    const Bytes reset = BuildHwgFactoryDefaultCommand(stored);
    ASSERT_EQ(reset.size(), 48u);
    EXPECT_EQ(reset[28], 0x38);
    ExpectUntouched(reset, original);
    EXPECT_TRUE(HwgVerifyPacket(reset.data(), reset.size()));
    EXPECT_EQ(stored, original) << "the stored answer keeps no factory-default request";

    // An update from the same device object afterwards must not reset the device again.
    const Bytes update = BuildHwgUpdateCommand(stored, DeviceSetup("192.168.1.50", "255.255.255.0", "192.168.1.1", 1, 80));
    EXPECT_EQ(update[28] & 0x20, 0);
    // Nor one from an answer that somehow carried the bit.
    Bytes flagged = StoredAnswer(0x28);
    EXPECT_EQ(BuildHwgUpdateCommand(flagged, DeviceSetup("192.168.1.50", "255.255.255.0", "192.168.1.1", 0, 80))[28], 0x08);
}

TEST(TProductHwg, WhatTheCommandCarries)
{
    TProductHwg device;
    device.Info.Dhcp = 0;
    const TSentFields sent = device.SentFields(1);
    EXPECT_FALSE(sent[TSetupField::Name] || sent[TSetupField::DNS1] || sent[TSetupField::DNS2] || sent[TSetupField::TelnetPort]);
    EXPECT_TRUE(sent[TSetupField::IP] && sent[TSetupField::Mask] && sent[TSetupField::Gateway] && sent[TSetupField::Dhcp] && sent[TSetupField::HTTPPort]);
    device.Info.Dhcp = -1;
    EXPECT_FALSE(device.SentFields(1)[TSetupField::Dhcp]) << "a device without a DHCP setting ignores the bit";

    // An empty address would go out as 255.255.255.255: the family cannot send one.
    EXPECT_FALSE(device.SendsEmptyAddressAsZero());
}

// Receives what is broadcast to the HWG port inside the test's network namespace.
TEST(TProductHwg, CommandsBroadcast48SignedBytesAndRestartNothing)
{
    EnsureApp();
    TLogCapture log;
    QUdpSocket listener;
    ASSERT_TRUE(listener.bind(QHostAddress::AnyIPv4, Hwg::kPort, QUdpSocket::ShareAddress));
    TUDPServer server;
    TProductHwg device;
    device.AnswerPacket = StoredAnswer(0x18);
    device.Info = DeviceSetup("10.77.128.9", "255.255.0.0", "10.77.0.254", 1, 80);
    device.UdpServer = &server;

    device.Restart();
    device.FactoryDefault();
    device.Update();
    std::vector<Bytes> got;
    QElapsedTimer timer;
    timer.start();
    while (got.size() < 2 && timer.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        while (listener.hasPendingDatagrams()) {
            Bytes data(static_cast<size_t>(listener.pendingDatagramSize()));
            listener.readDatagram(reinterpret_cast<char*>(data.data()), static_cast<qint64>(data.size()));
            got.push_back(data);
        }
    }
    ASSERT_EQ(got.size(), 2u) << "restart sends nothing";
    EXPECT_EQ(got[0].size(), 48u);
    EXPECT_EQ(got[0][28], 0x38);
    EXPECT_EQ(got[1].size(), 48u);
    EXPECT_EQ(got[1][28], 0x18);
    EXPECT_EQ(Bytes(got[1].begin() + 6, got[1].begin() + 10), (Bytes{10, 77, 128, 9}));
    for (const Bytes& command : got)
        EXPECT_TRUE(HwgVerifyPacket(command.data(), command.size()));
    ASSERT_EQ(log.Lines().size(), 2u) << "restart logs nothing";
    EXPECT_EQ(log.Message(0), "->> Sending HWG UDP Default to 255.255.255.255");
    EXPECT_EQ(log.Message(1), "->> Sending HWG UDP Update to 255.255.255.255");
    EXPECT_EQ(log.Captions, (std::vector<std::string>{"Default Packet Send", "Update Packet Send"}));
}

} // namespace
