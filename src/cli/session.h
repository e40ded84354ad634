// What every pyxet-cli command starts with: the action log, the translations of the data folder
// and the settings in Pyxet.ini (core/app/folders.h says where both are), and for the device
// commands one discovery cycle like the window's.
#pragma once
#include "core/app/settings.h"
#include "core/discovery/export.h"
#include "core/devices/registry.h"
#include "core/devices/udpserver.h"
#include "core/log/actionlog.h"

#include <optional>
#include <string>
#include <vector>

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

// The options of the discovery step, shared by every command that runs one:
//   --wait SECONDS      collect answers this long after the last request (default 2)
//   --interface NAME    search through this interface only (repeatable; default: all)
//   --target SPEC       also ask these addresses by unicast: an address, a range
//                       (10.1.2.10-10.1.2.50) or a CIDR block (10.1.2.0/24); repeatable
//   --repeat N          send each request N times, 250 ms apart (1-5; default [Discovery] Repeat)
struct TDiscoveryOptions {
    double WaitSeconds = 2.0;
    std::vector<std::string> Interfaces;
    std::vector<uint32_t> Targets;  // read from the --target specs, in order, each once
    std::optional<int> Repeat;
    bool Broadcast = true;  // false: no broadcast, only the targets by unicast
    // The wait ends early once a unit has answered from every target (the units at addresses
    // given, asked by unicast only).
    bool UntilEveryTarget = false;
};
extern const char* const kDiscoveryUsage;  // "[--wait SECONDS] [--interface NAME]... ..."

// Takes the value of one of the four options above, by its name, into options; false with
// *error (English, one line, after the option's name in the message) when the value is wrong.
bool TakeDiscoveryOption(const std::string& name, const std::string& value, TDiscoveryOptions& options,
                         std::string& error);

// One discovery cycle through the two endpoints, answers filed into list until options'
// WaitSeconds after the last request went. False, after a line on standard error, when an
// endpoint's socket could not be opened or an interface named does not exist.
bool RunDiscovery(const TSettings& settings, const TDiscoveryOptions& options, TUDPServer& orvex, TUDPServer& hwg,
                  TDeviceRegistry& list);
