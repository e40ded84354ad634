// The configuration transfers with a history: a backup or a save of a device whose MAC is known
// keeps the configuration as a version (once while it is unchanged), the download-only Fetch
// brings the bytes without touching a backup file, per-device bodies reach their own devices
// and a refused device is not written; AskDeviceMac learns who answers at an address. Devices on
// loopback addresses (tests/fakeconfig.h) inside the test's private network namespace.
#include "../fakeconfig.h"
#include "coreapp.h"
#include "logcapture.h"

#include "core/app/i18n.h"
#include "core/http/http.h"
#include "core/http/transferrun.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {
const std::string kConfigA = "<?xml version=\"1.0\"?>\n<setup><name>Alpha</name><snmp community=\"a\"/></setup>\n";
const std::string kConfigA2 = "<?xml version=\"1.0\"?>\n<setup>\n  <name>Alpha</name>\n  <snmp community=\"a\"/>\n</setup>\n";
const std::string kConfigB = "<?xml version=\"1.0\"?>\n<setup><name>Alpha</name><snmp community=\"b\"/></setup>\n";
constexpr const char* kMacA = "00:0A:14:1E:28:32";
constexpr const char* kFolderA = "000A141E2832";

class TLines : public TProgressLines {
public:
    void Open(const std::string& caption) override { Captions.push_back(caption); }
    void AddLine(const std::string& text) override { Lines.push_back(text); }
    std::vector<std::string> Captions, Lines;
};

std::string ReadText(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class HistoryBatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        UseLanguage("en");
        char tmpl[] = "/tmp/pyxet-historybatch-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        Dir = tmpl;
    }
    void TearDown() override { fs::remove_all(Dir); }
    size_t VersionCount(const std::string& folder = kFolderA) const
    {
        return fs::exists(Dir / "history" / folder) ? THistory((Dir / "history").string()).Versions(folder).size() : 0;
    }
    fs::path Dir;
    THTTPModule Http;
    TLines Lines;
};
}  // namespace

TEST_F(HistoryBatch, BackupAndSaveKeepAVersionOnlyWhenTheConfigurationChanged)
{
    TFakeConfigDevice alpha("127.0.0.21", kConfigA);
    TFakeConfigDevice nameless("127.0.0.22", kConfigB);
    ASSERT_TRUE(alpha.Listening && nameless.Listening);
    const std::vector<TBatchDevice> devices = {{"Alpha", "127.0.0.21", kMacA}, {"Nameless", "127.0.0.22"}};
    const std::string backup = (Dir / "backup").string();
    TTransferBatch batch(Http, Lines);
    batch.SetHistory(THistory((Dir / "history").string()));

    std::vector<TDeviceResult> results = batch.Backup(devices, backup);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[0].Ok && results[1].Ok);
    EXPECT_EQ(ReadText(Dir / "backup/setup_127.0.0.21_.xml"), kConfigA) << "the backup file as before";
    EXPECT_EQ(ReadText(Dir / "backup/setup_127.0.0.22_.xml"), kConfigB);
    EXPECT_FALSE(results[0].HistoryVersion.empty());
    EXPECT_EQ(results[1].HistoryVersion, "") << "no MAC, no history";
    EXPECT_EQ(VersionCount(), 1u);
    EXPECT_EQ(THistory((Dir / "history").string()).Devices(), std::vector<std::string>{kFolderA});

    // The same configuration, only laid out otherwise: still one version, which the result names.
    alpha.Set(kConfigA2);
    results = batch.Backup(devices, backup);
    ASSERT_EQ(VersionCount(), 1u);
    EXPECT_EQ(results[0].HistoryVersion, THistory((Dir / "history").string()).Versions(kMacA)[0].Version);
    EXPECT_EQ(ReadText(Dir / "backup/setup_127.0.0.21_.xml"), kConfigA2);

    // Changed: a second version, from "Save..." too, and the user's file as downloaded.
    alpha.Set(kConfigB);
    const std::string saved = (Dir / "mine.xml").string();
    results = batch.Save(devices[0], saved);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].Ok);
    EXPECT_EQ(ReadText(saved), kConfigB);
    ASSERT_EQ(VersionCount(), 2u);
    const std::vector<THistoryVersion> versions = THistory((Dir / "history").string()).Versions(kMacA);
    EXPECT_EQ(results[0].HistoryVersion, versions[0].Version);
    EXPECT_EQ(ReadText(versions[0].Path), kConfigB);
    EXPECT_EQ(versions[0].Changes, 1);

    // Without a history nothing is kept.
    alpha.Set(kConfigA);
    TTransferBatch plain(Http, Lines);
    plain.Backup(devices, backup);
    EXPECT_EQ(VersionCount(), 2u);
}

TEST_F(HistoryBatch, FetchBringsTheBytesAndTouchesNoFile)
{
    TFakeConfigDevice alpha("127.0.0.21", kConfigA);
    ASSERT_TRUE(alpha.Listening);
    // 127.0.0.23: nobody listens; 127.0.0.24: shares its address with two other units.
    std::vector<TBatchDevice> devices = {
        {"Alpha", "127.0.0.21", kMacA}, {"Gone", "127.0.0.23", "00:0A:14:1E:28:33"}, {"Twin", "127.0.0.24"}};
    devices[2].SharesWith = 2;
    TLogCapture log;
    TTransferBatch batch(Http, Lines);
    batch.SetHistory(THistory((Dir / "history").string()));
    const fs::path before = fs::current_path();
    fs::current_path(Dir);
    const std::vector<TDeviceResult> results = batch.Fetch(devices);
    fs::current_path(before);

    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].Ok);
    EXPECT_EQ(results[0].Config.toStdString(), kConfigA);
    EXPECT_FALSE(results[0].HistoryVersion.empty());
    EXPECT_FALSE(results[1].Ok);
    EXPECT_TRUE(results[1].Config.isEmpty());
    EXPECT_FALSE(results[1].Error.empty());
    EXPECT_FALSE(results[2].Ok);
    EXPECT_EQ(results[2].Error, SharedAddressRefusal("127.0.0.24", 2)) << "a shared address stays refused";
    EXPECT_EQ(VersionCount(), 1u);
    EXPECT_EQ(VersionCount("000A141E2833"), 0u);
    // Only the history folder: no backup folder, no file.
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(Dir))
        entries.push_back(entry.path().filename().string());
    EXPECT_EQ(entries, std::vector<std::string>{"history"});

    EXPECT_EQ(Lines.Captions, std::vector<std::string>{"Read Configuration"});
    const std::vector<std::string> first(Lines.Lines.begin(), Lines.Lines.begin() + 4);
    EXPECT_EQ(first, (std::vector<std::string>{"Alpha  (127.0.0.21)", "Sending request...", "Reading Succeeded",
                                               std::string(42, '-')}));
    EXPECT_EQ(Lines.Lines.back(), "Unsuccessful: 2");
    EXPECT_EQ(log.Message(0), "Process read configuration starting.");
    EXPECT_EQ(log.Message(log.Lines().size() - 1), "Read configuration process finished.");
}

TEST_F(HistoryBatch, EachDeviceGetsItsOwnBodyAndARefusedOneNone)
{
    TFakeConfigDevice alpha("127.0.0.21", kConfigA);
    TFakeConfigDevice bravo("127.0.0.22", kConfigA);
    TFakeConfigDevice charlie("127.0.0.25", kConfigA);
    ASSERT_TRUE(alpha.Listening && bravo.Listening && charlie.Listening);
    const std::vector<TBatchDevice> devices = {{"Alpha", "127.0.0.21"}, {"Bravo", "127.0.0.22"}, {"Charlie", "127.0.0.25"}};
    const std::string common = (Dir / "common.xml").string();
    std::ofstream(common, std::ios::binary) << kConfigB;
    const std::vector<QByteArray> bodies = {QByteArray("<setup>alpha</setup>"), QByteArray(), QByteArray("<setup/>")};
    const std::vector<std::string> refusals = {"", "", "Its name cannot be held by the file's encoding"};

    TLogCapture log;
    TTransferBatch batch(Http, Lines);
    const std::vector<TDeviceResult> results = batch.RestoreCommon(devices, common, bodies, refusals);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].Ok);
    EXPECT_EQ(alpha.Current(), "<setup>alpha</setup>");
    EXPECT_EQ(alpha.PostedName(), common) << "sent under the file's name";
    EXPECT_TRUE(results[1].Ok);
    EXPECT_EQ(bravo.Current(), kConfigB) << "no body of its own: the file";
    EXPECT_FALSE(results[2].Ok);
    EXPECT_EQ(results[2].Error, refusals[2]);
    EXPECT_EQ(charlie.Posts(), 0) << "a refused device is not written";
    EXPECT_EQ(charlie.Current(), kConfigA);
    const std::vector<std::string> last(Lines.Lines.end() - 7, Lines.Lines.end() - 3);
    EXPECT_EQ(last, (std::vector<std::string>{"Charlie  (127.0.0.25)", refusals[2], "Restore Failed",
                                              std::string(42, '-')}));

    // Restore with a body (a version from the history) for one device.
    const std::vector<TDeviceResult> restored =
        batch.Restore({devices[1]}, (Dir / "backup").string(), {QByteArray(kConfigA.c_str())}, {});
    ASSERT_EQ(restored.size(), 1u);
    EXPECT_TRUE(restored[0].Ok);
    EXPECT_EQ(bravo.Current(), kConfigA);
}

TEST_F(HistoryBatch, ARunFetchesSeveralAtOnceIntoTheHistoryOfItsOrder)
{
    TFakeConfigDevice alpha("127.0.0.21", kConfigA);
    TFakeConfigDevice bravo("127.0.0.22", kConfigB);
    ASSERT_TRUE(alpha.Listening && bravo.Listening);
    THTTPHost host;
    TTransferRun run(host, Lines);
    bool finished = false;
    QObject::connect(&run, &TTransferRun::Finished, [&] { finished = true; });
    TTransferOrder order;
    order.Command = TTransferCommand::Fetch;
    order.Devices = {{"Alpha", "127.0.0.21", kMacA}, {"Bravo", "127.0.0.22", "00-0a-14-1e-28-34"}};
    order.Jobs = 2;
    order.History = THistory((Dir / "history").string());
    run.Start(order);
    QElapsedTimer clock;
    clock.start();
    while (!finished && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(finished);
    ASSERT_EQ(run.Results().size(), 2u);
    EXPECT_EQ(run.Results()[0].Config.toStdString(), kConfigA);
    EXPECT_EQ(run.Results()[1].Config.toStdString(), kConfigB);
    EXPECT_EQ(VersionCount(), 1u);
    EXPECT_EQ(VersionCount("000A141E2834"), 1u);
}

TEST_F(HistoryBatch, AskDeviceMacLearnsWhoAnswersAtAnAddress)
{
    TFakeConfigDevice alpha("127.0.0.21", kConfigA, std::array<uint8_t, 6>{0x00, 0x0A, 0x14, 0x1E, 0x28, 0x32});
    TFakeConfigDevice silent("127.0.0.22", kConfigA);
    ASSERT_TRUE(alpha.Listening && silent.Listening);
    EXPECT_EQ(AskDeviceMac("127.0.0.21", 2000), std::optional<std::string>(kMacA));
    EXPECT_EQ(AskDeviceMac("127.0.0.22", 300), std::nullopt);
}
