// The action log: every subsystem reports through LogAction; the lines are kept for the whole
// run and shown in the status bar and the Log Report window by whoever listens.
#pragma once
#include <functional>
#include <string>
#include <vector>

enum TLogLevel { LOG_INFO = 1, LOG_DEBUG = 2, LOG_WARNING = 3, LOG_ERROR = 4 };

struct TLogLine {
    std::string Text;  // as stored: " " + optional time-stamp prefix + message
    int Level = 0;
};

class TActionLogger {
public:
    // Status bar: panel 0 gets the caption, panel 1 the message; both repaint at once.
    std::function<void(const std::string& caption)> OnCaption;
    std::function<void(const std::string& message)> OnMessage;
    // Called for every finished line (the Log Report window appends it to its view).
    std::function<void(const TLogLine& line)> OnLine;
    // Clock seam: returns the "[date time]" text for the time-stamp prefix (without brackets).
    std::function<std::string()> Now;

    bool TimeStamps = false;          // [Logs] Time; off until the settings are read
    std::vector<TLogLine> ActionLog;  // never trimmed

    // Caption and message arrive translated and formatted. An empty caption leaves panel 0
    // alone; an empty message logs nothing.
    void LogAction(const std::string& caption, const std::string& message, int level);

    static std::string LocalTimeText();  // short date + long time of the user's locale
};

// The logger that LogAction below writes to; the main window or pyxet-cli installs theirs.
void SetCurrentLogger(TActionLogger* logger);
TActionLogger* CurrentLogger();

// A logger for the LogAction calls of the calling thread only, in place of the current logger;
// nullptr goes back to it. Transfers that run side by side keep their lines apart this way.
void SetThreadLogger(TActionLogger* logger);

// The one logging entry for code without a window at hand. Does nothing when no logger is set.
void LogAction(const std::string& caption, const std::string& message, int level);
