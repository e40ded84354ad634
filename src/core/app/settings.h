// The four settings kept between runs in "Pyxet.ini": log time stamps, the interface language
// and the two product tables. The file lies beside the program in the build folder and in the
// user's configuration folder when the program is installed (core/app/folders.h).
#pragma once
#include "core/app/producttable.h"

#include <string>
#include <vector>

extern const char* const kBuiltInOrvexTable;  // entries separated by single blanks
extern const char* const kBuiltInHwgTable;

// The main window's place (its frame's top-left corner) and size (its inside), as the user
// left it. Width and height 0: none kept.
struct TWindowPlace {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool Kept() const { return Width > 0 && Height > 0; }
    bool operator==(const TWindowPlace&) const = default;
};

// The windows' colours ([Window] Scheme): the desktop's ("System"), or the program's own light or
// dark palette for desktops whose platform theme does not pass their scheme on to the program.
enum class TColourScheme { System, Light, Dark };

struct TSettings {
    bool TimeStamps = false;   // [Logs] Time
    std::string Language;      // [Setup] Lang, a gettext language code
    TProductTable OrvexProducts;  // [Products] Orvex
    TProductTable HwgProducts;    // [Products] HWG
    // [Discovery]: written only once they differ from these defaults (or the file has them).
    int Repeat = 1;               // Repeat: each request sent this many times (1 to 5)
    std::string Interface;        // Interface: the one interface to search; empty for all
    std::string Targets;          // Targets: the last "Find at Addresses..." text
    // [Window] Left, Top, Width, Height: written only once the user has moved or resized the
    // window (or the file has them).
    TWindowPlace Window;
    // [Window] Scheme: written only once it is not System (or the file has it).
    TColourScheme Scheme = TColourScheme::System;
    // [Window] Columns: the device list's column widths in pixels, left to right; empty until
    // the file holds a good value or the user resizes a column (written only then).
    std::vector<int> Columns;
    // [Transfers]: Jobs and Verify are written only once they differ from these defaults (or
    // the file has them); VerifySeconds is only read. pyxet-cli reads none of them.
    int TransferJobs = 1;         // Jobs: devices a batch of the window transfers at once
    bool VerifyUpgrades = false;  // Verify: the upgrade waits for each device's new firmware
    int VerifySeconds = 120;      // VerifySeconds: how long it waits (10 to 3600)
    // [Rollout] First, Wave, HaltAfter, SkipCurrent, BackupFirst, Retries: the upgrade dialog's
    // rollout (core/http/rollout.h: RolloutOfSettings), each read within its limits and written
    // only once it differs from its default (or the file has it); the image's revision is typed
    // for one batch and never kept. pyxet-cli reads none of them.
    int RolloutFirst = 0;
    int RolloutWave = 0;
    int RolloutHaltAfter = 1;
    bool RolloutSkipCurrent = false;
    bool RolloutBackupFirst = false;
    int RolloutRetries = 0;
    // [History] Folder and Keep, read by the window and pyxet-cli alike, never written: where the
    // configurations downloaded are kept ("" for history/ in the data folder) and how many
    // versions per device (core/config/history.h).
    std::string HistoryFolder;
    int HistoryKeep = 50;
    // [Compare] Identity: more identity places (paths as the compare spells them), read only.
    std::vector<std::string> IdentityPaths;
    // [Compare] Preview: a preview before anything is written; written only once it is off (or
    // the file has it).
    bool Preview = true;
    // [Watch]: each written only once it differs from its default (or the file has it).
    int WatchSeconds = 30;       // Seconds: between two rounds of the watch (5 to 3600)
    bool WatchNotify = false;    // Notify: desktop notifications of units gone and new
    std::string WatchSite;       // Site: the site file last opened or saved, reopened at start
};

// DataDir, with its trailing '/': the program's own folder in the build folder, the user's
// $XDG_DATA_HOME/pyxet/ (default ~/.local/share/pyxet/) when installed.
std::string DataFolder();

// [History] Keep as read: a whole number 1 to kMostHistoryKeep; anything else is 50 (also
// declared in core/config/history.h, where the history uses it).
constexpr int kMostHistoryKeep = 100000;
int ParseHistoryKeep(const std::string& text);

// [Compare] Identity as read: paths separated by commas (blanks around them dropped, empty
// entries left out).
std::vector<std::string> ParseIdentityPaths(const std::string& text);

// AppDir, with its trailing '/': locale/, images/ and the help files are found there. The
// folder of the running program file in the build folder, share/pyxet/ when installed.
std::string ProgramFolder();
// The folder of "Pyxet.ini", with its trailing '/': AppDir in the build folder, the user's
// $XDG_CONFIG_HOME/pyxet/ (default ~/.config/pyxet/) when installed.
std::string SettingsFolder();

std::string SettingsPath(const std::string& folder);  // folder + "Pyxet.ini"

// The language used when the file names none: "cs" when the environment's language (as
// EnvironmentLanguage() reports it, e.g. "cs_CZ.UTF-8") contains "cs", else "en".
std::string DefaultLanguage(const std::string& environmentLanguage);

// A boolean as the file stores it: "True" or a whole number other than 0 is on, "False" or 0
// is off, anything else gives def.
bool ParseSettingsBool(const std::string& text, bool def);

// Logs "Loading config from %s" (DEBUG) through LogAction, removes what saves killed midway
// left beside the file, then reads the file; a missing file, section or key gives the defaults.
// A file too large to read gives the defaults too, and its reason is logged as an ERROR.
void LoadSettings(const std::string& appDir, TSettings& settings);

// Logs "Saving config to %s" (DEBUG), then writes the four keys, leaving every other section and
// key of the file as it was. The file is replaced atomically; a file its owner made read-only
// is not replaced. On failure returns false and sets *error to the translated "Unable to write
// to %s" with the file's path, followed on a second line by the reason where the file was too
// large to read.
bool SaveSettings(const std::string& appDir, const TSettings& settings, std::string* error);

// [Window] as read: four whole numbers, the size within 1 to 100000 and the place within
// -100000 to 100000; anything else (one key missing included) keeps no place.
TWindowPlace ParseWindowPlace(const std::string& left, const std::string& top, const std::string& width,
                              const std::string& height);

// [Window] Scheme as read: "System", "Light" or "Dark" (letter case aside); anything else is System.
TColourScheme ParseColourScheme(const std::string& text);
// The scheme as the file stores it: "System", "Light" or "Dark".
const char* ColourSchemeName(TColourScheme scheme);

// [Window] Columns as read: whole numbers of pixels within 1 to 10000, at most kMostColumns,
// separated by commas (blanks around them allowed); anything else gives none. The list takes
// them only when there is one for each of its columns.
constexpr size_t kMostColumns = 64;
std::vector<int> ParseColumnWidths(const std::string& text);
// The widths as the file stores them: "90,160,120,110,100".
std::string ColumnWidthsText(const std::vector<int>& widths);

// [Discovery] Repeat as read: a whole number kept within 1 to 5; anything else is 1.
int ParseRepeat(const std::string& text);

// [Rollout] limits: the values the settings file, the window and pyxet-cli take (each from 0).
constexpr int kMaxRolloutFirst = 100;
constexpr int kMaxRolloutWave = 1000;
constexpr int kMaxRolloutHalt = 1000;
constexpr int kMaxRolloutRetries = 10;
// [Rollout] First, Wave, HaltAfter and Retries as read: a whole number 0 to `most`; anything else
// (blanks included) is `def`.
int ParseRolloutCount(const std::string& text, int most, int def);

// [Watch] Seconds as read: a whole number kept within 5 to 3600; anything else is 30.
int ParseWatchSeconds(const std::string& text);

// [Transfers] Jobs as read: 1, 2, 4, 8 or 16; anything else is 1.
int ParseTransferJobs(const std::string& text);
// [Transfers] VerifySeconds as read: a whole number kept within 10 to 3600; anything else is 120.
int ParseVerifySeconds(const std::string& text);

// Comma text as the settings file stores lists (quoted entries, commas and runs of blanks split).
TProductTable SplitCommaText(const std::string& text);
std::string JoinCommaText(const TProductTable& entries);
