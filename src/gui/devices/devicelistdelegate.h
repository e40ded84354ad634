// Cell drawing of the device list: the check box of the first column is drawn here like the
// style draws it (so a click on it toggles the mark as usual); right of it, and in every other
// cell, the row's background and the cell's text, in the colours the scheme decides for what the
// row is (plain, a new device, in an address conflict, highlighted) on the list's palette. A text
// wider than its column is cut with an ellipsis; its tool tip holds it whole.
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
    // The whole text as a tool tip where the cell shows it cut, no tool tip where it shows it all.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    // The text as the cell at this place shows it: whole, or cut with an ellipsis.
    static QString ShownText(const QStyleOptionViewItem& option, const QModelIndex& index);

private:
    // Where the cell's text goes: right of the check box in the first column.
    static QRect TextRect(const QStyleOptionViewItem& option, const QModelIndex& index);
};

// What a row is, for its colours.
TColourRole DeviceRowRole(bool highlighted, bool isNew, bool inConflict);
