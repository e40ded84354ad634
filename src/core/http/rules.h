// Decisions of the HTTP transfers without a network: the transfer-rate text, what a finished
// request means (its status code, its message, whether the login dialog is due), the limits that
// keep a stalled device from holding a batch, and the names of the backup files.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <utility>

class QLocale;

// ---- Transfer rate --------------------------------------------------------------------------
// The rate in kB/s after `count` bytes in `elapsedMs` milliseconds: whole kilobytes (count / 1024,
// the remainder dropped) per second. Before any time has passed the previous rate stands.
double TransferRateValue(int64_t count, int64_t elapsedMs, double previous);
// Fourteen spaces, the rate with at least one integer digit and exactly two decimals (the
// locale's decimal separator, no group separators), then " kB/s ".
std::string TransferRateText(double rate, const QLocale& locale);

// ---- Limits ---------------------------------------------------------------------------------
// A device that takes the connection and then stalls must not hold a batch for ever.
struct THTTPLimits {
    int ConnectSeconds = 10;        // to set up the TCP connection
    int FloorBytesPerSecond = 1000; // a transfer moving fewer bytes than this per second ...
    int FloorSeconds = 30;          // ... for this long has stalled (sending, or receiving the answer)
    int AnswerSeconds = 180;        // wait for the answer once an upload's body is sent (a device
                                    // may flash its image before it answers, no bytes moving);
                                    // a GET waits FloorSeconds for its answer instead
};
THTTPLimits DefaultHTTPLimits();
// "C,L,T,R": connect seconds, floor bytes/s, floor seconds, answer seconds, each from 1 to
// 86400 (L to 100000000). Writes `limits` only when the whole text is right.
bool ParseHTTPLimits(const std::string& text, THTTPLimits& limits);
// The limits in force: the defaults, or the PYXET_HTTP_LIMITS environment variable when it is
// set and well-formed (for tests and for unusually slow devices).
THTTPLimits EffectiveHTTPLimits();

// The speed floor: fed the byte count of one direction at least once a second, it tells when
// fewer than `floor` bytes per second have moved over the last `seconds` seconds.
class THTTPSpeedWatch {
public:
    void Reset() { Samples.clear(); }
    bool Stalled(int64_t nowMs, int64_t bytes, int floor, int seconds);

private:
    std::deque<std::pair<int64_t, int64_t>> Samples;  // (time, byte count), oldest first
};

// ---- Outcome of one request -----------------------------------------------------------------
// Why a request was ended by the program itself rather than by the client or the device.
enum class THTTPStop {
    None,
    Stalled,
    NoAnswer,
    Stopped,
    TooLarge,    // a download's body passed kMaxConfigBytes
    AnswerRead,  // as much of the answer was read as is needed; its status decides
    NotReading,  // an upload's device held its TCP window closed for the answer time
};

// The limits of an upload's body, judged on the bytes the device has acknowledged. A device whose
// kernel has a large receive buffer opens its TCP window again only once it has read a good part
// of it: for many seconds nothing is acknowledged, though it reads steadily. While the device
// holds its window closed (bytes wait on this side, none is on its way, its kernel answers the
// window probes) the floor's clock stands; a window held closed for the answer time (a device
// may stop to write its flash) ends the upload.
class THTTPSendWatch {
public:
    void Reset();
    // Fed at least once a second; THTTPStop::None while the upload may go on.
    THTTPStop Judge(int64_t nowMs, int64_t acknowledged, bool windowHeld, const THTTPLimits& limits);

private:
    THTTPSpeedWatch Speed;
    int64_t HeldMs = 0;      // the closed-window time before the last opening
    int64_t HeldSince = -1;  // the window is closed since then, or -1
};

// ---- Sizes of answers -----------------------------------------------------------------------
// The largest configuration file a download takes; a device that sends more fails, and the old
// file stays.
constexpr int64_t kMaxConfigBytes = 16 * 1024 * 1024;
// Of an upload's answer page this much is read (its <h1> text is in it); then the status decides.
constexpr int64_t kMaxAnswerBytes = 1024 * 1024;

// What becomes of the next `length` bytes of an answer's body when `received` bytes came before
// and the answer's status is `status`: `Take` of them are kept, and with a Stop the transfer ends
// there. An upload keeps its answer up to kMaxAnswerBytes; a download keeps the body of a 200
// only, up to kMaxConfigBytes, and reads nothing of another answer.
struct TBodyStep {
    size_t Take = 0;
    THTTPStop Stop = THTTPStop::None;
};
TBodyStep NextBodyStep(bool upload, long status, int64_t received, size_t length);

// The raw facts of one finished request, as the client reports them.
struct THTTPFacts {
    int CurlCode = 0;          // CURLcode of the transfer
    int OsErrno = 0;           // CURLINFO_OS_ERRNO (set by the client on socket failures only)
    long HttpStatus = 0;       // status of the last answer, 0 when none arrived
    std::string StatusLine;    // that answer's first line, e.g. "HTTP/1.1 404 Not Found"
    std::string ClientMessage; // the client's own text for CurlCode
    THTTPStop Stop = THTTPStop::None;
    bool Upload = false;       // a POST with a body (its answer may take AnswerSeconds)
    int64_t BodyBytes = 0;     // of the answer's body, as kept
};

// The status code that stands for a connection the device dropped (a reset, a broken pipe or a
// close without an answer): the number of the "connection aborted" socket error the login retry
// is keyed to.
constexpr int kDroppedConnection = 10053;

struct THTTPVerdict {
    bool Ok = true;
    // The socket error number on a socket failure (kDroppedConnection for a dropped connection),
    // the HTTP status on an error status, 0 otherwise.
    int StatusCode = 0;
    // For the log, level 4; empty when Ok. Shown as it is: what it quotes of the device's answer
    // (its status line) or of the client's text is in its shown form already (SafeText).
    std::string Message;
};

// Reads a finished request: a transfer error, or the answer's status. An upload succeeds with
// any status from 200 to 299; a download only with 200 and a body that is not empty (an empty
// answer, a 204 or a 206 holds no whole file). `limits` names the values in the messages of the
// program's own limits.
THTTPVerdict JudgeRequest(const THTTPFacts& facts, const THTTPLimits& limits);

// An upload that ended with this status code asks for credentials and tries again.
bool AsksForLogin(int statusCode);

// ---- Files ----------------------------------------------------------------------------------
// folder + "/setup_" + peerIP + "_.xml" ("backup" gives backup/setup_192.168.1.20_.xml).
std::string BackupFileName(const std::string& folder, const std::string& peerIP);
// The device line of the progress window: the name's shown form (SafeText) + "  (" + address + ")".
std::string DeviceLine(const std::string& name, const std::string& peerIP);
// The device the login dialog asks for: the name's shown form + " (" + address + ")", the
// address alone when the name is empty.
std::string LoginDeviceText(const std::string& name, const std::string& peerIP);
