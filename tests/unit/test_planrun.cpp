// Applying a plan and verifying it: the restart rule, then whole runs against devices played by
// sockets inside the test's network namespace (the family ports of every local address), which
// answer commands and info requests from a port of their own.
#include "core/setup/planrun.h"

#include "coreapp.h"
#include "logcapture.h"
#include "plandevices.h"

#include "core/devices/registry.h"
#include "core/devices/udpserver.h"
#include "core/devices/utils.h"
#include "core/discovery/export.h"
#include "core/protocols/hwg/packets.h"
#include "core/protocols/hwg/tea.h"
#include "core/protocols/orvex/commands.h"
#include "core/protocols/orvex/packets.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// ---- The restart rule -----------------------------------------------------------------------

// Records whether the restart question was asked, and answers No.
class TQuestionRecorder : public TSetupAsker {
public:
    bool Confirm(const std::string&) override
    {
        Asked = true;
        return false;
    }
    void Refuse(const std::string&) override {}
    bool Asked = false;
};

TDevicePlan PlanFor(const TProduct& device, std::vector<std::pair<TSetupField, std::string>> values)
{
    TDevicePlan d;
    d.Device = &device;
    d.Family = FamilyName(device);
    d.Before = device.CopyInfo();
    for (const auto& [field, value] : values) {
        TPlanChange& change = d.Field(field);
        change.Changed = true;
        change.Value = value;
        change.Source = TPlanSource::File;
        const TSentFields sent = device.SentFields(d.Before.Dhcp);
        change.Carried = sent[field];
    }
    return d;
}

TEST(PlanNeedsRestart, TheFamiliesOwnRuleAsApplyChangesAsksIt)
{
    TPlanLab lab;
    TProduct* orvex = lab.Orvex(Mac(1), "192.168.1.10");
    TProduct* hwg = lab.Hwg(Mac(2), "192.168.1.11");
    struct Case {
        TProduct* Device;
        std::vector<std::pair<TSetupField, std::string>> Values;
        bool Restart;
    };
    const Case cases[] = {
        {orvex, {{TSetupField::Name, "Boiler 01"}}, false},
        {orvex, {{TSetupField::HTTPPort, "8080"}, {TSetupField::TelnetPort, "2323"}}, false},
        {orvex, {{TSetupField::DNS1, "1.1.1.1"}}, false},
        {orvex, {{TSetupField::IP, "192.168.1.20"}}, true},
        {orvex, {{TSetupField::Mask, "255.255.0.0"}}, true},
        {orvex, {{TSetupField::Gateway, "192.168.1.254"}}, true},
        {orvex, {{TSetupField::Dhcp, "1"}}, true},
        {hwg, {{TSetupField::HTTPPort, "8080"}}, true},
        {hwg, {{TSetupField::IP, "192.168.1.21"}}, true},
        {hwg, {}, false},
        {hwg, {{TSetupField::Name, "not carried"}}, false},
    };
    for (const Case& c : cases) {
        const TDevicePlan d = PlanFor(*c.Device, c.Values);
        EXPECT_EQ(PlanNeedsRestart(d), c.Restart) << d.Family << " " << c.Values.size();
        // The same rule as the question "Apply Changes" asks.
        if (d.Changes()) {
            const TProductInfo saved = c.Device->CopyInfo();
            TQuestionRecorder asker;
            ApplyChanges(c.Device, d.Values(), asker);
            EXPECT_EQ(asker.Asked, c.Restart) << d.Family;
            c.Device->Info = saved;
            c.Device->RestartNeeded = false;
        }
    }
    // A restart already pending (a question answered No in the setup panel) goes with the next update.
    orvex->RestartNeeded = true;
    EXPECT_TRUE(PlanNeedsRestart(PlanFor(*orvex, {{TSetupField::Name, "Boiler 01"}})));
}

TEST(PlanVerifiedFields, NoAddressForADeviceLeftWithDhcpOn)
{
    TPlanLab lab;
    TProduct* hwg = lab.Hwg(Mac(1), "192.168.1.10");
    const TDevicePlan on = PlanFor(*hwg, {{TSetupField::IP, "192.168.1.20"}, {TSetupField::Dhcp, "1"}});
    EXPECT_EQ(on.VerifiedFields(), std::vector<TSetupField>{TSetupField::Dhcp});
    const TDevicePlan off = PlanFor(*hwg, {{TSetupField::IP, "192.168.1.20"}, {TSetupField::HTTPPort, "81"}});
    EXPECT_EQ(off.VerifiedFields(), (std::vector<TSetupField>{TSetupField::IP, TSetupField::HTTPPort}));
    TProduct* noSetting = lab.Hwg(Mac(2), "192.168.1.11", -1);
    EXPECT_EQ(PlanFor(*noSetting, {{TSetupField::IP, "192.168.1.21"}}).VerifiedFields(),
              std::vector<TSetupField>{TSetupField::IP});
}

TEST(PlanStatus, TextsAndFailures)
{
    EXPECT_EQ(PlanStatusText({TPlanDeviceState::DeviceRefused, 3, {}}), "refused by the device (error code 3)");
    EXPECT_EQ(PlanStatusText({TPlanDeviceState::NotVerified, 0, "no answer"}), "not verified: no answer");
    EXPECT_EQ(PlanStatusText({TPlanDeviceState::NotSent, 0, "stopped"}), "not sent: stopped");
    EXPECT_EQ(PlanStatusText({TPlanDeviceState::Sent, 0, {}}), "sent");
    for (const auto state : {TPlanDeviceState::DeviceRefused, TPlanDeviceState::NoAnswer, TPlanDeviceState::NotVerified,
                             TPlanDeviceState::Gone, TPlanDeviceState::Refused, TPlanDeviceState::NotSent})
        EXPECT_TRUE(PlanStatusFailed({state, 0, {}}));
    for (const auto state : {TPlanDeviceState::Unchanged, TPlanDeviceState::Sent, TPlanDeviceState::Verified,
                             TPlanDeviceState::Waiting, TPlanDeviceState::Sending, TPlanDeviceState::Verifying})
        EXPECT_FALSE(PlanStatusFailed({state, 0, {}}));
}

TEST(PlanCommandAddress, TheSubnetsBroadcastByTheDevicesOwnMask)
{
    TProductInfo info;
    info.PeerIP = "10.20.30.40";
    info.Mask = "255.255.0.0";
    EXPECT_EQ(PlanCommandAddress(info), "10.20.255.255");
    info.Mask = "255.255.255.252";  // the narrowest subnet with a broadcast address of its own
    EXPECT_EQ(PlanCommandAddress(info), "10.20.30.43");
    info.Mask = "255.255.255.254";
    EXPECT_EQ(PlanCommandAddress(info), "255.255.255.255");
    info.Mask = "255.255.255.255";
    EXPECT_EQ(PlanCommandAddress(info), "255.255.255.255");
    info.Mask = "255.0.255.0";
    EXPECT_EQ(PlanCommandAddress(info), "255.255.255.255");
    info.Mask = "N/A";
    EXPECT_EQ(PlanCommandAddress(info), "255.255.255.255");
}

// ---- Devices on the test's network ----------------------------------------------------------

std::array<uint8_t, 6> MacBytes(int n)
{
    std::array<uint8_t, 6> mac{};
    ParseMac(Mac(n), mac.data());
    return mac;
}

void PutIp(Bytes& data, size_t at, const std::string& text)
{
    const uint32_t a = *ParseAddress(text);
    for (int k = 0; k < 4; ++k)
        data[at + k] = static_cast<uint8_t>(a >> (24 - 8 * k));
}

std::string IpAt(const Bytes& data, size_t at) { return FormatIp(&data[at]); }

// An Orvex info answer: DHCP off, ports 80 and 23.
Bytes OrvexInfo(int n, const std::string& ip, const std::string& name = "Unit")
{
    Bytes d = BuildOrvexInfoRequest();
    const auto mac = MacBytes(n);
    std::copy(mac.begin(), mac.end(), d.begin());
    std::copy(name.begin(), name.end(), d.begin() + Orvex::kOffName);
    PutIp(d, Orvex::kOffIp, ip);
    PutIp(d, Orvex::kOffMask, "255.0.0.0");
    PutIp(d, Orvex::kOffGateway, "0.0.0.0");
    PutIp(d, Orvex::kOffDns1, "8.8.8.8");
    PutIp(d, Orvex::kOffDns2, "1.1.1.1");
    d[Orvex::kOffHttpPort] = 80;
    d[Orvex::kOffTelnetPort] = 23;
    d[Orvex::kOffTypeCode] = 1;
    return d;
}

// An HWG answer header, signed: DHCP present and off, HTTP port 80, type 3.
Bytes HwgInfo(int n, const std::string& ip)
{
    Bytes d(48, 0);
    const auto mac = MacBytes(n);
    std::copy(mac.begin(), mac.end(), d.begin());
    PutIp(d, Hwg::kOffIp, ip);
    PutIp(d, Hwg::kOffMask, "255.0.0.0");
    PutIp(d, Hwg::kOffGateway, "0.0.0.0");
    d[Hwg::kOffRevision] = 0x35;
    d[Hwg::kOffTypeRev] = 0x1A;
    d[Hwg::kOffFlags] = Hwg::kFlagDhcpPresent;
    d[Hwg::kOffHttpPort + 1] = 80;
    HwgSignPacket(d.data(), d.size());
    return d;
}

struct TFake {
    bool IsHwg = false;
    std::array<uint8_t, 6> MacAddress{};
    Bytes Info;            // its info answer as it stands
    int CommandError = 0;  // the error code of its command answers; -1: it never answers one
    int AnswerDelayMs = 0;
    bool Applies = true;  // takes the values of an update
    bool AnswersInfo = true;
    bool OnlyAtOwnIP = false;  // answers an info request only when it was sent to the address it holds
    int AnswersOnCommandTo = -1;  // holds its command answer until the fleet hears a command to that device

    std::string OwnIP() const { return IpAt(Info, IsHwg ? Hwg::kOffIp : Orvex::kOffIp); }
};

// What reached the devices, and when.
struct TEvent {
    qint64 Ms;
    std::string What;  // "command", "answer", "info"
    int Device;        // index into the fleet, -1 for an info request
    std::string To;    // the address it was sent to
};

// Devices of both families on every local address: one socket on each family's port hears
// them, one socket of another port sends every answer.
class TFleet {
public:
    std::vector<TFake> Devices;
    std::vector<TEvent> Events;
    QElapsedTimer Clock;

    TFleet()
    {
        Clock.start();
        Ok = OrvexPort.bind(QHostAddress::AnyIPv4, Orvex::kPort, QUdpSocket::ShareAddress)
             && HwgPort.bind(QHostAddress::AnyIPv4, Hwg::kPort, QUdpSocket::ShareAddress)
             && AnswerPort.bind(QHostAddress::AnyIPv4, 0);
        QObject::connect(&OrvexPort, &QUdpSocket::readyRead, [this] { Read(OrvexPort, false); });
        QObject::connect(&HwgPort, &QUdpSocket::readyRead, [this] { Read(HwgPort, true); });
    }
    bool Open() const { return Ok && AnswerPort.localPort() != Orvex::kPort && AnswerPort.localPort() != Hwg::kPort; }

    int AddOrvex(int n, const std::string& ip)
    {
        TFake f;
        f.MacAddress = MacBytes(n);
        f.Info = OrvexInfo(n, ip);
        Devices.push_back(f);
        return static_cast<int>(Devices.size()) - 1;
    }
    int AddHwg(int n, const std::string& ip)
    {
        TFake f;
        f.IsHwg = true;
        f.MacAddress = MacBytes(n);
        f.Info = HwgInfo(n, ip);
        Devices.push_back(f);
        return static_cast<int>(Devices.size()) - 1;
    }

    // The commands that reached device i.
    int Commands(int i) const
    {
        return static_cast<int>(std::count_if(Events.begin(), Events.end(),
                                              [i](const TEvent& e) { return e.What == "command" && e.Device == i; }));
    }
    std::vector<std::string> Sequence() const
    {
        std::vector<std::string> what;
        for (const TEvent& e : Events)
            if (e.What != "info")
                what.push_back(e.What + " " + std::to_string(e.Device));
        return what;
    }
    const TEvent* Find(const std::string& what, int device) const
    {
        for (const TEvent& e : Events)
            if (e.What == what && e.Device == device)
                return &e;
        return nullptr;
    }

private:
    void Read(QUdpSocket& socket, bool hwg)
    {
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket.receiveDatagram();
            const QByteArray bytes = datagram.data();
            const Bytes data(bytes.begin(), bytes.end());
            const std::string to = datagram.destinationAddress().toString().toStdString();
            const bool info = hwg ? data == BuildHwgInfoRequest() : data.size() == Orvex::kInfoSize;
            if (info) {
                Events.push_back({Clock.elapsed(), "info", -1, to});
                for (const TFake& f : Devices)
                    if (f.IsHwg == hwg && f.AnswersInfo && (!f.OnlyAtOwnIP || f.OwnIP() == to))
                        Send(f.Info, datagram.senderAddress(), datagram.senderPort());
                continue;
            }
            if (data.size() < 6)
                continue;
            for (size_t i = 0; i < Devices.size(); ++i) {
                TFake& f = Devices[i];
                if (f.IsHwg != hwg || !std::equal(f.MacAddress.begin(), f.MacAddress.end(), data.begin()))
                    continue;
                Events.push_back({Clock.elapsed(), "command", static_cast<int>(i), to});
                Command(static_cast<int>(i), data, datagram.senderAddress(), datagram.senderPort());
                ReleaseHeld(static_cast<int>(i));
            }
        }
    }
    void Command(int i, const Bytes& data, const QHostAddress& from, quint16 port)
    {
        TFake& f = Devices[i];
        if (f.IsHwg) {
            if (f.Applies && data.size() == Hwg::kHeaderSize && HwgVerifyPacket(data.data(), data.size()))
                f.Info = data;  // the command is the answer's header rewritten and signed
            return;
        }
        if (f.Applies && data.size() == Orvex::kUpdateSize)  // its values stand where the info answer has them
            std::copy(data.begin() + Orvex::kOffName, data.begin() + Orvex::kOffTelnetPort + 2,
                      f.Info.begin() + Orvex::kOffName);
        if (f.CommandError < 0)
            return;
        Bytes answer = data;
        answer[Orvex::kOffError] = static_cast<uint8_t>(f.CommandError);
        if (f.AnswersOnCommandTo >= 0) {
            Held.push_back({f.AnswersOnCommandTo, i, answer, from, port});
            return;
        }
        QTimer::singleShot(f.AnswerDelayMs, Qt::PreciseTimer, [this, i, answer, from, port] {
            Events.push_back({Clock.elapsed(), "answer", i, {}});
            Send(answer, from, port);
        });
    }
    // Sends the answers held until a command to device `commanded` came.
    void ReleaseHeld(int commanded)
    {
        for (auto it = Held.begin(); it != Held.end();) {
            if (it->After != commanded) {
                ++it;
                continue;
            }
            Events.push_back({Clock.elapsed(), "answer", it->Device, {}});
            Send(it->Answer, it->To, it->Port);
            it = Held.erase(it);
        }
    }
    void Send(const Bytes& data, const QHostAddress& to, quint16 port)
    {
        AnswerPort.writeDatagram(reinterpret_cast<const char*>(data.data()), static_cast<qint64>(data.size()), to,
                                 port);
    }

    struct THeld {
        int After;   // the device whose command releases it
        int Device;  // the device answering
        Bytes Answer;
        QHostAddress To;
        quint16 Port;
    };
    std::vector<THeld> Held;
    QUdpSocket OrvexPort, HwgPort, AnswerPort;
    bool Ok = false;
};

bool WaitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return done();
}

// The devices found (decoded from the fake devices' own answers, as discovery files them), the
// plan over them, and one run.
struct PlanRunTest : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(Fleet.Open()); }

    // Files fake device i as found from peerIP, its commands going to commandAddress, through
    // `endpoint` (the family's discovery endpoint unless given: the one of another interface).
    TProduct* Find(int i, const std::string& peerIP, const std::string& commandAddress, TUDPServer* endpoint = nullptr)
    {
        const TFake& f = Fleet.Devices[i];
        std::unique_ptr<TProduct> device;
        if (f.IsHwg)
            device = DecodeHwgInfoAnswer(f.Info.data(), f.Info.size(), peerIP);
        else
            device = DecodeOrvexInfoAnswer(f.Info.data(), f.Info.size(), peerIP);
        const std::string mac = device->Info.MAC;
        List.AddDevice(std::move(device), Products, endpoint ? endpoint : f.IsHwg ? &HwgEndpoint : &OrvexEndpoint);
        for (const TDeviceEntry& entry : List.DeviceList())
            if (entry.Device->Info.MAC == mac && FamilyName(*entry.Device) == (f.IsHwg ? "HWG" : "Orvex")) {
                entry.Device->CommandAddress = commandAddress;
                return entry.Device.get();
            }
        return nullptr;
    }
    // Adds a device to the plan with these new values (carried as the family carries them).
    void Plan(const TProduct* device, std::vector<std::pair<TSetupField, std::string>> values)
    {
        ThePlan.Devices.push_back(PlanFor(*device, std::move(values)));
    }
    bool Run(const TPlanRunOptions& options, int ms = 15000)
    {
        Ended = false;
        QObject::connect(&Runner, &TPlanRun::Finished, [this] { Ended = true; });
        Runner.Start(ThePlan, List, options);
        EXPECT_TRUE(Runner.Running());
        return WaitFor([this] { return Ended; }, ms);
    }
    std::string Status(size_t k) const { return PlanStatusText(Runner.Statuses().at(k)); }
    TPlanDeviceState State(size_t k) const { return Runner.Statuses().at(k).State; }
    bool Logged(const std::string& message) const
    {
        for (size_t i = 0; i < Log.Lines().size(); ++i)
            if (Log.Message(i) == message)
                return true;
        return false;
    }

    const bool AppMade = (EnsureApp(), true);  // before the sockets and timers below
    TLogCapture Log;
    TFleet Fleet;
    TUDPServer OrvexEndpoint, HwgEndpoint;  // the discovery endpoints the devices' commands go from
    TDeviceRegistry List;
    const TProductTable Products = {"1=Orvex+One"};
    TPlan ThePlan;
    TPlanRun Runner;
    bool Ended = false;
    TPlanRunOptions NoVerify{true, 0, kPlanAnswerWaitMs};
};

TEST_F(PlanRunTest, OneDeviceAfterAnotherEachOrvexAnswerAwaited)
{
    const int slow = Fleet.AddOrvex(1, "127.0.0.11");
    const int quick = Fleet.AddOrvex(2, "127.0.0.12");
    const int hwg = Fleet.AddHwg(3, "127.0.0.13");
    Fleet.Devices[slow].AnswerDelayMs = 400;
    Plan(Find(slow, "10.77.0.11", "255.255.255.255"), {{TSetupField::Name, "Boiler 01"}});
    Plan(Find(quick, "10.77.0.12", "255.255.255.255"), {{TSetupField::Name, "Boiler 02"}});
    Plan(Find(hwg, "10.77.0.13", "255.255.255.255"), {{TSetupField::HTTPPort, "8080"}});
    std::vector<int> changed;
    QObject::connect(&Runner, &TPlanRun::StatusChanged, [&changed](int k) { changed.push_back(k); });

    ASSERT_TRUE(Run(NoVerify));
    EXPECT_EQ(Fleet.Sequence(),
              (std::vector<std::string>{"command 0", "answer 0", "command 1", "answer 1", "command 2"}))
        << "the next command goes only after the answer";
    EXPECT_GE(Fleet.Find("command", 1)->Ms - Fleet.Find("command", 0)->Ms, 390);
    EXPECT_EQ(Status(0), "sent");
    EXPECT_EQ(Status(1), "sent");
    EXPECT_EQ(Status(2), "sent") << "HWG devices do not answer commands";
    EXPECT_FALSE(Runner.Running());
    EXPECT_NE(std::find(changed.begin(), changed.end(), 2), changed.end());
    // The setup panel's log lines, and one line per device.
    EXPECT_TRUE(Logged("Reconfiguring 127.0.0.11 device. Please wait."));
    EXPECT_TRUE(Logged("Device 00:0A:14:00:00:01 from 10.77.0.11: sent"));
    EXPECT_TRUE(Logged("Device 00:0A:14:00:00:03 from 10.77.0.13: sent"));
    EXPECT_TRUE(Logged("Applying the plan. Devices to set up: 3. Please wait."));
    EXPECT_TRUE(Logged("The plan is done. Set up: 3, failed: 0."));
    // The device's answer handler is given back.
    for (const TDeviceEntry& entry : List.DeviceList()) {
        if (auto* orvex = dynamic_cast<TProductOrvex*>(entry.Device.get())) {
            EXPECT_FALSE(orvex->OnCommandAnswer);
        }
    }
}

TEST_F(PlanRunTest, ARefusingAndASilentDeviceAreReportedAndTheRestDone)
{
    const int refusing = Fleet.AddOrvex(1, "127.0.0.11");
    const int silent = Fleet.AddOrvex(2, "127.0.0.12");
    const int fine = Fleet.AddOrvex(3, "127.0.0.13");
    Fleet.Devices[refusing].CommandError = 3;
    Fleet.Devices[silent].CommandError = -1;
    for (const int i : {refusing, silent, fine})
        Plan(Find(i, "10.77.0.1" + std::to_string(i), "255.255.255.255"), {{TSetupField::Name, "Boiler"}});
    TPlanRunOptions options = NoVerify;
    options.AnswerWaitMs = 500;

    ASSERT_TRUE(Run(options));
    EXPECT_EQ(State(0), TPlanDeviceState::DeviceRefused);
    EXPECT_EQ(Runner.Statuses()[0].ErrorCode, 3);
    EXPECT_EQ(Status(0), "refused by the device (error code 3)");
    EXPECT_EQ(Status(1), "no answer");
    EXPECT_EQ(Status(2), "sent");
    EXPECT_GE(Fleet.Find("command", 2)->Ms - Fleet.Find("command", 1)->Ms, 490) << "the silent one is waited for";
    EXPECT_TRUE(Logged("Device 00:0A:14:00:00:02 from 10.77.0.11: no answer"));
    EXPECT_TRUE(Logged("The plan is done. Set up: 1, failed: 2."));
}

TEST_F(PlanRunTest, RestartDeclinedStoresAndSendsNothingToThoseThatNeedOne)
{
    const int moved = Fleet.AddOrvex(1, "127.0.0.11");
    const int named = Fleet.AddOrvex(2, "127.0.0.12");
    const int hwg = Fleet.AddHwg(3, "127.0.0.13");
    TProduct* movedDevice = Find(moved, "10.77.0.11", "255.255.255.255");
    TProduct* hwgDevice = Find(hwg, "10.77.0.13", "255.255.255.255");
    Plan(movedDevice, {{TSetupField::IP, "127.0.1.11"}, {TSetupField::Name, "Moved"}});
    Plan(Find(named, "10.77.0.12", "255.255.255.255"), {{TSetupField::Name, "Named"}});
    Plan(hwgDevice, {{TSetupField::HTTPPort, "8080"}});
    TPlanRunOptions options = NoVerify;
    options.RestartAllowed = false;

    ASSERT_TRUE(Run(options));
    EXPECT_EQ(Status(0), "not sent: needs a restart");
    EXPECT_EQ(Status(1), "sent");
    EXPECT_EQ(Status(2), "not sent: needs a restart");
    EXPECT_EQ(Fleet.Commands(moved), 0);
    EXPECT_EQ(Fleet.Commands(named), 1);
    EXPECT_EQ(Fleet.Commands(hwg), 0);
    EXPECT_EQ(movedDevice->Info.IP, "127.0.0.11") << "nothing stored";
    EXPECT_EQ(movedDevice->Info.Name, "Unit");
    EXPECT_FALSE(movedDevice->RestartNeeded);
    EXPECT_EQ(hwgDevice->Info.HTTPPort, 80);
}

TEST_F(PlanRunTest, DevicesNotFoundOrRefusedByTheRuleGetNothing)
{
    const int a = Fleet.AddOrvex(1, "127.0.0.11");
    const int b = Fleet.AddOrvex(2, "127.0.0.12");
    const int c = Fleet.AddOrvex(3, "127.0.0.13");
    TPlanLab lab;
    // An HWG device with the MAC of an Orvex device found is not that device.
    Plan(lab.Hwg(Mac(1), "10.77.0.11"), {{TSetupField::HTTPPort, "8080"}});
    Plan(Find(b, "10.77.0.12", "255.255.255.255"), {{TSetupField::IP, "127.0.1.012"}});
    Plan(Find(c, "10.77.0.13", "255.255.255.255"), {});
    Find(a, "10.77.0.11", "255.255.255.255");

    ASSERT_TRUE(Run(NoVerify));
    EXPECT_EQ(State(0), TPlanDeviceState::Gone);
    EXPECT_EQ(Status(1), "refused: '127.0.1.012' is not a valid IP address");
    EXPECT_EQ(Status(2), "unchanged");
    EXPECT_EQ(Fleet.Commands(a) + Fleet.Commands(b) + Fleet.Commands(c), 0);
}

TEST_F(PlanRunTest, VerifiedNotVerifiedNamingTheFieldAndNoAnswer)
{
    const int taken = Fleet.AddOrvex(1, "127.0.0.11");
    const int ignored = Fleet.AddOrvex(2, "127.0.0.12");
    const int mute = Fleet.AddOrvex(3, "127.0.0.13");
    const int hwg = Fleet.AddHwg(4, "127.0.0.14");
    Fleet.Devices[ignored].Applies = false;
    Fleet.Devices[mute].AnswersInfo = false;
    // Found through the broadcast: asked there again.
    const std::string longName(40, 'x');
    Plan(Find(taken, "10.77.0.11", "255.255.255.255"),
         {{TSetupField::IP, "127.0.1.11"}, {TSetupField::Name, longName}, {TSetupField::TelnetPort, "65535"}});
    Plan(Find(ignored, "10.77.0.12", "255.255.255.255"), {{TSetupField::IP, "127.0.1.12"}});
    Plan(Find(mute, "10.77.0.13", "255.255.255.255"), {{TSetupField::IP, "127.0.1.13"}});
    Plan(Find(hwg, "10.77.0.14", "255.255.255.255"), {{TSetupField::IP, "127.0.1.14"}, {TSetupField::HTTPPort, "8080"}});

    ASSERT_TRUE(Run({true, 3, kPlanAnswerWaitMs}));
    EXPECT_EQ(Status(0), "verified") << "the name as cut, the port as a signed 16-bit number";
    EXPECT_EQ(Status(1), "not verified: IP: 127.0.0.12, expected 127.0.1.12");
    EXPECT_EQ(Status(2), "not verified: no answer");
    EXPECT_EQ(Status(3), "verified");
    EXPECT_TRUE(Logged("Device 00:0A:14:00:00:01 from 10.77.0.11: verified"));
    EXPECT_TRUE(Logged("Device 00:0A:14:00:00:03 from 10.77.0.13: not verified: no answer"));
    EXPECT_TRUE(Logged("The plan is done. Set up: 2, failed: 2."));
    for (const TEvent& e : Fleet.Events) {
        if (e.What == "info") {
            EXPECT_EQ(e.To, "255.255.255.255");
        }
    }
}

TEST_F(PlanRunTest, ADeviceFoundByUnicastIsAskedAtItsNewAddress)
{
    const int moved = Fleet.AddOrvex(1, "127.0.0.11");
    Fleet.Devices[moved].OnlyAtOwnIP = true;  // it answers at the address it holds, so only there once moved
    Plan(Find(moved, "127.0.0.11", "127.0.0.11"), {{TSetupField::IP, "127.0.1.11"}});

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Run({true, 5, kPlanAnswerWaitMs}));
    EXPECT_EQ(Status(0), "verified");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4)) << "finished once verified";
    std::vector<std::string> asked;
    for (const TEvent& e : Fleet.Events)
        if (e.What == "info")
            asked.push_back(e.To);
    EXPECT_NE(std::find(asked.begin(), asked.end(), "127.0.1.11"), asked.end());
    EXPECT_NE(std::find(asked.begin(), asked.end(), "127.0.0.11"), asked.end());
}

TEST_F(PlanRunTest, AnswersAreMatchedByMacAndFamily)
{
    // An HWG device answers with the MAC of the Orvex device and the values the Orvex device was
    // sent; the Orvex device itself does not answer. The HWG device of the plan is asked beside it.
    const int orvex = Fleet.AddOrvex(1, "127.0.0.11");
    const int hwg = Fleet.AddHwg(2, "127.0.0.12");
    const int impostor = Fleet.AddHwg(1, "127.0.1.11");
    Fleet.Devices[orvex].AnswersInfo = false;
    Fleet.Devices[impostor].Info[Hwg::kOffHttpPort] = 8080 >> 8;
    Fleet.Devices[impostor].Info[Hwg::kOffHttpPort + 1] = 8080 & 0xFF;
    HwgSignPacket(Fleet.Devices[impostor].Info.data(), 48);
    Plan(Find(orvex, "10.77.0.11", "255.255.255.255"),
         {{TSetupField::IP, "127.0.1.11"}, {TSetupField::HTTPPort, "8080"}});
    Plan(Find(hwg, "10.77.0.12", "255.255.255.255"), {{TSetupField::HTTPPort, "8081"}});

    ASSERT_TRUE(Run({true, 3, kPlanAnswerWaitMs}));
    EXPECT_EQ(Status(0), "not verified: no answer");
    EXPECT_EQ(Status(1), "verified");
}

TEST_F(PlanRunTest, AnotherUnitAtTheNewAddressNeverVerifiesTheDevice)
{
    // The device keeps its old values; another Orvex unit already answers from the address it
    // was to move to, with every value it was to get. Only the device's own answer counts.
    const int stayed = Fleet.AddOrvex(1, "127.0.0.11");
    const int other = Fleet.AddOrvex(3, "127.0.1.11");
    Fleet.Devices[stayed].Applies = false;
    Fleet.Devices[stayed].OnlyAtOwnIP = Fleet.Devices[other].OnlyAtOwnIP = true;
    Plan(Find(stayed, "127.0.0.11", "127.0.0.11"), {{TSetupField::IP, "127.0.1.11"}});

    ASSERT_TRUE(Run({true, 3, kPlanAnswerWaitMs}));
    EXPECT_EQ(Status(0), "not verified: IP: 127.0.0.11, expected 127.0.1.11");
    bool otherAsked = false;
    for (const TEvent& e : Fleet.Events)
        otherAsked = otherAsked || (e.What == "info" && e.To == "127.0.1.11");
    EXPECT_TRUE(otherAsked) << "the other unit was asked, and answered";
}

TEST_F(PlanRunTest, DevicesSharingAnAddressGetTheirCommandsByBroadcast)
{
    const int a = Fleet.AddOrvex(1, "127.0.0.11");
    const int b = Fleet.AddOrvex(2, "127.0.0.11");
    // Both answer from one address and were asked there by unicast.
    TProduct* first = Find(a, "127.0.0.11", "127.0.0.11");
    TProduct* second = Find(b, "127.0.0.11", "127.0.0.11");
    first->Info.Mask = second->Info.Mask = "255.255.255.0";
    Plan(first, {{TSetupField::Name, "First"}});
    Plan(second, {{TSetupField::Name, "Second"}});

    ASSERT_TRUE(Run(NoVerify));
    EXPECT_EQ(Status(0), "sent");
    EXPECT_EQ(Status(1), "sent");
    ASSERT_NE(Fleet.Find("command", a), nullptr);
    ASSERT_NE(Fleet.Find("command", b), nullptr);
    EXPECT_EQ(Fleet.Find("command", a)->To, "127.0.0.255");
    EXPECT_EQ(Fleet.Find("command", b)->To, "127.0.0.255");
    EXPECT_EQ(first->CommandAddress, "127.0.0.11") << "later commands go the way they went";
}

TEST_F(PlanRunTest, StopEndsAfterTheDeviceWhoseCommandIsOutThenEndsVerification)
{
    const int a = Fleet.AddOrvex(1, "127.0.0.11");
    const int b = Fleet.AddOrvex(2, "127.0.0.12");
    const int c = Fleet.AddOrvex(3, "127.0.0.13");
    Fleet.Devices[a].AnswerDelayMs = 300;
    Fleet.Devices[a].AnswersInfo = false;
    for (const int i : {a, b, c})
        Plan(Find(i, "10.77.0.1" + std::to_string(i), "255.255.255.255"), {{TSetupField::Name, "Stopped"}});
    bool stoppedOnce = false;
    QObject::connect(&Runner, &TPlanRun::StatusChanged, [&](int k) {
        if (k == 0 && State(0) == TPlanDeviceState::Sending && !stoppedOnce) {
            stoppedOnce = true;
            Runner.Stop();
        }
    });
    Ended = false;
    QObject::connect(&Runner, &TPlanRun::Finished, [this] { Ended = true; });
    Runner.Start(ThePlan, List, {true, 60, kPlanAnswerWaitMs});
    ASSERT_TRUE(WaitFor([this] { return State(0) == TPlanDeviceState::Verifying; }, 5000));
    EXPECT_EQ(Status(1), "not sent: stopped");
    EXPECT_EQ(Status(2), "not sent: stopped");
    EXPECT_EQ(Fleet.Commands(b) + Fleet.Commands(c), 0);
    EXPECT_TRUE(Runner.Running()) << "the device sent is still verified";
    Runner.Stop();
    ASSERT_TRUE(WaitFor([this] { return Ended; }, 2000));
    EXPECT_EQ(Status(0), "not verified: stopped");
    EXPECT_FALSE(Runner.Running());
}

// Devices behind two interfaces answer through two endpoints, so the first device's answer
// handler stays on its endpoint while the second device's command is out: an answer from the
// first that comes after its wait ended is no answer to the second.
TEST_F(PlanRunTest, ALateAnswerOnAnotherInterfaceIsNotTheNextDevicesAnswer)
{
    const int late = Fleet.AddOrvex(1, "127.0.0.11");
    const int silent = Fleet.AddOrvex(2, "127.0.0.12");
    Fleet.Devices[late].CommandError = 7;
    Fleet.Devices[late].AnswersOnCommandTo = silent;  // its answer comes once the next command went
    Fleet.Devices[silent].CommandError = -1;
    TUDPServer secondInterface;
    Plan(Find(late, "10.77.0.11", "255.255.255.255"), {{TSetupField::Name, "Late"}});
    Plan(Find(silent, "10.78.0.12", "255.255.255.255", &secondInterface), {{TSetupField::Name, "Silent"}});
    TPlanRunOptions options = NoVerify;
    options.AnswerWaitMs = 1000;

    ASSERT_TRUE(Run(options));
    EXPECT_EQ(Fleet.Sequence(), (std::vector<std::string>{"command 0", "command 1", "answer 0"}));
    EXPECT_EQ(Status(0), "no answer");
    EXPECT_EQ(Status(1), "no answer") << "the first device's late answer is not the second's";
    EXPECT_TRUE(Logged("The plan is done. Set up: 0, failed: 2."));
}

}  // namespace
