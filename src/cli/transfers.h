// pyxet-cli's HTTP commands: upgrade, backup, restore, save and load, over the same transfer and
// batch code as the window.
#pragma once
#include "cli/commandline.h"

#include "core/config/identity.h"
#include "core/http/batch.h"
#include "core/http/transferrun.h"

#include <string>
#include <vector>

struct TFamily;

// Adds the five commands to pyxet-cli's command line; the one chosen leaves its body in body.
// The body returns the exit status: 0 when every host succeeded, 1 when any failed, 2 for an
// unreadable local file named on the line or no UDP socket (--all), 128+N after signal N.
void AddTransferCommands(CLI::App& app, TCommandBody& body);

// The usage lines of these commands.
const char* TransferUsage();

// --all and what narrows it: the discovery options, --type and --family.
struct TFleetChoice {
    bool All = false;
    TDiscoveryOptions Discovery;
    std::vector<std::string> Types;
    const TFamily* Family = nullptr;  // --family; none: every family
};

// Every device one discovery cycle finds, in list order, narrowed by --type and --family, with
// its MAC (and, when asked, its identity). False when an endpoint could not be opened.
bool FindFleet(const TSettings& settings, const TFleetChoice& choice, std::vector<TBatchDevice>& devices,
               std::vector<std::string>& macs, std::vector<TDeviceIdentity>* identities = nullptr);

// Who answers at each host given (one discovery cycle by unicast to the hosts only): its MAC,
// family and the way commands reach it into the device, and its identity (MAC, configured
// address, answering address, name). A host where no unit, or units of several MACs, answered
// keeps only its address as identity.
std::vector<TDeviceIdentity> IdentifyHosts(const TSettings& settings, std::vector<TBatchDevice>& devices);

// The logins a command takes: the credentials given, and with --login keyring the desktop's
// keyring before them.
struct TCliLogin {
    THTTPLogin Given;
    bool Keyring = false;
};

// Runs one order until it ends, with the logins given and no login asked; Ctrl+C or TERM stops
// the transfers (`signal` then names the signal, else 0). The results in the devices' order.
std::vector<TDeviceResult> RunTransferOrder(const TTransferOrder& order, const TCliLogin& login, int& signal);
