// Row drawing of the device list box.
#include "gui/devices/devicelistdelegate.h"

#include "gui/devices/devicelistmodel.h"

#include <QApplication>
#include <QPainter>

QColor DeviceRowTextColour(bool previousListEmpty, bool lineInPreviousList, const QColor& listColour)
{
    if (previousListEmpty || lineInPreviousList)
        return listColour;
    return kNewDeviceColour;
}

void TDeviceListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();

    // Same rectangle the base class uses to decide whether a click hit the check box.
    const QRect check = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, widget);
    painter->fillRect(QRect(opt.rect.left(), opt.rect.top(), check.right() + 2 - opt.rect.left(), opt.rect.height()),
                      opt.palette.base());
    QStyleOptionViewItem box(opt);
    box.rect = check;
    box.state = box.state & ~QStyle::State_HasFocus;
    box.state |= opt.checkState == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, widget);

    QRect text = opt.rect;
    text.setLeft(check.right() + 2);
    const bool highlighted = (opt.state & QStyle::State_Selected) != 0;
    if (OnDrawItem) {
        painter->save();
        OnDrawItem(painter, text, index.row(), highlighted);
        painter->restore();
        return;
    }
    painter->fillRect(text, highlighted ? kHighlightBackground : opt.palette.base().color());
    painter->setPen(highlighted ? kHighlightText : opt.palette.text().color());
    painter->drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, opt.text);
}

QSize TDeviceListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    // Every row has the same height and the width of the longest line (the font is fixed-pitch),
    // so the view can scroll to the end of any line while it measures only one row.
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    const int box = style->pixelMetric(QStyle::PM_IndicatorWidth, &option, widget) + 4;
    const auto* rows = qobject_cast<const TDeviceListModel*>(index.model());
    const int text = rows ? option.fontMetrics.horizontalAdvance(QLatin1Char('W')) * rows->WidestLine()
                          : option.fontMetrics.horizontalAdvance(index.data(Qt::DisplayRole).toString());
    return QSize(box + text + 4, kRowHeight);
}
