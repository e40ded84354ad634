// pyxet-cli's HTTP commands: upgrade, backup, restore, save and load, over the same transfer and
// batch code as the window.
#pragma once

// True for "upgrade", "backup", "restore", "save" and "load".
bool IsTransferCommand(const char* name);

// Runs the command of argv[1]; returns the exit status: 0 when every host succeeded, 1 when any
// failed, 2 for a wrong command line or an unreadable local file named on it.
int RunTransferCommand(int argc, char* argv[]);

// The usage lines of these commands.
const char* TransferUsage();
