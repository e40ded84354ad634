// The status-bar panel: a sunken one-pixel frame on the window colour and one line of text
// beside it, drawn without a text layout pass.
#include "app/statuspanel.h"

#include <QEvent>
#include <QPainter>

TStatusPanel::TStatusPanel(int width, QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);  // paints every pixel: nothing behind it is painted
    setFixedSize(width, sizeHint().height());
}

QSize TStatusPanel::sizeHint() const
{
    // Frame, text height and a pixel of air: as high as a framed label of this font.
    return {width(), fontMetrics().height() + 4};
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
    repaint();
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
    p.setClipRect(inside);
    p.setPen(pal.color(QPalette::WindowText));
    const int indent = fm.horizontalAdvance(QLatin1Char('x')) / 2;  // as a framed label
    const int baseline = inside.top() + (inside.height() - fm.height()) / 2 + fm.ascent();
    p.drawText(QPoint(inside.left() + indent, baseline), line);

    Painted = Text;
    PaintedOk = true;
}
