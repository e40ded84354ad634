// The options of the windowed program that are read before any window exists, so that they work
// without a display: --help, and --quit-after for scripts and tests. Everything else on the
// command line (the demonstration switch, the toolkit's own options) is left to the window.
#pragma once
#include "core/app/folders.h"

#include <string>

struct TProgramOptions {
    bool Help = false;
    int QuitAfterMs = -1;  // --quit-after SECONDS; -1 when not given
    std::string Error;     // a wrong option's complaint, "" when the line is fine
};

TProgramOptions ParseProgramOptions(int argc, const char* const argv[]);

// The text of `pyxet --help`, naming the folders this run uses.
std::string ProgramHelp(const TProgramFolders& folders);
