// Test helper: installs a TActionLogger for the lifetime of the object and keeps every caption
// and line written through LogAction.
#pragma once
#include "core/log/actionlog.h"

#include <string>
#include <vector>

struct TLogCapture {
    TActionLogger Logger;
    std::vector<std::string> Captions;

    TLogCapture()
    {
        Logger.OnCaption = [this](const std::string& caption) { Captions.push_back(caption); };
        SetCurrentLogger(&Logger);
    }
    ~TLogCapture() { SetCurrentLogger(nullptr); }
    TLogCapture(const TLogCapture&) = delete;
    TLogCapture& operator=(const TLogCapture&) = delete;

    const std::vector<TLogLine>& Lines() const { return Logger.ActionLog; }
    // The message of line i as it was passed in (the logger stores it after one blank).
    std::string Message(size_t i) const { return Logger.ActionLog.at(i).Text.substr(1); }
};
