// pyxet-cli's HTTP commands: upgrade, backup, restore, save and load, over the same transfer and
// batch code as the window.
#pragma once
#include "cli/commandline.h"

// Adds the five commands to pyxet-cli's command line; the one chosen leaves its body in body.
// The body returns the exit status: 0 when every host succeeded, 1 when any failed, 2 for an
// unreadable local file named on the line or no UDP socket (--all), 128+N after signal N.
void AddTransferCommands(CLI::App& app, TCommandBody& body);

// The usage lines of these commands.
const char* TransferUsage();
