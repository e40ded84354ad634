// THTTPModule on libcurl: one easy handle per request, performed on the calling thread, whose
// callbacks turn what the transfer saw into log lines, progress events and the login retry.
#include "core/http/http.h"

#include "core/app/i18n.h"
#include "core/devices/utils.h"
#include "core/http/files.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/log/safetext.h"

#include <QLocale>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <functional>
#include <linux/sockios.h>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr long kPort = 80;                       // whatever HTTP port the device reports
constexpr long kUploadBuffer = 512 * 1024;       // fewer, larger writes: faster uploads
// The socket send buffer of an upload (the kernel grants double). The client counts a byte as
// sent once the kernel has taken it, and a buffer the system sizes (up to megabytes) swallows a
// small image at once: the progress subtracts what the kernel still holds, and this buffer
// keeps that part small, so that the client goes on writing, and reporting, while the device
// reads. Large enough to keep a fast link busy (uploads as fast as the curl tool's).
constexpr int kUploadSendBuffer = 256 * 1024;
constexpr int64_t kWorkEventSpacingMs = 250;     // between two rate lines of one upload
constexpr int64_t kWakeSpacingMs = 50;           // between two progress reports of the worker

int64_t SteadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void LogLine(const std::string& message, int level) { LogAction("", message, level); }

std::string ErrnoText(int error) { return std::strerror(error); }

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

// One request: its settings, fixed before the worker starts; the state the worker shares with
// the calling thread (under Lock); and what the calling thread has already reported.
struct THTTPModule::TRequest {
    // ---- Settings ----
    std::string Url;
    std::string LocalFile;     // as passed in; the multipart file name of an upload
    bool IsPost = false;
    bool Progress = false;     // the progress events of Upload
    THTTPLogin Login;
    bool UseLogin = false;
    int SourceFd = -1;         // the file an upload sends (a regular file)
    int64_t SourceSize = 0;
    int TargetFd = -1;         // the temporary file a download writes
    int Socket = -1;           // of the connection, once made (an upload's progress asks it)
    bool KeepAnswer = false;   // Upload keeps its answer page
    THTTPLimits Limits;
    const std::atomic<bool>* Stopping = nullptr;
    const std::atomic<bool>* AlsoStopping = nullptr;  // a run's stop, shared by its modules
    std::function<void()> Wake;  // asks the calling thread to look at the shared state

    // ---- Shared with the calling thread ----
    std::mutex Lock;
    bool WakePending = false;
    bool Connected = false;
    int64_t SendTotal = 0;
    int64_t SendNow = 0;
    bool HeadDone = false;     // the final answer's head has arrived
    int64_t ReceiveTotal = 0;
    int64_t ReceiveNow = 0;

    // ---- Worker only ----
    CURL* Handle = nullptr;
    std::string Answer;
    std::string StatusLine;
    long Status = 0;           // of the final answer
    bool AnswerStarted = false;
    int64_t BodyBytes = 0;     // of the answer's body, taken so far
    int LocalErrno = 0;        // reading the source or writing the target failed
    bool NoConnection = false; // no connection was ever made (refused, no such host, connect time up)
    THTTPStop Stop = THTTPStop::None;
    THTTPSpeedWatch Watch;     // receiving
    THTTPSendWatch Sending;    // sending an upload's body
    int Phase = 0;             // 0 before the connection, 1 sending, 2 waiting, 3 receiving
    int64_t WaitStart = 0;
    int64_t LastWakeMs = 0;
    bool Pending = false;      // counts changed since the caller last heard
    bool Unreported = false;   // among them the body's size or its last byte
    THTTPFacts Facts;
    char ErrorBuffer[CURL_ERROR_SIZE] = {};

    // ---- Calling thread only ----
    bool LoggedConnected = false;
    bool SendBegun = false, SendEnded = false;
    int64_t SendReported = 0;
    int64_t LastWorkMs = 0;
    bool ReceiveBegun = false, ReceiveEnded = false;
    int64_t ReceiveReported = 0;

    void Notify()
    {
        bool post = false;
        {
            std::lock_guard<std::mutex> guard(Lock);
            if (!WakePending) {
                WakePending = true;
                post = true;
            }
        }
        if (post && Wake)
            Wake();
    }
};

namespace {
using TRequest = THTTPModule::TRequest;

void EnterPhase(TRequest& r, int phase, int64_t now)
{
    if (r.Phase == phase)
        return;
    r.Phase = phase;
    r.Watch.Reset();
    r.Sending.Reset();
    r.WaitStart = now;
}

// Whether the device holds its TCP window closed: bytes wait in this side's kernel, none is on its
// way, and the device's kernel answers the window probes (a device gone answers none).
bool WindowHeld(int socket)
{
    int queued = 0, unsent = 0;
    if (::ioctl(socket, SIOCOUTQ, &queued) != 0 || ::ioctl(socket, SIOCOUTQNSD, &unsent) != 0)
        return false;
    if (unsent <= 0 || queued != unsent)
        return false;
    tcp_info info{};
    socklen_t length = sizeof info;
    return ::getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 && info.tcpi_probes == 0;
}

// Progress of the transfer, at least once a second: the shared counts, the program's limits, Stop.
int OnProgress(void* data, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal, curl_off_t ulnow)
{
    auto& r = *static_cast<TRequest*>(data);
    if ((r.Stopping && *r.Stopping) || (r.AlsoStopping && *r.AlsoStopping)) {
        r.Stop = THTTPStop::Stopped;
        return 1;
    }
    const int64_t now = SteadyMs();
    bool changed = false;
    bool connected = false;
    // An upload's byte counts as sent once the device has acknowledged it: what is still queued
    // in this side's kernel has not reached the device.
    if (r.IsPost && r.Socket >= 0 && ulnow > 0 && !r.AnswerStarted) {
        int queued = 0;
        if (::ioctl(r.Socket, SIOCOUTQ, &queued) == 0 && queued > 0)
            ulnow = queued < ulnow ? ulnow - queued : 0;
    }
    {
        std::lock_guard<std::mutex> guard(r.Lock);
        connected = r.Connected;
        if (ultotal != r.SendTotal || ulnow != r.SendNow || dlnow != r.ReceiveNow) {
            // The caller hears of the body's size and its last byte at once, of the bytes
            // between at most every kWakeSpacingMs: fewer thread switches on fast links.
            r.Unreported = r.Unreported || r.SendTotal != ultotal || (ultotal > 0 && ulnow == ultotal);
            changed = true;
            r.SendTotal = ultotal;
            r.SendNow = ulnow;
            r.ReceiveNow = dlnow;
        }
    }
    r.Pending = r.Pending || changed;
    if (r.Pending && (r.Unreported || now - r.LastWakeMs >= kWakeSpacingMs)) {
        r.Pending = r.Unreported = false;
        r.LastWakeMs = now;
        r.Notify();
    }
    if (!connected)
        return 0;  // the connect time-out is the client's own

    const THTTPLimits& l = r.Limits;
    if (r.AnswerStarted) {
        EnterPhase(r, 3, now);
        if (r.Watch.Stalled(now, dlnow, l.FloorBytesPerSecond, l.FloorSeconds)) {
            r.Stop = THTTPStop::Stalled;
            return 1;
        }
    } else if (r.IsPost && (ultotal == 0 || ulnow < ultotal)) {
        EnterPhase(r, 1, now);
        // Bytes acknowledged since the last call: the window is open (and no system calls more).
        const bool held = !changed && r.Socket >= 0 && WindowHeld(r.Socket);
        if (const THTTPStop stop = r.Sending.Judge(now, ulnow, held, l); stop != THTTPStop::None) {
            r.Stop = stop;
            return 1;
        }
    } else {
        EnterPhase(r, 2, now);
        const int64_t wait = int64_t(r.IsPost ? l.AnswerSeconds : l.FloorSeconds) * 1000;
        if (now - r.WaitStart >= wait) {
            r.Stop = THTTPStop::NoAnswer;
            return 1;
        }
    }
    (void)dltotal;
    return 0;
}

// The socket of the connection, before it connects: an upload's send buffer is set small.
int OnSocket(void* data, curl_socket_t socket, curlsocktype purpose)
{
    auto& r = *static_cast<TRequest*>(data);
    if (purpose == CURLSOCKTYPE_IPCXN) {
        r.Socket = socket;
        if (r.IsPost)
            ::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &kUploadSendBuffer, sizeof kUploadSendBuffer);
    }
    return CURL_SOCKOPT_OK;
}

int OnCloseSocket(void* data, curl_socket_t socket)
{
    auto& r = *static_cast<TRequest*>(data);
    if (r.Socket == socket)
        r.Socket = -1;
    return ::close(socket);
}

// The connection stands and the request is about to go out.
int OnConnected(void* data, char*, char*, int, int)
{
    auto& r = *static_cast<TRequest*>(data);
    {
        std::lock_guard<std::mutex> guard(r.Lock);
        r.Connected = true;
    }
    r.Notify();
    return CURL_PREREQFUNC_OK;
}

size_t OnHeader(char* buffer, size_t size, size_t count, void* data)
{
    auto& r = *static_cast<TRequest*>(data);
    const size_t length = size * count;
    std::string line(buffer, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (line.rfind("HTTP/", 0) == 0) {
        const size_t space = line.find(' ');
        const int status = space == std::string::npos ? 0 : std::atoi(line.c_str() + space + 1);
        if (status >= 200) {  // an interim 100 Continue is no answer yet
            r.StatusLine = ValidUtf8(line);
            r.Status = status;
            r.AnswerStarted = true;
        }
    } else if (line.empty() && r.AnswerStarted) {
        // The end of the final answer's head: its body and that body's length follow.
        curl_off_t total = -1;
        curl_easy_getinfo(r.Handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &total);
        // A download whose announced body is beyond the limit ends before any of it is read.
        if (total > 0 && NextBodyStep(r.IsPost, r.Status, 0, size_t(total)).Stop == THTTPStop::TooLarge) {
            r.Stop = THTTPStop::TooLarge;
            return 0;
        }
        // A device that answers once the whole body went out has read it, whatever acknowledgement
        // is still on its way.
        curl_off_t sent = 0;
        curl_easy_getinfo(r.Handle, CURLINFO_SIZE_UPLOAD_T, &sent);
        {
            std::lock_guard<std::mutex> guard(r.Lock);
            r.HeadDone = true;
            r.ReceiveTotal = total > 0 ? total : 0;
            if (r.SendTotal > 0 && sent >= r.SendTotal)
                r.SendNow = r.SendTotal;
        }
        r.Notify();
    }
    return length;
}

// The answer's body: a download's file, an upload's page. Returning less than `length` ends the
// transfer (the client reports a write error, read as r.Stop or r.LocalErrno).
size_t OnBody(char* buffer, size_t size, size_t count, void* data)
{
    auto& r = *static_cast<TRequest*>(data);
    const size_t length = size * count;
    const TBodyStep step = NextBodyStep(r.IsPost, r.Status, r.BodyBytes, length);
    if (r.TargetFd >= 0) {
        size_t written = 0;
        while (written < step.Take) {
            const ssize_t n = ::write(r.TargetFd, buffer + written, step.Take - written);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                r.LocalErrno = n < 0 ? errno : ENOSPC;
                return 0;
            }
            written += size_t(n);
        }
    } else if (r.KeepAnswer) {
        r.Answer.append(buffer, step.Take);
    }
    r.BodyBytes += int64_t(step.Take);
    if (step.Stop != THTTPStop::None) {
        r.Stop = step.Stop;
        return 0;
    }
    return length;
}

size_t OnRead(char* buffer, size_t size, size_t count, void* data)
{
    auto& r = *static_cast<TRequest*>(data);
    for (;;) {
        const ssize_t n = ::read(r.SourceFd, buffer, size * count);
        if (n >= 0)
            return size_t(n);
        if (errno != EINTR) {
            r.LocalErrno = errno;
            return CURL_READFUNC_ABORT;
        }
    }
}

int OnSeek(void* data, curl_off_t offset, int origin)
{
    auto& r = *static_cast<TRequest*>(data);
    return ::lseek(r.SourceFd, offset, origin) < 0 ? CURL_SEEKFUNC_CANTSEEK : CURL_SEEKFUNC_OK;
}

// The whole request on the worker thread; fills r.Facts.
void Perform(TRequest& r)
{
    CURL* curl = curl_easy_init();
    if (!curl) {
        r.Facts.CurlCode = CURLE_FAILED_INIT;
        return;
    }
    r.Handle = curl;
    curl_easy_setopt(curl, CURLOPT_URL, r.Url.c_str());
    curl_easy_setopt(curl, CURLOPT_PORT, kPort);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");  // devices are reached directly, never by a proxy
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, r.ErrorBuffer);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(r.Limits.ConnectSeconds) * 1000L);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &r);
    curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, OnConnected);
    curl_easy_setopt(curl, CURLOPT_PREREQDATA, &r);
    curl_easy_setopt(curl, CURLOPT_SOCKOPTFUNCTION, OnSocket);
    curl_easy_setopt(curl, CURLOPT_SOCKOPTDATA, &r);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, OnCloseSocket);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, &r);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &r);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &r);
    curl_easy_setopt(curl, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBuffer);
    // No "Expect: 100-continue": a device that ignores it would cost a second per upload.
    curl_slist* headers = curl_slist_append(nullptr, "Expect:");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

    curl_mime* mime = nullptr;
    if (r.IsPost) {
        mime = curl_mime_init(curl);
        curl_mimepart* part = curl_mime_addpart(mime);
        curl_mime_name(part, "filename");
        curl_mime_data_cb(part, r.SourceSize, OnRead, OnSeek, nullptr, &r);
        curl_mime_filename(part, r.LocalFile.c_str());
        curl_mime_type(part, "application/octet-stream");
        curl_mime_headers(part, curl_slist_append(nullptr, "Content-Transfer-Encoding: binary"), 1);
        curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime);
    }
    if (r.UseLogin) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
        curl_easy_setopt(curl, CURLOPT_USERNAME, r.Login.User.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, r.Login.Password.c_str());
    }

    const CURLcode code = curl_easy_perform(curl);
    r.Facts.CurlCode = code;
    long osErrno = 0;
    curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &osErrno);
    r.Facts.OsErrno = int(osErrno);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &r.Facts.HttpStatus);
    r.Facts.StatusLine = r.StatusLine;
    r.Facts.ClientMessage = r.ErrorBuffer[0] ? ValidUtf8(r.ErrorBuffer) : curl_easy_strerror(code);
    // The program's own ends: from the progress callback, or from the header or body callback.
    r.Facts.Stop = code == CURLE_ABORTED_BY_CALLBACK || code == CURLE_WRITE_ERROR ? r.Stop : THTTPStop::None;
    r.Facts.Upload = r.IsPost;
    r.Facts.BodyBytes = r.BodyBytes;
    // A timeout before any connection was made is the connect time passing; a later one is not.
    curl_off_t connectTime = 0;
    curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connectTime);
    r.NoConnection = code == CURLE_COULDNT_CONNECT || code == CURLE_COULDNT_RESOLVE_HOST
                     || (code == CURLE_OPERATION_TIMEDOUT && connectTime == 0 && !r.Connected);

    curl_easy_cleanup(curl);
    curl_mime_free(mime);
    curl_slist_free_all(headers);
}
} // namespace

THTTPModule::THTTPModule() : Limits(EffectiveHTTPLimits()) { GlobalInit(); }

THTTPModule::~THTTPModule() = default;

int64_t THTTPModule::Now() const { return Clock ? Clock() : SteadyMs(); }

void THTTPModule::Fail(const std::string& message)
{
    LastFailure = message;
    LogLine(message, LOG_ERROR);
}

std::string THTTPModule::TransferRate(int64_t count)
{
    Rate = TransferRateValue(count, Now() - WorkStart, Rate);
    return TransferRateText(Rate, QLocale());
}

// Turns what the worker has seen since the last call into the request's events, in order.
void THTTPModule::DeliverWork(TRequest& r, bool final)
{
    bool connected, headDone;
    int64_t sendTotal, sendNow, receiveTotal, receiveNow;
    {
        std::lock_guard<std::mutex> guard(r.Lock);
        r.WakePending = false;
        connected = r.Connected;
        sendTotal = r.SendTotal;
        sendNow = r.SendNow;
        headDone = r.HeadDone;
        receiveTotal = r.ReceiveTotal;
        receiveNow = r.ReceiveNow;
    }
    if (connected && !r.LoggedConnected) {
        r.LoggedConnected = true;
        LogLine(r.IsPost ? _("POST request.") : _("GET request."), LOG_DEBUG);
    }
    if (!r.Progress)
        return;

    auto workBegin = [&](int64_t expected) {
        WorkStart = Now();
        ProgressMaximum = expected;
        Rate = 0;
        if (Host)
            Host->ProgressBar(0, expected);
    };
    auto work = [&](TWorkDirection direction, int64_t count) {
        if (Host)
            Host->ProgressBar(count, ProgressMaximum);
        if (direction == TWorkDirection::Sending) {
            const std::string text = TransferRate(count);
            LogLine(Format(_("Data upload in progress. Please wait.%s"), text.c_str()), LOG_DEBUG);
            if (Host)
                Host->ReplaceLine(Format(_("Uploading...  %s"), text.c_str()));
        }
        if (count == ProgressMaximum)
            LogLine(_("Data flash in progress. Please wait."), LOG_DEBUG);
    };
    auto workEnd = [&] {
        Rate = 0;
        if (Host)
            Host->ProgressBar(0, ProgressMaximum);
    };

    if (!r.SendBegun && sendTotal > 0) {
        r.SendBegun = true;
        workBegin(sendTotal);
    }
    if (r.SendBegun && !r.SendEnded && sendNow > r.SendReported) {
        const int64_t now = Now();
        if (final || headDone || sendNow == sendTotal || now - r.LastWorkMs >= kWorkEventSpacingMs) {
            r.SendReported = sendNow;
            r.LastWorkMs = now;
            work(TWorkDirection::Sending, sendNow);
        }
    }
    if (r.SendBegun && !r.SendEnded && (final || headDone || r.SendReported == sendTotal)) {
        r.SendEnded = true;
        workEnd();
    }
    if (headDone && !r.ReceiveBegun && (r.SendEnded || !r.SendBegun)) {
        r.ReceiveBegun = true;
        workBegin(receiveTotal);
    }
    if (r.ReceiveBegun && !r.ReceiveEnded && receiveNow > r.ReceiveReported) {
        r.ReceiveReported = receiveNow;
        work(TWorkDirection::Receiving, receiveNow);
    }
    if (final && r.ReceiveBegun && !r.ReceiveEnded) {
        r.ReceiveEnded = true;
        workEnd();
    }
}

// Performs the request on this thread, handling its events as the worker callbacks see them.
// A caller that must stay responsive (a window) calls the module from a thread of its own.
THTTPVerdict THTTPModule::Run(TRequest& r)
{
    r.Limits = Limits;
    r.Stopping = &Stopping;
    r.AlsoStopping = AlsoStopping;
    r.Wake = [this, &r] { DeliverWork(r, false); };
    Perform(r);
    NoConnection = r.NoConnection;
    DeliverWork(r, true);
    return JudgeRequest(r.Facts, Limits);
}

bool THTTPModule::Upload(const std::string& host, const std::string& file)
{
    return Post(host, "upload", file, true, true);
}

bool THTTPModule::PostFile(const std::string& host, const std::string& path, const std::string& file)
{
    return Post(host, path, file, false, true);
}

void THTTPModule::TakeLogin(TRequest& r, const std::string& host, bool first)
{
    r.Login = Host ? Host->LoginFor(Target(host), first) : THTTPLogin{};
    r.UseLogin = !r.Login.User.empty() || !r.Login.Password.empty();
}

bool THTTPModule::Post(const std::string& host, const std::string& path, const std::string& file, bool progress,
                       bool first, const QByteArray* body)
{
    LastFailure.clear();
    LoginDeclined = false;
    NoConnection = false;
    TRequest r;
    r.IsPost = true;
    r.Progress = progress;
    r.KeepAnswer = progress;
    r.LocalFile = file;
    // The body is built, and its file opened, before the connection is made. Only a regular file
    // is sent: opening a FIFO would wait for a writer, a device could send without end. It is
    // looked at before it is opened, and opened without waiting, in case it changed meanwhile.
    // Bytes given go through a file in memory, read as a file is.
    int error = body ? 0 : IsSpecialFile(file) ? kNotRegularFile : 0;
    if (body) {
        r.SourceFd = ::memfd_create("pyxet-body", MFD_CLOEXEC);
        error = r.SourceFd < 0 ? errno : 0;
        if (error == 0 && (!WriteAll(r.SourceFd, std::string_view(body->constData(), size_t(body->size())))
                           || ::lseek(r.SourceFd, 0, SEEK_SET) != 0))
            error = errno;
    } else if (error == 0) {
        r.SourceFd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        error = r.SourceFd < 0 ? errno : 0;
    }
    struct stat info {};
    if (error == 0 && ::fstat(r.SourceFd, &info) != 0)
        error = errno;
    else if (error == 0 && !S_ISREG(info.st_mode))
        error = S_ISDIR(info.st_mode) ? EISDIR : kNotRegularFile;
    if (error != 0) {
        if (r.SourceFd >= 0)
            ::close(r.SourceFd);
        Fail(Format(_("Cannot read the file %s: %s"), SafeText(file).c_str(), FileErrorText(error).c_str()));
        return false;
    }
    r.SourceSize = int64_t(info.st_size);
    TakeLogin(r, host, first);
    r.Url = "http://" + host + "/" + path;

    LogLine(Format(_("POST request: %s"), r.Url.c_str()), LOG_DEBUG);
    LogLine(_("Connecting."), LOG_DEBUG);
    THTTPVerdict verdict = Run(r);
    ::close(r.SourceFd);
    if (r.LocalErrno != 0)
        verdict = {false, 0, Format(_("Cannot read the file %s: %s"), file.c_str(), ErrnoText(r.LocalErrno).c_str())};
    if (verdict.Ok) {
        LogLine(_("POST request finished."), LOG_DEBUG);
        if (progress)
            LogLine(SafeText(TextBetween(r.Answer, "<h1>", "</h1>")), LOG_DEBUG);
        return true;
    }
    Fail(verdict.Message);
    if (AsksForLogin(verdict.StatusCode) && !Stopped()) {
        if (Host && Host->LoginRefused(Target(host), verdict.Message))
            return Post(host, path, file, progress, false, body);
        LoginDeclined = true;
    }
    return false;
}

bool THTTPModule::GetFile(const std::string& host, const std::string& path, const std::string& file)
{
    return Get(host, path, file, true);
}

bool THTTPModule::Get(const std::string& host, const std::string& path, const std::string& file, bool first)
{
    LastFailure.clear();
    LoginDeclined = false;
    NoConnection = false;
    TRequest r;
    r.Url = "http://" + host + "/" + path;
    // The body goes to a new file beside the target, which it replaces only once complete.
    TAtomicFile replacement;
    int error = 0;
    if (!replacement.Begin(file, error)) {
        Fail(Format(_("Cannot write the file %s: %s"), SafeText(file).c_str(), FileErrorText(error).c_str()));
        return false;
    }
    r.TargetFd = replacement.Fd();
    TakeLogin(r, host, first);

    LogLine(Format(_("GET request: %s"), r.Url.c_str()), LOG_DEBUG);
    THTTPVerdict verdict = Run(r);
    if (r.LocalErrno != 0)
        verdict = {false, 0, Format(_("Cannot write the file %s: %s"), file.c_str(), ErrnoText(r.LocalErrno).c_str())};
    if (verdict.Ok) {
        LogLine(_("GET request finished."), LOG_DEBUG);
        if (replacement.Commit(error))
            return true;
        verdict = {false, 0, Format(_("Cannot write the file %s: %s"), file.c_str(), FileErrorText(error).c_str())};
    }
    replacement.Abandon();
    Fail(verdict.Message);
    // Only a 401: a download's dropped connection is no refused login (the uploads' is).
    if (verdict.StatusCode == 401 && !Stopped()) {
        if (Host && Host->LoginRefused(Target(host), verdict.Message))
            return Get(host, path, file, false);
        LoginDeclined = true;
    }
    return false;
}

bool THTTPModule::GetBytes(const std::string& host, const std::string& path, QByteArray& bytes)
{
    return GetBytes(host, path, bytes, true);
}

bool THTTPModule::GetBytes(const std::string& host, const std::string& path, QByteArray& bytes, bool first)
{
    LastFailure.clear();
    LoginDeclined = false;
    NoConnection = false;
    TRequest r;
    r.Url = "http://" + host + "/" + path;
    r.KeepAnswer = true;  // within kMaxConfigBytes, as a download to a file
    TakeLogin(r, host, first);
    LogLine(Format(_("GET request: %s"), r.Url.c_str()), LOG_DEBUG);
    const THTTPVerdict verdict = Run(r);
    if (verdict.Ok) {
        LogLine(_("GET request finished."), LOG_DEBUG);
        bytes = QByteArray(r.Answer.data(), qsizetype(r.Answer.size()));
        return true;
    }
    Fail(verdict.Message);
    // As a download to a file: only a 401 asks for a login.
    if (verdict.StatusCode == 401 && !Stopped()) {
        if (Host && Host->LoginRefused(Target(host), verdict.Message))
            return GetBytes(host, path, bytes, false);
        LoginDeclined = true;
    }
    return false;
}

bool THTTPModule::PostBytes(const std::string& host, const std::string& path, const std::string& file,
                            const QByteArray& body)
{
    return Post(host, path, file, false, true, &body);
}
