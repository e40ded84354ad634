// Row drawing of the device list box.
#include "gui/devices/devicelistdelegate.h"

#include <QApplication>
#include <QPainter>

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
    box.palette = option.palette;  // the box keeps the list's colours, whatever the row's text colour
    box.state = box.state & ~QStyle::State_HasFocus;
    box.state |= opt.checkState == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, widget);

    // The row's colours as the model gives them (a colour the model leaves open is the list's
    // own); a highlighted row is white on the highlight colour.
    QRect text = opt.rect;
    text.setLeft(check.right() + 2);
    LineLeft = text.left();
    QBrush background = opt.backgroundBrush.style() != Qt::NoBrush ? opt.backgroundBrush : opt.palette.base();
    QColor pen = opt.palette.color(QPalette::Text);
    if (opt.state & QStyle::State_Selected) {
        background = kHighlightBackground;
        pen = kHighlightText;
    }
    painter->save();
    painter->fillRect(text, background);
    painter->setPen(pen);
    painter->setFont(opt.font);
    painter->drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, index.data(Qt::DisplayRole).toString());
    painter->restore();
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
