// The history of a device's configurations: the version files, the index beside them, and the
// history folder of this run.
#include "core/config/history.h"

#include "core/app/atomicfile.h"
#include "core/app/folders.h"
#include "core/app/i18n.h"
#include "core/app/inifile.h"
#include "core/app/settings.h"
#include "core/config/compare.h"
#include "core/devices/utils.h"
#include "core/log/format.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <set>
#include <utility>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// One history at a time changes its folders: several transfers of a batch keep side by side.
std::mutex g_historyLock;

constexpr const char* kIndexHeader = "pyxet-history 1";
constexpr int kMostKeep = kMostHistoryKeep;
constexpr size_t kVersionStamp = 16;  // 20261210T101500Z

// A version name split: its time and its clash number (1 for none, 2 for "-2", ...).
struct TVersionName {
    int64_t Time = 0;
    int Clash = 1;
};

bool AllDigits(const std::string& text, size_t from, size_t count)
{
    if (from + count > text.size())
        return false;
    for (size_t i = from; i < from + count; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

std::optional<TVersionName> SplitVersionName(const std::string& name)
{
    if (name.size() < kVersionStamp || !AllDigits(name, 0, 8) || name[8] != 'T' || !AllDigits(name, 9, 6)
        || name[15] != 'Z')
        return std::nullopt;
    TVersionName split;
    if (name.size() > kVersionStamp) {
        // "-N", N from 2, no leading zero, at most six digits.
        const size_t digits = name.size() - kVersionStamp - 1;
        if (name[kVersionStamp] != '-' || digits == 0 || digits > 6 || !AllDigits(name, kVersionStamp + 1, digits)
            || name[kVersionStamp + 1] == '0')
            return std::nullopt;
        split.Clash = std::stoi(name.substr(kVersionStamp + 1));
        if (split.Clash < 2)
            return std::nullopt;
    }
    std::tm t{};
    t.tm_year = std::stoi(name.substr(0, 4)) - 1900;
    t.tm_mon = std::stoi(name.substr(4, 2)) - 1;
    t.tm_mday = std::stoi(name.substr(6, 2));
    t.tm_hour = std::stoi(name.substr(9, 2));
    t.tm_min = std::stoi(name.substr(11, 2));
    t.tm_sec = std::stoi(name.substr(13, 2));
    const int month = t.tm_mon, day = t.tm_mday, hour = t.tm_hour, minute = t.tm_min, second = t.tm_sec;
    split.Time = int64_t(timegm(&t));
    // timegm moves a 31st of February on; such a name is not one of ours.
    if (t.tm_mon != month || t.tm_mday != day || t.tm_hour != hour || t.tm_min != minute || t.tm_sec != second)
        return std::nullopt;
    return split;
}

std::string WithSlash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

// The version names in a device's folder, oldest first.
std::vector<std::string> VersionFiles(const std::string& folder)
{
    std::vector<std::pair<TVersionName, std::string>> found;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string file = entry->d_name;
            if (file.size() <= 4 || file.compare(file.size() - 4, 4, ".xml") != 0)
                continue;
            std::string name = file.substr(0, file.size() - 4);
            if (const std::optional<TVersionName> split = SplitVersionName(name))
                found.emplace_back(*split, std::move(name));
        }
        ::closedir(dir);
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return std::make_pair(a.first.Time, a.first.Clash) < std::make_pair(b.first.Time, b.first.Clash);
    });
    std::vector<std::string> names;
    names.reserve(found.size());
    for (auto& [split, name] : found)
        names.push_back(std::move(name));
    return names;
}

std::optional<QByteArray> ReadWhole(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (file.size() > kMostConfigBytes || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

// The differences from one version to the next: the structural compare, by lines when either is
// not well-formed.
int CountChanges(const QByteArray& before, const QByteArray& after)
{
    const TConfigDocument left = ReadConfig(before), right = ReadConfig(after);
    if (left.Ok && right.Ok)
        return int(CompareConfigs(left, right).size());
    return int(CompareLines(before, after).size());
}

// ---- The index ------------------------------------------------------------------------------
// "pyxet-history 1", then one line per version, oldest first: name TAB size TAB changes.

std::string IndexText(const std::vector<THistoryVersion>& oldestFirst)
{
    std::string text = std::string(kIndexHeader) + "\n";
    text.reserve(oldestFirst.size() * 40);
    for (const THistoryVersion& v : oldestFirst)
        text += v.Version + "\t" + std::to_string(v.Size) + "\t" + std::to_string(v.Changes) + "\n";
    return text;
}

// The index as read, oldest first; none when it is missing, damaged or does not name exactly the
// version files there are.
std::optional<std::vector<THistoryVersion>> ReadIndex(const std::string& folder, const std::vector<std::string>& files)
{
    const std::optional<QByteArray> whole = ReadWhole(folder + kHistoryIndexName);
    if (!whole)
        return std::nullopt;
    const std::string text = whole->toStdString();
    size_t at = 0;
    auto nextLine = [&](std::string& line) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos)
            return false;
        line = text.substr(at, end - at);
        at = end + 1;
        return true;
    };
    std::string line;
    if (!nextLine(line) || line != kIndexHeader)
        return std::nullopt;
    std::vector<THistoryVersion> versions;
    versions.reserve(files.size());
    while (nextLine(line)) {
        const size_t tab1 = line.find('\t');
        const size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos || versions.size() >= files.size())
            return std::nullopt;
        THistoryVersion v;
        v.Version = line.substr(0, tab1);
        const std::string size = line.substr(tab1 + 1, tab2 - tab1 - 1), changes = line.substr(tab2 + 1);
        const auto split = SplitVersionName(v.Version);
        if (!split || v.Version != files[versions.size()] || size.empty() || size.size() > 12
            || !AllDigits(size, 0, size.size()) || changes.empty() || changes.size() > 9
            || (changes != "-1" && !AllDigits(changes, 0, changes.size())))
            return std::nullopt;
        v.Time = split->Time;
        v.Size = std::stoll(size);
        v.Changes = std::stoi(changes);
        v.Path = folder + v.Version + ".xml";
        versions.push_back(std::move(v));
    }
    if (at != text.size() || versions.size() != files.size())
        return std::nullopt;
    return versions;
}

// The versions worked out from the files themselves, each compared with the one before it.
std::vector<THistoryVersion> RebuildIndex(const std::string& folder, const std::vector<std::string>& files)
{
    std::vector<THistoryVersion> versions;
    std::optional<QByteArray> before;
    for (const std::string& name : files) {
        THistoryVersion v;
        v.Version = name;
        v.Path = folder + name + ".xml";
        v.Time = SplitVersionName(name)->Time;
        const std::optional<QByteArray> bytes = ReadWhole(v.Path);
        struct stat info {};
        v.Size = ::stat(v.Path.c_str(), &info) == 0 ? int64_t(info.st_size) : 0;
        v.Changes = before && bytes ? CountChanges(*before, *bytes) : -1;
        before = bytes;
        versions.push_back(std::move(v));
    }
    return versions;
}

// Oldest first; the index rewritten when it had to be rebuilt. Under g_historyLock.
std::vector<THistoryVersion> LoadVersions(const std::string& folder)
{
    const std::vector<std::string> files = VersionFiles(folder);
    if (std::optional<std::vector<THistoryVersion>> indexed = ReadIndex(folder, files))
        return std::move(*indexed);
    std::vector<THistoryVersion> rebuilt = RebuildIndex(folder, files);
    int error = 0;
    if (!files.empty())
        WriteFileAtomically(folder + kHistoryIndexName, IndexText(rebuilt), error);  // a cache: a failure costs time only
    return rebuilt;
}
}  // namespace

THistory::THistory(std::string folder, int keep)
    : Root(WithSlash(std::move(folder))), Count(std::clamp(keep, 1, kMostKeep))
{
}

std::string THistory::DeviceFolder(const std::string& mac) const
{
    const std::string name = HistoryMacName(mac);
    return name.empty() ? std::string() : Root + name + "/";
}

THistoryKept THistory::Keep(const std::string& mac, const QByteArray& bytes, int64_t now)
{
    THistoryKept kept;
    const std::string folder = DeviceFolder(mac);
    if (folder.empty()) {
        kept.Error = _("The device's MAC address is not known.");
        return kept;
    }
    std::lock_guard<std::mutex> guard(g_historyLock);
    if (!MakeFolderPath(folder)) {
        kept.Error = Format(_("Cannot create the folder %s"), folder.c_str());
        return kept;
    }
    std::vector<THistoryVersion> versions = LoadVersions(folder);
    THistoryVersion added;
    if (!versions.empty()) {
        const THistoryVersion& newest = versions.back();
        const std::optional<QByteArray> before = ReadWhole(newest.Path);
        if (before && SameConfig(*before, bytes)) {
            kept.Ok = true;
            kept.Version = newest;
            return kept;
        }
        added.Changes = before ? CountChanges(*before, bytes) : -1;
        // A clock set back must not put the new version before the newest one.
        now = std::max(now, newest.Time);
    }
    const std::set<std::string> taken = [&] {
        std::set<std::string> names;
        for (const THistoryVersion& v : versions)
            names.insert(v.Version);
        return names;
    }();
    const std::string stamp = HistoryVersionName(now);
    int error = 0;
    for (int clash = 1;; ++clash) {
        added.Version = clash == 1 ? stamp : stamp + "-" + std::to_string(clash);
        if (taken.count(added.Version))
            continue;
        added.Path = folder + added.Version + ".xml";
        // Never over a file that is there: another writer's version stays.
        if (WriteFileAtomically(added.Path, std::string_view(bytes.constData(), size_t(bytes.size())), error,
                                TExistingFile::Keep))
            break;
        if (error != EEXIST || clash > 1000) {
            kept.Error = Format(_("Cannot write the file %s: %s"), added.Path.c_str(), FileErrorText(error).c_str());
            return kept;
        }
    }
    added.Time = now;
    added.Size = bytes.size();
    versions.push_back(added);
    // The oldest beyond Keep go; the oldest kept has nothing before it to differ from.
    if (versions.size() > size_t(Count)) {
        const size_t drop = versions.size() - size_t(Count);
        for (size_t i = 0; i < drop; ++i)
            ::unlink(versions[i].Path.c_str());
        versions.erase(versions.begin(), versions.begin() + std::ptrdiff_t(drop));
        versions.front().Changes = -1;
    }
    WriteFileAtomically(folder + kHistoryIndexName, IndexText(versions), error);  // rebuilt when missing
    kept.Ok = true;
    kept.Added = true;
    kept.Version = versions.back();
    return kept;
}

std::vector<THistoryVersion> THistory::Versions(const std::string& mac) const
{
    const std::string folder = DeviceFolder(mac);
    if (folder.empty())
        return {};
    std::vector<THistoryVersion> versions;
    {
        std::lock_guard<std::mutex> guard(g_historyLock);
        versions = LoadVersions(folder);
    }
    std::reverse(versions.begin(), versions.end());
    return versions;
}

std::optional<THistoryVersion> THistory::Find(const std::string& mac, const std::string& which) const
{
    const std::vector<THistoryVersion> versions = Versions(mac);
    if (which.empty() || (which.size() <= 6 && AllDigits(which, 0, which.size()))) {
        const int n = which.empty() ? 1 : std::stoi(which);
        if (n < 1 || size_t(n) > versions.size())
            return std::nullopt;
        return versions[size_t(n) - 1];
    }
    // YYYY-MM-DD: the newest before the next day begins (UTC).
    if (which.size() != 10 || !AllDigits(which, 0, 4) || which[4] != '-' || !AllDigits(which, 5, 2)
        || which[7] != '-' || !AllDigits(which, 8, 2))
        return std::nullopt;
    const std::string stamp = which.substr(0, 4) + which.substr(5, 2) + which.substr(8, 2) + "T000000Z";
    const std::optional<TVersionName> day = SplitVersionName(stamp);
    if (!day)
        return std::nullopt;
    const int64_t nextDay = day->Time + 86400;
    for (const THistoryVersion& v : versions)
        if (v.Time < nextDay)
            return v;
    return std::nullopt;
}

std::vector<std::string> THistory::Devices() const
{
    std::vector<std::string> macs;
    DIR* dir = ::opendir(Root.c_str());
    if (!dir)
        return macs;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() == 12 && HistoryMacName(name) == name)
            macs.push_back(name);
    }
    ::closedir(dir);
    std::sort(macs.begin(), macs.end());
    return macs;
}

THistory HistoryOfSettings(const TSettings& settings)
{
    return THistory(HistoryFolder(settings.HistoryFolder, DataFolder()), settings.HistoryKeep);
}

std::string HistoryMacName(const std::string& mac) { return MacHexText(mac); }

std::string HistoryVersionName(int64_t time)
{
    const std::time_t t = std::time_t(time);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

std::optional<int64_t> HistoryVersionTime(const std::string& name)
{
    const std::optional<TVersionName> split = SplitVersionName(name);
    if (!split)
        return std::nullopt;
    return split->Time;
}

std::optional<QByteArray> ReadHistoryVersion(const THistoryVersion& version) { return ReadWhole(version.Path); }

std::string HistoryFolder()
{
    TIniFile ini;
    ini.Load(SettingsPath(SettingsFolder()));
    return HistoryFolder(ini.ReadString("History", "Folder", ""), DataFolder());
}

std::string HistoryFolder(const std::string& folderSetting, const std::string& dataFolder)
{
    return WithSlash(folderSetting.empty() ? WithSlash(dataFolder) + "history" : folderSetting);
}
