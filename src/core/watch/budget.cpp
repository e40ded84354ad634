// The request budget of a watch: the time each key last sent, and the spacing kept after it.
#include "core/watch/budget.h"

#include <algorithm>

std::string BroadcastBudgetKey(const std::string& family, const std::string& interfaceName)
{
    return "broadcast:" + family + "@" + interfaceName;
}

std::string UnicastBudgetKey(const std::string& address)
{
    return "unicast:" + address;
}

int64_t TRequestBudget::NextAllowed(const std::string& key, int64_t now) const
{
    const auto found = Last.find(key);
    if (found == Last.end())
        return now;
    return std::max(now, found->second + kWatchSpacingMs);
}

bool TRequestBudget::Take(const std::string& key, int64_t now)
{
    if (NextAllowed(key, now) > now)
        return false;
    Last[key] = now;
    return true;
}

void TRequestBudget::Note(const std::string& key, int64_t at)
{
    int64_t& last = Last.try_emplace(key, at).first->second;
    last = std::max(last, at);
}
