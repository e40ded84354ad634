// The device list panel of the main window: the table of devices (one row a device of
// DeviceList, one column a field of DeviceColumns, the check mark in the first), its header that
// sorts, the All box, the search field, the type filter and the device counter. It keeps the
// rows, the check marks, the sort direction and the device shown; the window reacts to its
// signals (the details of the device shown, the list's empty area) and hands it each device a
// registration files.
#pragma once
#include "core/devices/listview.h"
#include "core/devices/registry.h"

#include <QObject>

#include <string>
#include <unordered_set>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;
class TDeviceListHeader;
class TDeviceListModel;

// The panel's controls, made by the window's form.
struct TDeviceListControls {
    QTableView* List = nullptr;  // DeviceListBox
    QCheckBox* AllChecked = nullptr;
    QLineEdit* Search = nullptr;  // teSearch
    QComboBox* Filter = nullptr;  // DeviceFilter
    QLabel* Counter = nullptr;    // DeviceCounter
};

class TDeviceListPanel : public QObject {
    Q_OBJECT
public:
    TDeviceListPanel(const TDeviceListControls& controls, const TDeviceRegistry& devices, QObject* parent);

    // ---- For the window and its other parts ------------------------------------------------------
    // The device whose details are shown; null when none (no row chosen yet this cycle).
    TProduct* ShownDevice() const { return Shown; }
    // The row that shows it, -1 when no row does.
    int ShownRow() const;
    // Highlights the row and shows its device (ShownDeviceChanged), as a click on it does.
    void SelectDevice(int row);
    // The devices of the checked rows, in the order shown.
    std::vector<TProduct*> CheckedDevices() const;
    bool AnyDeviceChecked() const { return CheckedCount > 0; }
    // The check marks of exactly these rows (rows shown) set; the All box follows.
    void CheckRows(const std::vector<int>& rows);
    // The rows shown, in their order, after taking in the lines still waiting to be shown.
    std::vector<TDeviceRow> Rows();
    // The rows shown as they stand (lines waiting on a long list not yet among them).
    std::vector<TDeviceRow> RowsNow() const;
    int RowCount() const;
    // What a running batch holds: every control that changes the rows, marks or selection.
    std::vector<QObject*> LockedControls() const;
    // The column widths in pixels, left to right; set from the settings (a list of another
    // length keeps the widths as they are).
    std::vector<int> ColumnWidths() const;
    void SetColumnWidths(const std::vector<int>& widths);
    // The user has sized a column, or the settings gave the widths.
    bool ColumnsSized() const { return Sized; }
    // The rows' model (the watch marks its rows through it).
    TDeviceListModel* Model() const { return DeviceRows; }
    // The keys act on the list.
    void FocusList();
    // The language changed: the header and the filter's own entries.
    void Retranslate();

    // ---- Steps of the discovery, called by the window ---------------------------------------------
    // The devices are about to be destroyed: no row and no device shown.
    void DevicesFreed();
    // A new cycle: no marks, the filter holds no entry and says "No devices", the counter 0.
    void Clear();
    // The list's part of a registration; true when the rows followed DeviceList before (they
    // then gained this one device). The cycle's first device adds "All devices" to the filter.
    bool TakeDevice(TProduct* device);
    // The device is the cycle's first.
    bool FirstOfCycle(const TProduct* device) const;

    // ---- Handlers of the panel's controls --------------------------------------------------------
    void DeviceListBoxClick();
    void DeviceListBoxClickCheck(int row);
    void AllCheckedClick();
    void DeviceFilterChange();
    void teSearchChange();
    // The header's sections.
    void btnTypeClick();
    void btnNameClick();
    void btnMACClick();
    void btnIPClick();
    void btnRevClick();
    // A click on the header's section of this column (DeviceColumns).
    void SortByColumn(int column);
    void SortDeviceView(TDeviceComparator compare);
    void UpdateDeviceCounter();

    // One direction shared by every column: the first sort of a run is ascending.
    bool SortAscending() const { return Ascending; }
    int CheckedRowCount() const { return CheckedCount; }

signals:
    // A row was highlighted (by the mouse, the keys, or SelectDevice): ShownDevice is its device.
    // A click on the row already shown reports it again, so that its details are shown anew.
    void ShownDeviceChanged(TProduct* device);
    // The rows shown changed (a registration, lines taken in, a sort, the filter, the search).
    void RowsChanged();
    // A sort, the filter or the search chose other rows (not a registration's one more row).
    void RowsChosen();

private:
    void Wire();
    void ShowAllBox();
    void ClearChecks();
    void ClearHighlight();
    void WaitingRowsShown();
    // The current cell stays in the first column: the row's check mark is what Space toggles.
    void KeepFirstColumn();

    TDeviceListControls Ui;
    const TDeviceRegistry& Devices;
    TDeviceListModel* DeviceRows = nullptr;
    TDeviceListHeader* Header = nullptr;
    TProduct* Shown = nullptr;   // SelectedDevice
    int CheckedCount = 0;        // checked rows shown; decides the All box
    bool Ascending = false;      // SortAscending
    bool SelectingDevice = false;  // SelectDevice highlights the row itself
    bool Sized = false;
    bool SettingWidths = false;
    std::unordered_set<std::string> FilterHasType;  // type names the filter box has this cycle
};
