// Cell drawing of the device list.
#include "gui/devices/devicelistdelegate.h"

#include "gui/app/colourscheme.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace {

constexpr int kTextMargin = 2;  // between a cell's edge (or the check box) and its text

QStyle* StyleOf(const QStyleOptionViewItem& option)
{
    return option.widget ? option.widget->style() : QApplication::style();
}

// The check box's place in a first-column cell, as the view decides whether a click hit it.
QRect CheckRect(const QStyleOptionViewItem& option)
{
    return StyleOf(option)->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, option.widget);
}

}  // namespace

TColourRole DeviceRowRole(bool highlighted, bool isNew, bool inConflict)
{
    if (highlighted)
        return TColourRole::Highlight;
    if (inConflict)
        return isNew ? TColourRole::NewConflictRow : TColourRole::ConflictRow;
    return isNew ? TColourRole::NewDevice : TColourRole::Plain;
}

QRect TDeviceListDelegate::TextRect(const QStyleOptionViewItem& option, const QModelIndex& index)
{
    QRect text = option.rect.adjusted(kTextMargin, 0, -kTextMargin, 0);
    if (index.column() == 0) {
        QStyleOptionViewItem box(option);
        box.features |= QStyleOptionViewItem::HasCheckIndicator;
        text.setLeft(CheckRect(box).right() + kTextMargin);
    }
    return text;
}

QString TDeviceListDelegate::ShownText(const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const QString text = index.data(Qt::DisplayRole).toString();
    const int width = TextRect(option, index).width();
    // Most cells hold short texts: one that fits even in the font's widest glyphs needs no
    // measuring, which would shape it once more before it is drawn.
    const QFontMetrics metrics(option.font);
    if (qsizetype(metrics.maxWidth()) * text.size() <= width)
        return text;
    return metrics.elidedText(text, Qt::ElideRight, width);
}

void TDeviceListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QWidget* widget = opt.widget;
    QStyle* style = StyleOf(opt);

    const auto* rows = qobject_cast<const TDeviceListModel*>(index.model());
    const TSchemeColours colours =
        ListColours(option.palette, DeviceRowRole(opt.state & QStyle::State_Selected, rows && rows->IsNew(index.row()),
                                                  rows && rows->InIpConflict(index.row())));
    const QRect text = TextRect(opt, index);
    QRect row = opt.rect;
    if (index.column() == 0) {
        // The box keeps the list's colours, whatever the row's.
        const QRect check = CheckRect(opt);
        painter->fillRect(QRect(opt.rect.left(), opt.rect.top(), text.left() - opt.rect.left(), opt.rect.height()),
                          opt.palette.base());
        QStyleOptionViewItem box(opt);
        box.rect = check;
        box.palette = option.palette;
        box.state = box.state & ~QStyle::State_HasFocus;
        box.state |= opt.checkState == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
        style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, widget);
        row.setLeft(text.left());
    }
    // A unit gone or missing from a watched site: grey and italic, whatever its other colours.
    const bool gone = rows && rows->IsGone(index.row());
    painter->save();
    painter->fillRect(row, SchemeColour(colours.Background));
    painter->setPen(gone ? option.palette.color(QPalette::Disabled, QPalette::Text) : SchemeColour(colours.Text));
    QFont font = opt.font;
    font.setItalic(gone);
    painter->setFont(font);
    painter->drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, ShownText(opt, index));
    painter->restore();

    // The row the keys act on, while the list has the focus.
    if (opt.state & QStyle::State_HasFocus)
        DrawFocusMark(*painter, row, SchemeColour(colours.Text));
}

QSize TDeviceListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    // Every row has the same height; a column's width is the header's, not the text's.
    return QSize(option.fontMetrics.horizontalAdvance(index.data(Qt::DisplayRole).toString()) + 2 * kTextMargin,
                 kRowHeight);
}

bool TDeviceListDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                    const QModelIndex& index)
{
    if (!event || !view || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString whole = index.data(Qt::DisplayRole).toString();
    // A watched unit's own tip (when it was last seen, the site's note) comes first.
    const QString tip = index.data(Qt::ToolTipRole).toString();
    if (!tip.isEmpty()) {
        QToolTip::showText(event->globalPos(), ShownText(option, index) == whole ? tip : whole + QLatin1Char('\n') + tip,
                           view, option.rect);
        return true;
    }
    if (ShownText(option, index) == whole) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(event->globalPos(), whole, view, option.rect);
    return true;
}
