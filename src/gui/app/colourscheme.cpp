#include "gui/app/colourscheme.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include <optional>
#include <utility>

namespace {
uint32_t Rgb(const QColor& c) { return c.rgb() & 0xFFFFFFu; }

// The application's palette from before the program first set one of its own, kept for System.
std::optional<QPalette> g_desktopPalette;
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

QPalette DarkSchemePalette()
{
    QPalette p;
    const QColor window(0x35, 0x35, 0x35), base(0x24, 0x24, 0x24), text(0xEE, 0xEE, 0xEE);
    const QColor disabled(0x80, 0x80, 0x80);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Light, window.lighter(150));
    p.setColor(QPalette::Midlight, window.lighter(120));
    p.setColor(QPalette::Mid, window.darker(120));
    p.setColor(QPalette::Dark, window.darker(150));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::black);
    p.setColor(QPalette::Link, QColor(120, 170, 255));
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    return p;
}

QPalette LightSchemePalette() { return QApplication::style()->standardPalette(); }

void ApplyColourScheme(TColourScheme scheme)
{
    if (scheme == TColourScheme::System) {
        if (g_desktopPalette)
            QApplication::setPalette(*std::exchange(g_desktopPalette, std::nullopt));
        return;
    }
    if (!g_desktopPalette)
        g_desktopPalette = QGuiApplication::palette();
    QApplication::setPalette(scheme == TColourScheme::Dark ? DarkSchemePalette() : LightSchemePalette());
}
