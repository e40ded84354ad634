// The wait after an accepted image (upgrade --verify): when it asks the device, when it passes
// and how it fails. A scripted device on a simulated clock.
#include "core/devices/probe.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
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
