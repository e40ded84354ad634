// Where the program reads its data (catalogues, help files, device pictures), where it keeps
// "Pyxet.ini" and where it keeps what it gathers (the configuration history). Started from the
// build folder (or a copy of build/bin), all three are the program's own folder. Installed
// (bin/pyxet beside share/pyxet, or a build made with PYXET_DATA_DIR), the data is read from
// share/pyxet, the settings live in the user's configuration folder, $XDG_CONFIG_HOME/pyxet
// (default ~/.config/pyxet), and what it gathers in the user's data folder, $XDG_DATA_HOME/pyxet
// (default ~/.local/share/pyxet).
#pragma once
#include <functional>
#include <string>

struct TProgramFolders {
    std::string AppDir;     // locale/, images/ and the help files; trailing '/'
    std::string ConfigDir;  // Pyxet.ini; trailing '/'
    bool Installed = false;
    std::string DataDir{};  // what the program gathers (history/); trailing '/'
};

// What the choice depends on, gathered from the running program and its environment.
struct TFolderFacts {
    std::string ProgramDir;      // folder of the program file, trailing '/'
    std::string BuiltInDataDir;  // PYXET_DATA_DIR of the build, "" when the build named none
    std::string XdgConfigHome;   // $XDG_CONFIG_HOME as given ("" when unset)
    std::string Home;            // the user's home folder
    std::string XdgDataHome{};   // $XDG_DATA_HOME as given ("" when unset)
};

// The decision. Installed when ProgramDir + "../share/pyxet" is a folder, else when the build
// named a data folder that is one; otherwise everything stays in ProgramDir, as in the build
// folder. The configuration folder of an installed program is $XDG_CONFIG_HOME/pyxet/ when that
// variable holds an absolute path (a relative one is ignored, as the XDG rules say), else
// Home + "/.config/pyxet/"; its data folder likewise $XDG_DATA_HOME/pyxet/, else
// Home + "/.local/share/pyxet/".
TProgramFolders ChooseProgramFolders(const TFolderFacts& facts,
                                     const std::function<bool(const std::string&)>& isFolder);

// The folders of this run (worked out once, then remembered).
const TProgramFolders& ProgramFolders();

// Creates `folder` and each missing step of it (mode 0700). True when it is a folder afterwards.
bool MakeFolderPath(const std::string& folder);

// Creates the configuration folder of an installed program with its parents (mode 0700, as the
// XDG rules ask), so that the first save can create "Pyxet.ini" in it. True when it exists
// afterwards; a failure shows later as the settings file's own "Unable to write to %s".
bool MakeConfigFolder(const TProgramFolders& folders);
