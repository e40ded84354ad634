#include "core/log/actionlog.h"

#include <QDateTime>
#include <QLocale>

namespace {
TActionLogger* g_logger = nullptr;
thread_local TActionLogger* t_logger = nullptr;
}

void TActionLogger::LogAction(const std::string& caption, const std::string& message, int level)
{
    if (!caption.empty() && OnCaption)
        OnCaption(caption);
    if (message.empty())
        return;
    std::string prefix;
    if (TimeStamps)
        prefix = "[" + (Now ? Now() : LocalTimeText()) + "]   ";
    if (OnMessage)
        OnMessage(message);
    TLogLine line{" " + prefix + message, level};
    ActionLog.push_back(line);
    if (OnLine)
        OnLine(line);
}

std::string TActionLogger::LocalTimeText()
{
    // Writing the date in the user's form costs about as much as showing the line; the lines
    // of a burst logged within one second share the text.
    static qint64 lastSecond = -1;
    static std::string lastText;
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    if (second != lastSecond) {
        const QDateTime now = QDateTime::fromSecsSinceEpoch(second);
        const QLocale locale;
        lastText = (locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ')
                    + locale.toString(now.time(), QStringLiteral("HH:mm:ss")))
                       .toStdString();
        lastSecond = second;
    }
    return lastText;
}

void SetCurrentLogger(TActionLogger* logger) { g_logger = logger; }
TActionLogger* CurrentLogger() { return g_logger; }

void SetThreadLogger(TActionLogger* logger) { t_logger = logger; }

void LogAction(const std::string& caption, const std::string& message, int level)
{
    if (TActionLogger* logger = t_logger ? t_logger : g_logger)
        logger->LogAction(caption, message, level);
}
