// The decisions of the HTTP transfers: rate text, request verdicts and the login retry, the
// limits, the speed floor and the sizes of answers, backup file names.
#include "core/app/i18n.h"
#include "core/http/http.h"
#include "core/http/rules.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <cerrno>
#include <curl/curl.h>

namespace {

const std::string k14(14, ' ');

TEST(TransferRate, WholeKilobytesPerSecond)
{
    // 2,560,000 bytes are 2,500 whole kilobytes; after 10 s that is 250 kB/s.
    EXPECT_DOUBLE_EQ(250.0, TransferRateValue(2560000, 10000, 0));
    // The remainder below 1024 is dropped before dividing.
    EXPECT_DOUBLE_EQ(1.0, TransferRateValue(2047, 1000, 0));
    EXPECT_DOUBLE_EQ(0.0, TransferRateValue(1023, 1000, 7));
    // Milliseconds count: 1 kB in 1.5 s.
    EXPECT_NEAR(0.6667, TransferRateValue(1024, 1500, 0), 1e-4);
}

TEST(TransferRate, NoTimeKeepsThePreviousRate)
{
    EXPECT_DOUBLE_EQ(0.0, TransferRateValue(2560000, 0, 0));
    EXPECT_DOUBLE_EQ(12.5, TransferRateValue(2560000, 0, 12.5));
    EXPECT_DOUBLE_EQ(12.5, TransferRateValue(2560000, -5, 12.5));  // a clock that went back
}

TEST(TransferRate, TextHasFourteenSpacesTwoDecimalsAndTheUnit)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(k14 + "250.00 kB/s ", TransferRateText(250.0, english));
    EXPECT_EQ(k14 + "0.00 kB/s ", TransferRateText(0.0, english));       // at least one integer digit
    EXPECT_EQ(k14 + "0.67 kB/s ", TransferRateText(2.0 / 3.0, english)); // rounded
    EXPECT_EQ(k14 + "1.00 kB/s ", TransferRateText(0.999, english));
    EXPECT_EQ(k14 + "123456.79 kB/s ", TransferRateText(123456.789, english));  // no group separators
}

TEST(TransferRate, DecimalSeparatorOfTheUsersLocale)
{
    const QLocale czech(QLocale::Czech, QLocale::CzechRepublic);
    EXPECT_EQ(k14 + "250,00 kB/s ", TransferRateText(250.0, czech));
    EXPECT_EQ(k14 + "12345,50 kB/s ", TransferRateText(12345.5, czech));
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(k14 + "1000,00 kB/s ", TransferRateText(1000.0, german));
}

int64_t g_now = 0;
int64_t FakeClock() { return g_now; }

TEST(TransferRate, TheModulesRateSinceTheWorkBegan)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    THTTPModule http;
    http.Clock = FakeClock;
    g_now = 0;  // the work begins with the module at 0 ms
    EXPECT_EQ(k14 + "0.00 kB/s ", http.TransferRate(2560000)) << "no time has passed yet";
    g_now = 10000;
    EXPECT_EQ(k14 + "250.00 kB/s ", http.TransferRate(2560000));
    QLocale::setDefault(QLocale(QLocale::Czech, QLocale::CzechRepublic));
    g_now = 20000;
    EXPECT_EQ(k14 + "250,00 kB/s ", http.TransferRate(5120000));
    QLocale::setDefault(QLocale::c());
}

THTTPFacts Failure(int code, int osErrno = 0)
{
    THTTPFacts facts;
    facts.CurlCode = code;
    facts.OsErrno = osErrno;
    facts.ClientMessage = "client says";
    return facts;
}

// The answer to an upload.
THTTPFacts Answer(long status, const char* line)
{
    THTTPFacts facts;
    facts.HttpStatus = status;
    facts.StatusLine = line;
    facts.Upload = true;
    return facts;
}

// The answer to a download, with this much body taken.
THTTPFacts Download(long status, const char* line, int64_t body)
{
    THTTPFacts facts = Answer(status, line);
    facts.Upload = false;
    facts.BodyBytes = body;
    return facts;
}

TEST(RequestVerdict, StatusCodesAndMessages)
{
    UseLanguage("en");
    const THTTPLimits limits{2, 1000, 3, 5};
    const struct {
        const char* Why;
        THTTPFacts Facts;
        bool Ok;
        int StatusCode;
        const char* Message;
    } rows[] = {
        {"2xx answers succeed", Answer(200, "HTTP/1.1 200 OK"), true, 0, ""},
        {"any 2xx, for an upload", Answer(204, "HTTP/1.1 204 No Content"), true, 0, ""},
        {"an upload's 206 too", Answer(206, "HTTP/1.1 206 Partial Content"), true, 0, ""},
        {"a download needs 200 and a body", Download(200, "HTTP/1.1 200 OK", 1), true, 0, ""},
        {"an empty download is no file", Download(200, "HTTP/1.1 200 OK", 0), false, 200,
         "The device sent an empty file."},
        {"a 204 download is no file", Download(204, "HTTP/1.1 204 No Content", 0), false, 204,
         "HTTP/1.1 204 No Content: the answer holds no whole file."},
        {"a 206 download is a part only", Download(206, "HTTP/1.1 206 Partial Content", 500), false, 206,
         "HTTP/1.1 206 Partial Content: the answer holds no whole file."},
        {"any other 2xx download", Download(203, "", 500), false, 203,
         "HTTP status 203: the answer holds no whole file."},
        {"a download's error status", Download(404, "HTTP/1.1 404 Not Found", 0), false, 404,
         "HTTP/1.1 404 Not Found"},
        {"an error status is the status code, its line the message", Answer(404, "HTTP/1.1 404 Not Found"), false,
         404, "HTTP/1.1 404 Not Found"},
        {"401 too", Answer(401, "HTTP/1.1 401 Unauthorized"), false, 401, "HTTP/1.1 401 Unauthorized"},
        {"a redirect is no success either", Answer(302, "HTTP/1.1 302 Found"), false, 302, "HTTP/1.1 302 Found"},
        {"a status without its line", Answer(500, ""), false, 500, "HTTP status 500"},
        {"refused: the socket error number, the system's words added",
         Failure(CURLE_COULDNT_CONNECT, ECONNREFUSED), false, ECONNREFUSED, "client says (Connection refused)"},
        {"unreachable", Failure(CURLE_COULDNT_CONNECT, EHOSTUNREACH), false, EHOSTUNREACH,
         "client says (No route to host)"},
        {"connect time-out", Failure(CURLE_OPERATION_TIMEDOUT, ETIMEDOUT), false, ETIMEDOUT,
         "client says (Connection timed out)"},
        {"reset while sending is a dropped connection", Failure(CURLE_SEND_ERROR, ECONNRESET), false,
         kDroppedConnection, "client says (Connection reset by peer)"},
        {"reset while receiving", Failure(CURLE_RECV_ERROR, ECONNRESET), false, kDroppedConnection,
         "client says (Connection reset by peer)"},
        {"aborted while receiving", Failure(CURLE_RECV_ERROR, ECONNABORTED), false, kDroppedConnection,
         "client says (Software caused connection abort)"},
        {"closed before any answer", Failure(CURLE_GOT_NOTHING), false, kDroppedConnection, "client says"},
        {"a broken pipe while sending: the device closed, a dropped connection", Failure(CURLE_SEND_ERROR, EPIPE),
         false, kDroppedConnection, "client says (Broken pipe)"},
        {"a broken pipe while receiving", Failure(CURLE_RECV_ERROR, EPIPE), false, kDroppedConnection,
         "client says (Broken pipe)"},
        {"another socket error while sending", Failure(CURLE_SEND_ERROR, ENETUNREACH), false, ENETUNREACH,
         "client says (Network is unreachable)"},
        {"other client errors have no code", Failure(CURLE_WEIRD_SERVER_REPLY), false, 0, "client says"},
        {"a write error has no code", Failure(CURLE_WRITE_ERROR), false, 0, "client says"},
    };
    for (const auto& row : rows) {
        const THTTPVerdict verdict = JudgeRequest(row.Facts, limits);
        EXPECT_EQ(row.Ok, verdict.Ok) << row.Why;
        EXPECT_EQ(row.StatusCode, verdict.StatusCode) << row.Why;
        EXPECT_EQ(row.Message, verdict.Message) << row.Why;
    }
    THTTPFacts silent = Failure(CURLE_COULDNT_CONNECT, ECONNREFUSED);
    silent.ClientMessage.clear();
    EXPECT_EQ("Couldn't connect to server (Connection refused)", JudgeRequest(silent, limits).Message)
        << "the client's text for its code";
    // The system's words come once: the client may have quoted them already.
    THTTPFacts quoted = Failure(CURLE_RECV_ERROR, ECONNRESET);
    quoted.ClientMessage = "Recv failure: Connection reset by peer";
    EXPECT_EQ("Recv failure: Connection reset by peer", JudgeRequest(quoted, limits).Message);
}

TEST(RequestVerdict, TheProgramsOwnLimitsNameTheirValues)
{
    UseLanguage("en");
    const THTTPLimits limits{2, 1000, 3, 5};
    THTTPFacts facts = Failure(CURLE_ABORTED_BY_CALLBACK);
    facts.Stop = THTTPStop::Stalled;
    EXPECT_EQ("The transfer stalled: fewer than 1000 bytes per second for 3 seconds.",
              JudgeRequest(facts, limits).Message);
    EXPECT_EQ(0, JudgeRequest(facts, limits).StatusCode) << "a stall never asks for a login";
    facts.Stop = THTTPStop::NoAnswer;
    facts.Upload = true;
    EXPECT_EQ("The device did not answer within 5 seconds.", JudgeRequest(facts, limits).Message);
    facts.Upload = false;
    EXPECT_EQ("The device did not answer within 3 seconds.", JudgeRequest(facts, limits).Message);
    facts.Stop = THTTPStop::Stopped;
    EXPECT_EQ("The transfer was stopped.", JudgeRequest(facts, limits).Message);
    EXPECT_FALSE(JudgeRequest(facts, limits).Ok);
    facts = Failure(CURLE_WRITE_ERROR);
    facts.Stop = THTTPStop::TooLarge;
    EXPECT_EQ("The device sent more than 16 MiB: the download was stopped.", JudgeRequest(facts, limits).Message);
    EXPECT_FALSE(JudgeRequest(facts, limits).Ok);
}

TEST(RequestVerdict, AnAnswerReadFarEnoughIsJudgedByItsStatus)
{
    UseLanguage("en");
    const THTTPLimits limits;
    // The client reports the end the program made as a write error; the status decides.
    auto cut = [](THTTPFacts facts) {
        facts.CurlCode = CURLE_WRITE_ERROR;
        facts.ClientMessage = "Failure writing output to destination";
        facts.Stop = THTTPStop::AnswerRead;
        return facts;
    };
    EXPECT_TRUE(JudgeRequest(cut(Answer(200, "HTTP/1.1 200 OK")), limits).Ok);
    const THTTPVerdict refused = JudgeRequest(cut(Answer(401, "HTTP/1.1 401 Unauthorized")), limits);
    EXPECT_FALSE(refused.Ok);
    EXPECT_TRUE(AsksForLogin(refused.StatusCode));
    EXPECT_EQ("HTTP/1.1 404 Not Found", JudgeRequest(cut(Download(404, "HTTP/1.1 404 Not Found", 0)), limits).Message);
    // A write error of the program's own file stays an error.
    EXPECT_FALSE(JudgeRequest(Failure(CURLE_WRITE_ERROR), limits).Ok);
}

TEST(AnswerBody, AnUploadKeepsItsAnswerUpToTheLimitThenItsStatusDecides)
{
    const int64_t limit = kMaxAnswerBytes;
    EXPECT_EQ(1024 * 1024, limit);
    const struct {
        const char* Why;
        long Status;
        int64_t Received;
        size_t Length;
        size_t Take;
        THTTPStop Stop;
    } rows[] = {
        {"a short page", 200, 0, 100, 100, THTTPStop::None},
        {"the whole limit at once", 200, 0, size_t(limit), size_t(limit), THTTPStop::None},
        {"up to one byte below", 200, limit - 2, 1, 1, THTTPStop::None},
        {"up to the limit", 200, limit - 1, 1, 1, THTTPStop::None},
        {"one byte beyond: the rest is not read", 200, limit - 1, 2, 1, THTTPStop::AnswerRead},
        {"at the limit already", 200, limit, 1, 0, THTTPStop::AnswerRead},
        {"an error page is read the same way", 500, 0, 100, 100, THTTPStop::None},
        {"and cut the same way", 401, limit, 10, 0, THTTPStop::AnswerRead},
    };
    for (const auto& row : rows) {
        const TBodyStep step = NextBodyStep(true, row.Status, row.Received, row.Length);
        EXPECT_EQ(row.Take, step.Take) << row.Why;
        EXPECT_EQ(row.Stop, step.Stop) << row.Why;
    }
}

TEST(AnswerBody, ADownloadTakesTheBodyOfA200UpToTheLimitOnly)
{
    const int64_t limit = kMaxConfigBytes;
    EXPECT_EQ(16 * 1024 * 1024, limit);
    const struct {
        const char* Why;
        long Status;
        int64_t Received;
        size_t Length;
        size_t Take;
        THTTPStop Stop;
    } rows[] = {
        {"a file", 200, 0, 5000, 5000, THTTPStop::None},
        {"a file of the largest size", 200, 0, size_t(limit), size_t(limit), THTTPStop::None},
        {"its last byte", 200, limit - 1, 1, 1, THTTPStop::None},
        {"a byte too many", 200, limit - 1, 2, 0, THTTPStop::TooLarge},
        {"announced beyond the limit", 200, 0, size_t(limit) + 1, 0, THTTPStop::TooLarge},
        {"an error page is not read", 404, 0, 100, 0, THTTPStop::AnswerRead},
        {"nor a part of a file", 206, 0, 100, 0, THTTPStop::AnswerRead},
    };
    for (const auto& row : rows) {
        const TBodyStep step = NextBodyStep(false, row.Status, row.Received, row.Length);
        EXPECT_EQ(row.Take, step.Take) << row.Why;
        EXPECT_EQ(row.Stop, step.Stop) << row.Why;
    }
}

TEST(LoginRetry, OnRefusedCredentialsOrADroppedConnectionOnly)
{
    EXPECT_TRUE(AsksForLogin(401));
    EXPECT_TRUE(AsksForLogin(kDroppedConnection));
    EXPECT_EQ(10053, kDroppedConnection);
    for (int other : {0, 400, 403, 404, 407, 500, ECONNRESET, ECONNREFUSED, 10054, 10061})
        EXPECT_FALSE(AsksForLogin(other)) << other;
    // Through the verdicts: what a device does decides it.
    const THTTPLimits limits;
    EXPECT_TRUE(AsksForLogin(JudgeRequest(Answer(401, "HTTP/1.1 401 Unauthorized"), limits).StatusCode));
    EXPECT_TRUE(AsksForLogin(JudgeRequest(Failure(CURLE_SEND_ERROR, ECONNRESET), limits).StatusCode));
    EXPECT_TRUE(AsksForLogin(JudgeRequest(Failure(CURLE_SEND_ERROR, EPIPE), limits).StatusCode));
    EXPECT_FALSE(AsksForLogin(JudgeRequest(Failure(CURLE_COULDNT_CONNECT, ECONNREFUSED), limits).StatusCode));
    EXPECT_FALSE(AsksForLogin(JudgeRequest(Answer(403, "HTTP/1.1 403 Forbidden"), limits).StatusCode));
}

TEST(HTTPLimits, ParsedOnlyWhenWhollyRight)
{
    THTTPLimits limits;
    ASSERT_TRUE(ParseHTTPLimits("2,1000,3,5", limits));
    EXPECT_EQ(2, limits.ConnectSeconds);
    EXPECT_EQ(1000, limits.FloorBytesPerSecond);
    EXPECT_EQ(3, limits.FloorSeconds);
    EXPECT_EQ(5, limits.AnswerSeconds);
    ASSERT_TRUE(ParseHTTPLimits("1,1,1,1", limits));
    EXPECT_EQ(1, limits.FloorSeconds);
    ASSERT_TRUE(ParseHTTPLimits("86400,100000000,86400,86400", limits));
    EXPECT_EQ(100000000, limits.FloorBytesPerSecond);
    EXPECT_EQ(86400, limits.FloorSeconds);
    const THTTPLimits before = limits;
    const char* bad[] = {
        "",               // nothing
        "2,1000,3",       // three values
        "2,1000,3,5,6",   // five
        "0,1000,3,5",     // below 1
        "2,0,3,5",        // no floor
        "2,1000,0,5",     // a floor over no time
        "2,1000,3,0",     // no time for the answer
        "86401,1000,3,5", // above a day
        "2,1000,86401,5", // above a day
        "2,1000,3,86401", // above a day
        "2,100000001,3,5",// floor above 100 MB/s
        "2,1000,-3,5",    // a sign
        "2, 1000,3,5",    // a blank
        "2,1000,3,5,",    // a trailing comma
        "2,,3,5",         // an empty value
        "2,1e3,3,5",      // not digits
        "2,1000,3,9999999999",  // too many digits
    };
    for (const char* text : bad) {
        EXPECT_FALSE(ParseHTTPLimits(text, limits)) << '"' << text << '"';
        EXPECT_EQ(before.ConnectSeconds, limits.ConnectSeconds) << text;
        EXPECT_EQ(before.AnswerSeconds, limits.AnswerSeconds) << text;
    }
}

TEST(HTTPLimits, EnvironmentOverridesTheDefaults)
{
    unsetenv("PYXET_HTTP_LIMITS");
    EXPECT_EQ(DefaultHTTPLimits().AnswerSeconds, EffectiveHTTPLimits().AnswerSeconds);
    setenv("PYXET_HTTP_LIMITS", "4,10,6,8", 1);
    EXPECT_EQ(8, EffectiveHTTPLimits().AnswerSeconds);
    setenv("PYXET_HTTP_LIMITS", "nonsense", 1);
    EXPECT_EQ(DefaultHTTPLimits().FloorSeconds, EffectiveHTTPLimits().FloorSeconds);
    unsetenv("PYXET_HTTP_LIMITS");
}

TEST(SpeedFloor, StallsOnlyAfterAWholeWindowBelowTheFloor)
{
    // 1000 bytes/s over 3 s: at least 3000 bytes must move in any 3 s.
    THTTPSpeedWatch watch;
    EXPECT_FALSE(watch.Stalled(0, 0, 1000, 3));
    EXPECT_FALSE(watch.Stalled(1000, 0, 1000, 3));
    EXPECT_FALSE(watch.Stalled(2999, 0, 1000, 3)) << "not yet a whole window";
    EXPECT_TRUE(watch.Stalled(3000, 2999, 1000, 3)) << "one byte short after 3 s";
    watch.Reset();
    EXPECT_FALSE(watch.Stalled(0, 0, 1000, 3));
    EXPECT_FALSE(watch.Stalled(3000, 3000, 1000, 3)) << "exactly the floor";
}

TEST(SpeedFloor, AFastStartDoesNotHideALaterStall)
{
    THTTPSpeedWatch watch;
    int64_t bytes = 0;
    for (int64_t t = 0; t <= 10000; t += 500) {  // 10 s at 100 kB/s
        EXPECT_FALSE(watch.Stalled(t, bytes, 1000, 3));
        bytes += 50000;
    }
    // Then nothing moves: the stall shows 3 s after the last movement, not before.
    const int64_t last = bytes;
    EXPECT_FALSE(watch.Stalled(11000, last, 1000, 3));
    EXPECT_FALSE(watch.Stalled(12000, last, 1000, 3));
    EXPECT_FALSE(watch.Stalled(13000, last, 1000, 3));
    EXPECT_TRUE(watch.Stalled(14000, last, 1000, 3));
}

TEST(SpeedFloor, SlowButSteadyIsNoStall)
{
    THTTPSpeedWatch watch;
    for (int64_t t = 0; t <= 60000; t += 1000)
        EXPECT_FALSE(watch.Stalled(t, t * 1100 / 1000, 1000, 3)) << t;  // 1100 bytes/s
    watch.Reset();
    bool stalled = false;
    for (int64_t t = 0; t <= 60000 && !stalled; t += 1000)
        stalled = watch.Stalled(t, t * 900 / 1000, 1000, 3);  // 900 bytes/s
    EXPECT_TRUE(stalled);
}

// A device that reads 3000 bytes/s through a large receive buffer: its window opens again every
// 40 s, 120 000 bytes at a time, and in between nothing is acknowledged.
TEST(SpeedFloor, AWindowHeldClosedStopsTheFloorsClockUntilTheAnswerTime)
{
    const THTTPLimits limits{10, 1000, 30, 180};
    THTTPSendWatch watch;
    int64_t acknowledged = 0;
    for (int64_t t = 0; t <= 200000; t += 1000) {
        const bool opening = t % 40000 == 0;
        if (opening)
            acknowledged += 120000;
        EXPECT_EQ(THTTPStop::None, watch.Judge(t, acknowledged, !opening, limits)) << t;
    }
    // The same acknowledgements with the window open the whole time: a stall, as before.
    THTTPSendWatch open;
    acknowledged = 0;
    THTTPStop stop = THTTPStop::None;
    for (int64_t t = 0; t <= 200000 && stop == THTTPStop::None; t += 1000) {
        if (t % 40000 == 0)
            acknowledged += 120000;
        stop = open.Judge(t, acknowledged, false, limits);
    }
    EXPECT_EQ(THTTPStop::Stalled, stop);

    // A window held closed for the answer time ends the upload with a reason of its own.
    watch.Reset();
    EXPECT_EQ(THTTPStop::None, watch.Judge(0, 5000, false, limits));
    EXPECT_EQ(THTTPStop::None, watch.Judge(1000, 6000, true, limits));
    EXPECT_EQ(THTTPStop::None, watch.Judge(180999, 6000, true, limits));
    EXPECT_EQ(THTTPStop::NotReading, watch.Judge(181000, 6000, true, limits));
    THTTPFacts facts;
    facts.Upload = true;
    facts.Stop = THTTPStop::NotReading;
    const THTTPVerdict verdict = JudgeRequest(facts, limits);
    EXPECT_FALSE(verdict.Ok);
    EXPECT_EQ("The device took no data for 180 seconds.", verdict.Message);

    // A device that acknowledges nothing with its window open stalls after the floor's time of
    // open window: 10 s before a closed spell of 90 s, 20 s after it.
    watch.Reset();
    for (int64_t t = 0; t <= 10000; t += 1000)
        EXPECT_EQ(THTTPStop::None, watch.Judge(t, 100, false, limits)) << t;
    for (int64_t t = 11000; t <= 100000; t += 1000)
        EXPECT_EQ(THTTPStop::None, watch.Judge(t, 100, true, limits)) << t;
    for (int64_t t = 101000; t < 120000; t += 1000)
        EXPECT_EQ(THTTPStop::None, watch.Judge(t, 100, false, limits)) << t;
    EXPECT_EQ(THTTPStop::Stalled, watch.Judge(120000, 100, false, limits));
}

TEST(BackupFiles, NameAndDeviceLine)
{
    EXPECT_EQ("backup/setup_192.168.1.20_.xml", BackupFileName("backup", "192.168.1.20"));
    EXPECT_EQ("/tmp/x/setup_10.0.0.1_.xml", BackupFileName("/tmp/x", "10.0.0.1"));
    EXPECT_EQ("Hall sensor  (10.77.1.20)", DeviceLine("Hall sensor", "10.77.1.20"));
    EXPECT_EQ("  (10.77.1.20)", DeviceLine("", "10.77.1.20"));
}

// The login dialog's device: one line whatever the device calls itself.
TEST(BackupFiles, LoginDeviceText)
{
    EXPECT_EQ("Server room (10.77.1.13)", LoginDeviceText("Server room", "10.77.1.13"));
    EXPECT_EQ("10.77.1.13", LoginDeviceText("", "10.77.1.13"));
    EXPECT_EQ("Hall\\x0A\\x1B[31m (10.77.1.13)", LoginDeviceText("Hall\n\x1b[31m", "10.77.1.13"));
}

// What a device says reaches the log, the progress window and the login question only in its
// shown form: one line, no escape sequence.
TEST(RequestVerdict, DeviceTextsInMessagesAreShownSafely)
{
    UseLanguage("en");
    const THTTPLimits limits{2, 1000, 3, 5};
    const THTTPVerdict status =
        JudgeRequest(Answer(500, "HTTP/1.1 500 Oops\rERROR\tforged \x1B[2J\xE2\x80\xAE"), limits);
    EXPECT_EQ("HTTP/1.1 500 Oops\\x0DERROR\\x09forged \\x1B[2J\\u{202E}", status.Message);
    EXPECT_EQ(500, status.StatusCode);
    THTTPFacts client = Failure(CURLE_WEIRD_SERVER_REPLY);
    client.ClientMessage = "Weird server reply\n\x1B[31m";
    EXPECT_EQ("Weird server reply\\x0A\\x1B[31m", JudgeRequest(client, limits).Message);
    EXPECT_EQ("Boiler\\x0D\\x0AERROR\\x09forged  (10.77.1.20)", DeviceLine("Boiler\r\nERROR\tforged", "10.77.1.20"));
}

} // namespace
