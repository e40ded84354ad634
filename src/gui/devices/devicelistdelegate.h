// Row drawing of the device list box: the check box at the left edge is drawn here like the
// style draws it (so a click on it toggles the mark as usual); right of it the row's background
// and line, in the colours the scheme decides for what the row is (plain, a new device, in an
// address conflict, highlighted) on the list's palette.
#pragma once
#include "core/app/colours.h"
#include "gui/devices/devicelistmodel.h"

#include <QStyledItemDelegate>

class TDeviceListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 14;

    explicit TDeviceListDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Where the last painted line started, in viewport coordinates (-1 before the first paint):
    // the column buttons are placed over the fields of the line as it is really drawn.
    int LastLineLeft() const { return LineLeft; }

private:
    mutable int LineLeft = -1;
};

// What a row is, for its colours.
TColourRole DeviceRowRole(bool highlighted, bool isNew, bool inConflict);
