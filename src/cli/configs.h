// pyxet-cli's configuration commands: compare two configurations, list a device's kept versions,
// and compare a fleet with a reference.
//
//   pyxet-cli diff A B [--json] [--log]
//   pyxet-cli history MAC [--json] [--log]
//   pyxet-cli drift --reference A [--all | HOST...] [DISCOVERY] [--jobs N] [--json] [--log]
//
// A, B and the reference are each a file, `device:ADDRESS` (its setup.xml downloaded now) or
// `history:MAC[@N|@YYYY-MM-DD]` (a kept version: the N-th newest, 1 the newest; or the newest
// on or before that day, UTC). What is downloaded from a device whose MAC is known (asked of the
// address by unicast, or found by discovery) is kept in its history; no backup file is touched.
#pragma once
#include "cli/commandline.h"

// Adds the three commands to pyxet-cli's command line; the one chosen leaves its body in body.
void AddConfigCommands(CLI::App& app, TCommandBody& body);

// The usage lines of these commands.
const char* ConfigUsage();
