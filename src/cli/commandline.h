// pyxet-cli's command line, read by CLI11: each command is a subcommand with its own --help, and
// an option takes its value as "--opt VALUE" or "--opt=VALUE".
//
// A mistake ends the program with status 2 before anything is sent: one line on standard error
// that names what is wrong, "pyxet-cli: --jobs: takes a number from 1 to 32, not "40"" (or
// "pyxet-cli: TEXT" when no single option is to blame), then the command's usage and the hint
// "See 'pyxet-cli COMMAND --help'.". Each command's parts add their subcommands with the helpers
// below and check, in the subcommand's callback, what CLI11 cannot (values, combinations); the
// callback then leaves the command's body for main to run.
#pragma once
#include "cli/session.h"

#include "core/devices/setupfields.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// The body of the command the line chose, run by main once the whole line is read.
using TCommandBody = std::function<int()>;

// Refuses the command line: OPTION is named in the message ("OPTION: TEXT"); without it TEXT
// stands alone. Throws the CLI::ParseError main reports.
[[noreturn]] void Refuse(const std::string& option, const std::string& text);
[[noreturn]] void Refuse(const std::string& text);

// A command under parent: SUMMARY for the list of commands, USAGE its "usage: ..." lines (shown
// by its --help and after a mistake), HELP what its --help explains before the options.
CLI::App* AddCommand(CLI::App& parent, const std::string& name, const std::string& summary, const std::string& usage,
                     std::function<std::string()> help);

// The usage lines of a command made by AddCommand, or of the program as SetCommandUsage gave them.
std::string CommandUsage(const CLI::App& command);
void SetCommandUsage(const CLI::App& command, const std::string& usage);

// An option with one value; given again, the last one counts.
CLI::Option* AddValue(CLI::App& command, const std::string& name, std::optional<std::string>& value,
                      const std::string& label, const std::string& description);
// A setup field's option (set, plan make): its key in lower case, a hyphen where a word begins
// ("--name", "--dns1", "--http-port").
std::string FieldOption(TSetupField field);
// What a setup field's option takes: TEXT, ADDR, 0|1 or N.
const char* FieldOptionValue(TFieldKind kind);
// Refuses a value of the DHCP state's option other than 0 or 1.
void CheckFlagOption(const TSetupFieldDef& field, const std::string& value);

// An option with one value that may be given once only ("--name: given twice").
CLI::Option* AddOnce(CLI::App& command, const std::string& name, std::optional<std::string>& value,
                     const std::string& label, const std::string& description);
// A repeatable option: every value, in the order given.
CLI::Option* AddValues(CLI::App& command, const std::string& name, std::vector<std::string>& values,
                       const std::string& label, const std::string& description);
// An option without a value ("--json=1" is refused).
CLI::Option* AddFlag(CLI::App& command, const std::string& name, bool& flag, const std::string& description);
// The arguments that are not options, in order.
CLI::Option* AddArguments(CLI::App& command, const std::string& name, std::vector<std::string>& values,
                          const std::string& description);

// The discovery options (session.h) as given, read by ReadDiscoveryOptions once the line is read.
struct TDiscoveryArgs {
    std::optional<std::string> Wait;
    std::vector<std::string> Interfaces;
    std::vector<std::string> Targets;
    std::optional<std::string> Repeat;
    // The first of them on the command line, for a message; empty when none was given.
    std::string FirstGiven() const;
};
void AddDiscoveryOptions(CLI::App& command, TDiscoveryArgs& args);
// The options read; refuses the first wrong value.
TDiscoveryOptions ReadDiscoveryOptions(const TDiscoveryArgs& args);

// Refuses the first argument that looks like an option the command does not know (CLI11 keeps
// them aside for this, so that the message names the option and its command).
void RefuseUnknownOptions(const CLI::App& command);

// The usage of one command picked from usage lines of several ("       pyxet-cli set TARGET ..."
// with its continuation lines), the first line starting "usage: ".
std::string UsageLines(const std::string& all, const std::string& command);

// A whole number from low to high, or no value.
std::optional<int> WholeNumber(const std::string& text, int low, int high);

// The message and usage of a mistake on the command line, as written to standard error.
std::string CommandLineMistake(const CLI::App& app, const CLI::ParseError& error);

// The help of the command whose --help was asked (the deepest subcommand chosen).
std::string CommandHelp(const CLI::App& app);
