// Comparing firmware revisions number by number.
#include "core/devices/revision.h"

#include <algorithm>
#include <vector>

namespace {

// The numbers of a revision without their leading zeros, or nothing when it is not made of them.
std::optional<std::vector<std::string_view>> Numbers(std::string_view text)
{
    std::vector<std::string_view> numbers;
    size_t start = 0;
    for (;;) {
        const size_t dot = std::min(text.find('.', start), text.size());
        std::string_view part = text.substr(start, dot - start);
        if (part.empty() || !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        part.remove_prefix(std::min(part.find_first_not_of('0'), part.size()));
        numbers.push_back(part);
        if (dot == text.size())
            return numbers;
        start = dot + 1;
    }
}

// Two numbers' digits without leading zeros: the longer is the larger, else the first digit
// that differs decides.
int CompareNumbers(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    const int order = a.compare(b);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

}  // namespace

std::optional<int> CompareRevisions(std::string_view a, std::string_view b)
{
    const auto left = Numbers(a);
    const auto right = Numbers(b);
    if (!left || !right)
        return std::nullopt;
    const size_t count = std::max(left->size(), right->size());
    for (size_t k = 0; k < count; ++k) {
        const std::string_view x = k < left->size() ? (*left)[k] : std::string_view();
        const std::string_view y = k < right->size() ? (*right)[k] : std::string_view();
        if (const int order = CompareNumbers(x, y))
            return order;
    }
    return 0;
}

bool IsOlderRevision(std::string_view before, std::string_view after)
{
    return CompareRevisions(after, before) == -1;
}
