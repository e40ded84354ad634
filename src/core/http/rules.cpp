#include "core/http/rules.h"

#include "core/app/i18n.h"
#include "core/log/format.h"
#include "core/log/safetext.h"

#include <QLocale>
#include <QString>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <curl/curl.h>
#include <vector>

double TransferRateValue(int64_t count, int64_t elapsedMs, double previous)
{
    if (elapsedMs <= 0)
        return previous;
    return static_cast<double>(count / 1024) / (static_cast<double>(elapsedMs) / 1000.0);
}

std::string TransferRateText(double rate, const QLocale& locale)
{
    QLocale numbers = locale;
    numbers.setNumberOptions(QLocale::OmitGroupSeparator);
    return std::string(14, ' ') + numbers.toString(rate, 'f', 2).toStdString() + " kB/s ";
}

THTTPLimits DefaultHTTPLimits() { return {}; }

bool ParseHTTPLimits(const std::string& text, THTTPLimits& limits)
{
    std::vector<long> values;
    size_t pos = 0;
    for (;;) {
        const size_t comma = text.find(',', pos);
        const std::string part = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos || part.size() > 9)
            return false;
        values.push_back(std::strtol(part.c_str(), nullptr, 10));
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    if (values.size() != 4)
        return false;
    const long maxima[4] = {86400, 100000000, 86400, 86400};
    for (size_t i = 0; i < 4; ++i)
        if (values[i] < 1 || values[i] > maxima[i])
            return false;
    limits.ConnectSeconds = static_cast<int>(values[0]);
    limits.FloorBytesPerSecond = static_cast<int>(values[1]);
    limits.FloorSeconds = static_cast<int>(values[2]);
    limits.AnswerSeconds = static_cast<int>(values[3]);
    return true;
}

THTTPLimits EffectiveHTTPLimits()
{
    THTTPLimits limits = DefaultHTTPLimits();
    if (const char* text = std::getenv("PYXET_HTTP_LIMITS"))
        ParseHTTPLimits(text, limits);
    return limits;
}

bool THTTPSpeedWatch::Stalled(int64_t nowMs, int64_t bytes, int floor, int seconds)
{
    const int64_t window = int64_t(seconds) * 1000;
    Samples.push_back({nowMs, bytes});
    // Keep one sample at or before the window's start: the count the window is measured from.
    while (Samples.size() >= 2 && Samples[1].first <= nowMs - window)
        Samples.pop_front();
    const auto& start = Samples.front();
    return start.first <= nowMs - window && bytes - start.second < int64_t(floor) * seconds;
}

void THTTPSendWatch::Reset()
{
    Speed.Reset();
    HeldMs = 0;
    HeldSince = -1;
}

THTTPStop THTTPSendWatch::Judge(int64_t nowMs, int64_t acknowledged, bool windowHeld, const THTTPLimits& limits)
{
    if (windowHeld) {
        if (HeldSince < 0)
            HeldSince = nowMs;
        return nowMs - HeldSince >= int64_t(limits.AnswerSeconds) * 1000 ? THTTPStop::NotReading : THTTPStop::None;
    }
    if (HeldSince >= 0) {
        HeldMs += nowMs - HeldSince;
        HeldSince = -1;
    }
    // On a clock that stood while the window was closed: what the device acknowledges on opening
    // it counts for the time it was open.
    return Speed.Stalled(nowMs - HeldMs, acknowledged, limits.FloorBytesPerSecond, limits.FloorSeconds)
               ? THTTPStop::Stalled
               : THTTPStop::None;
}

namespace {
// Client codes that stand for a failure of the connection itself (a socket error).
bool IsSocketFailure(int code)
{
    switch (code) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_OPERATION_TIMEDOUT:
        return true;
    default:
        return false;
    }
}

// The device ended the connection: a reset, an abort or a broken pipe (it closed before it had
// read the body) while sending or receiving, or a close before any answer.
bool IsDroppedConnection(int code, int osErrno)
{
    if (code == CURLE_GOT_NOTHING)
        return true;
    return (code == CURLE_SEND_ERROR || code == CURLE_RECV_ERROR)
        && (osErrno == ECONNRESET || osErrno == ECONNABORTED || osErrno == EPIPE);
}
} // namespace

TBodyStep NextBodyStep(bool upload, long status, int64_t received, size_t length)
{
    TBodyStep step;
    const int64_t limit = upload ? kMaxAnswerBytes : kMaxConfigBytes;
    if (!upload && status != 200) {
        step.Stop = THTTPStop::AnswerRead;
        return step;
    }
    const int64_t room = received < limit ? limit - received : 0;
    if (int64_t(length) <= room) {
        step.Take = length;
        return step;
    }
    step.Take = upload ? size_t(room) : 0;
    step.Stop = upload ? THTTPStop::AnswerRead : THTTPStop::TooLarge;
    return step;
}

THTTPVerdict JudgeRequest(const THTTPFacts& facts, const THTTPLimits& limits)
{
    THTTPVerdict verdict;
    switch (facts.Stop) {
    case THTTPStop::None:
        break;
    case THTTPStop::Stalled:
        verdict.Ok = false;
        verdict.Message = Format(_("The transfer stalled: fewer than %d bytes per second for %d seconds."),
                                 limits.FloorBytesPerSecond, limits.FloorSeconds);
        return verdict;
    case THTTPStop::NoAnswer:
        verdict.Ok = false;
        verdict.Message = Format(_("The device did not answer within %d seconds."),
                                 facts.Upload ? limits.AnswerSeconds : limits.FloorSeconds);
        return verdict;
    case THTTPStop::NotReading:
        verdict.Ok = false;
        verdict.Message = Format(_("The device took no data for %d seconds."), limits.AnswerSeconds);
        return verdict;
    case THTTPStop::Stopped:
        verdict.Ok = false;
        verdict.Message = _("The transfer was stopped.");
        return verdict;
    case THTTPStop::TooLarge:
        verdict.Ok = false;
        verdict.Message = Format(_("The device sent more than %d MiB: the download was stopped."),
                                 static_cast<int>(kMaxConfigBytes / (1024 * 1024)));
        return verdict;
    case THTTPStop::AnswerRead:
        break;
    }
    if (facts.CurlCode != CURLE_OK && facts.Stop != THTTPStop::AnswerRead) {
        verdict.Ok = false;
        if (IsDroppedConnection(facts.CurlCode, facts.OsErrno))
            verdict.StatusCode = kDroppedConnection;
        else if (IsSocketFailure(facts.CurlCode))
            verdict.StatusCode = facts.OsErrno;
        verdict.Message = facts.ClientMessage.empty() ? curl_easy_strerror(static_cast<CURLcode>(facts.CurlCode))
                                                      : SafeText(facts.ClientMessage);
        // The client's words may not tell a refusal from an unreachable device or a time-out
        // ("Couldn't connect to server"): the system's words for its error do.
        if (facts.OsErrno != 0) {
            const std::string system = std::strerror(facts.OsErrno);
            if (verdict.Message.find(system) == std::string::npos)
                verdict.Message += " (" + system + ")";
        }
        return verdict;
    }
    const std::string statusLine =
        facts.StatusLine.empty() ? Format("HTTP status %ld", facts.HttpStatus) : SafeText(facts.StatusLine);
    if (facts.HttpStatus < 200 || facts.HttpStatus > 299) {
        verdict.Ok = false;
        verdict.StatusCode = static_cast<int>(facts.HttpStatus);
        verdict.Message = statusLine;
    } else if (!facts.Upload && (facts.HttpStatus != 200 || facts.BodyBytes == 0)) {
        verdict.Ok = false;
        verdict.StatusCode = static_cast<int>(facts.HttpStatus);
        if (facts.HttpStatus == 200)
            verdict.Message = _("The device sent an empty file.");
        else
            verdict.Message = Format(_("%s: the answer holds no whole file."), statusLine.c_str());
    }
    return verdict;
}

bool AsksForLogin(int statusCode) { return statusCode == 401 || statusCode == kDroppedConnection; }

std::string BackupFileName(const std::string& folder, const std::string& peerIP)
{
    return folder + "/setup_" + peerIP + "_.xml";
}

std::string DeviceLine(const std::string& name, const std::string& peerIP)
{
    return SafeText(name) + "  (" + peerIP + ")";
}

std::string LoginDeviceText(const std::string& name, const std::string& peerIP)
{
    return name.empty() ? peerIP : SafeText(name) + " (" + peerIP + ")";
}
