// TTransferRun, a batch as a run object: one device at a time and several at once give the same
// progress lines, log lines and results in list order, handed to the calling thread while its
// event loop turns; Finished comes once; a stop asked while a device hangs ends the run with the
// summary. Devices on loopback addresses (tests/fakeupgrade.h), and one that takes the
// connection and never answers.
#include "../fakeupgrade.h"
#include "coreapp.h"
#include "logcapture.h"

#include "core/app/i18n.h"
#include "core/http/transferrun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using TAfter = TFakeUpgradeDevice::TAfter;

// The progress window: its lines as they finally read, and whether any came on another thread.
class TShownLines : public TProgressLines {
public:
    void Open(const std::string& caption) override
    {
        Check();
        Captions.push_back(caption);
    }
    void AddLine(const std::string& text) override
    {
        Check();
        Lines.push_back(text);
    }
    void ReplaceLine(const std::string& text) override
    {
        Check();
        if (!Lines.empty())
            Lines.back() = text;
    }
    void EndDevice(const std::string& failure) override
    {
        Check();
        Ends.push_back(failure);
    }
    bool Has(const std::string& text) const { return std::find(Lines.begin(), Lines.end(), text) != Lines.end(); }
    std::vector<std::string> Captions, Lines, Ends;
    int ElsewhereCalls = 0;

private:
    void Check()
    {
        if (std::this_thread::get_id() != Caller)
            ++ElsewhereCalls;
    }
    std::thread::id Caller = std::this_thread::get_id();
};

// A web server that takes the connection and never answers: an upload to it hangs until stopped.
class TSilentDevice {
public:
    explicit TSilentDevice(const char* address)
    {
        Socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_port = htons(80);
        ::inet_pton(AF_INET, address, &where.sin_addr);
        const int on = 1;
        ::setsockopt(Socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        Listening = Socket >= 0 && ::bind(Socket, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0
                    && ::listen(Socket, 8) == 0;
    }
    ~TSilentDevice()
    {
        if (Socket >= 0)
            ::close(Socket);
    }
    bool Listening = false;

private:
    int Socket = -1;
};

// Turns the event loop until `done` says true or a minute has gone (a hung run fails the test).
template <typename F> bool TurnUntil(F done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// A few more turns of the loop: anything still queued (a second Finished) comes now.
void Settle()
{
    QEventLoop loop;
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
}

class TransferRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        UseLanguage("en");
        std::ofstream(Image, std::ios::binary) << std::string(3000, 'K');
    }
    void TearDown() override { std::remove(Image.c_str()); }

    // Starts an upgrade of `devices`, `jobs` at once, and counts its Finished signals.
    void Start(TTransferRun& run, const std::vector<TBatchDevice>& devices, int jobs)
    {
        QObject::connect(&run, &TTransferRun::Finished, [this] { ++Finished; });
        QObject::connect(&run, &TTransferRun::Started, [this] { ++Started; });
        TTransferOrder order;
        order.Command = TTransferCommand::Upgrade;
        order.Devices = devices;
        order.File = Image;
        order.Jobs = jobs;
        run.Start(order);
    }

    const std::string Image = testing::TempDir() + "transferrun-image.kri";
    const std::string Separator = std::string(42, '-');
    THTTPHost Host;  // no login dialog, no progress bar
    int Finished = 0;
    int Started = 0;
};

}  // namespace

TEST_F(TransferRun, OneAndSeveralAtOnceGiveTheSameLinesLogAndResultsInListOrder)
{
    TFakeUpgradeDevice alpha("127.0.0.1", TAfter::NewRevision);
    TFakeUpgradeDevice charlie("127.0.0.3", TAfter::NewRevision);
    TFakeUpgradeDevice delta("127.0.0.4", TAfter::NewRevision);
    ASSERT_TRUE(alpha.Listening && charlie.Listening && delta.Listening);
    // Nobody listens on 127.0.0.9: Bravo's connection is refused.
    const std::vector<TBatchDevice> devices = {
        {"Alpha", "127.0.0.1"}, {"Bravo", "127.0.0.9"}, {"Charlie", "127.0.0.3"}, {"Delta", "127.0.0.4"}};
    std::vector<std::string> firstLog;
    for (const int jobs : {1, 3}) {
        SCOPED_TRACE("jobs " + std::to_string(jobs));
        Finished = Started = 0;
        TLogCapture log;
        TShownLines lines;
        TTransferRun run(Host, lines);
        Start(run, devices, jobs);
        EXPECT_EQ(Started, 1);
        EXPECT_TRUE(run.Running());
        ASSERT_TRUE(TurnUntil([&] { return Finished > 0; })) << "the run never finished";
        Settle();
        EXPECT_EQ(Finished, 1);
        EXPECT_FALSE(run.Running());
        EXPECT_EQ(lines.ElsewhereCalls, 0) << "lines were written off the calling thread";

        const std::vector<std::string> expected = {
            "Alpha  (127.0.0.1)",   "Upgrade successful.",   "Upgrade Succeeded", Separator,
            "Bravo  (127.0.0.9)",   "Upgrade unsuccessful.", "Upgrade Failed",    Separator,
            "Charlie  (127.0.0.3)", "Upgrade successful.",   "Upgrade Succeeded", Separator,
            "Delta  (127.0.0.4)",   "Upgrade successful.",   "Upgrade Succeeded", Separator,
            "Processes Summary:",   "Successful: 3",         "Unsuccessful: 1"};
        EXPECT_EQ(lines.Lines, expected);
        EXPECT_EQ(lines.Captions, std::vector<std::string>{"Upgrade Firmware"});
        ASSERT_EQ(lines.Ends.size(), 4u);
        EXPECT_TRUE(lines.Ends[0].empty());
        EXPECT_FALSE(lines.Ends[1].empty()) << "Bravo's block ends with why it failed";

        ASSERT_EQ(run.Results().size(), 4u);
        for (size_t i = 0; i < devices.size(); ++i)
            EXPECT_EQ(run.Results()[i].Host, devices[i].PeerIP) << i;
        EXPECT_FALSE(run.Results()[1].Ok);
        EXPECT_TRUE(run.Results()[0].Ok && run.Results()[2].Ok && run.Results()[3].Ok);
        if (jobs == 1) {
            EXPECT_EQ(run.MostAtOnce(), 1);
        }

        // The log: the start lines, each device's own lines in list order, the end lines; the
        // same, line for line, however many ran at once.
        std::vector<std::string> messages;
        for (size_t i = 0; i < log.Lines().size(); ++i)
            messages.push_back(log.Message(i));
        ASSERT_GE(messages.size(), 4u);
        EXPECT_EQ(messages.front(), "Firmware upgrade starting.");
        EXPECT_EQ(messages.back(), "Firmware upgrade end.");
        std::vector<std::string> starts;
        for (const std::string& m : messages)
            if (m.rfind("Upgrade data from ", 0) == 0)
                starts.push_back(m);
        EXPECT_EQ(starts, (std::vector<std::string>{
                              "Upgrade data from 127.0.0.1 starting.", "Upgrade data from 127.0.0.9 starting.",
                              "Upgrade data from 127.0.0.3 starting.", "Upgrade data from 127.0.0.4 starting."}));
        // The transfers' own detail depends on timing; every other line is the same for one and
        // several.
        std::vector<std::string> steady;
        for (size_t i = 0; i < log.Lines().size(); ++i)
            if (log.Lines()[i].Level != LOG_DEBUG)
                steady.push_back(messages[i]);
        if (jobs == 1) {
            firstLog = steady;
        } else {
            EXPECT_EQ(steady, firstLog);
        }
    }
    EXPECT_EQ(alpha.Uploads(), 2);
    EXPECT_EQ(delta.Uploads(), 2);
}

TEST_F(TransferRun, AStopAskedWhileADeviceHangsEndsTheRunWithTheSummary)
{
    TSilentDevice silent("127.0.0.5");
    TFakeUpgradeDevice bravo("127.0.0.6", TAfter::NewRevision);
    TFakeUpgradeDevice charlie("127.0.0.7", TAfter::NewRevision);
    ASSERT_TRUE(silent.Listening && bravo.Listening && charlie.Listening);
    const std::vector<TBatchDevice> devices = {{"Hung", "127.0.0.5"}, {"Bravo", "127.0.0.6"}, {"Charlie", "127.0.0.7"}};
    TLogCapture log;
    TShownLines lines;
    TTransferRun run(Host, lines);
    Start(run, devices, 1);
    // The first device's upload is under way: its device line is shown as it comes.
    ASSERT_TRUE(TurnUntil([&] { return lines.Has("Hung  (127.0.0.5)"); }));
    // The Stop button once: the hung transfer may end on its own, no later device starts.
    run.RequestStop();
    Settle();
    EXPECT_TRUE(run.Running()) << "the first stop ended the running transfer";
    // Twice: the running transfer ends at once.
    run.RequestStop();
    ASSERT_TRUE(TurnUntil([&] { return Finished > 0; })) << "the stop did not end the run";
    Settle();
    EXPECT_EQ(Finished, 1);

    const std::vector<std::string> expected = {"Hung  (127.0.0.5)", "Upgrade unsuccessful.", "Upgrade Failed",
                                               Separator,           "Processes Summary:",    "Successful: 0",
                                               "Unsuccessful: 1",   "Not started: 2"};
    EXPECT_EQ(lines.Lines, expected);
    ASSERT_EQ(run.Results().size(), 1u);
    EXPECT_FALSE(run.Results()[0].Ok);
    EXPECT_EQ(bravo.Uploads() + charlie.Uploads(), 0);
    bool stoppedLogged = false;
    for (size_t i = 0; i < log.Lines().size(); ++i)
        stoppedLogged = stoppedLogged || log.Message(i) == "The batch was stopped.";
    EXPECT_TRUE(stoppedLogged);
    EXPECT_EQ(log.Message(log.Lines().size() - 1), "Firmware upgrade end.");
}

TEST_F(TransferRun, StopEndsSeveralHungTransfersAtOnceAndStartsNoMore)
{
    TSilentDevice first("127.0.0.5");
    TSilentDevice second("127.0.0.8");
    TFakeUpgradeDevice charlie("127.0.0.6", TAfter::NewRevision);
    TFakeUpgradeDevice delta("127.0.0.7", TAfter::NewRevision);
    ASSERT_TRUE(first.Listening && second.Listening && charlie.Listening && delta.Listening);
    const std::vector<TBatchDevice> devices = {
        {"One", "127.0.0.5"}, {"Two", "127.0.0.8"}, {"Charlie", "127.0.0.6"}, {"Delta", "127.0.0.7"}};
    TLogCapture log;
    TShownLines lines;
    TTransferRun run(Host, lines);
    std::vector<int> running;
    QObject::connect(&run, &TTransferRun::Progress, [&](int, int now, int) { running.push_back(now); });
    Start(run, devices, 2);
    ASSERT_TRUE(TurnUntil([&] { return std::count(running.begin(), running.end(), 2) > 0; }))
        << "the two hung devices never ran side by side";
    run.Stop();
    ASSERT_TRUE(TurnUntil([&] { return Finished > 0; })) << "the stop did not end the run";
    Settle();
    EXPECT_EQ(Finished, 1);
    ASSERT_EQ(run.Results().size(), 2u);
    EXPECT_FALSE(run.Results()[0].Ok || run.Results()[1].Ok);
    EXPECT_EQ(charlie.Uploads() + delta.Uploads(), 0);
    ASSERT_GE(lines.Lines.size(), 4u);
    EXPECT_EQ(lines.Lines[0], "One  (127.0.0.5)");
    EXPECT_EQ(lines.Lines[4], "Two  (127.0.0.8)");
    EXPECT_EQ(lines.Lines.back(), "Not started: 2");
}
