// Row drawing of the device list box: the check box at the left edge is drawn here like the
// style draws it (so a click on it toggles the mark as usual); right of it the row's background
// and line, in the colours the model gives the row, or the highlight colours when the row is
// highlighted.
#pragma once
#include "gui/devices/devicelistmodel.h"

#include <QColor>
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

// A highlighted row: white on this blue, whatever colours the model gives the row.
inline const QColor kHighlightBackground{10, 95, 137};
inline const QColor kHighlightText{255, 255, 255};
