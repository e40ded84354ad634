// What the device list shows.
#include "core/devices/listview.h"

#include <QString>

#include <algorithm>

std::optional<std::vector<TDeviceRow>> FilterRows(const std::vector<TDeviceEntry>& deviceList, int choice,
                                                  const std::string& type)
{
    if (choice <= 0)
        return std::nullopt;
    std::vector<TDeviceRow> rows;
    for (const TDeviceEntry& entry : deviceList)
        if (entry.Device->Info.TypeName == type)  // letter case counts here
            rows.push_back({entry.Line, entry.Device.get()});
    return rows;
}

bool NeedsFilterEntry(const std::vector<std::string>& entries, const std::string& type)
{
    // The same comparison as a combo box's fixed-string search: Unicode case folding.
    const QString wanted = QString::fromStdString(type);
    return std::none_of(entries.begin(), entries.end(), [&](const std::string& entry) {
        return QString::fromStdString(entry).compare(wanted, Qt::CaseInsensitive) == 0;
    });
}

TSortClick ColumnButtonClick(bool ascending, size_t deviceCount)
{
    if (deviceCount == 0)
        return {false, ascending};
    return {true, !ascending};
}

std::vector<TDeviceRow> SortedRows(const std::vector<TDeviceEntry>& deviceList, TDeviceComparator compare,
                                   bool ascending)
{
    std::vector<TDeviceRow> rows;
    rows.reserve(deviceList.size());
    for (const TDeviceEntry& entry : deviceList)
        rows.push_back({entry.Line, entry.Device.get()});
    std::stable_sort(rows.begin(), rows.end(), [&](const TDeviceRow& a, const TDeviceRow& b) {
        return compare(a.Device->Info, b.Device->Info, ascending) < 0;
    });
    return rows;
}

bool IsNewDeviceRow(const TDeviceRegistry& registry, const std::string& line)
{
    return !registry.PreviousList().empty() && !registry.InPreviousList(line);
}

TAllBoxState AllBoxState(int checked, int rows)
{
    if (checked == 0)
        return TAllBoxState::Unchecked;
    if (checked == rows)
        return TAllBoxState::Checked;
    return TAllBoxState::Partial;
}

TCheckCount RowCheckToggled(int checked, bool nowChecked, int rows)
{
    const int count = std::clamp(checked + (nowChecked ? 1 : -1), 0, std::max(rows, 0));
    return {count, AllBoxState(count, rows)};
}

std::optional<int> AllBoxChecks(TAllBoxState state, int rows)
{
    switch (state) {
    case TAllBoxState::Partial:
        return std::nullopt;
    case TAllBoxState::Checked:
        return rows;
    case TAllBoxState::Unchecked:
        break;
    }
    return 0;
}
