// Row drawing of the device list box: the check box at the left edge is drawn here like the
// style draws it (so a click on it toggles the mark as usual); the rest of the row, background
// and line, is drawn by the window's DrawItem handler.
#pragma once
#include <QColor>
#include <QStyledItemDelegate>

#include <functional>

class TDeviceListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 14;

    explicit TDeviceListDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}

    // painter, the rectangle right of the check box, the row, whether it is highlighted.
    std::function<void(QPainter* painter, const QRect& rect, int row, bool highlighted)> OnDrawItem;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// Text colour of a row that is not highlighted: blue for a device the previous discovery did not
// list, once there was a previous discovery with devices; the list's own colour otherwise.
QColor DeviceRowTextColour(bool previousListEmpty, bool lineInPreviousList, const QColor& listColour);

inline const QColor kNewDeviceColour{52, 120, 196};
inline const QColor kHighlightBackground{10, 95, 137};
inline const QColor kHighlightText{255, 255, 255};
