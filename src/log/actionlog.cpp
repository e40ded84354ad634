#include "log/actionlog.h"

#include <QDateTime>
#include <QLocale>

namespace {
TActionLogger* g_logger = nullptr;
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
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    return (locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ')
            + locale.toString(now.time(), QStringLiteral("HH:mm:ss")))
        .toStdString();
}

void SetCurrentLogger(TActionLogger* logger) { g_logger = logger; }
TActionLogger* CurrentLogger() { return g_logger; }

void LogAction(const std::string& caption, const std::string& message, int level)
{
    if (g_logger)
        g_logger->LogAction(caption, message, level);
}
