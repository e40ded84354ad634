// pyxet-cli's device commands, over the same setup code as the window's setup panel:
//
//   pyxet-cli set TARGET [--name TEXT] [--ip ADDR] [--mask ADDR] [--gateway ADDR] [--dns1 ADDR]
//                 [--dns2 ADDR] [--dhcp 0|1] [--http-port N] [--telnet-port N] [DISCOVERY] [--log]
//   pyxet-cli restart TARGET [DISCOVERY] [--log]
//   pyxet-cli factory-default TARGET [DISCOVERY] [--log]
//
// TARGET is a MAC address (any case, ':' or '-') or the address the device answered from. Each
// command runs one discovery cycle as `find` does (DISCOVERY: --wait, default 2 s, --interface,
// --target, --repeat; see session.h) and acts on the one
// device the target names. `set` starts from the device's values and replaces those given; the
// restart question counts as answered Yes. An Orvex device's answer is awaited up to --wait
// seconds. Standard output gets one line: MAC<TAB>PeerIP<TAB>ok, or
// MAC<TAB>PeerIP<TAB>failed<TAB>reason. --log writes the action log to standard error as
// LEVEL<TAB>message.
//
// Exit status: 0 sent (and, for Orvex, answered with error code 0); 1 target not found or
// ambiguous, a value or option refused, a device error code, or a command the device does not
// offer; 2 wrong command line or no UDP socket; 3 no answer from an Orvex device within --wait.
#pragma once
#include "cli/commandline.h"

// The usage lines of the three commands.
extern const char* const kDeviceCommandsUsage;

// Adds the three commands to pyxet-cli's command line; the one chosen leaves its body in body.
void AddDeviceCommands(CLI::App& app, TCommandBody& body);
