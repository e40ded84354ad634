// Row drawing of the device list box.
#include "gui/devices/devicelistdelegate.h"

#include "gui/app/colourscheme.h"

#include <QApplication>
#include <QPainter>

TColourRole DeviceRowRole(bool highlighted, bool isNew, bool inConflict)
{
    if (highlighted)
        return TColourRole::Highlight;
    if (inConflict)
        return isNew ? TColourRole::NewConflictRow : TColourRole::ConflictRow;
    return isNew ? TColourRole::NewDevice : TColourRole::Plain;
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
    box.palette = option.palette;  // the box keeps the list's colours, whatever the row's text colour
    box.state = box.state & ~QStyle::State_HasFocus;
    box.state |= opt.checkState == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, widget);

    QRect text = opt.rect;
    text.setLeft(check.right() + 2);
    LineLeft = text.left();
    const auto* rows = qobject_cast<const TDeviceListModel*>(index.model());
    const TSchemeColours colours =
        ListColours(option.palette, DeviceRowRole(opt.state & QStyle::State_Selected, rows && rows->IsNew(index.row()),
                                                  rows && rows->InIpConflict(index.row())));
    painter->save();
    painter->fillRect(text, SchemeColour(colours.Background));
    painter->setPen(SchemeColour(colours.Text));
    painter->setFont(opt.font);
    painter->drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, index.data(Qt::DisplayRole).toString());
    painter->restore();

    // The row the keys act on, while the list has the focus.
    if (opt.state & QStyle::State_HasFocus)
        DrawFocusMark(*painter, text, SchemeColour(colours.Text));
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
