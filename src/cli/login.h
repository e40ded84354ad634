// pyxet-cli login: the logins kept in the desktop's keyring, which the transfer commands use with
// --login keyring and the window with "Remember in the keyring".
//
//   pyxet-cli login set (MAC | --every-device) --user NAME
//   pyxet-cli login list [--json]
//   pyxet-cli login forget (MAC | --every-device | --all)
//
// set reads the password from the terminal without echo, or the first line of standard input
// when that is no terminal; it never takes one from the command line or the environment. list
// prints ENTRY<TAB>USER per entry (ENTRY: the MAC as 12 upper-case hex digits, or every-device),
// or with --json [{"entry", "user"}]; never a password. Exit status: 0 done, 1 the keyring
// refused (or is missing, or forget found no such entry), 2 wrong command line.
#pragma once
#include "cli/commandline.h"

extern const char* const kLoginUsage;

// Adds "login" with set, list and forget; the one chosen leaves its body in body.
void AddLoginCommands(CLI::App& app, TCommandBody& body);
