#include "core/config/history.h"

#include <utility>

// Placeholders until the history lands.
THistory::THistory(std::string folder, int keep) : Root(std::move(folder)), KeepCount(keep) {}

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

std::string HistoryFolder() { return "history/"; }

int ParseHistoryKeep(const std::string& text)
{
    (void)text;
    return kDefaultHistoryKeep;
}
