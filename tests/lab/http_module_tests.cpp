// THTTPModule against the simulated web servers of tests/lab/http_fleet.json, with a host that
// plays the login dialog and records the progress events. Runs inside scripts/lab.sh
// (test_http_module.sh); what the devices received is read from the events file.
#include "core/app/i18n.h"
#include "core/http/http.h"
#include "core/log/actionlog.h"
#include "../fiforescue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char* const kPlain = "10.77.5.1";
const char* const kLocked = "10.77.5.2";   // user / pass, 401
const char* const kDoor = "10.77.5.3";     // admin / hwg, drops the connection
const char* const kMissing = "10.77.5.4";  // 404
const char* const kSlow = "10.77.5.9";     // 1500 bytes/s
const char* const kEndless = "10.77.5.12";   // a 200 whose body never ends
const char* const kEmpty = "10.77.5.13";     // 200, empty body
const char* const kNoContent = "10.77.5.14"; // 204
const char* const kPartial = "10.77.5.15";   // 206, half the file
const char* const kHangUp = "10.77.5.16";    // closes once it has read the request head
const char* const kDrip = "10.77.5.17";      // its answer's head a byte at a time, without end
const char* const kNarrow = "10.77.5.18";    // reads 96000 bytes/s through a 4 KiB receive buffer
const char* const kGulp = "10.77.5.19";      // reads 16000 bytes/s through its system's large buffer
const char* const kVanish = "10.77.5.20";    // reads 64 KiB of a body, holds its window closed 1 s, goes away

// Stops the module's transfer once `ms` have passed, or once a file in `folder` grows beyond
// 64 MiB, unless the test is over by then: a missing limit then fails the test without filling
// the disk.
class StopAfter {
public:
    StopAfter(THTTPModule& http, int ms, const QString& folder = {})
    {
        Clock.start();
        QObject::connect(&Timer, &QTimer::timeout, [this, &http, ms, folder] {
            bool large = false;
            if (!folder.isEmpty())
                for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
                    large = large || file.size() > 64 * 1024 * 1024;
            if (large || Clock.elapsed() >= ms)
                http.Stop();
        });
        Timer.start(100);
    }

private:
    QElapsedTimer Clock;
    QTimer Timer;
};

// The window's part, played back: credentials as the login dialog holds them, answers queued.
class TTestHost : public THTTPHost {
public:
    THTTPLogin Login;
    std::deque<THTTPLogin> Answers;  // each OK of the dialog, with what the user typed
    int Asked = 0;
    std::vector<std::pair<int64_t, int64_t>> Bar;  // pbHTTP (position, maximum)
    std::vector<int64_t> BarMs;                    // when each came (steady clock)
    std::vector<std::string> Replaced;

    THTTPLogin Credentials() override { return Login; }
    bool AskLogin(const std::string&, const std::string&) override
    {
        ++Asked;
        if (Answers.empty())
            return false;  // Cancel
        Login = Answers.front();
        Answers.pop_front();
        return true;
    }
    void ProgressBar(int64_t position, int64_t maximum) override
    {
        Bar.push_back({position, maximum});
        BarMs.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count());
    }
    void ReplaceLine(const std::string& text) override { Replaced.push_back(text); }
};

// The web requests the devices logged after `from` (a line count of the events file).
struct TEvents {
    size_t From = 0;
    static std::vector<QJsonObject> All()
    {
        std::vector<QJsonObject> out;
        std::ifstream in(std::getenv("PYXET_LAB_EVENTS"));
        for (std::string line; std::getline(in, line);)
            out.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
        return out;
    }
    void Mark() { From = All().size(); }
    std::vector<QJsonObject> Http() const
    {
        std::vector<QJsonObject> out;
        const auto all = All();
        for (size_t i = From; i < all.size(); ++i)
            if (all[i][QStringLiteral("event")].toString() == QStringLiteral("http"))
                out.push_back(all[i]);
        return out;
    }
};

std::string Text(const QJsonObject& o, const char* key) { return o[QLatin1String(key)].toString().toStdString(); }

class HttpModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseLanguage("en");
        SetCurrentLogger(&Log);
        Http.SetHost(&Host);
        Http.SetLimits({2, 1000, 3, 5});
        ASSERT_TRUE(Dir.isValid());
        Image = Dir.filePath(QStringLiteral("image.kri")).toStdString();
        WriteFile(Image, std::string(200000, 'i'));
        Setup = Dir.filePath(QStringLiteral("setup.xml")).toStdString();
        WriteFile(Setup, "<setup><name>Module test</name></setup>\n");
        Events.Mark();
    }
    void TearDown() override { SetCurrentLogger(nullptr); }

    static void WriteFile(const std::string& path, const std::string& data) { std::ofstream(path, std::ios::binary) << data; }
    static std::string ReadFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::vector<std::string> Messages() const
    {
        std::vector<std::string> out;
        for (const TLogLine& line : Log.ActionLog)
            out.push_back(line.Text.substr(1));
        return out;
    }
    bool Logged(const std::string& message) const
    {
        for (const std::string& m : Messages())
            if (m == message)
                return true;
        return false;
    }

    TActionLogger Log;
    TTestHost Host;
    THTTPModule Http;
    QTemporaryDir Dir;
    std::string Image, Setup;
    TEvents Events;
};

TEST_F(HttpModule, UploadSendsTheFileAsOnePartWithItsPathAsFileName)
{
    ASSERT_TRUE(Http.Upload(kPlain, Image));
    const auto ev = Events.Http();
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ("POST", Text(ev[0], "method"));
    EXPECT_EQ("/upload", Text(ev[0], "path"));
    EXPECT_EQ(Image, Text(ev[0], "file_name"));
    EXPECT_EQ(200000, ev[0][QStringLiteral("bytes")].toInt());
    EXPECT_FALSE(ev[0].contains(QStringLiteral("auth"))) << "no credentials asked, none sent";
    EXPECT_EQ(0, Host.Asked);
    EXPECT_EQ("", Http.LastError());
}

TEST_F(HttpModule, UploadLogsItsPhasesAndTheAnswersHeading)
{
    ASSERT_TRUE(Http.Upload(kPlain, Image));
    std::vector<std::string> phases;
    for (const std::string& m : Messages())
        if (m.find("in progress. Please wait.") == std::string::npos)
            phases.push_back(m);
    const std::vector<std::string> want = {"POST request: http://10.77.5.1/upload", "Connecting.", "POST request.",
                                           "POST request finished.", "Upload OK"};
    EXPECT_EQ(want, phases);
    for (const TLogLine& line : Log.ActionLog)
        EXPECT_EQ(LOG_DEBUG, line.Level) << line.Text;
}

TEST_F(HttpModule, UploadProgressMovesTheBarAndTheRateLine)
{
    ASSERT_TRUE(Http.Upload(kPlain, Image));
    ASSERT_GE(Host.Bar.size(), 3u);
    // Sending begins at 0 of the whole body (the file and the multipart framing).
    const int64_t body = Host.Bar.front().second;
    EXPECT_EQ(0, Host.Bar.front().first);
    EXPECT_GT(body, 200000);
    EXPECT_LT(body, 201000);
    bool full = false;
    for (const auto& [position, maximum] : Host.Bar)
        full = full || (position == body && maximum == body);
    EXPECT_TRUE(full) << "the bar reaches the body's size";
    EXPECT_EQ(0, Host.Bar.back().first) << "and goes back to 0";
    ASSERT_FALSE(Host.Replaced.empty());
    for (const std::string& line : Host.Replaced) {
        EXPECT_EQ(0u, line.find("Uploading...  " + std::string(14, ' '))) << line;
        EXPECT_EQ(" kB/s ", line.substr(line.size() - 6)) << line;
    }
    // Every rate line is logged, and the flash line follows the last byte sent.
    const auto messages = Messages();
    size_t rates = 0, flash = 0;
    for (size_t i = 0; i < messages.size(); ++i) {
        if (messages[i].rfind("Data upload in progress. Please wait." + std::string(14, ' '), 0) == 0)
            ++rates;
        if (messages[i] == "Data flash in progress. Please wait.") {
            EXPECT_TRUE(flash > 0 || (i > 0 && messages[i - 1].rfind("Data upload", 0) == 0));
            ++flash;
        }
    }
    EXPECT_EQ(Host.Replaced.size(), rates);
    EXPECT_GE(flash, 1u);
}

// A device that reads slowly through a small receive buffer: the bar, the rate and the flash
// line follow what it has read, not what this side's kernel has taken.
TEST_F(HttpModule, UploadProgressFollowsWhatASlowDeviceHasRead)
{
    constexpr int64_t kBytesPerSecond = 96000;
    WriteFile(Image, std::string(384 * 1024, 'n'));
    ASSERT_TRUE(Http.Upload(kNarrow, Image)) << Http.LastError();
    ASSERT_GE(Host.Bar.size(), 3u);
    const int64_t body = Host.Bar.front().second;
    const int64_t begun = Host.BarMs.front();
    int64_t full = -1;
    std::set<int64_t> between;  // positions shown while the body was on its way
    for (size_t i = 0; i < Host.Bar.size() && full < 0; ++i) {
        if (Host.Bar[i].first == body)
            full = Host.BarMs[i];
        else if (Host.Bar[i].first > 0)
            between.insert(Host.Bar[i].first);
    }
    ASSERT_GE(full, 0) << "the bar reaches the body's size";
    // At least once a second, while the last of the body waits in this side's kernel too.
    EXPECT_GE(between.size(), 3u) << "the bar moves while the device reads";
    // The device cannot have read the body before this; what its kernel and the network hold
    // (far less than 128 KiB) may be counted early.
    const int64_t earliest = (body - 128 * 1024) * 1000 / kBytesPerSecond;
    EXPECT_GE(full - begun, earliest) << "the body counted as sent before the device could read it";
    // The rate lines move, and the last tells the device's speed (93.75 kB/s), not the kernel's
    // (the first may count what the connection's windows took at once).
    std::set<std::string> rates(Host.Replaced.begin(), Host.Replaced.end());
    EXPECT_GE(rates.size(), 3u);
    ASSERT_FALSE(Host.Replaced.empty());
    const std::string last = Host.Replaced.back();
    EXPECT_LT(std::stod(last.substr(std::string("Uploading...  ").size())), 1.5 * kBytesPerSecond / 1024) << last;
    // The flash line follows the last rate line.
    const auto messages = Messages();
    const auto flash = std::find(messages.begin(), messages.end(), "Data flash in progress. Please wait.");
    ASSERT_NE(flash, messages.end());
    for (auto it = flash; it != messages.end(); ++it)
        EXPECT_NE(0u, it->rfind("Data upload in progress.", 0)) << *it;
}

// A device whose large receive buffer reopens its window only after it has read a good part of
// it: for seconds on end nothing is acknowledged while it reads at sixteen times the floor. The
// upload goes on, with the floor's seconds shorter than those closed spells.
TEST_F(HttpModule, AWindowClosedWhileTheDeviceReadsIsNoStall)
{
    Http.SetLimits({2, 1000, 3, 30});
    WriteFile(Image, std::string(384 * 1024, 'g'));
    EXPECT_TRUE(Http.Upload(kGulp, Image)) << Http.LastError();
}

// A device that goes away in the middle of the body with its window closed answers no window
// probe: the closed window is no reason to wait for the answer time, and the upload stalls
// after the floor's seconds.
TEST_F(HttpModule, ADeviceGoneWithItsWindowClosedStallsAfterTheFloorsTime)
{
    Http.SetLimits({2, 1000, 3, 10});
    WriteFile(Image, std::string(4 * 1024 * 1024, 'v'));
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(Http.Upload(kVanish, Image));
    const qint64 elapsed = clock.elapsed();
    EXPECT_EQ("The transfer stalled: fewer than 1000 bytes per second for 3 seconds.", Http.LastError());
    EXPECT_GE(elapsed, 1000 + 3000) << "the window closed while the device was there, then the floor's time";
    EXPECT_LT(elapsed, 10000) << "not the answer time";
    EXPECT_EQ(0, Host.Asked) << "a device gone is no login to ask for";
    const auto ev = Events.Http();
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ("went away", Text(ev[0], "outcome"));
    EXPECT_EQ(65536, ev[0][QStringLiteral("request_bytes")].toInt());
}

TEST_F(HttpModule, RefusedUploadAsksOnceAndRetriesWithTheNewCredentials)
{
    Host.Answers.push_back({"user", "pass"});
    ASSERT_TRUE(Http.Upload(kLocked, Image));
    EXPECT_EQ(1, Host.Asked);
    const auto ev = Events.Http();
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ(401, ev[0][QStringLiteral("status")].toInt());
    EXPECT_EQ("missing", Text(ev[0], "auth"));
    EXPECT_EQ(200, ev[1][QStringLiteral("status")].toInt());
    EXPECT_EQ("ok", Text(ev[1], "auth"));
    int errors = 0;
    for (const TLogLine& line : Log.ActionLog)
        if (line.Level == LOG_ERROR) {
            EXPECT_EQ(" HTTP/1.1 401 Unauthorized", line.Text);
            ++errors;
        }
    EXPECT_EQ(1, errors);

    // The credentials stay: the next upload sends them without asking.
    Events.Mark();
    ASSERT_TRUE(Http.Upload(kLocked, Image));
    EXPECT_EQ(1, Host.Asked);
    ASSERT_EQ(1u, Events.Http().size());
    EXPECT_EQ("ok", Text(Events.Http()[0], "auth"));
}

TEST_F(HttpModule, CancelledLoginMakesNoSecondRequest)
{
    EXPECT_FALSE(Http.Upload(kLocked, Image));
    EXPECT_EQ(1, Host.Asked);
    EXPECT_EQ(1u, Events.Http().size());
    EXPECT_TRUE(Http.LastNeededLogin());
    EXPECT_EQ("HTTP/1.1 401 Unauthorized", Http.LastError());
    EXPECT_FALSE(Logged("Upload failed")) << "a failed request logs no heading";
}

TEST_F(HttpModule, WrongCredentialsAskAgainUntilRight)
{
    Host.Answers.push_back({"user", "wrong"});
    Host.Answers.push_back({"user", "pass"});
    ASSERT_TRUE(Http.PostFile(kLocked, "setup.xml", Setup));
    EXPECT_EQ(2, Host.Asked);
    const auto ev = Events.Http();
    ASSERT_EQ(3u, ev.size());
    EXPECT_EQ("missing", Text(ev[0], "auth"));
    EXPECT_EQ("wrong", Text(ev[1], "auth"));
    EXPECT_EQ("ok", Text(ev[2], "auth"));
}

TEST_F(HttpModule, DroppedConnectionAsksForALoginLikeA401)
{
    Host.Answers.push_back({"admin", "hwg"});
    ASSERT_TRUE(Http.Upload(kDoor, Image));
    EXPECT_EQ(1, Host.Asked);
    const auto ev = Events.Http();
    ASSERT_EQ(2u, ev.size());
    EXPECT_TRUE(ev[0][QStringLiteral("status")].isNull());
    EXPECT_EQ(200, ev[1][QStringLiteral("status")].toInt());
}

TEST_F(HttpModule, PostFileShowsNoProgressAndLogsNoHeading)
{
    ASSERT_TRUE(Http.PostFile(kPlain, "setup.xml", Setup));
    EXPECT_TRUE(Host.Bar.empty());
    EXPECT_TRUE(Host.Replaced.empty());
    const std::vector<std::string> want = {"POST request: http://10.77.5.1/setup.xml", "Connecting.", "POST request.",
                                           "POST request finished."};
    EXPECT_EQ(want, Messages()) << "the device's <h1>Configuration saved</h1> is not logged";
    const auto ev = Events.Http();
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ("/setup.xml", Text(ev[0], "path"));
    EXPECT_EQ(Setup, Text(ev[0], "file_name"));
}

TEST_F(HttpModule, GetFileReplacesTheFileOnlyWithACompleteBody)
{
    const std::string target = Dir.filePath(QStringLiteral("backup.xml")).toStdString();
    WriteFile(target, "earlier");
    EXPECT_FALSE(Http.GetFile(kMissing, "setup.xml", target));
    EXPECT_EQ("earlier", ReadFile(target)) << "a 404 leaves the file untouched";
    EXPECT_TRUE(Logged("HTTP/1.1 404 Not Found"));
    EXPECT_EQ(LOG_ERROR, Log.ActionLog.back().Level);
    EXPECT_EQ(0, Host.Asked) << "no login dialog for a download";

    ASSERT_TRUE(Http.GetFile(kPlain, "setup.xml", target));
    EXPECT_NE(std::string::npos, ReadFile(target).find("<setup>"));
    EXPECT_EQ(QStringList({QStringLiteral("backup.xml"), QStringLiteral("image.kri"), QStringLiteral("setup.xml")}),
              QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name))
        << "no temporary file left";
    const auto ev = Events.Http();
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ("GET", Text(ev[1], "method"));
    EXPECT_FALSE(ev[1].contains(QStringLiteral("auth")));
}

TEST_F(HttpModule, GetFileCreatesANewFileAndNothingOnFailure)
{
    const std::string target = Dir.filePath(QStringLiteral("new.xml")).toStdString();
    EXPECT_FALSE(Http.GetFile(kMissing, "setup.xml", target));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(target)));
    EXPECT_FALSE(Http.GetFile(kPlain, "setup.xml", Dir.filePath(QStringLiteral("no/such/folder.xml")).toStdString()));
    EXPECT_EQ("Cannot write the file " + Dir.filePath(QStringLiteral("no/such/folder.xml")).toStdString()
                  + ": No such file or directory",
              Http.LastError());
    EXPECT_TRUE(Events.Http().size() == 1) << "no request without a file to write";
}

TEST_F(HttpModule, UnreadableFileFailsWithoutARequest)
{
    const std::string missing = Dir.filePath(QStringLiteral("missing.kri")).toStdString();
    EXPECT_FALSE(Http.Upload(kPlain, missing));
    EXPECT_EQ("Cannot read the file " + missing + ": No such file or directory", Http.LastError());
    EXPECT_EQ(std::vector<std::string>{Http.LastError()}, Messages());
    EXPECT_FALSE(Http.PostFile(kPlain, "setup.xml", Dir.path().toStdString()));
    EXPECT_EQ("Cannot read the file " + Dir.path().toStdString() + ": Is a directory", Http.LastError());
    EXPECT_TRUE(Events.Http().empty());
}

TEST_F(HttpModule, AnEndlessDownloadStopsAtTheLimitAndLeavesTheOldFile)
{
    const std::string target = Dir.filePath(QStringLiteral("backup.xml")).toStdString();
    WriteFile(target, "earlier");
    StopAfter guard(Http, 60000, Dir.path());  // fails, rather than fills the disk, without the limit
    EXPECT_FALSE(Http.GetFile(kEndless, "setup.xml", target));
    EXPECT_EQ("The device sent more than 16 MiB: the download was stopped.", Http.LastError());
    EXPECT_EQ(LOG_ERROR, Log.ActionLog.back().Level);
    EXPECT_EQ("earlier", ReadFile(target));
    EXPECT_EQ(QStringList({QStringLiteral("backup.xml"), QStringLiteral("image.kri"), QStringLiteral("setup.xml")}),
              QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name))
        << "no temporary file left";
}

TEST_F(HttpModule, AnEndlessAnswerToAnUploadIsReadUpToItsLimitThenItsStatusDecides)
{
    StopAfter guard(Http, 15000);  // fails, rather than hangs, without the limit
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(Http.Upload(kEndless, Image)) << Http.LastError();
    EXPECT_TRUE(Http.PostFile(kEndless, "setup.xml", Setup)) << Http.LastError();
    EXPECT_LT(clock.elapsed(), 10000);
    const auto ev = Events.Http();
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ("firmware accepted", Text(ev[0], "outcome"));
    EXPECT_EQ("configuration stored", Text(ev[1], "outcome"));
}

TEST_F(HttpModule, ADownloadNeedsA200WithABody)
{
    const std::string target = Dir.filePath(QStringLiteral("backup.xml")).toStdString();
    const struct {
        const char* Host;
        const char* Error;
    } rows[] = {
        {kEmpty, "The device sent an empty file."},
        {kNoContent, "HTTP/1.1 204 No Content: the answer holds no whole file."},
        {kPartial, "HTTP/1.1 206 Partial Content: the answer holds no whole file."},
    };
    for (const auto& row : rows) {
        WriteFile(target, "earlier");
        EXPECT_FALSE(Http.GetFile(row.Host, "setup.xml", target)) << row.Host;
        EXPECT_EQ(row.Error, Http.LastError()) << row.Host;
        EXPECT_EQ("earlier", ReadFile(target)) << row.Host;
    }
    const auto ev = Events.Http();
    ASSERT_EQ(3u, ev.size());
    EXPECT_EQ(200, ev[0][QStringLiteral("status")].toInt());
    EXPECT_EQ(204, ev[1][QStringLiteral("status")].toInt());
    EXPECT_EQ(206, ev[2][QStringLiteral("status")].toInt());
    EXPECT_EQ(3u, QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden).size()) << "no temporary file left";
}

TEST_F(HttpModule, AnUploadTakesAnyAnswerWithoutAnErrorStatus)
{
    for (const char* host : {kEmpty, kNoContent, kPartial}) {
        EXPECT_TRUE(Http.PostFile(host, "setup.xml", Setup)) << host << ": " << Http.LastError();
        EXPECT_TRUE(Http.Upload(host, Image)) << host << ": " << Http.LastError();
    }
}

TEST_F(HttpModule, ABrokenPipeWhileSendingAsksForALoginLikeAReset)
{
    // Large enough that the device closes while the body is still going out.
    WriteFile(Image, std::string(8000000, 'i'));
    EXPECT_FALSE(Http.Upload(kHangUp, Image));
    EXPECT_EQ("Send failure: Broken pipe", Http.LastError());
    EXPECT_EQ(1, Host.Asked);
    EXPECT_TRUE(Http.LastNeededLogin());
    WriteFile(Setup, std::string(8000000, 's'));
    EXPECT_FALSE(Http.PostFile(kHangUp, "setup.xml", Setup));
    EXPECT_EQ(2, Host.Asked);
    const auto ev = Events.Http();
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ("closed after the head", Text(ev[0], "outcome"));
}

TEST_F(HttpModule, AnAnswerHeadDrippingWithoutEndIsEndedByTheSpeedFloor)
{
    QElapsedTimer clock;
    clock.start();
    const std::string target = Dir.filePath(QStringLiteral("drip.xml")).toStdString();
    EXPECT_FALSE(Http.GetFile(kDrip, "setup.xml", target));
    EXPECT_EQ("The transfer stalled: fewer than 1000 bytes per second for 3 seconds.", Http.LastError());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(target)));
    EXPECT_FALSE(Http.PostFile(kDrip, "setup.xml", Setup));
    EXPECT_EQ("The transfer stalled: fewer than 1000 bytes per second for 3 seconds.", Http.LastError());
    EXPECT_LT(clock.elapsed(), 30000);
}

TEST_F(HttpModule, ADownloadKeepsTheReplacedFilesBitsAndLink)
{
    const std::string real = Dir.filePath(QStringLiteral("real.xml")).toStdString();
    const std::string link = Dir.filePath(QStringLiteral("link.xml")).toStdString();
    WriteFile(real, "earlier");
    ASSERT_EQ(0, ::chmod(real.c_str(), 0600));
    ASSERT_EQ(0, ::symlink("real.xml", link.c_str()));
    ASSERT_TRUE(Http.GetFile(kPlain, "setup.xml", link)) << Http.LastError();
    struct stat info {};
    ASSERT_EQ(0, ::lstat(link.c_str(), &info));
    EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link stays";
    ASSERT_EQ(0, ::stat(real.c_str(), &info));
    EXPECT_EQ(mode_t(0600), info.st_mode & 07777);
    EXPECT_NE(std::string::npos, ReadFile(real).find("<setup>"));
}

TEST_F(HttpModule, ASpecialFileIsNeitherSentNorWritten)
{
    const std::string fifo = Dir.filePath(QStringLiteral("pipe.kri")).toStdString();
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    TFifoRescue rescue(fifo, 10);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(Http.Upload(kPlain, fifo));
    EXPECT_EQ("Cannot read the file " + fifo + ": Not a regular file", Http.LastError());
    EXPECT_FALSE(Http.PostFile(kPlain, "setup.xml", fifo));
    EXPECT_FALSE(Http.PostFile(kPlain, "setup.xml", "/dev/zero"));
    EXPECT_EQ("Cannot read the file /dev/zero: Not a regular file", Http.LastError());
    EXPECT_FALSE(Http.GetFile(kPlain, "setup.xml", fifo));
    EXPECT_EQ("Cannot write the file " + fifo + ": Not a regular file", Http.LastError());
    EXPECT_LT(clock.elapsed(), 5000) << "refused at once";
    struct stat info {};
    ASSERT_EQ(0, ::lstat(fifo.c_str(), &info));
    EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "the FIFO stays";
    EXPECT_TRUE(Events.Http().empty()) << "nothing sent";
}

TEST_F(HttpModule, ARequestHoldsOnlyItsOwnThread)
{
    // 4000 bytes at 1500 bytes/s from the slow device, on a thread of its own (as a window's
    // batch runs it): the application's event loop turns meanwhile.
    WriteFile(Setup, std::string(4000, 's'));
    ASSERT_TRUE(Http.PostFile(kSlow, "setup.xml", Setup));
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(50);
    std::atomic<bool> done = false;
    bool ok = false;
    std::thread transfer([&] {
        ok = Http.GetFile(kSlow, "setup.xml", Dir.filePath(QStringLiteral("slow.xml")).toStdString());
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    transfer.join();
    EXPECT_TRUE(ok);
    EXPECT_GE(ticks, 20);
}

TEST_F(HttpModule, StopEndsTheRunningTransferAndLaterOnesUntilResumed)
{
    WriteFile(Setup, std::string(60000, 's'));
    const std::string target = Dir.filePath(QStringLiteral("slow.xml")).toStdString();
    // Stop comes from another thread, as a window's Stop button or a signal handler says it.
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        Http.Stop();
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(Http.PostFile(kSlow, "setup.xml", Setup));
    stopper.join();
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ("The transfer was stopped.", Http.LastError());
    EXPECT_FALSE(Http.GetFile(kPlain, "setup.xml", target));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(target)));
    Http.Resume();
    EXPECT_TRUE(Http.GetFile(kPlain, "setup.xml", target));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
