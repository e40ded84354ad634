// The rows of the device list box: each row is one display line with its device and a check
// mark. The rows either mirror DeviceList as it stands (read in place, so a refill after each
// answer costs nothing per row) or hold a reordered or narrowed copy made by a column sort or
// the type filter. Every refill leaves all check marks cleared. A row drawn as a new device
// carries its text colour (Qt::ForegroundRole); every other row, and every background, is in the
// list's own colours, and the highlight is the delegate's business.
#pragma once
#include "core/devices/listview.h"
#include "core/devices/registry.h"

#include <QAbstractListModel>
#include <QColor>

#include <cstdint>
#include <string>
#include <vector>

// Text colour of a device that the previous discovery did not list.
inline const QColor kNewDeviceColour{52, 120, 196};

class TDeviceListModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int DeviceRole = Qt::UserRole + 1;  // the row's TProduct* as quintptr

    explicit TDeviceListModel(const TDeviceRegistry& registry, QObject* parent = nullptr);

    // Refill with every line of DeviceList in list order.
    void ShowDeviceList();
    // Refill with these rows in this order (a sort or the type filter).
    void ShowRows(std::vector<TDeviceRow> rows);
    // No rows (the devices are about to go).
    void Clear();

    int RowCount() const;
    const std::string& Line(int row) const;
    TProduct* Device(int row) const;
    // The row stands out as a new device (its line is not in a non-empty PreviousList).
    bool IsNew(int row) const;

    // Characters in the longest shown line (worked out once per refill, when the view asks).
    int WidestLine() const;

    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);  // does not emit CheckToggled
    void SetAllChecked(bool checked);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // The user toggled a row's check mark through the view.
    void CheckToggled(int row, bool checked);

private:
    // In mirror mode DeviceList is read in place; a row past its current end (the list changed
    // and the refill has not come yet) reads as no row rather than out of bounds.
    bool ValidRow(int row) const
    {
        return row >= 0 && row < RowCount() && (!Mirror || size_t(row) < Registry.DeviceList().size());
    }

    const TDeviceRegistry& Registry;
    bool Mirror = true;     // rows are DeviceList itself
    int MirrorRows = 0;     // DeviceList's size at the last refill
    std::vector<TDeviceRow> Rows;
    std::vector<uint8_t> Checks;
    mutable int Widest = -1;  // -1: not yet worked out since the last refill
};
