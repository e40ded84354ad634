// The history of a device's configurations: every version Pyxet downloaded from a device whose
// MAC it knows, kept as <folder>/<MAC, 12 upper-case hex digits>/<YYYYMMDDTHHMMSSZ>.xml (UTC;
// -2, -3... on a clash), written atomically, only when it differs from the newest kept one;
// at most Keep versions per device, the oldest removed beyond it. Each device's folder holds a
// small index (INDEX_NAME below) of its versions and their changes, rewritten atomically on each
// keep, so that a long history is listed without reading every version; a missing or damaged
// index is rebuilt from the files themselves.
//
// A THistory is a small value (the folder and the count): copies on several threads may keep
// versions at once, each device's folder changed by one of them at a time.
#pragma once
#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TSettings;

constexpr int kDefaultHistoryKeep = 50;

struct THistoryVersion {
    std::string Version;  // the file name without ".xml": 20261210T101500Z or 20261210T101500Z-2
    std::string Path;
    int64_t Time = 0;     // seconds since the epoch, UTC
    int64_t Size = 0;     // bytes
    int Changes = -1;     // differences from the version before it (-1 unknown or the first)
};

struct THistoryKept {
    bool Ok = false;
    bool Added = false;   // false: the same as the newest kept one (Version names that one)
    std::string Error;    // translated
    THistoryVersion Version;
};

// The index file in each device's folder.
constexpr const char* kHistoryIndexName = "index.txt";

class THistory {
public:
    explicit THistory(std::string folder, int keep = kDefaultHistoryKeep);
    const std::string& Folder() const { return Root; }
    int KeepCount() const { return Count; }

    // A device's configuration as downloaded now (`now`: seconds since the epoch, UTC).
    // "" or a text ParseMac refuses: nothing kept, not Ok.
    THistoryKept Keep(const std::string& mac, const QByteArray& bytes, int64_t now);
    // Newest first.
    std::vector<THistoryVersion> Versions(const std::string& mac) const;
    // "" or "1": the newest; "N": the N-th newest; "YYYY-MM-DD": the newest on or before that
    // day (UTC). None when there is no such version or the text is neither.
    std::optional<THistoryVersion> Find(const std::string& mac, const std::string& which) const;
    // The devices that have a history: their MACs as folder names (12 upper-case hex digits), sorted.
    std::vector<std::string> Devices() const;
    // The folder of a device's versions ("" when ParseMac refuses the text).
    std::string DeviceFolder(const std::string& mac) const;

private:
    std::string Root;
    int Count;
};

// The history of this run: [History] Folder (else history/ in the data folder) and [History] Keep
// as the settings give them.
THistory HistoryOfSettings(const TSettings& settings);

// A MAC in any form ParseMac takes as the history names it: 12 upper-case hex digits ("" when refused).
std::string HistoryMacName(const std::string& mac);
// A version's name for a time (seconds since the epoch, UTC): 20261210T101500Z.
std::string HistoryVersionName(int64_t time);
// The time a version's name stands for (its -N suffix aside); none for another name.
std::optional<int64_t> HistoryVersionTime(const std::string& name);
// A version's content; none when it cannot be read.
std::optional<QByteArray> ReadHistoryVersion(const THistoryVersion& version);

// The history folder of this run: [History] Folder when set, else "history/" in the data folder
// (the program's own folder in the build folder, $XDG_DATA_HOME/pyxet/ when installed). With a
// trailing '/'.
// HistoryFolder() reads [History] Folder from the settings file itself.
std::string HistoryFolder();
std::string HistoryFolder(const std::string& folderSetting, const std::string& dataFolder);
// [History] Keep as read: a whole number 1 to 100000; anything else is 50.
int ParseHistoryKeep(const std::string& text);
