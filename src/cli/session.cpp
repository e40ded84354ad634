#include "cli/session.h"

#include "core/app/i18n.h"
#include "core/devices/discovery.h"
#include "core/devices/utils.h"

#include <QCoreApplication>
#include <QTimer>

#include <cmath>
#include <cstdio>

std::string JsonString(const std::string& text)
{
    const std::string utf8 = ValidUtf8(text);
    std::string out = "\"";
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (u < 0x20 || u == 0x7F) {
                static const char kHex[] = "0123456789abcdef";
                out += "\\u00";
                out += kHex[u >> 4];
                out += kHex[u & 0x0F];
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

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
    InitTranslation(ProgramFolder());
    LoadSettings(SettingsFolder(), Settings);
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
