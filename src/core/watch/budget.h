// The request budget of a watch: however often the user presses Find Devices and however short
// the interval, a family's discovery request leaves an interface at most once in
// kWatchSpacingMs (its [Discovery] Repeat copies count as one), and a unit found by unicast is
// asked at most once in that time. A request asked for sooner goes out once its time has come.
#pragma once
#include <cstdint>
#include <map>
#include <string>

constexpr int64_t kWatchSpacingMs = 5000;
// [Watch] Seconds: the interval between rounds.
constexpr int kWatchDefaultSeconds = 30;
constexpr int kWatchMinSeconds = 5;
constexpr int kWatchMaxSeconds = 3600;

// A key per budget: a family's requests on one interface, or one unicast unit.
std::string BroadcastBudgetKey(const std::string& family, const std::string& interfaceName);
std::string UnicastBudgetKey(const std::string& address);

class TRequestBudget {
public:
    // When a request of `key` may go out, at `now` or later (ms).
    int64_t NextAllowed(const std::string& key, int64_t now) const;
    // Records a request of `key` sent at `now`; false (nothing recorded) when it is too soon.
    bool Take(const std::string& key, int64_t now);
    // Records that a request of `key` went out at `at` at the latest (an answer to it came then),
    // when that is later than what was recorded.
    void Note(const std::string& key, int64_t at);
    // Forgets what was sent (the watch switched off).
    void Clear() { Last.clear(); }

private:
    std::map<std::string, int64_t> Last;
};
