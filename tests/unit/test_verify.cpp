// The wait after an accepted image (upgrade --verify): when it asks the device, when it passes
// and how it fails, a scripted device on a simulated clock; and the question it asks
// (AskFirmwareRevision) of a device on loopback inside the test's private network namespace.
#include "core/discovery/probe.h"

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

#include <atomic>
#include <cstring>
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

int UdpSocket(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

Bytes OrvexAnswer(const std::string& revision)
{
    Bytes answer = BuildOrvexInfoRequest();
    const Bytes mac = {0x00, 0x0A, 0x14, 0x1E, 0x28, 0x32};
    std::copy(mac.begin(), mac.end(), answer.begin());
    std::fill(answer.begin() + 98, answer.begin() + 114, 0);
    std::memcpy(&answer[98], revision.data(), revision.size());
    return answer;
}

Bytes HwgAnswer()  // revision 2.3.5
{
    Bytes answer(48, 0);
    const Bytes mac = {0x00, 0x0A, 0x59, 0x01, 0x02, 0x03};
    std::copy(mac.begin(), mac.end(), answer.begin());
    answer[22] = 0x35;
    answer[23] = 0x1A;
    HwgSignPacket(answer.data(), answer.size());
    return answer;
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
                pollfd watched[2] = {{Orvex, POLLIN, 0}, {Hwg, POLLIN, 0}};
                if (::poll(watched, 2, 20) <= 0)
                    continue;
                for (int family = 0; family < 2; ++family) {
                    if (!(watched[family].revents & POLLIN))
                        continue;
                    uint8_t buffer[512];
                    socklen_t size = sizeof from[family];
                    ::recvfrom(watched[family].fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from[family]),
                               &size);
                    heard[family] = true;
                }
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

TEST(AskFirmwareRevision, AnAnswerFromAnyPortIsTakenByTheFamilyThatAsked)
{
    TLogCapture log;
    {
        TEphemeralDevice orvex;
        ASSERT_TRUE(orvex.Open());
        ASSERT_NE(orvex.AnswerPort(), Orvex::kPort);
        orvex.AnswerTo = [](bool hwg) { return hwg ? Bytes{} : OrvexAnswer("1.4.2"); };
        orvex.Run();
        EXPECT_EQ(AskFirmwareRevision("127.0.0.1", 3000), "1.4.2");
    }
    {
        TEphemeralDevice hwg;
        ASSERT_TRUE(hwg.Open());
        hwg.AnswerTo = [](bool isHwg) { return isHwg ? HwgAnswer() : Bytes{}; };
        hwg.Run();
        EXPECT_EQ(AskFirmwareRevision("127.0.0.1", 3000), "2.3.5");
    }
    {
        // Each answer sent to the other family's socket: an Orvex answer is no HWG answer and an
        // HWG answer no Orvex one, so neither counts.
        TEphemeralDevice crossed;
        ASSERT_TRUE(crossed.Open());
        crossed.Crossed = true;
        crossed.AnswerTo = [](bool hwg) { return hwg ? HwgAnswer() : OrvexAnswer("1.4.2"); };
        crossed.Run();
        EXPECT_EQ(AskFirmwareRevision("127.0.0.1", 500), std::nullopt);
    }
}
