// The wait after an accepted image (upgrade --verify): when it asks the device, when it passes
// and how it fails, a scripted device on a simulated clock; and the question it asks
// (AskFirmwareRevision) of units on loopback inside the test's private network namespace: by
// address while only that is known, by MAC and family from any address once it is.
#include "core/discovery/probe.h"

#include "core/devices/utils.h"
#include "core/protocols/hwg/packets.h"
#include "core/protocols/hwg/tea.h"
#include "core/protocols/orvex/packets.h"
#include "logcapture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

// A device that, asked at a time, answers after answerMs with the revision its script gives
// for that time (no value: silent, the whole wait passes).
struct TScripted {
    int64_t Clock = 0;
    std::vector<int64_t> Asked;
    std::function<std::optional<std::string>(int64_t at)> Script;
    int AnswerMs = 5;

    TUpgradeCheck Run(const std::optional<std::string>& before, int seconds)
    {
        return VerifyUpgrade(
            before, seconds,
            [this](int ms) -> std::optional<std::string> {
                Asked.push_back(Clock);
                const std::optional<std::string> answer = Script(Clock);
                Clock += answer ? AnswerMs : ms;
                return answer;
            },
            [this] { return Clock; }, [this](int ms) { Clock += ms; });
    }
};

} // namespace

TEST(VerifyUpgrade, PassesWhenTheDeviceComesBackWithAnotherRevision)
{
    TScripted d;
    d.Script = [](int64_t at) -> std::optional<std::string> {
        if (at < 5000)
            return std::nullopt;  // restarting
        return std::string("2.1.0");
    };
    const TUpgradeCheck check = d.Run(std::string("1.0.0"), 30);
    EXPECT_TRUE(check.Verified);
    EXPECT_EQ(check.Before, "1.0.0");
    EXPECT_EQ(check.After, "2.1.0");
    EXPECT_EQ(check.Error, "");
    EXPECT_EQ(d.Asked, (std::vector<int64_t>{0, 2000, 4000, 6000})) << "one request every two seconds";
}

TEST(VerifyUpgrade, SameRevisionAfterARestartFailsAtOnce)
{
    TScripted d;
    d.Script = [](int64_t at) -> std::optional<std::string> {
        if (at < 3000)
            return std::nullopt;
        return std::string("1.0.0");
    };
    const TUpgradeCheck check = d.Run(std::string("1.0.0"), 60);
    EXPECT_FALSE(check.Verified);
    EXPECT_EQ(check.After, "1.0.0");
    EXPECT_EQ(check.Error, "not verified: the firmware revision is still 1.0.0");
    EXPECT_EQ(d.Asked.back(), 4000) << "no waiting for the rest of the minute";
}

TEST(VerifyUpgrade, ADeviceNotYetRestartedIsWaitedFor)
{
    // Still the old revision at first (it has not restarted yet), then silent, then the new one.
    TScripted d;
    d.Script = [](int64_t at) -> std::optional<std::string> {
        if (at < 2000)
            return std::string("1.0.0");
        if (at < 6000)
            return std::nullopt;
        return std::string("1.1.0");
    };
    EXPECT_TRUE(d.Run(std::string("1.0.0"), 20).Verified);

    TScripted never;  // and one that never restarts: the old revision until the time is up
    never.Script = [](int64_t) { return std::optional<std::string>("1.0.0"); };
    const TUpgradeCheck check = never.Run(std::string("1.0.0"), 7);
    EXPECT_FALSE(check.Verified);
    EXPECT_EQ(check.Error, "not verified: the firmware revision is still 1.0.0");
    EXPECT_EQ(never.Asked, (std::vector<int64_t>{0, 2000, 4000, 6000}));
    EXPECT_LE(never.Clock, 7000);
}

TEST(VerifyUpgrade, NoAnswerFailsWhenTheTimeIsUp)
{
    TScripted d;
    d.Script = [](int64_t) { return std::nullopt; };
    const TUpgradeCheck check = d.Run(std::string("1.0.0"), 5);
    EXPECT_FALSE(check.Verified);
    EXPECT_FALSE(check.After.has_value());
    EXPECT_EQ(check.Error, "not verified: no answer to discovery within 5 s");
    EXPECT_EQ(d.Clock, 5000) << "the last request waits only for what is left";
    EXPECT_EQ(d.Asked, (std::vector<int64_t>{0, 2000, 4000}));

    TScripted none;
    none.Script = [](int64_t) { return std::optional<std::string>("2.0"); };
    const TUpgradeCheck unknown = none.Run(std::nullopt, 30);
    EXPECT_FALSE(unknown.Verified) << "without the revision before, nothing to compare";
    EXPECT_TRUE(none.Asked.empty());
    EXPECT_EQ(unknown.Error, "not verified: the device did not answer discovery before the upgrade");
}

namespace {

using Bytes = std::vector<uint8_t>;

int UdpSocket(uint16_t port, const char* at = "127.0.0.1")
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, at, &address.sin_addr);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

const Bytes kOrvexMac = {0x00, 0x0A, 0x14, 0x1E, 0x28, 0x32};
const Bytes kHwgMac = {0x00, 0x0A, 0x59, 0x01, 0x02, 0x03};

Bytes OrvexAnswer(const std::string& revision, const Bytes& mac = kOrvexMac)
{
    Bytes answer = BuildOrvexInfoRequest();
    std::copy(mac.begin(), mac.end(), answer.begin());
    std::fill(answer.begin() + 98, answer.begin() + 114, 0);
    std::memcpy(&answer[98], revision.data(), revision.size());
    return answer;
}

Bytes HwgAnswer(const Bytes& mac = kHwgMac)  // revision 2.3.5
{
    Bytes answer(48, 0);
    std::copy(mac.begin(), mac.end(), answer.begin());
    answer[22] = 0x35;
    answer[23] = 0x1A;
    HwgSignPacket(answer.data(), answer.size());
    return answer;
}

// Waits up to 20 ms for requests on the two family sockets and hands each one read to heard,
// with its family (0 Orvex, 1 HWG) and its sender.
void ReadRequests(int orvex, int hwg, const std::function<void(int family, const sockaddr_in& from, socklen_t size)>& heard)
{
    pollfd watched[2] = {{orvex, POLLIN, 0}, {hwg, POLLIN, 0}};
    if (::poll(watched, 2, 20) <= 0)
        return;
    for (int family = 0; family < 2; ++family) {
        if (!(watched[family].revents & POLLIN))
            continue;
        uint8_t buffer[512];
        sockaddr_in from{};
        socklen_t size = sizeof from;
        if (::recvfrom(watched[family].fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &size) > 0)
            heard(family, from, size);
    }
}

// A device on 127.0.0.1 that hears both families' ports and answers each request, from a port
// the system chose, with what answerTo gives for the family asked (nothing when empty), sent to
// the port the other family's request came from when crossed. Stops with the object.
class TEphemeralDevice {
public:
    std::function<Bytes(bool hwg)> AnswerTo;
    bool Crossed = false;

    TEphemeralDevice() : Orvex(UdpSocket(Orvex::kPort)), Hwg(UdpSocket(Hwg::kPort)), Answers(UdpSocket(0)) {}
    ~TEphemeralDevice()
    {
        Stopping = true;
        if (Thread.joinable())
            Thread.join();
        for (const int fd : {Orvex, Hwg, Answers})
            if (fd >= 0)
                ::close(fd);
    }
    bool Open() const { return Orvex >= 0 && Hwg >= 0 && Answers >= 0; }
    uint16_t AnswerPort() const
    {
        sockaddr_in address{};
        socklen_t size = sizeof address;
        ::getsockname(Answers, reinterpret_cast<sockaddr*>(&address), &size);
        return ntohs(address.sin_port);
    }
    void Run()
    {
        Thread = std::thread([this] {
            sockaddr_in from[2]{};  // where each family's request came from
            bool heard[2] = {false, false};
            while (!Stopping) {
                ReadRequests(Orvex, Hwg, [&](int family, const sockaddr_in& sender, socklen_t) {
                    from[family] = sender;
                    heard[family] = true;
                });
                if (!heard[0] || !heard[1])
                    continue;  // both requests first, so that a crossed answer has somewhere to go
                for (int family = 0; family < 2; ++family) {
                    const Bytes answer = AnswerTo(family == 1);
                    const sockaddr_in& to = from[Crossed ? 1 - family : family];
                    if (!answer.empty())
                        ::sendto(Answers, answer.data(), answer.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                                 sizeof to);
                }
                heard[0] = heard[1] = false;
            }
        });
    }

private:
    int Orvex, Hwg, Answers;
    std::atomic<bool> Stopping = false;
    std::thread Thread;
};

} // namespace

// The target of a unit known by its address only.
TRevisionTarget AtAddress(const std::string& host) { return {host, "", std::nullopt, ""}; }

TEST(AskFirmwareRevision, AnAnswerFromAnyPortIsTakenByTheFamilyThatAsked)
{
    TLogCapture log;
    {
        TEphemeralDevice orvex;
        ASSERT_TRUE(orvex.Open());
        ASSERT_NE(orvex.AnswerPort(), Orvex::kPort);
        orvex.AnswerTo = [](bool hwg) { return hwg ? Bytes{} : OrvexAnswer("1.4.2"); };
        orvex.Run();
        const std::optional<TRevisionAnswer> answer = AskFirmwareRevision(AtAddress("127.0.0.1"), 3000);
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->Revision, "1.4.2");
        EXPECT_EQ(answer->Mac, MacKey(kOrvexMac.data())) << "the answer tells who the unit is";
        EXPECT_EQ(answer->Family, "Orvex");
    }
    {
        TEphemeralDevice hwg;
        ASSERT_TRUE(hwg.Open());
        hwg.AnswerTo = [](bool isHwg) { return isHwg ? HwgAnswer() : Bytes{}; };
        hwg.Run();
        const std::optional<TRevisionAnswer> answer = AskFirmwareRevision(AtAddress("127.0.0.1"), 3000);
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->Revision, "2.3.5");
        EXPECT_EQ(answer->Mac, MacKey(kHwgMac.data()));
        EXPECT_EQ(answer->Family, "HWG");
    }
    {
        // Each answer sent to the other family's socket: an Orvex answer is no HWG answer and an
        // HWG answer no Orvex one, so neither counts.
        TEphemeralDevice crossed;
        ASSERT_TRUE(crossed.Open());
        crossed.Crossed = true;
        crossed.AnswerTo = [](bool hwg) { return hwg ? HwgAnswer() : OrvexAnswer("1.4.2"); };
        crossed.Run();
        EXPECT_EQ(AskFirmwareRevision(AtAddress("127.0.0.1"), 500), std::nullopt);
    }
}

namespace {

// Units answering the info request of their family sent to 127.0.0.1: each answers from an
// address of its own (a socket on loopback), in the order listed. Stops with the object.
class TLoopbackUnits {
public:
    struct TUnit {
        bool Hwg = false;
        std::string From;  // the address its answer leaves from
        Bytes Answer;
    };

    explicit TLoopbackUnits(std::vector<TUnit> units)
        : Units(std::move(units)), Orvex(UdpSocket(Orvex::kPort)), Hwg(UdpSocket(Hwg::kPort))
    {
        for (const TUnit& unit : Units)
            Senders.push_back(UdpSocket(0, unit.From.c_str()));
        Thread = std::thread([this] { Serve(); });
    }
    ~TLoopbackUnits()
    {
        Stopping = true;
        Thread.join();
        for (const int fd : Senders)
            if (fd >= 0)
                ::close(fd);
        for (const int fd : {Orvex, Hwg})
            if (fd >= 0)
                ::close(fd);
    }
    bool Open() const
    {
        return Orvex >= 0 && Hwg >= 0 && std::all_of(Senders.begin(), Senders.end(), [](int fd) { return fd >= 0; });
    }
    int Requests(bool hwg) const { return hwg ? HwgRequests.load() : OrvexRequests.load(); }

private:
    void Serve()
    {
        while (!Stopping)
            ReadRequests(Orvex, Hwg, [this](int family, const sockaddr_in& from, socklen_t size) {
                ++(family ? HwgRequests : OrvexRequests);
                for (size_t k = 0; k < Units.size(); ++k)
                    if (Units[k].Hwg == (family == 1))
                        ::sendto(Senders[k], Units[k].Answer.data(), Units[k].Answer.size(), 0,
                                 reinterpret_cast<const sockaddr*>(&from), size);
            });
    }

    std::vector<TUnit> Units;
    int Orvex, Hwg;
    std::vector<int> Senders;
    std::atomic<int> OrvexRequests = 0, HwgRequests = 0;
    std::atomic<bool> Stopping = false;
    std::thread Thread;
};

const Bytes kOtherMac = {0x00, 0x0A, 0x14, 0x1E, 0x28, 0x33};

}  // namespace

TEST(AskFirmwareRevision, AUnitKnownByItsMacTakesOnlyItsOwnAnswerFromAnyAddress)
{
    TLogCapture log;
    const TRevisionTarget orvex = {"127.0.0.1", "", MacKey(kOrvexMac.data()), "Orvex"};
    {
        // Another unit holds the address now, with another revision; the unit itself answers from
        // the address it moved to, after it.
        TLoopbackUnits units({{false, "127.0.0.1", OrvexAnswer("2.16.0", kOtherMac)},
                              {false, "127.0.0.7", OrvexAnswer("2.14.0")}});
        ASSERT_TRUE(units.Open());
        const std::optional<TRevisionAnswer> answer = AskFirmwareRevision(orvex, 3000);
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->Revision, "2.14.0");
        EXPECT_EQ(answer->Family, "Orvex");
        EXPECT_EQ(units.Requests(true), 0) << "a unit of a known family is asked in its family only";
    }
    {
        // Only the other unit answers: no answer at all, however quickly it came.
        TLoopbackUnits units({{false, "127.0.0.1", OrvexAnswer("2.16.0", kOtherMac)}});
        ASSERT_TRUE(units.Open());
        EXPECT_EQ(AskFirmwareRevision(orvex, 500), std::nullopt);
        // Known by its address only, that answer is the unit's.
        const std::optional<TRevisionAnswer> byAddress = AskFirmwareRevision(AtAddress("127.0.0.1"), 3000);
        ASSERT_TRUE(byAddress.has_value());
        EXPECT_EQ(byAddress->Revision, "2.16.0");
    }
    {
        // An HWG unit with the Orvex unit's MAC is another unit.
        TLoopbackUnits units({{true, "127.0.0.1", HwgAnswer(kOrvexMac)}});
        ASSERT_TRUE(units.Open());
        const TRevisionTarget hwg = {"127.0.0.1", "", MacKey(kOrvexMac.data()), "HWG"};
        EXPECT_EQ(AskFirmwareRevision(orvex, 500), std::nullopt);
        const std::optional<TRevisionAnswer> answer = AskFirmwareRevision(hwg, 3000);
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->Revision, "2.3.5");
    }
}

TEST(RevisionTarget, ByMacAndFamilyWhenBothAreKnownAskedTheWayDiscoveryReachesIt)
{
    const TRevisionTarget found = RevisionTarget("10.77.1.5", "00-0a-14-1e-28-32", "Orvex", "10.77.255.255");
    EXPECT_EQ(found.Host, "10.77.1.5");
    EXPECT_EQ(found.Broadcast, "10.77.255.255");
    EXPECT_EQ(found.Mac, MacKey(kOrvexMac.data()));
    EXPECT_EQ(found.Family, "Orvex");
    const TRevisionTarget badMac = RevisionTarget("10.77.1.5", "00:0A:14", "Orvex", "255.255.255.255");
    EXPECT_EQ(badMac.Mac, std::nullopt);
    EXPECT_EQ(badMac.Family, "");
    EXPECT_EQ(RevisionTarget("10.77.1.5", "00:0A:14:1E:28:32", "", "10.77.1.5").Mac, std::nullopt)
        << "no family, no MAC";
    // Given by its address: asked at the address itself when no interface of this PC holds it.
    const TRevisionTarget routed = RevisionTarget("203.0.113.9", "", "", "");
    EXPECT_EQ(routed.Broadcast, "203.0.113.9");
    EXPECT_EQ(routed.Mac, std::nullopt);
}
