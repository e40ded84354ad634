// Rows of the device list box.
#include "gui/devices/devicelistmodel.h"

#include "core/log/safetext.h"

#include <QBrush>

#include <algorithm>
#include <utility>

namespace {

// Characters of a line as the row shows it.
int ShownWidth(const std::string& line) { return static_cast<int>(SafeTextLength(line)); }

}  // namespace

TDeviceListModel::TDeviceListModel(const TDeviceRegistry& registry, QObject* parent)
    : QAbstractListModel(parent), Registry(registry)
{
    FollowTimer.setSingleShot(true);
    connect(&FollowTimer, &QTimer::timeout, this, &TDeviceListModel::ShowWaitingRows);
}

void TDeviceListModel::Refill(std::vector<TDeviceRow> rows, bool following)
{
    beginResetModel();
    FollowTimer.stop();
    Waiting.clear();
    Widest = -1;
    Following = following;
    Lines.clear();
    Lines.reserve(rows.size());
    Shown.clear();
    Shown.reserve(rows.size());
    for (TDeviceRow& row : rows)
        Shown.push_back(Keep(std::move(row)));
    Checks.assign(Shown.size(), 0);
    CheckedRows = 0;
    endResetModel();
    SinceShown.start();
}

TDeviceListModel::TShownRow TDeviceListModel::Keep(TDeviceRow row)
{
    Lines.push_back(std::move(row.Line));
    return {Lines.size() - 1, row.Device};
}

void TDeviceListModel::ShowDeviceList()
{
    std::vector<TDeviceRow> rows;
    rows.reserve(Registry.DeviceList().size());
    for (const TDeviceEntry& entry : Registry.DeviceList())
        rows.push_back({entry.Line, entry.Device.get()});
    Refill(std::move(rows), true);
}

void TDeviceListModel::FollowDeviceList(int filed)
{
    const std::vector<TDeviceEntry>& list = Registry.DeviceList();
    // Anything but one new line on top of what the rows follow (a sort, the filter, a new
    // cycle) is refilled whole.
    const size_t expected = Shown.size() + Waiting.size() + (filed >= 0 ? 1 : 0);
    if (!Following || list.size() != expected || size_t(filed + 1) > list.size()) {
        ShowDeviceList();
        return;
    }
    if (filed >= 0)
        Waiting.emplace_back(filed, Keep({list[size_t(filed)].Line, list[size_t(filed)].Device.get()}));
    if (Waiting.empty())
        return;
    const qint64 since = SinceShown.isValid() ? SinceShown.elapsed() : kFollowInterval;
    if (Shown.size() < size_t(kFollowAtOnce) || since >= kFollowInterval)
        ShowWaitingRows();
    else if (!FollowTimer.isActive())
        FollowTimer.start(int(kFollowInterval - since));
}

void TDeviceListModel::ShowWaitingRows()
{
    FollowTimer.stop();
    if (Waiting.empty())
        return;
    // In filing order: each position counts the lines filed before it.
    Inserting = true;
    for (const auto& [at, row] : Waiting) {
        beginInsertRows(QModelIndex(), at, at);
        if (Widest >= 0)
            Widest = std::max(Widest, ShownWidth(Lines[row.Line]));
        Shown.insert(Shown.begin() + at, row);
        Checks.insert(Checks.begin() + at, 0);
        endInsertRows();
    }
    Inserting = false;
    Waiting.clear();
    SinceShown.start();
    emit WaitingRowsShown();
}

void TDeviceListModel::ShowRows(std::vector<TDeviceRow> rows)
{
    Refill(std::move(rows), false);
}

void TDeviceListModel::Clear()
{
    ShowRows({});
}

void TDeviceListModel::ConflictsChanged()
{
    if (!Shown.empty())
        emit dataChanged(index(0), index(int(Shown.size()) - 1));
}

int TDeviceListModel::RowCount() const
{
    return int(Shown.size());
}

const std::string& TDeviceListModel::Line(int row) const
{
    static const std::string kNone;
    return ValidRow(row) ? Lines[Shown[size_t(row)].Line] : kNone;
}

TProduct* TDeviceListModel::Device(int row) const
{
    return ValidRow(row) ? Shown[size_t(row)].Device : nullptr;
}

std::vector<TDeviceRow> TDeviceListModel::Rows() const
{
    std::vector<TDeviceRow> rows;
    rows.reserve(Shown.size());
    for (const TShownRow& row : Shown)
        rows.push_back({Lines[row.Line], row.Device});
    return rows;
}

bool TDeviceListModel::IsNew(int row) const
{
    return ValidRow(row) && IsNewDeviceRow(Registry, Line(row));
}

bool TDeviceListModel::InIpConflict(int row) const
{
    return ValidRow(row) && Registry.IpConflicts().InConflict(Device(row));
}

int TDeviceListModel::WidestLine() const
{
    if (Widest < 0) {
        Widest = 0;
        for (const TShownRow& row : Shown)
            Widest = std::max(Widest, ShownWidth(Lines[row.Line]));
    }
    return Widest;
}

bool TDeviceListModel::IsChecked(int row) const
{
    return ValidRow(row) && Checks[size_t(row)] != 0;
}

void TDeviceListModel::SetChecked(int row, bool checked)
{
    if (!ValidRow(row) || (Checks[size_t(row)] != 0) == checked)
        return;
    Checks[size_t(row)] = checked ? 1 : 0;
    CheckedRows += checked ? 1 : -1;
    const QModelIndex at = index(row);
    emit dataChanged(at, at, {Qt::CheckStateRole});
}

void TDeviceListModel::SetAllChecked(bool checked)
{
    // Every registration clears the marks: when none is set, nothing is drawn again.
    if (CheckedRows == (checked ? int(Checks.size()) : 0))
        return;
    Checks.assign(Checks.size(), checked ? 1 : 0);
    CheckedRows = checked ? int(Checks.size()) : 0;
    emit dataChanged(index(0), index(int(Checks.size()) - 1), {Qt::CheckStateRole});
}

int TDeviceListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : RowCount();
}

QVariant TDeviceListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !ValidRow(index.row()))
        return {};
    switch (role) {
    case Qt::DisplayRole: return QString::fromStdString(SafeText(Line(index.row())));
    case Qt::CheckStateRole:
        return IsChecked(index.row()) ? Qt::Checked : Qt::Unchecked;
    case DeviceRole:
        return QVariant::fromValue(reinterpret_cast<quintptr>(Device(index.row())));
    default:
        return {};
    }
}

bool TDeviceListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || !ValidRow(index.row()))
        return false;
    const bool checked = value.toInt() == Qt::Checked;
    if (IsChecked(index.row()) == checked)
        return true;
    SetChecked(index.row(), checked);
    emit CheckToggled(index.row(), checked);
    return true;
}

Qt::ItemFlags TDeviceListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}
