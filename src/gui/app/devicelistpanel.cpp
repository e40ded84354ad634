// The device list panel: the table, its header, the check marks and the All box, the search
// field, the type filter and the counter.
#include "gui/app/devicelistpanel.h"

#include "gui/app/qtext.h"
#include "gui/devices/devicelistdelegate.h"
#include "gui/devices/devicelistheader.h"
#include "gui/devices/devicelistmodel.h"
#include "core/app/i18n.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QFont>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>

#include <algorithm>
#include <functional>
#include <optional>

namespace {

Qt::CheckState AllBoxCheckState(TAllBoxState state)
{
    switch (state) {
    case TAllBoxState::Partial:
        return Qt::PartiallyChecked;
    case TAllBoxState::Checked:
        return Qt::Checked;
    case TAllBoxState::Unchecked:
        break;
    }
    return Qt::Unchecked;
}

TAllBoxState AllBoxStateOf(Qt::CheckState state)
{
    switch (state) {
    case Qt::PartiallyChecked:
        return TAllBoxState::Partial;
    case Qt::Checked:
        return TAllBoxState::Checked;
    case Qt::Unchecked:
        break;
    }
    return TAllBoxState::Unchecked;
}

// Notes the shown device as a mouse press reaches the list, before the view handles it.
class TPressWatch : public QObject {
public:
    TPressWatch(QObject* parent, std::function<TProduct*()> shown) : QObject(parent), Shown(std::move(shown)) {}
    TProduct* Before = nullptr;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress)
            Before = Shown();
        return false;
    }

private:
    std::function<TProduct*()> Shown;
};

// The keys move from row to row, never from cell to cell. Before the list takes the focus from
// the keyboard or a key, gives it the shown device's row as its current row where it has none (a
// registration clears it), so that Down goes on from that device rather than from the top. The
// highlight is not touched.
class TRowKeys : public QObject {
public:
    TRowKeys(QTableView* list, std::function<int()> shownRow) : QObject(list), List(list), ShownRow(std::move(shownRow))
    {
        list->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Left || key == Qt::Key_Right)
                return true;
        }
        const bool fromKeys = event->type() == QEvent::KeyPress
                              || (event->type() == QEvent::FocusIn
                                  && static_cast<QFocusEvent*>(event)->reason() != Qt::MouseFocusReason);
        if (fromKeys && !List->currentIndex().isValid())
            if (const int row = ShownRow(); row >= 0)
                List->selectionModel()->setCurrentIndex(List->model()->index(row, 0), QItemSelectionModel::NoUpdate);
        return false;
    }

private:
    QTableView* List;
    std::function<int()> ShownRow;
};

}  // namespace

TDeviceListPanel::TDeviceListPanel(const TDeviceListControls& controls, const TDeviceRegistry& devices,
                                   QObject* parent)
    : QObject(parent), Ui(controls), Devices(devices)
{
    setObjectName(QStringLiteral("DeviceListPanel"));
    QTableView* list = Ui.List;
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setTabKeyNavigation(false);  // Tab leaves the list
    list->setShowGrid(false);
    list->setWordWrap(false);
    list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->verticalHeader()->hide();
    // One height for every row: the view lays 30,000 rows out without asking any of them.
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setMinimumSectionSize(1);
    list->verticalHeader()->setDefaultSectionSize(TDeviceListDelegate::kRowHeight);

    Header = new TDeviceListHeader(list);
    // The window's font, whole: a font of the header's own would take what it leaves open (the
    // weight, the pitch) from the rows' fixed font.
    QFont captions = list->window()->font();
    captions.setResolveMask(QFont::AllPropertiesResolved);
    Header->setFont(captions);
    Header->setAccessibleName(QStringLiteral("Device List Columns"));  // translated with the window's texts
    list->setHorizontalHeader(Header);
    DeviceRows = new TDeviceListModel(Devices, this);
    list->setItemDelegate(new TDeviceListDelegate(list));  // draws the rows in the model's colours
    list->setModel(DeviceRows);
    SettingWidths = true;
    for (size_t column = 0; column < DeviceColumns().size(); ++column)
        Header->resizeSection(int(column), DeviceColumns()[column].Width);
    SettingWidths = false;
    Wire();
}

void TDeviceListPanel::Wire()
{
    QTableView* list = Ui.List;
    // The highlight, not the focus rectangle, chooses the device: a mouse press moves the
    // current row before it selects it, the keyboard selects before it moves.
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!SelectingDevice)
            DeviceListBoxClick();
    });
    connect(list->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { KeepFirstColumn(); });
    // A press on the row that was highlighted already changes no selection: it shows the device
    // here, and edited fields go back to the device's values.
    auto* watch = new TPressWatch(this, [this] { return Shown; });
    list->viewport()->installEventFilter(watch);
    connect(list, &QAbstractItemView::pressed, this, [this, watch](const QModelIndex&) {
        if (Shown == watch->Before)
            DeviceListBoxClick();
    });
    new TRowKeys(list, [this] { return ShownRow(); });

    connect(DeviceRows, &TDeviceListModel::CheckToggled, this, [this](int row, bool) { DeviceListBoxClickCheck(row); });
    connect(DeviceRows, &TDeviceListModel::WaitingRowsShown, this, [this] { WaitingRowsShown(); });
    connect(Ui.AllChecked, &QCheckBox::stateChanged, this, [this] { AllCheckedClick(); });
    connect(Ui.Filter, &QComboBox::activated, this, [this] { DeviceFilterChange(); });
    connect(Ui.Search, &QLineEdit::textChanged, this, [this] { teSearchChange(); });
    connect(Header, &QHeaderView::sectionClicked, this, [this](int column) { SortByColumn(column); });
    connect(Header, &QHeaderView::sectionResized, this, [this] { Sized = Sized || !SettingWidths; });
}

void TDeviceListPanel::KeepFirstColumn()
{
    const QModelIndex current = Ui.List->currentIndex();
    if (current.isValid() && current.column() != 0)
        Ui.List->selectionModel()->setCurrentIndex(DeviceRows->index(current.row(), 0), QItemSelectionModel::NoUpdate);
}

std::vector<QObject*> TDeviceListPanel::LockedControls() const
{
    return {Ui.List, Header, Ui.AllChecked, Ui.Filter, Ui.Search};
}

std::vector<int> TDeviceListPanel::ColumnWidths() const
{
    std::vector<int> widths;
    for (int column = 0; column < Header->count(); ++column)
        widths.push_back(Header->sectionSize(column));
    return widths;
}

void TDeviceListPanel::SetColumnWidths(const std::vector<int>& widths)
{
    if (widths.size() != size_t(Header->count()))
        return;
    SettingWidths = true;
    for (size_t column = 0; column < widths.size(); ++column)
        Header->resizeSection(int(column), widths[column]);
    SettingWidths = false;
    Sized = true;
}

void TDeviceListPanel::FocusList()
{
    Ui.List->setFocus(Qt::OtherFocusReason);
}

void TDeviceListPanel::Retranslate()
{
    emit DeviceRows->headerDataChanged(Qt::Horizontal, 0, DeviceRows->columnCount() - 1);
    // The filter box's own texts are set by the discovery, after the window's texts were
    // recorded; its type names are device data and stay as they are.
    QComboBox* filter = Ui.Filter;
    if (!filter->placeholderText().isEmpty())
        filter->setPlaceholderText(Q(_("No devices")));
    if (filter->count() > 0)
        filter->setItemText(0, Q(_("All devices")));
}

int TDeviceListPanel::RowCount() const
{
    return DeviceRows->RowCount();
}

int TDeviceListPanel::ShownRow() const
{
    for (int row = 0; Shown && row < DeviceRows->RowCount(); ++row)
        if (DeviceRows->Device(row) == Shown)
            return row;
    return -1;
}

std::vector<TProduct*> TDeviceListPanel::CheckedDevices() const
{
    std::vector<TProduct*> devices;
    for (int row = 0; row < DeviceRows->RowCount(); ++row)
        if (DeviceRows->IsChecked(row))
            if (TProduct* device = DeviceRows->Device(row))
                devices.push_back(device);
    return devices;
}

std::vector<TDeviceRow> TDeviceListPanel::Rows()
{
    DeviceRows->ShowWaitingRows();
    return DeviceRows->Rows();
}

std::vector<TDeviceRow> TDeviceListPanel::RowsNow() const
{
    return DeviceRows->Rows();
}

void TDeviceListPanel::DevicesFreed()
{
    DeviceRows->Clear();
    Shown = nullptr;
}

void TDeviceListPanel::Clear()
{
    ClearChecks();
    Ui.Filter->clear();
    FilterHasType.clear();
    Ui.Filter->setPlaceholderText(Q(_("No devices")));
    Header->setSortIndicatorShown(false);
    UpdateDeviceCounter();
}

bool TDeviceListPanel::FirstOfCycle(const TProduct* device) const
{
    return Devices.DeviceList().size() == 1 && Devices.DeviceList().front().Device.get() == device;
}

bool TDeviceListPanel::TakeDevice(TProduct* device)
{
    // The rows take the new line in where DeviceList filed it, rather than being rebuilt, so a
    // registration costs the same however long the list is; the refill's other effects follow.
    const bool following = DeviceRows->FollowsDeviceList();
    DeviceRows->FollowDeviceList(Devices.LastFiledRow());
    if (!following)
        Header->setSortIndicatorShown(false);  // the sort's order is gone with the refill
    ClearHighlight();
    ClearChecks();
    if (Devices.IpConflicts().InConflict(device))
        DeviceRows->ConflictsChanged();  // its partners' rows change colour too
    if (FirstOfCycle(device)) {
        Ui.Filter->addItem(Q(_("All devices")));
        Ui.Filter->setCurrentIndex(0);
    }
    // A type name asked about once this cycle has its entry: most answers ask nothing more.
    if (FilterHasType.insert(device->Info.TypeName).second) {
        std::vector<std::string> entries;
        for (int i = 0; i < Ui.Filter->count(); ++i)
            entries.push_back(Ui.Filter->itemText(i).toStdString());
        if (NeedsFilterEntry(entries, device->Info.TypeName))
            Ui.Filter->addItem(Q(device->Info.TypeName));
    }
    UpdateDeviceCounter();
    emit RowsChanged();
    return following;
}

void TDeviceListPanel::WaitingRowsShown()
{
    // Lines that waited on a long list came in unchecked: the count of rows grew, the marks
    // set since the last registration stay.
    UpdateDeviceCounter();
    if (CheckedCount > 0)
        ShowAllBox();
    emit RowsChanged();
}

void TDeviceListPanel::ClearHighlight()
{
    QItemSelectionModel* selection = Ui.List->selectionModel();
    if (selection->hasSelection() || selection->currentIndex().isValid())
        selection->clear();  // no row highlighted: the selection handler finds none and does nothing
}

void TDeviceListPanel::UpdateDeviceCounter()
{
    Ui.Counter->setText(QString::number(DeviceRows->RowCount()));
}

void TDeviceListPanel::DeviceListBoxClick()
{
    // A highlighted row that moves down under a new line keeps its device, and the details (and
    // what the user is typing into them) stay as they are.
    if (DeviceRows->InsertingRows())
        return;
    const QModelIndexList highlighted = Ui.List->selectionModel()->selectedRows();
    if (highlighted.isEmpty())
        return;
    TProduct* device = DeviceRows->Device(highlighted.first().row());
    if (!device)
        return;
    Shown = device;
    emit ShownDeviceChanged(device);
}

void TDeviceListPanel::SelectDevice(int row)
{
    if (row < 0 || row >= DeviceRows->RowCount())
        return;
    SelectingDevice = true;
    Ui.List->setCurrentIndex(DeviceRows->index(row, 0));
    SelectingDevice = false;
    DeviceListBoxClick();
}

void TDeviceListPanel::ShowAllBox()
{
    Ui.AllChecked->setCheckState(AllBoxCheckState(AllBoxState(CheckedCount, DeviceRows->RowCount())));
}

void TDeviceListPanel::ClearChecks()
{
    CheckedCount = 0;
    // Setting a check box's state draws it again even when nothing changes; every answer clears
    // the marks, so only a change is set.
    if (Ui.AllChecked->checkState() != Qt::Unchecked)
        Ui.AllChecked->setCheckState(Qt::Unchecked);  // runs AllCheckedClick
    if (Ui.AllChecked->isTristate())
        Ui.AllChecked->setTristate(false);
    DeviceRows->ClearAllChecks();  // the rows the search hides too
}

void TDeviceListPanel::CheckRows(const std::vector<int>& rows)
{
    DeviceRows->ClearAllChecks();
    for (int row : rows)
        DeviceRows->SetChecked(row, true);
    CheckedCount = DeviceRows->CheckedRows();
    // Grayed between none and all, as after a row's click; checked or unchecked asks
    // AllCheckedClick for the marks the rows already have.
    ShowAllBox();
}

void TDeviceListPanel::DeviceListBoxClickCheck(int row)
{
    const TCheckCount checks = RowCheckToggled(CheckedCount, DeviceRows->IsChecked(row), DeviceRows->RowCount());
    CheckedCount = checks.Count;
    Ui.AllChecked->setCheckState(AllBoxCheckState(checks.AllBox));  // runs AllCheckedClick when it changes
}

void TDeviceListPanel::AllCheckedClick()
{
    const TAllBoxState state = AllBoxStateOf(Ui.AllChecked->checkState());
    const std::optional<int> checks = AllBoxChecks(state, DeviceRows->RowCount());
    if (!checks)
        return;
    // Only this panel ever grays the box; a click on a grayed box checks it, and from then on
    // clicks go between checked and unchecked.
    Ui.AllChecked->setTristate(false);
    CheckedCount = *checks;
    DeviceRows->SetAllChecked(state == TAllBoxState::Checked);
}

void TDeviceListPanel::DeviceFilterChange()
{
    QTableView* list = Ui.List;
    list->setUpdatesEnabled(false);
    // The rows shown are the filter's rows that match the search text.
    std::optional<std::vector<TDeviceRow>> rows =
        FilterRows(Devices.DeviceList(), Ui.Filter->currentIndex(), Ui.Filter->currentText().toStdString());
    if (rows)
        DeviceRows->ShowRows(std::move(*rows));
    else
        DeviceRows->ShowDeviceList();
    Header->setSortIndicatorShown(false);
    ClearChecks();
    emit RowsChanged();
    SelectDevice(0);
    UpdateDeviceCounter();
    emit RowsChosen();
    list->setUpdatesEnabled(true);
}

void TDeviceListPanel::teSearchChange()
{
    QTableView* list = Ui.List;
    list->setUpdatesEnabled(false);
    // No refill: the rows keep their order and marks, the search only hides some of them.
    DeviceRows->SetSearch(Ui.Search->text().toStdString());
    // The All box and the commands count the rows shown.
    CheckedCount = DeviceRows->CheckedRows();
    ShowAllBox();
    emit RowsChanged();
    // The device shown stays while its row is shown (its details, edits included, as they are);
    // when the search hides it, the first row shown is selected.
    if (const int row = ShownRow(); row >= 0) {
        SelectingDevice = true;
        list->setCurrentIndex(DeviceRows->index(row, 0));
        SelectingDevice = false;
    } else
        SelectDevice(0);
    UpdateDeviceCounter();
    emit RowsChosen();
    list->setUpdatesEnabled(true);
}

void TDeviceListPanel::btnTypeClick() { SortByColumn(0); }
void TDeviceListPanel::btnNameClick() { SortByColumn(1); }
void TDeviceListPanel::btnMACClick() { SortByColumn(2); }
void TDeviceListPanel::btnIPClick() { SortByColumn(3); }
void TDeviceListPanel::btnRevClick() { SortByColumn(4); }

void TDeviceListPanel::SortByColumn(int column)
{
    if (column < 0 || size_t(column) >= DeviceColumns().size())
        return;
    const TSortClick click = ColumnButtonClick(Ascending, Devices.DeviceList().size());
    if (!click.Sort) {
        Header->setSortIndicatorShown(false);
        return;
    }
    Ascending = click.Ascending;  // one direction for every column
    SortDeviceView(DeviceColumns()[size_t(column)].Compare);
    Header->setSortIndicator(column, Ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    Header->setSortIndicatorShown(true);
}

void TDeviceListPanel::SortDeviceView(TDeviceComparator compare)
{
    DeviceRows->ShowRows(SortedRows(Devices.DeviceList(), compare, Ascending));
    ClearChecks();
    emit RowsChanged();
    SelectDevice(0);
    // The sort shows every device again, also after a filter narrowed the view.
    UpdateDeviceCounter();
    emit RowsChosen();
}
