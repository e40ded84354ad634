#include "gui/app/colourscheme.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOption>

namespace {
uint32_t Rgb(const QColor& c) { return c.rgb() & 0xFFFFFFu; }
}  // namespace

TSchemeColours ListColours(const QPalette& palette, TColourRole role)
{
    return SchemeColours({Rgb(palette.color(QPalette::Base)), Rgb(palette.color(QPalette::Text))}, role);
}

TSchemeColours FaceColours(const QPalette& palette, TColourRole role)
{
    return SchemeColours({Rgb(palette.color(QPalette::Window)), Rgb(palette.color(QPalette::WindowText))}, role);
}

void TSchemeStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const
{
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    if (element != PE_IndicatorCheckBox && element != PE_IndicatorItemViewItemCheck)
        return;
    const TSchemeColours frame = ListColours(option->palette, TColourRole::CheckBoxFrame);
    if (!frame.Own)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(SchemeColour(frame.Text));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
    painter->restore();
}

void DrawFocusMark(QPainter& painter, const QRect& rect, const QColor& colour)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(colour, 1, Qt::DotLine));
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    painter.restore();
}

void FollowColourScheme()
{
    if (qobject_cast<TSchemeStyle*>(QApplication::style()))
        return;
    QApplication::setStyle(new TSchemeStyle(QApplication::style()->name()));
}
