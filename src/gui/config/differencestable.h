// The differences table of the compare dialog and the preview: path, left, right and what the row
// is; an identity place of the device in red, marked in its last column too.
#pragma once
#include "core/config/compareview.h"

#include <vector>

class QTableWidget;

// Sets the headings ("Path" and the two sides' names) and the rows.
void ShowDifferences(QTableWidget* table, const std::vector<TCompareRow>& rows, const char* left, const char* right);
// The rows of differences alone.
std::vector<TCompareRow> DifferenceRows(const std::vector<TConfigDifference>& differences);
