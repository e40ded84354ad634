// The upgrade batch carrying a rollout out (TTransferBatch::SetRollout, SetJournal, SetResumed):
// units on loopback addresses that take an image or refuse it and come back with a revision at
// once; the waves a batch runs its units in and the halt after a failed wave; units already at
// the image's revision skipped within their kind; the journal's states as the units move; a
// resume that never sends an image twice; the retries of units that were away; the states of a
// plain upgrade. Inside the test's private network namespace.
#include "../fakeweb.h"
#include "coreapp.h"
#include "logcapture.h"
#include "recordedlines.h"

#include "core/app/i18n.h"
#include "core/http/batch.h"
#include "core/http/http.h"
#include "core/http/rollout.h"
#include "core/http/transferrun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// A unit on a loopback address: POST /upload answered with `status`, GET /setup.xml with its
// configuration (another one after an image, when given), the Orvex info request with its MAC
// and its revision (the new one at once after an accepted image).
class TRolloutUnit {
public:
    struct TSetup {
        std::string Address;
        std::string Mac;
        std::string Revision;
        std::string NewRevision;
        std::string Status;
        std::string Config;
        std::string ConfigAfter;  // "" = the same
    };
    explicit TRolloutUnit(std::string address, std::string mac, std::string revision = "1.0",
                          std::string newRevision = "2.0", std::string status = "200 OK",
                          std::string config = "<setup><name>unit</name><dhcp>0</dhcp></setup>",
                          std::string configAfter = "")
        : Setup{address, mac, revision, newRevision, status, config, configAfter}, Sockets(address)
    {
        Listening = Sockets.Listening;
        if (Listening)
            Thread = std::thread([this] { Serve(); });
    }
    ~TRolloutUnit()
    {
        Quit = true;
        if (Thread.joinable())
            Thread.join();
    }
    TRolloutUnit(const TRolloutUnit&) = delete;
    TRolloutUnit& operator=(const TRolloutUnit&) = delete;

    bool Listening = false;
    int Uploads() const { return UploadCount; }
    // Called on the unit's thread as each info request arrives (before the answer).
    std::function<void()> OnInfo;
    // Called as the image's body is in (before the answer).
    std::function<void()> OnUpload;

private:
    bool Accepted() const { return UploadCount > 0 && Setup.Status.rfind("200", 0) == 0; }

    std::vector<uint8_t> InfoAnswer() const
    {
        std::vector<uint8_t> answer = BuildOrvexInfoRequest();
        unsigned mac[6] = {};
        std::sscanf(Setup.Mac.c_str(), "%x:%x:%x:%x:%x:%x", &mac[0], &mac[1], &mac[2], &mac[3], &mac[4], &mac[5]);
        for (int k = 0; k < 6; ++k)
            answer[size_t(k)] = uint8_t(mac[k]);
        const std::string revision = Accepted() ? Setup.NewRevision : Setup.Revision;
        std::fill(answer.begin() + 98, answer.begin() + 114, 0);
        std::memcpy(&answer[98], revision.data(), std::min<size_t>(revision.size(), 16));
        return answer;
    }

    void Serve()
    {
        ServeFake(
            Sockets, Quit,
            [this] {
                if (OnInfo)
                    OnInfo();
                return InfoAnswer();
            },
            [this](const std::string& request, const std::string&, size_t) {
                if (request.rfind("POST /upload", 0) == 0) {
                    if (OnUpload)
                        OnUpload();
                    ++UploadCount;
                    return TFakeAnswer{Setup.Status, "<html><h1>Upload</h1></html>"};
                }
                if (request.rfind("GET /setup.xml", 0) == 0)
                    return TFakeAnswer{"200 OK", Accepted() && !Setup.ConfigAfter.empty() ? Setup.ConfigAfter
                                                                                         : Setup.Config,
                                       "text/xml"};
                return TFakeAnswer{"404 Not Found", ""};
            });
    }

    TSetup Setup;
    TFakeSockets Sockets;
    std::atomic<int> UploadCount{0};
    std::atomic<bool> Quit{false};
    std::thread Thread;
};

// Runs a batch's steps one after another on the batch itself, each call's count kept in `calls`
// (a wave, or a round of retries, is one call); `before` (when given) runs ahead of each call.
void RecordCalls(TTransferBatch& batch, std::vector<size_t>& calls, std::function<void()> before = {})
{
    batch.SetRunner([&batch, &calls, before](size_t count, const TTransferBatch::TDeviceStep& step) {
        calls.push_back(count);
        if (before)
            before();
        std::vector<TDeviceResult> results;
        for (size_t i = 0; i < count; ++i)
            results.push_back(step(batch, i));
        return results;
    });
}

const std::string kSeparator(42, '-');

TBatchDevice Unit(const std::string& name, const std::string& address, const std::string& mac,
                  const std::string& revision = "1.0", int type = 7, const std::string& typeName = "Sense T")
{
    TBatchDevice device{name, address, mac, "Orvex", address};
    device.Kind = {"Orvex", type, typeName};
    device.Revision = revision;
    return device;
}

class RolloutBatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        UseLanguage("en");
        std::filesystem::create_directories(Folder);
        std::ofstream(Image, std::ios::binary) << std::string(2000, 'K');
    }
    void TearDown() override { std::filesystem::remove_all(Folder); }

    std::vector<std::string> Summary(const TRecordedLines& lines) const
    {
        const auto at = std::find(lines.Lines.begin(), lines.Lines.end(), "Processes Summary:");
        return {at, lines.Lines.end()};
    }

    const std::string Folder = testing::TempDir() + "rolloutbatch";
    const std::string Image = Folder + "/image.kri";
};

std::vector<TUnitState> States(const std::vector<TDeviceResult>& results)
{
    std::vector<TUnitState> states;
    for (const TDeviceResult& result : results)
        states.push_back(result.State);
    return states;
}

}  // namespace

// ---- Plain upgrade --------------------------------------------------------------------------

TEST_F(RolloutBatch, APlainUpgradeGivesEachUnitItsStateAndTheLinesAsEver)
{
    TRolloutUnit alpha("127.0.0.1", "00:0A:14:00:00:01");
    TRolloutUnit bravo("127.0.0.2", "00:0A:14:00:00:02", "1.0", "2.0", "500 Internal Server Error");
    ASSERT_TRUE(alpha.Listening && bravo.Listening);
    TBatchDevice shared = Unit("Delta", "127.0.0.4", "00:0A:14:00:00:04");
    shared.SharesWith = 1;
    THTTPModule http;
    TRecordedLines lines;
    TTransferBatch batch(http, lines);
    const std::vector<TDeviceResult> results =
        batch.Upgrade({Unit("Alpha", "127.0.0.1", "00:0A:14:00:00:01"), Unit("Bravo", "127.0.0.2", "00:0A:14:00:00:02"),
                       Unit("Charlie", "127.0.0.3", "00:0A:14:00:00:03"), shared},
                      Image);
    ASSERT_EQ(results.size(), 4u);
    EXPECT_EQ(States(results), (std::vector<TUnitState>{TUnitState::Upgraded, TUnitState::Failed, TUnitState::Failed,
                                                        TUnitState::Refused}));
    EXPECT_TRUE(results[0].Ok);
    EXPECT_EQ(results[0].Reason, "");
    EXPECT_FALSE(results[1].Unreachable);  // it took the body, and refused it
    EXPECT_EQ(results[1].Reason, results[1].Error);
    EXPECT_TRUE(results[2].Unreachable);  // nobody listens there
    EXPECT_NE(results[3].Reason, "");
    const std::vector<std::string> expected = {"Alpha  (127.0.0.1)",
                                               "Upgrade successful.",
                                               "Upgrade Succeeded",
                                               kSeparator,
                                               "Bravo  (127.0.0.2)",
                                               "Upgrade unsuccessful.",
                                               "Upgrade Failed",
                                               kSeparator,
                                               "Charlie  (127.0.0.3)",
                                               "Upgrade unsuccessful.",
                                               "Upgrade Failed",
                                               kSeparator,
                                               "Delta  (127.0.0.4)",
                                               SharedAddressRefusal("127.0.0.4", 1),
                                               "Upgrade Failed (00:0A:14:00:00:04)",
                                               kSeparator,
                                               "Processes Summary:",
                                               "Successful: 1",
                                               "Unsuccessful: 3"};
    EXPECT_EQ(lines.Lines, expected);
}

// ---- Waves and halts ------------------------------------------------------------------------

TEST_F(RolloutBatch, WavesRunInTurnAndAFailedWaveHaltsTheRest)
{
    TRolloutUnit alpha("127.0.0.1", "00:0A:14:00:00:01");
    TRolloutUnit bravo("127.0.0.2", "00:0A:14:00:00:02", "1.0", "2.0", "500 Internal Server Error");
    TRolloutUnit charlie("127.0.0.3", "00:0A:14:00:00:03");
    TRolloutUnit delta("127.0.0.4", "00:0A:14:00:00:04");
    TRolloutUnit echo("127.0.0.5", "00:0A:14:00:00:05");
    ASSERT_TRUE(alpha.Listening && bravo.Listening && charlie.Listening && delta.Listening && echo.Listening);
    TBatchDevice shared = Unit("Shared", "127.0.0.6", "00:0A:14:00:00:06");
    shared.SharesWith = 2;
    THTTPModule http;
    TRecordedLines lines;
    TTransferBatch batch(http, lines);
    TRolloutSetting rollout;
    rollout.First = 1;
    rollout.Wave = 2;
    rollout.HaltAfter = 1;
    batch.SetRollout(rollout);
    // The runner sees each wave as one call.
    std::vector<size_t> calls;
    RecordCalls(batch, calls);
    TLogCapture log;
    const std::vector<TDeviceResult> results = batch.Upgrade(
        {Unit("Alpha", "127.0.0.1", "00:0A:14:00:00:01"), shared, Unit("Bravo", "127.0.0.2", "00:0A:14:00:00:02"),
         Unit("Charlie", "127.0.0.3", "00:0A:14:00:00:03"), Unit("Delta", "127.0.0.4", "00:0A:14:00:00:04"),
         Unit("Echo", "127.0.0.5", "00:0A:14:00:00:05")},
        Image);
    // The first unit alone; the refused unit rides with Bravo and Charlie; Bravo's failure halts.
    EXPECT_EQ(calls, (std::vector<size_t>{1, 3}));
    EXPECT_EQ(alpha.Uploads() + bravo.Uploads() + charlie.Uploads(), 3);
    EXPECT_EQ(delta.Uploads() + echo.Uploads(), 0);
    ASSERT_EQ(results.size(), 6u);
    EXPECT_EQ(States(results),
              (std::vector<TUnitState>{TUnitState::Upgraded, TUnitState::Refused, TUnitState::Failed,
                                       TUnitState::Upgraded, TUnitState::NotStarted, TUnitState::NotStarted}));
    EXPECT_FALSE(lines.Has("Delta  (127.0.0.4)"));
    const std::vector<std::string> summary = {"Processes Summary:", "Successful: 2", "Unsuccessful: 2",
                                              "Not started: 2", HaltLine(1, 2, 2)};
    EXPECT_EQ(Summary(lines), summary);
    bool logged = false;
    for (const TLogLine& line : log.Lines())
        logged = logged || (line.Text.substr(1) == HaltLine(1, 2, 2) && line.Level == LOG_ERROR);
    EXPECT_TRUE(logged);
}

TEST_F(RolloutBatch, AFirstUnitThatFailsHaltsBeforeAnyOtherBodyGoesOut)
{
    TRolloutUnit alpha("127.0.0.1", "00:0A:14:00:00:01", "1.0", "2.0", "500 Internal Server Error");
    TRolloutUnit bravo("127.0.0.2", "00:0A:14:00:00:02");
    TRolloutUnit charlie("127.0.0.3", "00:0A:14:00:00:03");
    ASSERT_TRUE(alpha.Listening && bravo.Listening && charlie.Listening);
    THTTPModule http;
    TRecordedLines lines;
    TTransferBatch batch(http, lines);
    TRolloutSetting rollout;
    rollout.First = 1;
    rollout.HaltAfter = 0;  // waves never halt; a first unit still does
    batch.SetRollout(rollout);
    batch.SetJobs(4);
    const std::vector<TDeviceResult> results =
        batch.Upgrade({Unit("Alpha", "127.0.0.1", "00:0A:14:00:00:01"), Unit("Bravo", "127.0.0.2", "00:0A:14:00:00:02"),
                       Unit("Charlie", "127.0.0.3", "00:0A:14:00:00:03")},
                      Image);
    EXPECT_EQ(alpha.Uploads(), 1);
    EXPECT_EQ(bravo.Uploads() + charlie.Uploads(), 0);
    EXPECT_EQ(States(results),
              (std::vector<TUnitState>{TUnitState::Failed, TUnitState::NotStarted, TUnitState::NotStarted}));
    const std::vector<std::string> summary = {"Processes Summary:", "Successful: 0", "Unsuccessful: 1",
                                              "Not started: 2", HaltLine(1, 1, 1)};
    EXPECT_EQ(Summary(lines), summary);
}

// ---- Units already current ------------------------------------------------------------------

TEST_F(RolloutBatch, TheFirstVerifiedUnitTeachesItsKindsRevisionAndOnlyThatKindSkips)
{
    TRolloutUnit alpha("127.0.0.1", "00:0A:14:00:00:01", "1.0", "2.0");
    TRolloutUnit bravo("127.0.0.2", "00:0A:14:00:00:02", "2.0", "2.1");
    TRolloutUnit charlie("127.0.0.3", "00:0A:14:00:00:03", "2.0", "2.1");
    ASSERT_TRUE(alpha.Listening && bravo.Listening && charlie.Listening);
    THTTPModule http;
    TRecordedLines lines;
    TTransferBatch batch(http, lines);
    batch.SetVerification({5, {}});
    TRolloutSetting rollout;
    rollout.First = 1;
    rollout.SkipCurrent = true;
    batch.SetRollout(rollout);
    // Bravo reported 2.0, Alpha's kind comes back with it; Charlie reported 2.0 too, but is another kind.
    const std::vector<TDeviceResult> results = batch.Upgrade(
        {Unit("Alpha", "127.0.0.1", "00:0A:14:00:00:01", "1.0"), Unit("Bravo", "127.0.0.2", "00:0A:14:00:00:02", "2.0"),
         Unit("Charlie", "127.0.0.3", "00:0A:14:00:00:03", "2.0", 9, "Poseidon 2250")},
        Image);
    EXPECT_EQ(alpha.Uploads(), 1);
    EXPECT_EQ(bravo.Uploads(), 0);
    EXPECT_EQ(charlie.Uploads(), 1);
    EXPECT_EQ(States(results),
              (std::vector<TUnitState>{TUnitState::Verified, TUnitState::Skipped, TUnitState::Verified}));
    EXPECT_TRUE(results[1].Ok);
    EXPECT_EQ(results[1].Reason, "Already at 2.0");
    const std::vector<std::string> bravoBlock = {"Bravo  (127.0.0.2)", "Already at 2.0", "Upgrade Skipped", kSeparator};
    const auto at = std::find(lines.Lines.begin(), lines.Lines.end(), "Bravo  (127.0.0.2)");
    ASSERT_NE(at, lines.Lines.end());
    EXPECT_EQ(std::vector<std::string>(at, at + 4), bravoBlock);
    const std::vector<std::string> summary = {"Processes Summary:", "Successful: 3", "Unsuccessful: 0", "Verified: 2",
                                              "Skipped: 1"};
    EXPECT_EQ(Summary(lines), summary);
}

TEST_F(RolloutBatch, ATypedRevisionSkipsFromTheStartAndSkippedUnitsAreNoFirstUnits)
{
    TRolloutUnit alpha("127.0.0.1", "00:0A:14:00:00:01", "2.0", "2.1", "500 Internal Server Error");
    TRolloutUnit bravo("127.0.0.2", "00:0A:14:00:00:02", "1.0", "2.0");
    ASSERT_TRUE(alpha.Listening && bravo.Listening);
    THTTPModule http;
    TRecordedLines lines;
    TTransferBatch batch(http, lines);
    TRolloutSetting rollout;
    rollout.First = 1;
    rollout.SkipCurrent = true;
    rollout.ImageRevision = "2.0";
    batch.SetRollout(rollout);
    std::vector<size_t> calls;
    RecordCalls(batch, calls);
    // Alpha is at 2.0 already: skipped, it is not the first unit (its failing server is never reached).
    const std::vector<TDeviceResult> results = batch.Upgrade(
        {Unit("Alpha", "127.0.0.1", "00:0A:14:00:00:01", "2.0"), Unit("Bravo", "127.0.0.2", "00:0A:14:00:00:02", "1.0")},
        Image);
    EXPECT_EQ(calls, (std::vector<size_t>{2}));
    EXPECT_EQ(alpha.Uploads(), 0);
    EXPECT_EQ(bravo.Uploads(), 1);
    EXPECT_EQ(States(results), (std::vector<TUnitState>{TUnitState::Skipped, TUnitState::Upgraded}));
    EXPECT_TRUE(lines.Has("Skipped: 1"));
}

// ---- The journal ----------------------------------------------------------------------------

TEST_F(RolloutBatch, TheJournalSaysSendingThenSentThenTheEndOfEachUnit)
{
    TRolloutUnit alpha("127.0.0.1", "00:0A:14:00:00:01");
    TRolloutUnit bravo("127.0.0.2", "00:0A:14:00:00:02", "1.0", "2.0", "500 Internal Server Error");
    ASSERT_TRUE(alpha.Listening && bravo.Listening);
    const std::vector<TBatchDevice> devices = {Unit("Alpha", "127.0.0.1", "00:0A:14:00:00:01", "1.0"),
                                               Unit("Bravo", "127.0.0.2", "00:0A:14:00:00:02", "1.0"),
                                               Unit("Charlie", "127.0.0.3", "00:0A:14:00:00:03", "1.0")};
    std::vector<TJournalUnit> units;
    for (const TBatchDevice& device : devices)
        units.push_back(JournalUnitOf(device));
    const std::string path = Folder + "/upgrade.json";
    TRolloutSetting rollout;
    rollout.SkipCurrent = true;
    rollout.ImageRevision = "9.9";
    auto journal = std::make_shared<TJournalWriter>(path, NewJournal(Image, 2000, std::string(64, 'a'), rollout, 1, 5,
                                                                     units, 1765000000));
    ASSERT_TRUE(journal->Ok());
    // What the file says of a unit whenever a unit looks.
    std::mutex seenLock;
    std::vector<std::string> seen;
    const auto look = [&](const std::string& who, size_t index) {
        std::string error;
        const std::optional<TUpgradeJournal> read = ReadJournal(path, error);
        std::lock_guard<std::mutex> guard(seenLock);
        seen.push_back(who + " " + (read ? UnitStateName(read->Units[index].State) : error));
    };
    alpha.OnUpload = [&] { look("alpha body", 0); };
    bravo.OnUpload = [&] { look("bravo body", 1); };
    std::atomic<int> asked{0};
    alpha.OnInfo = [&] {
        if (alpha.Uploads() > 0 && asked++ == 0)
            look("alpha check", 0);
    };
    THTTPModule http;
    TRecordedLines lines;
    TTransferBatch batch(http, lines);
    batch.SetVerification({5, {}});
    batch.SetRollout(rollout);
    batch.SetJournal(journal);
    const std::vector<TDeviceResult> results = batch.Upgrade(devices, Image);
    EXPECT_EQ(seen, (std::vector<std::string>{"alpha body sending", "alpha check sent", "bravo body sending"}));
    std::string error;
    const std::optional<TUpgradeJournal> end = ReadJournal(path, error);
    ASSERT_TRUE(end) << error;
    ASSERT_EQ(end->Units.size(), 3u);
    EXPECT_EQ(end->Units[0].State, TUnitState::Verified);
    EXPECT_EQ(end->Units[1].State, TUnitState::Failed);
    EXPECT_EQ(end->Units[1].Reason, results[1].Error);
    EXPECT_EQ(end->Units[2].State, TUnitState::Failed);
    EXPECT_NE(end->Units[2].Reason, "");
    EXPECT_NE(end->Units[0].Started, 0);
    EXPECT_NE(end->Units[0].Ended, 0);
}

// ---- Resume ---------------------------------------------------------------------------------

TEST_F(RolloutBatch, AResumeNeverSendsAnImageTwice)
{
    // Alpha's image was accepted and it runs it; Bravo's body was on its way and it still runs
    // its old revision; Charlie's was on its way and it runs the new one; Delta was done; Echo
    // had not begun; Foxtrot's body was on its way, and it is not found now.
    TRolloutUnit alpha("127.0.0.1", "00:0A:14:00:00:01", "2.0", "2.0");
    TRolloutUnit bravo("127.0.0.2", "00:0A:14:00:00:02", "1.0", "2.0");
    TRolloutUnit charlie("127.0.0.3", "00:0A:14:00:00:03", "2.0", "2.0");
    TRolloutUnit delta("127.0.0.4", "00:0A:14:00:00:04", "2.0", "2.0");
    TRolloutUnit echo("127.0.0.5", "00:0A:14:00:00:05", "1.0", "2.0");
    ASSERT_TRUE(alpha.Listening && bravo.Listening && charlie.Listening && delta.Listening && echo.Listening);
    std::vector<TBatchDevice> before;
    const char* names[] = {"Alpha", "Bravo", "Charlie", "Delta", "Echo", "Foxtrot"};
    for (int n = 0; n < 6; ++n)
        before.push_back(Unit(names[n], "10.1.0." + std::to_string(n + 1), "00:0A:14:00:00:0" + std::to_string(n + 1)));
    std::vector<TJournalUnit> units;
    for (const TBatchDevice& device : before)
        units.push_back(JournalUnitOf(device));
    units[0].State = TUnitState::Sent;
    units[1].State = TUnitState::Sending;
    units[2].State = TUnitState::Sending;
    units[3].State = TUnitState::Verified;
    units[5].State = TUnitState::Sending;
    TUpgradeJournal journal = NewJournal(Image, 2000, std::string(64, 'a'), {}, 1, 3, {}, 1765000000);
    journal.Units = units;
    // Found now elsewhere (but Foxtrot).
    std::vector<TBatchDevice> found;
    for (int n = 0; n < 5; ++n)
        found.push_back(Unit(names[n], "127.0.0." + std::to_string(n + 1), "00:0A:14:00:00:0" + std::to_string(n + 1),
                             n == 1 || n == 4 ? "1.0" : "2.0"));
    const std::vector<TBatchDevice> devices = ResumeDevices(journal, found);
    ASSERT_EQ(devices.size(), 6u);
    EXPECT_EQ(devices[0].PeerIP, "127.0.0.1");
    EXPECT_EQ(devices[5].PeerIP, "");

    const std::string path = Folder + "/upgrade.json";
    auto writer = std::make_shared<TJournalWriter>(path, journal);
    ASSERT_TRUE(writer->Ok());
    THTTPModule http;
    TRecordedLines lines;
    TTransferBatch batch(http, lines);
    batch.SetVerification({3, {}});
    batch.SetJournal(writer);
    batch.SetResumed(journal);
    const std::vector<TDeviceResult> results = batch.Upgrade(devices, Image);

    EXPECT_EQ(alpha.Uploads(), 0);
    EXPECT_EQ(bravo.Uploads(), 1);
    EXPECT_EQ(charlie.Uploads(), 0);
    EXPECT_EQ(delta.Uploads(), 0);
    EXPECT_EQ(echo.Uploads(), 1);
    EXPECT_EQ(States(results), (std::vector<TUnitState>{TUnitState::Verified, TUnitState::Verified,
                                                        TUnitState::Verified, TUnitState::Verified,
                                                        TUnitState::Verified, TUnitState::NotFound}));
    EXPECT_FALSE(lines.Has("Delta  (127.0.0.4)"));  // done before: no block
    EXPECT_EQ(results[5].Reason, "Not found");
    std::string error;
    const std::optional<TUpgradeJournal> end = ReadJournal(path, error);
    ASSERT_TRUE(end) << error;
    EXPECT_EQ(end->Units[0].State, TUnitState::Verified);
    EXPECT_EQ(end->Units[2].State, TUnitState::Verified);
    // Not found, it is still "sending" for the next resume: asked first, never sent blindly.
    EXPECT_EQ(end->Units[5].State, TUnitState::Sending);
    EXPECT_EQ(end->Units[5].Reason, "Not found");
}

TEST_F(RolloutBatch, AResumedSentUnitStillOnItsOldRevisionFailsWithoutASecondImage)
{
    TRolloutUnit alpha("127.0.0.1", "00:0A:14:00:00:01", "1.0", "1.0");
    ASSERT_TRUE(alpha.Listening);
    TBatchDevice device = Unit("Alpha", "127.0.0.1", "00:0A:14:00:00:01", "1.0");
    TUpgradeJournal journal = NewJournal(Image, 2000, std::string(64, 'a'), {}, 1, 1, {JournalUnitOf(device)}, 1);
    journal.Units[0].State = TUnitState::Sent;
    THTTPModule http;
    TRecordedLines lines;
    TTransferBatch batch(http, lines);
    batch.SetVerification({1, {}});
    batch.SetResumed(journal);
    const std::vector<TDeviceResult> results = batch.Upgrade({device}, Image);
    EXPECT_EQ(alpha.Uploads(), 0);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].State, TUnitState::Failed);
    EXPECT_EQ(results[0].Reason, "not verified: the image was not taken");
}

TEST_F(RolloutBatch, AResumedUnitWhoseRevisionBeforeIsUnknownIsNeitherSentAgainNorTakenAsUpgraded)
{
    // A host no discovery identified: the journal has no revision before. Whatever it answers
    // now, nothing tells whether it took the image.
    TRolloutUnit alpha("127.0.0.1", "00:0A:14:00:00:01", "2.0", "2.0");
    TRolloutUnit bravo("127.0.0.2", "00:0A:14:00:00:02", "1.0", "2.0");
    ASSERT_TRUE(alpha.Listening && bravo.Listening);
    std::vector<TBatchDevice> devices = {Unit("Alpha", "127.0.0.1", "00:0A:14:00:00:01", ""),
                                         Unit("Bravo", "127.0.0.2", "00:0A:14:00:00:02", "")};
    TUpgradeJournal journal = NewJournal(Image, 2000, std::string(64, 'a'), {}, 1, 1,
                                         {JournalUnitOf(devices[0]), JournalUnitOf(devices[1])}, 1);
    journal.Units[0].State = TUnitState::Sent;
    journal.Units[1].State = TUnitState::Sending;
    THTTPModule http;
    TRecordedLines lines;
    TTransferBatch batch(http, lines);
    batch.SetVerification({1, {}});
    batch.SetResumed(journal);
    const std::vector<TDeviceResult> results = batch.Upgrade(devices, Image);
    EXPECT_EQ(alpha.Uploads(), 0);
    EXPECT_EQ(bravo.Uploads(), 0);
    EXPECT_EQ(States(results), (std::vector<TUnitState>{TUnitState::Failed, TUnitState::Failed}));
    EXPECT_EQ(results[1].Reason, "its firmware before the upgrade is not known: check it by hand");
}

// ---- Retries --------------------------------------------------------------------------------

TEST_F(RolloutBatch, AUnitAwayIsTriedAgainAndOneThatTookItsBodyNeverIs)
{
    ::setenv("PYXET_RETRY_SECONDS", "0", 1);
    TRolloutUnit bravo("127.0.0.2", "00:0A:14:00:00:02", "1.0", "2.0", "500 Internal Server Error");
    ASSERT_TRUE(bravo.Listening);
    THTTPModule http;
    TRecordedLines lines;
    TTransferBatch batch(http, lines);
    TRolloutSetting rollout;
    rollout.Retries = 2;
    batch.SetRollout(rollout);
    // Alpha (127.0.0.1) answers nothing until the batch's first run is over.
    std::unique_ptr<TRolloutUnit> alpha;
    std::vector<size_t> calls;
    RecordCalls(batch, calls, [&] {
        if (calls.size() == 2)
            alpha = std::make_unique<TRolloutUnit>("127.0.0.1", "00:0A:14:00:00:01");
    });
    TLogCapture log;
    const std::vector<TDeviceResult> results = batch.Upgrade(
        {Unit("Alpha", "127.0.0.1", "00:0A:14:00:00:01"), Unit("Bravo", "127.0.0.2", "00:0A:14:00:00:02")}, Image);
    ::unsetenv("PYXET_RETRY_SECONDS");
    ASSERT_TRUE(alpha && alpha->Listening);
    EXPECT_EQ(calls, (std::vector<size_t>{2, 1}));  // one round was enough
    EXPECT_EQ(alpha->Uploads(), 1);
    EXPECT_EQ(bravo.Uploads(), 1);
    EXPECT_EQ(States(results), (std::vector<TUnitState>{TUnitState::Upgraded, TUnitState::Failed}));
    EXPECT_EQ(std::count(lines.Lines.begin(), lines.Lines.end(), "Alpha  (127.0.0.1)"), 2);
    const std::vector<std::string> summary = {"Processes Summary:", "Successful: 1", "Unsuccessful: 1"};
    EXPECT_EQ(Summary(lines), summary);
    bool logged = false;
    for (size_t i = 0; i < log.Lines().size(); ++i)
        logged = logged || log.Message(i) == "Trying 1 device again (round 1 of 2)...";
    EXPECT_TRUE(logged);
}

TEST_F(RolloutBatch, AUnitNotFoundIsLookedForByItsMacWhenTriedAgain)
{
    ::setenv("PYXET_RETRY_SECONDS", "0", 1);
    TRolloutUnit alpha("127.0.0.7", "00:0A:14:00:00:01");
    ASSERT_TRUE(alpha.Listening);
    TBatchDevice away = Unit("Alpha", "", "00:0A:14:00:00:01");
    away.CommandAddress = "127.0.0.7";  // where the search reaches it
    TUpgradeJournal journal = NewJournal(Image, 2000, std::string(64, 'a'), {}, 1, 0, {JournalUnitOf(away)}, 1);
    THTTPModule http;
    TRecordedLines lines;
    TTransferBatch batch(http, lines);
    TRolloutSetting rollout;
    rollout.Retries = 1;
    batch.SetRollout(rollout);
    batch.SetResumed(journal);
    const std::vector<TDeviceResult> results = batch.Upgrade({away}, Image);
    ::unsetenv("PYXET_RETRY_SECONDS");
    EXPECT_EQ(alpha.Uploads(), 1);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].State, TUnitState::Upgraded);
    EXPECT_EQ(results[0].Host, "127.0.0.7");
}

// ---- Backup and check -----------------------------------------------------------------------

TEST_F(RolloutBatch, EachUnitIsBackedUpBeforeItsImageAndItsConfigurationComparedAfter)
{
    TRolloutUnit alpha("127.0.0.1", "00:0A:14:00:00:01");
    TRolloutUnit bravo("127.0.0.2", "00:0A:14:00:00:02", "1.0", "2.0", "200 OK",
                        "<setup><name>unit</name><dhcp>0</dhcp></setup>",
                        "<setup><name>unit</name><dhcp>1</dhcp><ip/></setup>");
    ASSERT_TRUE(alpha.Listening && bravo.Listening);
    THTTPModule http;
    TRecordedLines lines;
    TTransferBatch batch(http, lines);
    batch.SetVerification({5, {}});
    batch.SetHistory(THistory(Folder + "/history"));
    TRolloutSetting rollout;
    rollout.BackupFirst = true;
    batch.SetRollout(rollout);
    TLogCapture log;
    const std::vector<TDeviceResult> results =
        batch.Upgrade({Unit("Alpha", "127.0.0.1", "00:0A:14:00:00:01"), Unit("Bravo", "127.0.0.2", "00:0A:14:00:00:02"),
                       Unit("Nameless", "127.0.0.3", "")},
                      Image);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].ConfigCheck.Kind, TConfigCheckKind::Kept);
    EXPECT_NE(results[0].ConfigCheck.Before, "");
    EXPECT_EQ(results[0].ConfigCheck.After, results[0].ConfigCheck.Before);  // the same: kept once
    EXPECT_TRUE(results[1].Ok);
    EXPECT_EQ(results[1].ConfigCheck.Kind, TConfigCheckKind::Changed);
    EXPECT_EQ(results[1].ConfigCheck.Paths.size(), 2u);
    EXPECT_NE(results[1].ConfigCheck.After, results[1].ConfigCheck.Before);
    EXPECT_TRUE(lines.Has("Configuration kept"));
    EXPECT_TRUE(lines.Has("Configuration changed by the upgrade: 2 fields"));
    // Without its MAC no backup can be kept: no image.
    EXPECT_EQ(results[2].State, TUnitState::Failed);
    EXPECT_EQ(results[2].Error, "No backup");
    bool warned = false;
    for (const TLogLine& line : log.Lines())
        warned = warned || (line.Level == LOG_WARNING && line.Text.find("changed by the upgrade") != std::string::npos);
    EXPECT_TRUE(warned);
}

// ---- Waves of several at once ---------------------------------------------------------------

TEST_F(RolloutBatch, ARunOfSeveralAtOnceCountsItsWavesAsOneBatch)
{
    std::vector<std::unique_ptr<TRolloutUnit>> units;
    std::vector<TBatchDevice> devices;
    for (int n = 1; n <= 5; ++n) {
        const std::string address = "127.0.0." + std::to_string(n), mac = "00:0A:14:00:00:0" + std::to_string(n);
        units.push_back(std::make_unique<TRolloutUnit>(address, mac));
        ASSERT_TRUE(units.back()->Listening);
        devices.push_back(Unit("Unit " + std::to_string(n), address, mac));
    }
    THTTPHost host;
    TRecordedLines lines;
    TTransferRun run(host, lines);
    std::vector<std::array<int, 3>> counts;
    bool finished = false;
    QObject::connect(&run, &TTransferRun::Progress,
                     [&](int done, int running, int left) { counts.push_back({done, running, left}); });
    QObject::connect(&run, &TTransferRun::Finished, [&] { finished = true; });
    TTransferOrder order;
    order.Devices = devices;
    order.File = Image;
    order.Jobs = 2;
    order.Rollout.First = 1;
    order.Rollout.Wave = 2;
    run.Start(order);
    QElapsedTimer clock;
    clock.start();
    while (!finished && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(finished);
    ASSERT_EQ(run.Results().size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(run.Results()[i].State, TUnitState::Upgraded) << i;
        EXPECT_EQ(units[i]->Uploads(), 1) << i;
    }
    EXPECT_LE(run.MostAtOnce(), 2);
    ASSERT_FALSE(counts.empty());
    // Every count is of the whole batch, from the first unit's wave on.
    for (const auto& [done, running, left] : counts)
        EXPECT_EQ(done + running + left, 5) << done << " " << running << " " << left;
    EXPECT_EQ(counts.back(), (std::array<int, 3>{5, 0, 0}));
    EXPECT_EQ(lines.Lines.front(), "Unit 1  (127.0.0.1)");
    EXPECT_TRUE(lines.Has("Successful: 5"));
}

TEST_F(RolloutBatch, AJournalThatCannotBeWrittenMidBatchIsLoggedOnceAndTheBatchGoesOn)
{
    TRolloutUnit alpha("127.0.0.1", "00:0A:14:00:00:01");
    TRolloutUnit bravo("127.0.0.2", "00:0A:14:00:00:02");
    ASSERT_TRUE(alpha.Listening && bravo.Listening);
    const std::vector<TBatchDevice> devices = {Unit("Alpha", "127.0.0.1", "00:0A:14:00:00:01"),
                                               Unit("Bravo", "127.0.0.2", "00:0A:14:00:00:02")};
    const std::string folder = Folder + "/journal";
    std::filesystem::create_directories(folder);
    auto journal = std::make_shared<TJournalWriter>(
        folder + "/upgrade.json",
        NewJournal(Image, 2000, std::string(64, 'a'), {}, 1, 0,
                   {JournalUnitOf(devices[0]), JournalUnitOf(devices[1])}, 1765000000));
    ASSERT_TRUE(journal->Ok());
    std::filesystem::remove_all(folder);  // its folder is gone once the batch runs
    THTTPModule http;
    TRecordedLines lines;
    TTransferBatch batch(http, lines);
    batch.SetJournal(journal);
    TLogCapture log;
    const std::vector<TDeviceResult> results = batch.Upgrade(devices, Image);
    EXPECT_EQ(alpha.Uploads() + bravo.Uploads(), 2);
    EXPECT_EQ(States(results), (std::vector<TUnitState>{TUnitState::Upgraded, TUnitState::Upgraded}));
    int errors = 0;
    for (size_t i = 0; i < log.Lines().size(); ++i)
        errors += log.Message(i).rfind("The journal could not be written: ", 0) == 0 && log.Lines()[i].Level == LOG_ERROR;
    EXPECT_EQ(errors, 1);
}
