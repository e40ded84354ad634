// pyxet-cli plan: setting up many devices at once, over the same planner and run as the window's
// "Set Up Checked Devices..." and "Undo Last Plan...".
//
//   pyxet-cli plan make [--ip-from ADDR] [--name PATTERN] [--mask ADDR] [--gateway ADDR] [--dns1 ADDR]
//                       [--dns2 ADDR] [--dhcp 0|1] [--http-port N] [--telnet-port N] [--all | MAC...]
//                       [--type NAME]... [--family Orvex|HWG] [DISCOVERY] [--log]
//   pyxet-cli plan apply FILE [--dry-run] [--verify SECONDS] [--save-undo FILE] [DISCOVERY] [--json] [--log]
//   pyxet-cli plan undo FILE [--dry-run] [--verify SECONDS] [--save-undo FILE] [DISCOVERY] [--json] [--log]
//
// make: one discovery cycle, then the plan for the devices chosen (--all, or the MACs given; in
// list order, narrowed by --type and --family) written to standard output as a plan file;
// nothing is sent. Its problems go to standard error; with a blocking one nothing is written.
//
// apply: the plan file (FILE "-": standard input) against the devices one discovery cycle finds.
// Standard output gets the preview, one line a device (MAC, type, name and address before ->
// after, the other changed fields, its problems; tab-separated, device text through SafeText),
// the problems of the plan as a whole, the undo file's name, an empty line, then one line a
// device in plan order: MAC<TAB>PeerIP<TAB>status. --json prints one JSON document instead.
// With --dry-run, or a blocking problem, nothing is sent and no undo file written. Before
// anything is sent, the undo file is written to backup/undo-YYYYMMDD-HHMMSS.csv (or --save-undo
// FILE; an existing file is never replaced); if it cannot be written, nothing is sent. The
// restart question counts as answered Yes. --verify SECONDS checks every device afterwards.
//
// undo: the same with an undo file, whose every cell is applied as it stands; it writes an undo
// file of its own (the values it replaces), so an undo can be undone.
//
// Exit status: 0 every device applied (and verified with --verify; problems that do not block
// still give 0); 1 a device failed, refused, was not found, gave no answer to its command or
// was not verified, a blocking problem, or (make) a MAC given that no device answered as;
// 2 wrong command line, a plan file that cannot be read, no UDP socket, or an undo file that
// cannot be written; 3 none of the plan's devices (make: none of the chosen) answered.
#pragma once
#include "cli/commandline.h"

// The usage lines of plan make, apply and undo.
extern const char* const kPlanUsage;

// Adds "plan" with make, apply and undo to pyxet-cli's command line; the one chosen leaves its
// body in body.
void AddPlanCommands(CLI::App& app, TCommandBody& body);
