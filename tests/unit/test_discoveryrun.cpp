// A discovery cycle by a plan: every broadcast address per family, the repeats 250 ms apart and
// the end of sending; inside the test's private network namespace.
#include "coreapp.h"
#include "core/app/settings.h"
#include "core/discovery/discovery.h"
#include "core/devices/registry.h"
#include "core/devices/udpserver.h"
#include "logcapture.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Sends(const TLogCapture& log)
{
    std::vector<std::string> sends;
    for (size_t i = 0; i < log.Lines().size(); ++i)
        if (log.Message(i).rfind("->> Sending", 0) == 0)
            sends.push_back(log.Message(i));
    return sends;
}

} // namespace

TEST(DiscoveryRun, EachAddressEachFamilyThenTheRepeats)
{
    EnsureApp();
    TLogCapture log;
    TUDPServer orvex, hwg;
    TDeviceRegistry list;
    const TSettings settings;
    TDiscoveryRun run;
    int finished = 0;
    QElapsedTimer clock;
    qint64 finishedAt = -1;
    QObject::connect(&run, &TDiscoveryRun::Finished, [&] {
        ++finished;
        finishedAt = clock.elapsed();
    });
    TDiscoveryPlan plan;
    plan.Broadcasts = {kLimitedBroadcast, *ParseAddress("10.77.255.255")};
    plan.Repeat = 3;
    clock.start();
    run.Start(list, DiscoveryFamilies({&orvex, &hwg}, settings), plan);
    const std::vector<std::string> first = {
        "->> Sending Orvex UDP Info to 255.255.255.255", "->> Sending Orvex UDP Info to 10.77.255.255",
        "->> Sending HWG UDP Info to 255.255.255.255", "->> Sending HWG UDP Info to 10.77.255.255"};
    EXPECT_EQ(Sends(log), first);
    EXPECT_TRUE(run.Sending());
    EXPECT_EQ(finished, 0);
    while (!finished && clock.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(finished, 1);
    EXPECT_GE(finishedAt, 490) << "two repeats, 250 ms apart";
    std::vector<std::string> all = first;
    all.insert(all.end(), first.begin(), first.end());
    all.insert(all.end(), first.begin(), first.end());
    EXPECT_EQ(Sends(log), all);
    EXPECT_FALSE(run.Sending());
}

TEST(DiscoveryRun, OneRequestFinishesAtOnceAndStopEndsTheRepeats)
{
    EnsureApp();
    TLogCapture log;
    TUDPServer orvex, hwg;
    TDeviceRegistry list;
    const TSettings settings;
    TDiscoveryRun run;
    int finished = 0;
    QObject::connect(&run, &TDiscoveryRun::Finished, [&] { ++finished; });
    run.Start(list, DiscoveryFamilies({&orvex, &hwg}, settings), TDiscoveryPlan{});
    EXPECT_EQ(finished, 1) << "nothing to repeat";
    EXPECT_EQ(Sends(log).size(), 2u);

    TDiscoveryPlan plan;
    plan.Repeat = 5;
    run.Start(list, DiscoveryFamilies({&orvex, &hwg}, settings), plan);
    run.Stop();
    EXPECT_EQ(finished, 2);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 400)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(Sends(log).size(), 4u) << "no repeat after Stop";
}
