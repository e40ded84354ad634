// THTTPModule: the three requests Pyxet makes to a device's web server on TCP port 80 (firmware
// upload, configuration upload, configuration download). Each is one call that returns when the
// request is over and reports its phases and errors to the action log.
//
// A call blocks its thread for the whole request, and every event of the request (log lines,
// progress, the login dialog) is handled on that thread, in the order the request produced it.
// A window calls it from a thread of its own (core/http/transferrun.h), never from its own.
#pragma once
#include "core/http/rules.h"
#include "core/keyring/loginstore.h"

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct THTTPLogin {
    std::string User;
    std::string Password;
};

enum class TWorkDirection { Sending, Receiving };

// The device a request goes to, as the host's login questions name it.
struct TLoginTarget {
    std::string Host;  // the address
    std::string Name;  // its name as the batch took it, "" when unknown
    std::string MAC;   // its MAC as discovery gave it, "" when unknown
};

// A device's question for a login.
struct TLoginQuestion {
    TLoginTarget Target;
    std::string Reason;  // the logged error of the refused request
    std::string User;    // the user name to start with: that of a refused login from the keyring
};

// The side that uses the module: the window (login dialog, pbHTTP, progress window) or
// pyxet-cli. Every call comes on the thread that called the module.
class THTTPHost {
public:
    virtual ~THTTPHost() = default;
    // The credentials of an upload, read afresh at the start of each one.
    virtual THTTPLogin Credentials() { return {}; }
    // The device refused the credentials or dropped the connection; `reason` is the logged
    // error. True to try again (with the credentials then in force).
    virtual bool AskLogin(const std::string& host, const std::string& reason) { return false; }
    // The same, naming the device: `name` is its name as the batch took it ("" when unknown).
    virtual bool AskDeviceLogin(const std::string& host, const std::string& name, const std::string& reason)
    {
        return AskLogin(host, reason);
    }
    // The login of a request to `target`: `first` for the first request of an operation, false
    // for its retries after LoginRefused. The default: Credentials(). A host that keeps logins
    // per device (core/http/transferrun.h) chooses here.
    virtual THTTPLogin LoginFor(const TLoginTarget& target, bool first) { return Credentials(); }
    // The device refused the login of the last request (401) or dropped the connection; `reason`
    // is the logged error. True to try again with LoginFor's next login. The default asks.
    virtual bool LoginRefused(const TLoginTarget& target, const std::string& reason)
    {
        return AskDeviceLogin(target.Host, target.Name, reason);
    }
    // For a run's per-device logins (core/http/transferrun.h), on the host's thread:
    // the keyring's logins of the device of `mac` ("" when unknown): `done` is called once, at
    // once or later from the event loop. The default keeps no logins.
    virtual void LookUpLogins(const std::string& mac, std::function<void(const TRemembered&)> done)
    {
        TRemembered none;
        none.Available = false;
        done(none);
    }
    // The device's question; true for OK (Credentials() then gives the typed login). The
    // default: AskDeviceLogin.
    virtual bool AskLogin(const TLoginQuestion& question)
    {
        return AskDeviceLogin(question.Target.Host, question.Target.Name, question.Reason);
    }
    // The main window's progress bar pbHTTP.
    virtual void ProgressBar(int64_t position, int64_t maximum) {}
    // Replaces the selected line of the progress window.
    virtual void ReplaceLine(const std::string& text) {}
};

class THTTPModule {
public:
    THTTPModule();
    ~THTTPModule();
    THTTPModule(const THTTPModule&) = delete;
    THTTPModule& operator=(const THTTPModule&) = delete;

    void SetHost(THTTPHost* host) { Host = host; }
    void SetLimits(const THTTPLimits& limits) { Limits = limits; }
    const THTTPLimits& CurrentLimits() const { return Limits; }
    // The name of the device the next requests go to, for the host's questions (the login).
    void SetDeviceName(const std::string& name) { DeviceName = name; }
    // Its MAC ("" when unknown), for the logins kept per device.
    void SetDeviceMAC(const std::string& mac) { DeviceMAC = mac; }

    // POST "http://" + host + "/upload": the file (a regular file only) as the one multipart part
    // "filename", with Basic credentials and progress; logs the <h1> text of the answer, of
    // which kMaxAnswerBytes are read.
    bool Upload(const std::string& host, const std::string& file);
    // POST "http://" + host + "/" + path: the same body, no progress, the answer dropped.
    bool PostFile(const std::string& host, const std::string& path, const std::string& file);
    // GET "http://" + host + "/" + path into the file, which only a whole body replaces (status
    // 200, not empty, at most kMaxConfigBytes): see core/http/files.h for how. A device that
    // wants a login for it gets one as the uploads do (its refusal asks, and the GET is tried
    // again).
    bool GetFile(const std::string& host, const std::string& path, const std::string& file);
    // The same GET into memory, logging in the same way: `bytes` holds the whole body on success
    // (untouched on failure).
    bool GetBytes(const std::string& host, const std::string& path, QByteArray& bytes);
    // PostFile with the body's bytes given; `file` is only the multipart part's file name.
    bool PostBytes(const std::string& host, const std::string& path, const std::string& file, const QByteArray& body);

    // The rate line of the progress events for `count` bytes sent since the transfer began.
    std::string TransferRate(int64_t count);

    // The logged reason of the last failed operation ("" after a success).
    const std::string& LastError() const { return LastFailure; }
    // True when the last failed operation ended at a login the host declined.
    bool LastNeededLogin() const { return LoginDeclined; }
    // True when the last failed operation made no connection at all (refused, no route, the
    // connect time passed): nothing reached the device, and it may be tried again later.
    bool LastUnreachable() const { return NoConnection; }

    // Ends the running request at once (it fails with "The transfer was stopped.") and every
    // later one until Resume. Safe from a signal handler and from any thread.
    void Stop() { Stopping = true; }
    void Resume() { Stopping = false; }
    bool Stopped() const { return Stopping || (AlsoStopping && *AlsoStopping); }
    // A second flag that stops this module's requests as Stop does, whoever sets it (a run that
    // owns several modules stops them all with one store); not lifted by Resume.
    void FollowStop(const std::atomic<bool>* flag) { AlsoStopping = flag; }

    // Millisecond clock of the rate (a seam for tests).
    int64_t (*Clock)() = nullptr;

    struct TRequest;  // one request's settings and shared state (http.cpp)

private:
    // `first`: the request's first try (a retry after a refused login is not); `body`: the bytes
    // to send instead of the file's.
    bool Post(const std::string& host, const std::string& path, const std::string& file, bool progress, bool first,
              const QByteArray* body = nullptr);
    bool Get(const std::string& host, const std::string& path, const std::string& file, bool first);
    bool GetBytes(const std::string& host, const std::string& path, QByteArray& bytes, bool first);
    TLoginTarget Target(const std::string& host) const { return {host, DeviceName, DeviceMAC}; }
    // The login of a request and whether it goes with the request.
    void TakeLogin(TRequest& request, const std::string& host, bool first);
    THTTPVerdict Run(TRequest& request);
    void Fail(const std::string& message);
    void DeliverWork(TRequest& request, bool final);
    int64_t Now() const;

    THTTPHost* Host = nullptr;
    std::string DeviceName;
    std::string DeviceMAC;
    THTTPLimits Limits;
    std::atomic<bool> Stopping{false};
    const std::atomic<bool>* AlsoStopping = nullptr;
    std::string LastFailure;
    bool LoginDeclined = false;
    bool NoConnection = false;
    // Shared by the progress events, as one transfer runs at a time.
    int64_t WorkStart = 0;
    double Rate = 0;
    int64_t ProgressMaximum = 0;
};
