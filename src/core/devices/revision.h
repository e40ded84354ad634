// Firmware revisions compared as the devices number them: dot-separated decimal numbers.
#pragma once
#include <optional>
#include <string_view>

// -1, 0 or 1 as revision a is lower than, equal to or higher than b, number by number from the
// left, a missing number counting as 0 ("1.0" equals "1.0.0" and is lower than "1.0.1"; "2.9" is
// lower than "2.10"). Numbers of any length compare without overflow (leading zeros do not
// count). Nothing when either text is not made of such numbers only: empty, a part that is empty
// or holds anything but the digits 0-9 ("1.0b", "v2", "N/A", "1..2", " 1").
std::optional<int> CompareRevisions(std::string_view a, std::string_view b);

// Whether the revision after an upgrade is lower than the one before it; false when they cannot
// be compared.
bool IsOlderRevision(std::string_view before, std::string_view after);
