#include "cli/session.h"

#include "core/app/i18n.h"
#include "core/devices/discovery.h"
#include "core/devices/utils.h"

#include <QCoreApplication>
#include <QTimer>

#include <cmath>
#include <cstdio>

const char* LevelName(int level)
{
    switch (level) {
    case LOG_INFO: return "INFO";
    case LOG_DEBUG: return "DEBUG";
    case LOG_WARNING: return "WARNING";
    case LOG_ERROR: return "ERROR";
    default: return "UNKNOWN";
    }
}

TCliSession::TCliSession(bool logToStderr)
{
    if (logToStderr)
        Log.OnLine = [](const TLogLine& line) {
            // Stored lines start with one blank before the message.
            const char* message = line.Text.c_str() + (line.Text.rfind(' ', 0) == 0 ? 1 : 0);
            std::fprintf(stderr, "%s\t%s\n", LevelName(line.Level), message);
        };
    SetCurrentLogger(&Log);
    const std::string appDir = ProgramFolder();
    InitTranslation(appDir);
    LoadSettings(appDir, Settings);
    UseLanguage(Settings.Language);
}

TCliSession::~TCliSession()
{
    SetCurrentLogger(nullptr);
}

bool RunDiscovery(const TSettings& settings, double waitSeconds, TUDPServer& orvex, TUDPServer& hwg,
                  TDeviceRegistry& list)
{
    for (const TUDPServer* server : {&orvex, &hwg}) {
        if (!server->IsOpen()) {
            std::fprintf(stderr, "pyxet-cli: cannot open a UDP socket: %s\n", server->OpenError().c_str());
            return false;
        }
    }
    list.BeginCycle();
    StartDiscovery(list, {&orvex, &settings.OrvexProducts}, {&hwg, &settings.HwgProducts});
    QTimer::singleShot(static_cast<int>(std::lround(waitSeconds * 1000)), QCoreApplication::instance(),
                       &QCoreApplication::quit);
    QCoreApplication::exec();
    return true;
}
