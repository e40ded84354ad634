// What every pyxet-cli command starts with: the action log, the translations of the data folder
// and the settings in Pyxet.ini (core/app/folders.h says where both are), and for the device
// commands one discovery cycle like the window's.
#pragma once
#include "core/app/settings.h"
#include "core/devices/registry.h"
#include "core/devices/udpserver.h"
#include "core/log/actionlog.h"

#include <string>

// A JSON string literal for --json output. Texts from the network that are not UTF-8 become
// U+FFFD, so the output stays valid JSON.
std::string JsonString(const std::string& text);

// A log level as --log prints it: INFO, DEBUG, WARNING or ERROR.
const char* LevelName(int level);

// Installs the action log as the current logger (each line copied to standard error as
// LEVEL<TAB>message when logToStderr), binds the catalogues, reads the settings and selects the
// language they name. The logger is taken away again when the session ends.
class TCliSession {
public:
    explicit TCliSession(bool logToStderr);
    ~TCliSession();
    TCliSession(const TCliSession&) = delete;
    TCliSession& operator=(const TCliSession&) = delete;

    TSettings Settings;

private:
    TActionLogger Log;  // no time stamps: a script reads the lines
};

// One discovery cycle through the two endpoints, answers filed into list for waitSeconds. False,
// after a line on standard error, when an endpoint's socket could not be opened.
bool RunDiscovery(const TSettings& settings, double waitSeconds, TUDPServer& orvex, TUDPServer& hwg,
                  TDeviceRegistry& list);
