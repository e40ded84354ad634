// Rows of the device list box.
#include "gui/devices/devicelistmodel.h"

#include "core/devices/utils.h"

#include <QBrush>

#include <algorithm>
#include <utility>

TDeviceListModel::TDeviceListModel(const TDeviceRegistry& registry, QObject* parent)
    : QAbstractListModel(parent), Registry(registry)
{
}

void TDeviceListModel::ShowDeviceList()
{
    beginResetModel();
    Widest = -1;
    Mirror = true;
    MirrorRows = int(Registry.DeviceList().size());
    Rows.clear();
    Checks.assign(size_t(MirrorRows), 0);
    endResetModel();
}

void TDeviceListModel::ShowRows(std::vector<TDeviceRow> rows)
{
    beginResetModel();
    Widest = -1;
    Mirror = false;
    MirrorRows = 0;
    Rows = std::move(rows);
    Checks.assign(Rows.size(), 0);
    endResetModel();
}

void TDeviceListModel::Clear()
{
    ShowRows({});
}

int TDeviceListModel::RowCount() const
{
    return Mirror ? MirrorRows : int(Rows.size());
}

const std::string& TDeviceListModel::Line(int row) const
{
    static const std::string kNone;
    if (!ValidRow(row))
        return kNone;
    return Mirror ? Registry.DeviceList()[size_t(row)].Line : Rows[size_t(row)].Line;
}

TProduct* TDeviceListModel::Device(int row) const
{
    if (!ValidRow(row))
        return nullptr;
    return Mirror ? Registry.DeviceList()[size_t(row)].Device.get() : Rows[size_t(row)].Device;
}

bool TDeviceListModel::IsNew(int row) const
{
    return ValidRow(row) && IsNewDeviceRow(Registry, Line(row));
}

int TDeviceListModel::WidestLine() const
{
    if (Widest < 0) {
        Widest = 0;
        for (int row = 0; row < RowCount(); ++row)
            Widest = std::max(Widest, static_cast<int>(Utf8Length(Line(row))));
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
    const QModelIndex at = index(row);
    emit dataChanged(at, at, {Qt::CheckStateRole});
}

void TDeviceListModel::SetAllChecked(bool checked)
{
    if (Checks.empty())
        return;
    Checks.assign(Checks.size(), checked ? 1 : 0);
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
    case Qt::DisplayRole:
        return QString::fromStdString(Line(index.row()));
    case Qt::CheckStateRole:
        return IsChecked(index.row()) ? Qt::Checked : Qt::Unchecked;
    case Qt::ForegroundRole:
        // No answer: the list's own text colour.
        return IsNew(index.row()) ? QVariant::fromValue(QBrush(kNewDeviceColour)) : QVariant();
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
