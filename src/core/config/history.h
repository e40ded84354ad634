// The history of a device's configurations: every version Pyxet downloaded from a device whose
// MAC it knows, kept as <folder>/<MAC, 12 upper-case hex digits>/<YYYYMMDDTHHMMSSZ>.xml (UTC;
// -2, -3... on a clash), written atomically, only when it differs from the newest kept one;
// at most Keep versions per device, the oldest removed beyond it.
#pragma once
#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

class THistory {
public:
    explicit THistory(std::string folder, int keep = kDefaultHistoryKeep);
    const std::string& Folder() const { return Root; }

    // A device's configuration as downloaded now (`now`: seconds since the epoch, UTC).
    // "" or a text ParseMac refuses: nothing kept, not Ok.
    THistoryKept Keep(const std::string& mac, const QByteArray& bytes, int64_t now);
    // Newest first.
    std::vector<THistoryVersion> Versions(const std::string& mac) const;
    // "" or "1": the newest; "N": the N-th newest; "YYYY-MM-DD": the newest on or before that
    // day (UTC). None when there is no such version or the text is neither.
    std::optional<THistoryVersion> Find(const std::string& mac, const std::string& which) const;

private:
    std::string Root;
    int KeepCount;
};

// The history folder of this run: [History] Folder when set, else "history/" in the data folder
// (the program's own folder in the build folder, $XDG_DATA_HOME/pyxet/ when installed).
std::string HistoryFolder();
// [History] Keep as read: a whole number 1 to 100000; anything else is 50.
int ParseHistoryKeep(const std::string& text);
