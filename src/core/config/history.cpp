#include "core/config/history.h"

#include <utility>

// Placeholders until the history lands.
THistory::THistory(std::string folder, int keep) : Root(std::move(folder)), Count(keep) {}

THistoryKept THistory::Keep(const std::string& mac, const QByteArray& bytes, int64_t now)
{
    (void)mac;
    (void)bytes;
    (void)now;
    return {};
}

std::vector<THistoryVersion> THistory::Versions(const std::string& mac) const
{
    (void)mac;
    return {};
}

std::optional<THistoryVersion> THistory::Find(const std::string& mac, const std::string& which) const
{
    (void)mac;
    (void)which;
    return std::nullopt;
}

std::vector<std::string> THistory::Devices() const { return {}; }
std::string THistory::DeviceFolder(const std::string& mac) const { return Root + "/" + mac; }
THistory HistoryOfSettings(const TSettings& settings)
{
    (void)settings;
    return THistory(HistoryFolder());
}
std::string HistoryMacName(const std::string& mac) { return mac; }
std::string HistoryVersionName(int64_t time) { return std::to_string(time); }
std::optional<int64_t> HistoryVersionTime(const std::string& name)
{
    (void)name;
    return std::nullopt;
}
std::optional<QByteArray> ReadHistoryVersion(const THistoryVersion& version)
{
    (void)version;
    return std::nullopt;
}
std::string HistoryFolder() { return "history/"; }
std::string HistoryFolder(const std::string& folderSetting, const std::string& dataFolder)
{
    return folderSetting.empty() ? dataFolder + "history/" : folderSetting;
}

int ParseHistoryKeep(const std::string& text)
{
    (void)text;
    return kDefaultHistoryKeep;
}
