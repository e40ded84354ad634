// What the device list shows: which rows the type filter keeps, the order of a column sort, which
// rows stand out as new devices, and the arithmetic of the check marks behind the All box. The
// window only collects its controls' state, asks here, and shows the answer.
#pragma once
#include "core/devices/registry.h"
#include "core/devices/sorting.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// One row of the list: a display line of DeviceList with its device.
struct TDeviceRow {
    std::string Line;
    TProduct* Device = nullptr;  // owned by DeviceList
};

// ---- Type filter ---------------------------------------------------------------------------------

// The rows kept by filter entry `choice` whose text is `type`. The first entry ("All devices") or
// no entry at all (choice < 0) keeps every row: no value, the view shows DeviceList as it stands.
// Any other entry keeps, in DeviceList's order, the devices whose TypeName equals `type` exactly,
// letter case counting.
std::optional<std::vector<TDeviceRow>> FilterRows(const std::vector<TDeviceEntry>& deviceList, int choice,
                                                  const std::string& type);

// ---- Search ----------------------------------------------------------------------------------------

// A text as the search compares it: UTF-16, case-folded, with the accents taken off the letters
// ("Teploměr" and "TEPLOMER" both give "teplomer"). Letters that carry no separable accent
// (such as "ł" or "ß") stay as they are, folded.
std::u16string SearchKey(const std::string& utf8);

// The text of the search field, prepared once for matching many devices.
class TDeviceSearch {
public:
    explicit TDeviceSearch(const std::string& text = "");
    bool Empty() const { return Needle.empty(); }
    // Whether the device's type name, name, MAC, address (the answering one or the configured
    // one) or firmware revision contains the text, letter case and accents ignored (SearchKey).
    // Empty text matches all.
    bool Matches(const TProductInfo& info) const;

private:
    std::u16string Needle;  // SearchKey of the text
};

// The rows kept by the type filter (as FilterRows) and then by the search text, in DeviceList's
// order. No value when neither narrows the view: it shows DeviceList as it stands.
std::optional<std::vector<TDeviceRow>> FilterRows(const std::vector<TDeviceEntry>& deviceList, int choice,
                                                  const std::string& type, const TDeviceSearch& search);

// Whether the filter box still needs an entry for this type name: not when one of its entries
// (the first, "All devices", included) has the same letters, letter case ignored.
bool NeedsFilterEntry(const std::vector<std::string>& entries, const std::string& type);

// ---- Column sort -----------------------------------------------------------------------------------

struct TSortClick {
    bool Sort = false;       // false: no devices, the click changes nothing
    bool Ascending = false;  // the shared direction after the click
};

// A click on any column of the list's header: with no devices nothing happens; otherwise the one
// direction all columns share turns round (the first click of a run sorts ascending).
TSortClick ColumnButtonClick(bool ascending, size_t deviceCount);

// Every line of DeviceList with its device, ordered by the column's comparator in the direction
// given. DeviceList itself keeps its order.
std::vector<TDeviceRow> SortedRows(const std::vector<TDeviceEntry>& deviceList, TDeviceComparator compare,
                                   bool ascending);

// ---- Cells ------------------------------------------------------------------------------------------

// The device's name as the row's display line holds it: a setup sent since changes the device's
// Name but not its line, and the row shows the line's fields until the next cycle. The line's
// other fields are the device's own type name, MAC, answering address and revision, which stay as
// they answered. A line that is not the device's gives the device's Name.
std::string FiledName(const std::string& line, const TProductInfo& info);

// ---- Row colours -----------------------------------------------------------------------------------

// A row stands out as a new device when the previous discovery listed devices and none of its
// lines is this row's line exactly (same letters, same case). The first cycle shows no new rows.
bool IsNewDeviceRow(const TDeviceRegistry& registry, const std::string& line);

// ---- Check marks and the All box ---------------------------------------------------------------

enum class TAllBoxState { Unchecked, Partial, Checked };

struct TCheckCount {
    int Count = 0;                             // checked rows
    TAllBoxState AllBox = TAllBoxState::Unchecked;
};

// The All box for `checked` of `rows` checked rows: unchecked at none, checked when every row is
// (an empty list reads as none), grayed in between.
TAllBoxState AllBoxState(int checked, int rows);

// One row's mark was toggled by the user and is now `nowChecked`: the count goes one up or one
// down, kept within 0 .. rows, and the All box follows it.
TCheckCount RowCheckToggled(int checked, bool nowChecked, int rows);

// The All box was clicked or set to `state`: the count that every row's mark now gives (all rows
// or none). A grayed box changes nothing (no value): only the row handler grays it.
std::optional<int> AllBoxChecks(TAllBoxState state, int rows);
