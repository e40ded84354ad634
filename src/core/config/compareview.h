// What the windows show of a compare: the rows of the differences table (with "Differences only"
// off, the values both documents hold alike too), the table as text for the clipboard, and the
// titles of the drift groups.
#pragma once
#include "core/config/compare.h"
#include "core/config/drift.h"

#include <string>
#include <vector>

struct TCompareRow {
    TConfigDifference Difference;  // Kind and values as the compare gives them
    bool Equal = false;            // a value both hold alike (Left and Right the same)
};

// The differences, and with `all` the values held alike too: each text and attribute of the
// left document that the right one holds at the same path with the same value, in the left
// document's order, before the differences.
std::vector<TCompareRow> CompareRows(const TConfigDocument& left, const TConfigDocument& right,
                                     const std::vector<TConfigDifference>& differences, bool all);

// The rows as tab-separated lines: a heading line, then path, left, right and what the row is
// ("changed", "only left", "only right" or "equal", with ", identity" at an identity place).
std::string CompareRowsText(const std::vector<TCompareRow>& rows);

// "34 match", "5 differ in /setup/snmp/community" (several paths joined by ", "),
// "1 could not be read".
std::string DriftGroupTitle(const TDriftGroup& group);
std::string UnreadableTitle(size_t count);
