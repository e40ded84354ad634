// The device list's column header.
#include "gui/devices/devicelistheader.h"

#include "gui/app/colourscheme.h"

#include <QKeyEvent>
#include <QPainter>

TDeviceListHeader::TDeviceListHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
{
    setObjectName(QStringLiteral("DeviceListHeader"));
    setFocusPolicy(Qt::TabFocus);
    setSectionsClickable(true);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setStretchLastSection(false);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void TDeviceListHeader::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods != Qt::NoModifier || count() == 0) {
        QHeaderView::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
        // In the order the sections stand, which the user may have changed.
        const int step = event->key() == Qt::Key_Left ? -1 : 1;
        const int at = std::clamp(visualIndex(Key) + step, 0, count() - 1);
        Key = logicalIndex(at);
        viewport()->update();
        return;
    }
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!event->isAutoRepeat())
            emit sectionClicked(Key);
        return;
    default:
        QHeaderView::keyPressEvent(event);
    }
}

void TDeviceListHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    QHeaderView::paintSection(painter, rect, logicalIndex);
    if (hasFocus() && logicalIndex == Key) {
        painter->save();
        DrawFocusMark(*painter, rect.adjusted(1, 1, -2, -2), palette().color(QPalette::ButtonText));
        painter->restore();
    }
}

void TDeviceListHeader::focusInEvent(QFocusEvent* event)
{
    QHeaderView::focusInEvent(event);
    viewport()->update();
}

void TDeviceListHeader::focusOutEvent(QFocusEvent* event)
{
    QHeaderView::focusOutEvent(event);
    viewport()->update();
}
