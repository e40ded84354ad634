// Orvex device commands: the update, factory-default and restart requests byte for byte, and
// the answer handler that reports a device's answer and passes everything else on to discovery.
#include "coreapp.h"
#include "core/protocols/orvex/commands.h"
#include "core/protocols/orvex/discovery.h"
#include "core/protocols/orvex/packets.h"
#include "core/protocols/orvex/product.h"

#include "core/devices/registry.h"
#include "core/devices/udpserver.h"
#include "logcapture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const uint8_t kMac[6] = {0x00, 0x0A, 0x14, 0x1E, 0x28, 0x32};

// The device of the worked example: Hall, 192.168.1.20/24, gateway and DNS1 192.168.1.1, no
// DNS2, HTTP 80, Telnet 23.
TProductInfo Hall(int16_t dhcp)
{
    TProductInfo info;
    info.MAC = "00:0A:14:1E:28:32";
    info.Name = "Hall";
    info.IP = "192.168.1.20";
    info.Mask = "255.255.255.0";
    info.Gateway = "192.168.1.1";
    info.DNS1 = "192.168.1.1";
    info.DNS2 = "";
    info.Dhcp = dhcp;
    info.HTTPPort = 80;
    info.TelnetPort = 23;
    return info;
}

void Put(Bytes& bytes, size_t at, const Bytes& value) { std::copy(value.begin(), value.end(), bytes.begin() + at); }

TEST(OrvexUpdateRequest, StaticAddressRequestIs95Bytes)
{
    Bytes expected(95, 0);
    Put(expected, 0, {0x00, 0x0A, 0x14, 0x1E, 0x28, 0x32, 0x01, 0x00, 0x54, 0x00, 0x00});
    Put(expected, 11, {0x02, 0x00, 0x4C, 0x13, 0x21, 'H', 'a', 'l', 'l'});
    Put(expected, 49, {0x00, 0x04, 0xC0, 0xA8, 0x01, 0x14});
    Put(expected, 55, {0x01, 0x04, 0xFF, 0xFF, 0xFF, 0x00});
    Put(expected, 61, {0x02, 0x04, 0xC0, 0xA8, 0x01, 0x01});
    Put(expected, 67, {0x03, 0x04, 0xC0, 0xA8, 0x01, 0x01});
    Put(expected, 73, {0x04, 0x04, 0x00, 0x00, 0x00, 0x00});
    Put(expected, 79, {0x5F, 0x01, 0x00});
    Put(expected, 82, {0x05, 0x02, 0x50, 0x00});
    Put(expected, 86, {0x06, 0x02, 0x17, 0x00});
    Put(expected, 90, {0x04, 0x00, 0x02, 0x01, 0x00});
    EXPECT_EQ(BuildOrvexUpdateRequest(kMac, Hall(0), true), expected);

    expected[93] = 0x00;
    EXPECT_EQ(BuildOrvexUpdateRequest(kMac, Hall(0), false), expected) << "no restart: action code 0";
}

TEST(OrvexUpdateRequest, DhcpRequestIs65BytesWithoutAddresses)
{
    Bytes expected(65, 0);
    Put(expected, 0, {0x00, 0x0A, 0x14, 0x1E, 0x28, 0x32, 0x01, 0x00, 0x36, 0x00, 0x00});
    Put(expected, 11, {0x02, 0x00, 0x2E, 0x13, 0x21, 'H', 'a', 'l', 'l'});
    Put(expected, 49, {0x5F, 0x01, 0x01});
    Put(expected, 52, {0x05, 0x02, 0x50, 0x00});
    Put(expected, 56, {0x06, 0x02, 0x17, 0x00});
    Put(expected, 60, {0x04, 0x00, 0x02, 0x01, 0x00});
    EXPECT_EQ(BuildOrvexUpdateRequest(kMac, Hall(1), true), expected);

    // Any non-zero state is DHCP on and is sent as its low byte.
    const Bytes raw = BuildOrvexUpdateRequest(kMac, Hall(0x0102), false);
    ASSERT_EQ(raw.size(), 65u);
    EXPECT_EQ(raw[51], 0x02);
}

TEST(OrvexUpdateRequest, ValueEdges)
{
    TProductInfo info = Hall(0);
    info.Name = std::string(40, 'N');
    info.IP = "10.0.0.256";      // does not convert: stays zero
    info.Mask = " 255. 255.0.0";  // blanks before the numbers are fine for this conversion
    info.HTTPPort = -1;           // 65535 on the wire
    info.TelnetPort = static_cast<int16_t>(40000);
    const Bytes request = BuildOrvexUpdateRequest(kMac, info, false);
    ASSERT_EQ(request.size(), 95u);
    EXPECT_EQ(std::string(request.begin() + 16, request.begin() + 48), std::string(32, 'N')) << "only 32 bytes";
    EXPECT_EQ(request[48], 0) << "the name field ends with a zero byte";
    EXPECT_EQ(Bytes(request.begin() + 51, request.begin() + 55), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(Bytes(request.begin() + 57, request.begin() + 61), (Bytes{255, 255, 0, 0}));
    EXPECT_EQ(Bytes(request.begin() + 84, request.begin() + 86), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(Bytes(request.begin() + 88, request.begin() + 90), (Bytes{0x40, 0x9C}));
}

TEST(OrvexUpdateRequest, ALongNameIsCutAfterItsLastWholeCharacter)
{
    // 29 letters, then č ř ž (two bytes each): the 32-byte edge falls inside ř.
    const std::string start = "Kotelna u vchodu do skladu 12 ";
    ASSERT_EQ(start.size(), 30u);
    TProductInfo info = Hall(0);
    info.Name = start.substr(0, 29) + "\xC4\x8D\xC5\x99\xC5\xBE";
    for (const int16_t dhcp : {0, 1}) {
        info.Dhcp = dhcp;
        const Bytes request = BuildOrvexUpdateRequest(kMac, info, false);
        ASSERT_EQ(request.size(), dhcp ? 65u : 95u);
        Bytes name(33, 0);
        Put(name, 0, Bytes(start.begin(), start.begin() + 29));
        Put(name, 29, {0xC4, 0x8D});  // č whole; ř left out, and its first byte too
        EXPECT_EQ(Bytes(request.begin() + 16, request.begin() + 49), name) << "DHCP " << dhcp;
        EXPECT_EQ(Bytes(request.begin() + 14, request.begin() + 16), (Bytes{0x13, 0x21})) << "the field keeps its size";
        EXPECT_EQ(request[49], dhcp ? 0x5F : 0x00) << "the next sub-item where it was";
    }

    // A name of exactly 32 bytes ending in a two-byte letter goes whole.
    info.Name = start.substr(0, 30) + "\xC5\xBE";
    const Bytes whole = BuildOrvexUpdateRequest(kMac, info, false);
    EXPECT_EQ(std::string(whole.begin() + 16, whole.begin() + 48), info.Name);
    EXPECT_EQ(whole[48], 0);
}

TEST(OrvexActionRequest, FactoryDefaultAndRestartAre16Bytes)
{
    EXPECT_EQ(BuildOrvexActionRequest(kMac, Orvex::kActionFactoryDefault),
              (Bytes{0x00, 0x0A, 0x14, 0x1E, 0x28, 0x32, 0x01, 0x00, 0x05, 0x00, 0x00, 0x04, 0x00, 0x02, 0x02, 0x00}));
    EXPECT_EQ(BuildOrvexActionRequest(kMac, Orvex::kActionRestart),
              (Bytes{0x00, 0x0A, 0x14, 0x1E, 0x28, 0x32, 0x01, 0x00, 0x05, 0x00, 0x00, 0x04, 0x00, 0x02, 0x01, 0x00}));
}

TEST(TProductOrvex, UpdateCarriesTheRestartFlagOfTheMoment)
{
    // Only the name changed: no restart, action 0. A new gateway: restart, action 1.
    TProductOrvex device;
    device.Info = Hall(0);
    device.SetParameters("Hall 2", "192.168.1.20", "255.255.255.0", "192.168.1.1", "192.168.1.1", "", 0, 80, 23);
    EXPECT_FALSE(device.RestartNeeded);
    EXPECT_EQ(BuildOrvexUpdateRequest(kMac, device.Info, device.RestartNeeded)[93], 0);
    device.SetParameters("Hall 2", "192.168.1.20", "255.255.255.0", "192.168.1.254", "192.168.1.1", "", 0, 80, 23);
    EXPECT_TRUE(device.RestartNeeded);
    EXPECT_EQ(BuildOrvexUpdateRequest(kMac, device.Info, device.RestartNeeded)[93], 1);
}

TEST(TProductOrvex, WithDhcpOnTheUpdateCarriesNoAddresses)
{
    TProductOrvex device;
    const TSentFields off = device.SentFields(0);
    EXPECT_TRUE(off[TSetupField::IP] && off[TSetupField::Mask] && off[TSetupField::Gateway] && off[TSetupField::DNS1] && off[TSetupField::DNS2] && off[TSetupField::Name] && off[TSetupField::TelnetPort]);
    const TSentFields on = device.SentFields(1);
    EXPECT_FALSE(on[TSetupField::IP] || on[TSetupField::Mask] || on[TSetupField::Gateway] || on[TSetupField::DNS1] || on[TSetupField::DNS2]);
    EXPECT_TRUE(on[TSetupField::Name] && on[TSetupField::Dhcp] && on[TSetupField::HTTPPort] && on[TSetupField::TelnetPort]);
    EXPECT_FALSE(device.SentFields(65536 + 2)[TSetupField::IP]) << "the state counts in its low 16 bits, as stored";
    EXPECT_TRUE(device.SentFields(65536)[TSetupField::IP]);
    EXPECT_TRUE(device.SendsEmptyAddressAsZero()) << "an empty address text goes out as 0.0.0.0";
}

// ---- Answers ---------------------------------------------------------------------------------

// An answer from the device: the request with its MAC and an error code.
Bytes Answer(Bytes request, uint8_t errorCode = 0)
{
    request[9] = errorCode;
    return request;
}

struct TAnswerTest : ::testing::Test {
    void SetUp() override { EnsureApp(); }

    // Discovery's handler on the endpoint, filing into List.
    void StartDiscovery()
    {
        Server.OnRead = OrvexInfoHandler(
            [this](std::unique_ptr<TProduct> device) { List.AddDevice(std::move(device), Products, &Server); });
    }
    void Deliver(const Bytes& datagram, const std::string& from = "10.77.1.5")
    {
        const TUDPServer::TReadHandler handler = Server.OnRead;
        ASSERT_TRUE(handler);
        handler(&Server, datagram.data(), datagram.size(), from, 57739);
    }
    std::vector<std::string> Messages() const
    {
        std::vector<std::string> messages;
        for (size_t i = 0; i < Log.Lines().size(); ++i)
            messages.push_back(Log.Message(i));
        return messages;
    }
    bool Logged(const std::string& message) const
    {
        const auto messages = Messages();
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }

    TLogCapture Log;
    TUDPServer Server;
    TDeviceRegistry List;
    const TProductTable Products = {"1=Orvex+One"};
};

Bytes InfoAnswer(const uint8_t mac[6])
{
    Bytes answer = BuildOrvexInfoRequest();
    std::copy_n(mac, 6, answer.begin());
    answer[95] = 1;
    return answer;
}

TEST_F(TAnswerTest, EachCommandLogsItsDevicesAnswer)
{
    struct Case {
        TOrvexCommand Command;
        Bytes Request;
        uint8_t ErrorCode;
        std::vector<std::string> Captions;
        std::vector<std::string> Lines;
    };
    const Bytes update = BuildOrvexUpdateRequest(kMac, Hall(0), false);
    const Bytes dhcp = BuildOrvexUpdateRequest(kMac, Hall(1), false);
    const Case cases[] = {
        {TOrvexCommand::Update, update, 0, {"Device Reconfigured"}, {"Device Hall from 10.77.1.5 was reconfigured"}},
        {TOrvexCommand::Update, update, 7, {"Error Reconfigured", "Device Reconfigured"},
         {"Error device '00:0A:14:1E:28:32'. Error code = 7", "Device Hall from 10.77.1.5 was reconfigured"}},
        {TOrvexCommand::DhcpUpdate, dhcp, 7, {"Error Reconfigured", "Device Reconfigured"},
         {"Error device 00:0A:14:1E:28:32. Error code = 7", "Device Hall from 10.77.1.5 was reconfigured"}},
        {TOrvexCommand::FactoryDefault, BuildOrvexActionRequest(kMac, 2), 0, {"Default Factory"},
         {"Device from 10.77.1.5 was set to default factory"}},
        {TOrvexCommand::Restart, BuildOrvexActionRequest(kMac, 1), 5, {"Error Default Factory", "Restart Factory"},
         {"Error device 00:0A:14:1E:28:32. Error code = 5", "Device from 10.77.1.5 was restarted"}},
    };
    for (const Case& c : cases) {
        Log.Logger.ActionLog.clear();
        Log.Captions.clear();
        std::vector<int> codes;
        InstallOrvexAnswerHandler(Server, c.Command, kMac, [&codes](int code) { codes.push_back(code); });
        Deliver(Answer(c.Request, c.ErrorCode));
        EXPECT_EQ(Messages(), c.Lines);
        EXPECT_EQ(Log.Captions, c.Captions);
        ASSERT_EQ(Log.Lines().size(), c.Lines.size());
        EXPECT_EQ(Log.Lines().front().Level, c.ErrorCode ? LOG_ERROR : LOG_DEBUG);
        EXPECT_EQ(Log.Lines().back().Level, LOG_DEBUG);
        EXPECT_EQ(codes, std::vector<int>{c.ErrorCode});
    }
}

// The name in an update's answer is the device's text: logged on one line, written out.
TEST_F(TAnswerTest, TheAnswersNameIsLoggedWrittenOut)
{
    Bytes answer = Answer(BuildOrvexUpdateRequest(kMac, Hall(0), false));
    const std::string name = "Hall\nERROR\tx\x1B[31m\xFF";
    std::fill_n(answer.begin() + 16, 32, 0);
    std::copy(name.begin(), name.end(), answer.begin() + 16);
    InstallOrvexAnswerHandler(Server, TOrvexCommand::Update, kMac, nullptr);
    Deliver(answer);
    EXPECT_EQ(Messages(), std::vector<std::string>{
                              "Device Hall\\x0AERROR\\x09x\\x1B[31m\xEF\xBF\xBD from 10.77.1.5 was reconfigured"});
}

TEST_F(TAnswerTest, ADiscoveryAnswerAfterACommandGoesToDiscovery)
{
    StartDiscovery();
    InstallOrvexAnswerHandler(Server, TOrvexCommand::FactoryDefault, kMac, nullptr);
    const uint8_t other[6] = {0x02, 0x4F, 0x00, 0x00, 0x00, 0x07};
    Deliver(InfoAnswer(other), "10.77.1.7");
    Deliver(InfoAnswer(kMac), "10.77.1.5");  // the target itself, answering a discovery late
    EXPECT_FALSE(Logged("Device from 10.77.1.7 was set to default factory"));
    EXPECT_FALSE(Logged("Device from 10.77.1.5 was set to default factory"));
    ASSERT_EQ(List.DeviceList().size(), 2u) << "both late devices are registered as in a discovery cycle";
    EXPECT_TRUE(Logged("Found  device at 10.77.1.7"));
}

TEST_F(TAnswerTest, OtherDatagramsAreIgnoredNotReported)
{
    StartDiscovery();
    int answers = 0;
    InstallOrvexAnswerHandler(Server, TOrvexCommand::Restart, kMac, [&answers](int) { ++answers; });
    const uint8_t other[6] = {0x02, 0x4F, 0x00, 0x00, 0x00, 0x07};
    Bytes fromOther = BuildOrvexActionRequest(other, 1);  // another device's restart answer
    Deliver(fromOther, "10.77.1.7");
    Bytes cut = BuildOrvexActionRequest(kMac, 1);
    cut.resize(15);
    Deliver(cut, "10.77.1.5");  // the target, one byte short
    Deliver(BuildOrvexUpdateRequest(kMac, Hall(1), false), "10.77.1.5");  // the target, but another size
    EXPECT_EQ(answers, 0);
    EXPECT_FALSE(Logged("Device from 10.77.1.7 was restarted"));
    EXPECT_FALSE(Logged("Device from 10.77.1.5 was restarted"));
    EXPECT_TRUE(List.DeviceList().empty());
    ASSERT_EQ(Log.Lines().size(), 3u);
    for (const TLogLine& line : Log.Lines())
        EXPECT_EQ(line.Level, LOG_DEBUG);
    EXPECT_EQ(Log.Message(0), "Ignored Orvex answer of 16 bytes from 10.77.1.7");

    // The real answer is still reported.
    Deliver(BuildOrvexActionRequest(kMac, 1), "10.77.1.5");
    EXPECT_EQ(answers, 1);
    EXPECT_TRUE(Logged("Device from 10.77.1.5 was restarted"));

    // Without any discovery handler before the command, the rest is logged as ignored.
    TUDPServer bare;
    bare.OnRead = nullptr;
    InstallOrvexAnswerHandler(bare, TOrvexCommand::Restart, kMac, nullptr);
    const Bytes info = InfoAnswer(kMac);
    bare.OnRead(&bare, info.data(), info.size(), "10.77.1.5", 57739);
    EXPECT_EQ(Log.Message(Log.Lines().size() - 1), "Ignored Orvex answer of 114 bytes from 10.77.1.5");
}

TEST_F(TAnswerTest, CommandsInARowDoNotStackTheirHandlers)
{
    StartDiscovery();
    for (int i = 0; i < 3; ++i) {
        InstallOrvexAnswerHandler(Server, TOrvexCommand::Update, kMac, nullptr);
        InstallOrvexAnswerHandler(Server, TOrvexCommand::Restart, kMac, nullptr);
    }
    // A late answer to the update replaced by the restart is no longer reported.
    Deliver(BuildOrvexUpdateRequest(kMac, Hall(0), false));
    EXPECT_FALSE(Logged("Device Hall from 10.77.1.5 was reconfigured"));
    const uint8_t other[6] = {0x02, 0x4F, 0x00, 0x00, 0x00, 0x07};
    Deliver(InfoAnswer(other), "10.77.1.7");
    EXPECT_EQ(List.DeviceList().size(), 1u);
    size_t found = 0;
    for (const std::string& message : Messages())
        found += message == "Found  device at 10.77.1.7";
    EXPECT_EQ(found, 1u) << "discovery sees the answer once, not once per command";
}

// ---- The commands on the wire ----------------------------------------------------------------

// Receives what is broadcast to the Orvex port inside the test's network namespace.
struct TListener {
    QUdpSocket Socket;
    TListener() { EXPECT_TRUE(Socket.bind(QHostAddress::AnyIPv4, Orvex::kPort, QUdpSocket::ShareAddress)); }
    std::vector<Bytes> Take(size_t count)
    {
        std::vector<Bytes> got;
        QElapsedTimer timer;
        timer.start();
        while (got.size() < count && timer.elapsed() < 2000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            while (Socket.hasPendingDatagrams()) {
                Bytes data(static_cast<size_t>(Socket.pendingDatagramSize()));
                Socket.readDatagram(reinterpret_cast<char*>(data.data()), static_cast<qint64>(data.size()));
                got.push_back(data);
            }
        }
        return got;
    }
};

TEST_F(TAnswerTest, CommandsSendTheirRequestsAndLogInOrder)
{
    TListener listener;
    TProductOrvex device;
    device.Info = Hall(0);
    device.UdpServer = &Server;
    device.RestartNeeded = true;
    std::vector<int> codes;
    device.OnCommandAnswer = [&codes](int code) { codes.push_back(code); };

    device.ApplySetup();
    device.FactoryDefault();
    device.Restart();
    const std::vector<Bytes> sent = listener.Take(3);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], BuildOrvexUpdateRequest(kMac, Hall(0), true));
    EXPECT_EQ(sent[1], BuildOrvexActionRequest(kMac, 2));
    EXPECT_EQ(sent[2], BuildOrvexActionRequest(kMac, 1));
    EXPECT_FALSE(device.RestartNeeded);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"->> Sending Orvex UDP Update to 255.255.255.255",
                                                    "->> Sending Orvex UDP Default to 255.255.255.255",
                                                    "->> Sending Orvex UDP Restart to 255.255.255.255"}));
    EXPECT_EQ(Log.Captions, (std::vector<std::string>{"Update Packet Send", "Default Packet Send", "Restart Packet Send"}));

    // The device answers the restart through the endpoint: the handler the last command left.
    Bytes answer = BuildOrvexActionRequest(kMac, 1);
    answer[9] = 4;
    listener.Socket.writeDatagram(reinterpret_cast<const char*>(answer.data()), static_cast<qint64>(answer.size()),
                                  QHostAddress::LocalHost, Server.LocalPort());
    QElapsedTimer timer;
    timer.start();
    while (codes.empty() && timer.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(codes, std::vector<int>{4});
    EXPECT_TRUE(Logged("Device from 127.0.0.1 was restarted"));
}

TEST_F(TAnswerTest, ADeviceWithoutEndpointOrMacSendsNothing)
{
    TProductOrvex device;
    device.Info = Hall(0);
    device.Restart();  // no endpoint
    EXPECT_EQ(Messages().back(), "Sending to 255.255.255.255 failed: no UDP endpoint");
    EXPECT_EQ(Log.Lines().back().Level, LOG_ERROR);

    device.UdpServer = &Server;
    device.Info.MAC = "not a MAC";
    Log.Logger.ActionLog.clear();
    device.Update();
    ASSERT_EQ(Log.Lines().size(), 1u);
    EXPECT_EQ(Log.Message(0), "Nothing sent: \"not a MAC\" is not a MAC address");
    EXPECT_FALSE(Server.OnRead) << "no answer handler for a request never sent";
}

} // namespace
