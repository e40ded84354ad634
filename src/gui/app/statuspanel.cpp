// The status-bar panel: a sunken one-pixel frame on the window colour and one line of text
// beside it, drawn without a text layout pass.
#include "gui/app/statuspanel.h"

#include <QBackingStore>
#include <QEvent>
#include <QPainter>
#include <QWindow>

TStatusPanel::TStatusPanel(int width, QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);  // paints every pixel: nothing behind it is painted
    setFixedWidth(width);                     // the height is what the status bar has room for
}

QSize TStatusPanel::sizeHint() const
{
    // The text between the two frame lines, as a framed label asks for.
    return {width(), fontMetrics().height() + 2};
}

void TStatusPanel::setText(const QString& text)
{
    if (text == Text)
        return;
    Text = text;
    update();
}

void TStatusPanel::ShowNow(const QString& text)
{
    if (text == Text && PaintedOk && text == Painted)
        return;  // already on the screen
    Text = text;
    if (!PaintAlone())
        repaint();
}

bool TStatusPanel::PaintAlone()
{
    // QWidget::repaint() would paint every part of the window that waits for painting, not
    // only this panel.
    QWidget* top = window();
    QWindow* handle = top->windowHandle();
    QBackingStore* store = top->backingStore();
    if (!isVisible() || !updatesEnabled() || !handle || !handle->isExposed() || !store || store->size().isEmpty())
        return false;
    const QPoint offset = mapTo(top, QPoint(0, 0));
    QRegion region = QRegion(QRect(offset, size())) & QRect(QPoint(0, 0), store->size());
    // Widgets stacked above the panel (the transfer progress bar) keep their pixels.
    for (QWidget* w = this; w != top; w = w->parentWidget()) {
        const QObjectList& siblings = w->parentWidget()->children();
        for (qsizetype i = siblings.indexOf(w) + 1; i < siblings.size(); ++i) {
            auto* above = qobject_cast<QWidget*>(siblings.at(i));
            if (above && !above->isWindow() && above->isVisible())
                region -= QRect(above->mapTo(top, QPoint(0, 0)), above->size());
        }
    }
    if (region.isEmpty())
        return true;
    store->beginPaint(region);
    {
        QPainter p(store->paintDevice());
        p.setClipRegion(region);
        p.translate(offset);
        Paint(p);
    }
    store->endPaint();
    store->flush(region, handle);
    return true;
}

void TStatusPanel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange
        || event->type() == QEvent::StyleChange)
        PaintedOk = false;
    QWidget::changeEvent(event);
}

void TStatusPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Paint(p);
}

void TStatusPanel::Paint(QPainter& p)
{
    const QRect r = rect();
    const QPalette& pal = palette();
    p.fillRect(r, pal.color(QPalette::Window));
    // Sunken: dark above and left, light below and right.
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), pal.color(QPalette::Dark));
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), pal.color(QPalette::Dark));
    p.fillRect(QRect(r.left() + 1, r.bottom(), r.width() - 1, 1), pal.color(QPalette::Light));
    p.fillRect(QRect(r.right(), r.top() + 1, 1, r.height() - 1), pal.color(QPalette::Light));

    // One line: a message holding line breaks shows them as blanks.
    QString line = Text;
    for (QChar& c : line)
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
    const QFontMetrics fm = fontMetrics();
    const QRect inside = r.adjusted(1, 1, -1, -1);
    p.setClipRect(inside, Qt::IntersectClip);
    p.setFont(font());  // a painter on the backing store does not take the panel's own
    p.setPen(pal.color(QPalette::WindowText));
    const int indent = fm.horizontalAdvance(QLatin1Char('x')) / 2;  // as a framed label
    const int baseline = inside.top() + (inside.height() - fm.height()) / 2 + fm.ascent();
    p.drawText(QPoint(inside.left() + indent, baseline), line);

    Painted = Text;
    PaintedOk = true;
}
