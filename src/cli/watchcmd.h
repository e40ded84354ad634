// pyxet-cli's commands on a site: watch it over rounds of gentle discovery requests, printing
// each change as a JSON line, and check it once against a site file.
//
//   pyxet-cli watch [--seconds N] [--site FILE] [--initial] [DISCOVERY] [--for SECONDS] [--log]
//   pyxet-cli check --site FILE [DISCOVERY] [--json] [--log]
#pragma once
#include "cli/commandline.h"

// Adds both commands to pyxet-cli's command line; the one chosen leaves its body in body.
void AddWatchCommands(CLI::App& app, TCommandBody& body);

// The usage lines and the help of these commands.
const char* WatchUsage();
