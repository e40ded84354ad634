// The upgrade batch with the check of the new firmware (TTransferBatch::SetVerification), shared
// by the window and pyxet-cli: devices on loopback addresses (tests/fakeupgrade.h) that come
// back with a new revision, the old one or never; the lines each device gets, the log, the
// summary, the results pyxet-cli prints from; the steps run on other threads, each on a batch
// of its own, as pyxet-cli's --jobs runs them; a device not verified is a failed device for
// "Check Failed Devices"; and the waits that end on a stop.
#include "../fakeupgrade.h"
#include "coreapp.h"
#include "logcapture.h"
#include "recordedlines.h"

#include "core/app/i18n.h"
#include "core/discovery/probe.h"
#include "core/http/batch.h"
#include "core/http/faileddevices.h"
#include "core/http/http.h"
#include "core/protocols/orvex/product.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using TAfter = TFakeUpgradeDevice::TAfter;

class VerifyBatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseLanguage("en");
        std::ofstream(Image, std::ios::binary) << std::string(3000, 'K');
    }
    void TearDown() override { std::remove(Image.c_str()); }
    const std::string Image = testing::TempDir() + "verify-image.kri";
    const std::string Separator = std::string(42, '-');
};

const std::vector<TBatchDevice> kDevices = {{"Alpha", "127.0.0.1"}, {"Bravo", "127.0.0.2"}, {"Charlie", "127.0.0.3"}};

}  // namespace

TEST_F(VerifyBatch, EachDeviceGetsItsVerdictAfterItsResultLine)
{
    TLogCapture log;
    TFakeUpgradeDevice alpha("127.0.0.1", TAfter::NewRevision, "1.0", "2.0");
    TFakeUpgradeDevice bravo("127.0.0.2", TAfter::SameRevision, "1.0");
    TFakeUpgradeDevice charlie("127.0.0.3", TAfter::NeverBack, "1.0");
    ASSERT_TRUE(alpha.Listening && bravo.Listening && charlie.Listening);
    THTTPModule http;
    TRecordedLines lines;
    TTransferBatch batch(http, lines);
    batch.SetVerification({5, {}});
    const std::vector<TDeviceResult> results = batch.Upgrade(kDevices, Image);

    const std::vector<std::string> expected = {"Alpha  (127.0.0.1)",
                                               "Upgrade successful.",
                                               "Upgrade Succeeded",
                                               "Verified: 1.0 → 2.0",
                                               Separator,
                                               "Bravo  (127.0.0.2)",
                                               "Upgrade successful.",
                                               "Upgrade Succeeded",
                                               "Not verified: the firmware revision is still 1.0",
                                               Separator,
                                               "Charlie  (127.0.0.3)",
                                               "Upgrade successful.",
                                               "Upgrade Succeeded",
                                               "Not verified: no answer to discovery within 5 s",
                                               Separator,
                                               "Processes Summary:",
                                               "Successful: 1",
                                               "Unsuccessful: 2",
                                               "Verified: 1"};
    EXPECT_EQ(lines.Lines, expected);

    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].Ok);
    EXPECT_TRUE(results[0].Verified);
    EXPECT_EQ(results[0].FirmwareBefore, "1.0");
    EXPECT_EQ(results[0].FirmwareAfter, "2.0");
    EXPECT_FALSE(results[1].Ok);
    EXPECT_FALSE(results[1].Verified);
    EXPECT_EQ(results[1].Error, "not verified: the firmware revision is still 1.0");
    EXPECT_EQ(results[1].FirmwareAfter, "1.0");
    EXPECT_FALSE(results[2].Ok);
    EXPECT_EQ(results[2].Error, "not verified: no answer to discovery within 5 s");
    EXPECT_EQ(results[2].FirmwareBefore, "1.0");
    EXPECT_EQ(results[2].FirmwareAfter, std::nullopt);

    // The log: each verdict right after its device's upload lines.
    std::vector<std::string> messages;
    for (size_t i = 0; i < log.Lines().size(); ++i)
        messages.push_back(log.Message(i));
    const auto at = [&](const std::string& m) {
        return int(std::find(messages.begin(), messages.end(), m) - messages.begin());
    };
    EXPECT_LT(at("Data upgraded."), at("Firmware of 127.0.0.1 verified: 1.0 before, 2.0 after."));
    EXPECT_LT(at("Firmware of 127.0.0.1 verified: 1.0 before, 2.0 after."),
              at("Upgrade data from 127.0.0.2 starting."));
    EXPECT_LT(at("not verified: the firmware revision is still 1.0"), at("Upgrade data from 127.0.0.3 starting."));
    EXPECT_LT(at("not verified: no answer to discovery within 5 s"), int(messages.size()));

    // Not verified is failed: "Check Failed Devices" checks Bravo and Charlie.
    TFailedDevices failed;
    std::vector<TUnitKey> identities;
    std::vector<std::unique_ptr<TProductOrvex>> found;
    std::vector<TDeviceRow> rows;
    for (int n = 1; n <= 3; ++n) {
        const std::string mac = "00:0A:14:00:00:0" + std::to_string(n);
        identities.push_back(UnitKey(mac, "Orvex"));
        found.push_back(std::make_unique<TProductOrvex>());
        found.back()->Info.MAC = mac;
        rows.push_back({"line", found.back().get()});
    }
    failed.Record(identities, results);
    EXPECT_EQ(failed.Matching(rows), (std::vector<int>{1, 2}));
}

TEST_F(VerifyBatch, AFailedUploadIsNotWaitedForAndNoVerdictIsAdded)
{
    TLogCapture log;
    THTTPModule http;
    TRecordedLines lines;
    TTransferBatch batch(http, lines);
    batch.SetVerification({30, {}});
    QElapsedTimer clock;
    clock.start();
    // Nobody listens on 127.0.0.9: the connection is refused, nothing answers discovery.
    const std::vector<TDeviceResult> results = batch.Upgrade({{"Gone", "127.0.0.9"}}, Image);
    EXPECT_LT(clock.elapsed(), 15000);
    const std::vector<std::string> expected = {
        "Gone  (127.0.0.9)",  "Upgrade unsuccessful.", "Upgrade Failed",  Separator,
        "Processes Summary:", "Successful: 0",         "Unsuccessful: 1", "Verified: 0"};
    EXPECT_EQ(lines.Lines, expected);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].Ok);
    EXPECT_FALSE(results[0].Verified);
    EXPECT_EQ(results[0].FirmwareBefore, std::nullopt);
}

TEST_F(VerifyBatch, StepsOnOtherThreadsTakeTheSettingAndItsStop)
{
    TFakeUpgradeDevice alpha("127.0.0.1", TAfter::NewRevision, "1.0", "2.0");
    TFakeUpgradeDevice charlie("127.0.0.3", TAfter::NeverBack, "1.0");
    ASSERT_TRUE(alpha.Listening && charlie.Listening);
    THTTPModule http;
    TRecordedLines lines;
    TTransferBatch batch(http, lines);
    std::atomic<bool> stop = false;
    batch.SetVerification({600, [&stop] { return stop.load(); }});
    // As pyxet-cli's --jobs: every step on a thread of its own, on a batch of its own.
    struct TWorker {
        THTTPModule Module;
        TRecordedLines Lines;
        TTransferBatch Batch{Module, Lines};
    };
    std::vector<std::unique_ptr<TWorker>> workers;
    batch.SetRunner([&](size_t count, const TTransferBatch::TDeviceStep& step) {
        std::vector<TDeviceResult> results(count);
        std::vector<std::thread> threads;
        for (size_t i = 0; i < count; ++i)
            workers.push_back(std::make_unique<TWorker>());
        for (size_t i = 0; i < count; ++i)
            threads.emplace_back([&, i] { results[i] = step(workers[i]->Batch, i); });
        // Alpha verifies on its own; Charlie's wait of ten minutes ends with the stop.
        threads[0].join();
        while (charlie.InfoRequests() < 2)  // asked before its image, and again after it
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stop = true;
        threads[1].join();
        return results;
    });
    QElapsedTimer clock;
    clock.start();
    const std::vector<TDeviceResult> results = batch.Upgrade({kDevices[0], kDevices[2]}, Image);
    EXPECT_LT(clock.elapsed(), 20000);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[0].Verified);
    EXPECT_EQ(results[0].FirmwareAfter, "2.0");
    EXPECT_FALSE(results[1].Ok);
    EXPECT_EQ(results[1].FirmwareBefore, "1.0");
    EXPECT_EQ(workers[0]->Lines.Lines[3], "Verified: 1.0 → 2.0");
    EXPECT_EQ(workers[1]->Lines.Lines[3], "Not verified: no answer to discovery within 600 s");
    EXPECT_EQ(lines.Lines.back(), "Verified: 1");
}

// The waits of the check run on the batch's own threads (a window's event loop never waits in
// them): the whole time without a stop, and a stop said from another thread ends them within a
// look or two.
TEST(WaitUnlessStopped, WaitsItsTimeAndEndsOnAStopFromAnotherThread)
{
    QElapsedTimer clock;
    clock.start();
    WaitUnlessStopped(300, {});
    EXPECT_GE(clock.elapsed(), 290);

    std::atomic<bool> stop = false;
    std::atomic<bool> ended = false;
    std::thread waiter([&] {
        QElapsedTimer own;
        own.start();
        WaitUnlessStopped(60000, [&stop] { return stop.load(); });
        EXPECT_LT(own.elapsed(), 20000);
        ended = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(ended.load()) << "it ended before the stop";
    stop = true;
    waiter.join();
    EXPECT_TRUE(ended.load());
}
