// Rows of the device list box.
#include "gui/devices/devicelistmodel.h"

#include "core/app/i18n.h"
#include "core/log/safetext.h"

#include "core/log/format.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <utility>

namespace {

// The Last Seen cell: "Missing" for an expected unit never heard, the local time of its last
// answer otherwise (the log's form).
QString LastSeenText(const TRowWatch& watch)
{
    if (watch.Missing)
        return QString::fromUtf8(_("Missing"));
    if (watch.LastSeen <= 0)
        return {};
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(watch.LastSeen).toLocalTime();
    const QLocale locale;
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ')
           + locale.toString(when.time(), QStringLiteral("HH:mm:ss"));
}

}  // namespace

const std::vector<TDeviceColumn>& DeviceColumns()
{
    static const std::vector<TDeviceColumn> columns = {
        {"Type", [](const std::string&, const TProductInfo& info) { return info.TypeName; }, CompareType, 130},
        {"Name", FiledName, CompareName, 190},
        {"MAC", [](const std::string&, const TProductInfo& info) { return info.MAC; }, CompareMac, 125},
        {"IP", [](const std::string&, const TProductInfo& info) { return info.PeerIP; }, CompareIp, 105},
        {"Firmware Rev.", [](const std::string&, const TProductInfo& info) { return info.FirmwareRev; }, CompareRev,
         100},
    };
    return columns;
}

TDeviceListModel::TDeviceListModel(const TDeviceRegistry& registry, QObject* parent)
    : QAbstractTableModel(parent), Registry(registry)
{
    FollowTimer.setSingleShot(true);
    connect(&FollowTimer, &QTimer::timeout, this, &TDeviceListModel::ShowWaitingRows);
}

void TDeviceListModel::Refill(std::vector<TDeviceRow> rows, bool following)
{
    beginResetModel();
    FollowTimer.stop();
    Waiting.clear();
    Following = following;
    Lines.clear();
    Lines.reserve(rows.size());
    View.clear();
    View.reserve(rows.size());
    for (TDeviceRow& row : rows)
        View.push_back(Keep(std::move(row)));
    Checks.assign(View.size(), 0);
    CheckedAll = 0;
    Narrow();
    endResetModel();
    SinceShown.start();
}

void TDeviceListModel::Narrow()
{
    Matched.clear();
    CheckedShown = CheckedAll;
    if (!Searching())
        return;
    CheckedShown = 0;
    for (size_t i = 0; i < View.size(); ++i)
        if (Search.Matches(View[i].Device->Info)) {
            Matched.push_back(i);
            CheckedShown += Checks[i];
        }
}

void TDeviceListModel::SetSearch(const std::string& text)
{
    TDeviceSearch search(text);
    // Only the rows shown change: no layout and no lookup when neither search narrows.
    if (search.Empty() && !Searching())
        return;
    beginResetModel();
    Search = std::move(search);
    Narrow();
    MissingShown = MissingMatches();
    endResetModel();
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
    const size_t expected = View.size() + Waiting.size() + (filed >= 0 ? 1 : 0);
    if (!Following || list.size() != expected || size_t(filed + 1) > list.size()) {
        ShowDeviceList();
        return;
    }
    if (filed >= 0)
        Waiting.emplace_back(filed, Keep({list[size_t(filed)].Line, list[size_t(filed)].Device.get()}));
    if (Waiting.empty())
        return;
    const qint64 since = SinceShown.isValid() ? SinceShown.elapsed() : kFollowInterval;
    if (View.size() < size_t(kFollowAtOnce) || since >= kFollowInterval)
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
        if (!Searching()) {
            beginInsertRows(QModelIndex(), at, at);
            View.insert(View.begin() + at, row);
            Checks.insert(Checks.begin() + at, 0);
            endInsertRows();
            continue;
        }
        // The rows shown after it stand one further down the view; it is shown among them when
        // it matches.
        const auto after = std::lower_bound(Matched.begin(), Matched.end(), size_t(at));
        const int shownAt = int(after - Matched.begin());
        const bool shown = MatchesSearch(row);
        if (shown)
            beginInsertRows(QModelIndex(), shownAt, shownAt);
        for (auto i = after; i != Matched.end(); ++i)
            ++*i;
        View.insert(View.begin() + at, row);
        Checks.insert(Checks.begin() + at, 0);
        if (shown) {
            Matched.insert(Matched.begin() + shownAt, size_t(at));
            endInsertRows();
        }
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
    if (RowCount() > 0)
        emit dataChanged(index(0, 0), index(RowCount() - 1, columnCount() - 1));
}

int TDeviceListModel::RowCount() const
{
    return int(Searching() ? Matched.size() : View.size());
}

const std::string& TDeviceListModel::Line(int row) const
{
    static const std::string kNone;
    return ValidRow(row) ? Lines[View[At(row)].Line] : kNone;
}

TProduct* TDeviceListModel::Device(int row) const
{
    return ValidRow(row) ? View[At(row)].Device : nullptr;
}

std::vector<TDeviceRow> TDeviceListModel::Rows() const
{
    std::vector<TDeviceRow> rows;
    rows.reserve(size_t(RowCount()));
    for (int row = 0; row < RowCount(); ++row)
        rows.push_back({Line(row), Device(row)});
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

bool TDeviceListModel::IsChecked(int row) const
{
    return ValidRow(row) && Checks[At(row)] != 0;
}

void TDeviceListModel::SetChecked(int row, bool checked)
{
    if (!ValidRow(row) || (Checks[At(row)] != 0) == checked || (checked && IsGone(row)))
        return;
    Checks[At(row)] = checked ? 1 : 0;
    CheckedShown += checked ? 1 : -1;
    CheckedAll += checked ? 1 : -1;
    const QModelIndex at = index(row, 0);
    emit dataChanged(at, at, {Qt::CheckStateRole});
}

void TDeviceListModel::SetAllChecked(bool checked)
{
    if (checked && Watching()) {
        // Gone rows take no mark: each row on its own.
        for (int row = 0; row < RowCount(); ++row)
            SetChecked(row, !IsGone(row));
        return;
    }
    // Every registration clears the marks: when none is set, nothing is drawn again.
    const int rows = RowCount();
    if (CheckedShown == (checked ? rows : 0))
        return;
    if (!Searching()) {
        Checks.assign(Checks.size(), checked ? 1 : 0);
        CheckedAll = checked ? rows : 0;
    } else {
        for (const size_t at : Matched) {
            CheckedAll += int(checked) - int(Checks[at]);
            Checks[at] = checked ? 1 : 0;
        }
    }
    CheckedShown = checked ? rows : 0;
    emit dataChanged(index(0, 0), index(rows - 1, 0), {Qt::CheckStateRole});
}

void TDeviceListModel::ClearAllChecks()
{
    if (CheckedAll == 0)
        return;
    const bool drawn = CheckedShown > 0;
    Checks.assign(Checks.size(), 0);
    CheckedAll = 0;
    CheckedShown = 0;
    if (drawn)
        emit dataChanged(index(0, 0), index(RowCount() - 1, 0), {Qt::CheckStateRole});
}

void TDeviceListModel::SetWatch(TWatchLookup lookup)
{
    const bool was = Watching();
    const int column = int(DeviceColumns().size());
    if (!was && lookup) {
        beginInsertColumns(QModelIndex(), column, column);
        Watch = std::move(lookup);
        endInsertColumns();
    } else if (was && !lookup) {
        beginRemoveColumns(QModelIndex(), column, column);
        Watch = nullptr;
        endRemoveColumns();
    } else {
        Watch = std::move(lookup);
    }
    WatchChanged();
}

TRowWatch TDeviceListModel::RowWatch(int row) const
{
    if (MissingAt(row)) {
        TRowWatch missing;
        missing.Missing = true;
        return missing;
    }
    if (!Watching() || !ValidRow(row) || !Device(row))
        return {};
    return Watch(*Device(row));
}

bool TDeviceListModel::IsGone(int row) const
{
    const TRowWatch watch = RowWatch(row);
    return watch.Gone || watch.Missing;
}

void TDeviceListModel::WatchChanged()
{
    for (size_t at = 0; at < View.size(); ++at) {
        if (!Checks[at] || !Watching())
            continue;
        const TRowWatch watch = Watch(*View[at].Device);
        if (!watch.Gone && !watch.Missing)
            continue;
        Checks[at] = 0;
        --CheckedAll;
    }
    Narrow();
    if (RowCount() > 0)
        emit dataChanged(index(0, 0), index(RowCount() - 1, columnCount() - 1));
}

void TDeviceListModel::DeviceRefiled(const TProduct* device, int filed)
{
    const auto found = std::find_if(View.begin(), View.end(), [device](const TShownRow& r) { return r.Device == device; });
    if (found == View.end())
        return;
    const size_t from = size_t(found - View.begin());
    const std::vector<TDeviceEntry>& list = Registry.DeviceList();
    if (filed < 0 || size_t(filed) >= list.size() || list[size_t(filed)].Device.get() != device)
        return;
    Lines[found->Line] = list[size_t(filed)].Line;
    const size_t to = size_t(filed);
    if (!Following || from == to || Searching() || !Waiting.empty()) {
        if (Following && from != to) {
            // Searching, or lines waiting: the rows are laid out again, marks kept.
            beginResetModel();
            const TShownRow row = View[from];
            const uint8_t mark = Checks[from];
            View.erase(View.begin() + long(from));
            Checks.erase(Checks.begin() + long(from));
            View.insert(View.begin() + long(std::min(to, View.size())), row);
            Checks.insert(Checks.begin() + long(std::min(to, Checks.size())), mark);
            Narrow();
            endResetModel();
            return;
        }
        for (int row = 0; row < RowCount(); ++row)
            if (At(row) == from)
                emit dataChanged(index(row, 0), index(row, columnCount() - 1));
        return;
    }
    // One row moves: the view keeps the selection and the other rows.
    beginMoveRows(QModelIndex(), int(from), int(from), QModelIndex(), int(to > from ? to + 1 : to));
    const TShownRow row = View[from];
    const uint8_t mark = Checks[from];
    View.erase(View.begin() + long(from));
    Checks.erase(Checks.begin() + long(from));
    View.insert(View.begin() + long(to), row);
    Checks.insert(Checks.begin() + long(to), mark);
    endMoveRows();
    emit dataChanged(index(int(to), 0), index(int(to), columnCount() - 1));
}

int TDeviceListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : RowCount() + MissingRows();
}

int TDeviceListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(DeviceColumns().size()) + (Watching() ? 1 : 0);
}

QVariant TDeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
        return {};
    if (section == LastSeenColumn())
        return QString::fromUtf8(_("Last Seen"));
    return QString::fromUtf8(_(DeviceColumns()[size_t(section)].Caption));
}

QString TDeviceListModel::CellText(int row, int column) const
{
    const TMissingRow* missing = MissingAt(row);
    if ((!ValidRow(row) && !missing) || column < 0 || column >= columnCount())
        return {};
    if (column == LastSeenColumn())
        return LastSeenText(RowWatch(row));
    const std::string& line = missing ? missing->Line : Lines[View[At(row)].Line];
    const TProduct& device = missing ? *missing->Device : *View[At(row)].Device;
    return QString::fromStdString(SafeText(DeviceColumns()[size_t(column)].Text(line, device.Info)));
}

void TDeviceListModel::SetMissingRows(const std::vector<TProduct*>& devices)
{
    // The rows after the registry's go, the new ones come: the rows above keep their places,
    // the selection and the marks.
    const int first = RowCount();
    if (!MissingShown.empty()) {
        beginRemoveRows(QModelIndex(), first, first + MissingRows() - 1);
        MissingShown.clear();
        endRemoveRows();
    }
    Missing.clear();
    Missing.reserve(devices.size());
    for (TProduct* device : devices)
        Missing.push_back({device, TDeviceRegistry::DisplayLine(device->Info)});
    std::vector<size_t> shown = MissingMatches();
    if (shown.empty())
        return;
    beginInsertRows(QModelIndex(), first, first + int(shown.size()) - 1);
    MissingShown = std::move(shown);
    endInsertRows();
}

std::vector<size_t> TDeviceListModel::MissingMatches() const
{
    std::vector<size_t> shown;
    for (size_t i = 0; i < Missing.size(); ++i)
        if (!Searching() || Search.Matches(Missing[i].Device->Info))
            shown.push_back(i);
    return shown;
}

const TDeviceListModel::TMissingRow* TDeviceListModel::MissingAt(int row) const
{
    const int at = row - RowCount();
    return at >= 0 && at < MissingRows() ? &Missing[MissingShown[size_t(at)]] : nullptr;
}

TProduct* TDeviceListModel::MissingDevice(int row) const
{
    const TMissingRow* missing = MissingAt(row);
    return missing ? missing->Device : nullptr;
}

QVariant TDeviceListModel::MissingData(const TMissingRow& missing, const QModelIndex& index, int role) const
{
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: return CellText(index.row(), column);
    case LineRole: return QString::fromStdString(SafeText(missing.Line));
    case Qt::CheckStateRole: return column == 0 ? QVariant(Qt::Unchecked) : QVariant();
    case DeviceRole: return QVariant::fromValue(reinterpret_cast<quintptr>(missing.Device));
    default: return {};
    }
}

QVariant TDeviceListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    if (const TMissingRow* missing = MissingAt(index.row()))
        return MissingData(*missing, index, role);
    if (!ValidRow(index.row()))
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:  // a screen reader reads the whole text of each cell
        return CellText(index.row(), index.column());
    case LineRole: return QString::fromStdString(SafeText(Line(index.row())));
    case Qt::CheckStateRole:
        if (index.column() != 0)
            return {};
        return IsChecked(index.row()) ? Qt::Checked : Qt::Unchecked;
    case DeviceRole:
        return QVariant::fromValue(reinterpret_cast<quintptr>(Device(index.row())));
    case Qt::ToolTipRole: {
        const TRowWatch watch = RowWatch(index.row());
        if (watch.Gone && watch.LastSeen > 0)
            return QString::fromStdString(Format(_("Last seen %s"), LastSeenText(watch).toStdString().c_str()));
        if (!watch.Missing && !watch.Note.empty())
            return QString::fromStdString(SafeText(watch.Note));
        return {};
    }
    default:
        return {};
    }
}

bool TDeviceListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0 || !ValidRow(index.row()))
        return false;
    if (IsGone(index.row()))
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
    if (MissingAt(index.row()))
        return Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;  // nothing to highlight, check or show
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    return index.column() == 0 && !IsGone(index.row()) ? flags | Qt::ItemIsUserCheckable : flags;
}
