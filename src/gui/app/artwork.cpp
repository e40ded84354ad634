// Pictures drawn with QPainter so that the program carries no image files of its own.
#include "gui/app/artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {
const QColor kBlue(10, 95, 137);
const QColor kOrange(232, 128, 32);

QPixmap Canvas(int w, int h)
{
    QPixmap pm(w, h);
    pm.fill(Qt::transparent);
    return pm;
}

void DrawFind(QPainter& p)
{
    p.setPen(QPen(kBlue, 2.2));
    p.setBrush(QColor(200, 230, 250));
    p.drawEllipse(QPointF(8, 8), 5.5, 5.5);
    p.setPen(QPen(QColor(90, 60, 30), 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(12.5, 12.5), QPointF(18, 18));
}

void DrawExit(QPainter& p)
{
    p.setPen(QPen(QColor(90, 60, 30), 1.2));
    p.setBrush(QColor(170, 120, 70));
    p.drawRect(QRectF(3, 2, 9, 16));
    p.setPen(QPen(QColor(200, 30, 30), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(9, 10), QPointF(18, 10));
    p.drawLine(QPointF(15, 7), QPointF(18, 10));
    p.drawLine(QPointF(15, 13), QPointF(18, 10));
}

void DrawHelp(QPainter& p)
{
    p.setPen(QPen(kBlue.darker(120), 1));
    p.setBrush(QColor(40, 120, 200));
    p.drawEllipse(QRectF(1.5, 1.5, 17, 17));
    QFont f = p.font();
    f.setPixelSize(14);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 0, 20, 20), Qt::AlignCenter, QStringLiteral("?"));
}

void DrawDevice(QPainter& p)
{
    p.setPen(QPen(Qt::darkGray, 1));
    p.setBrush(QColor(220, 220, 220));
    p.drawRoundedRect(QRectF(1.5, 6.5, 17, 8), 2, 2);
    p.setBrush(QColor(40, 200, 60));
    p.drawEllipse(QPointF(5, 10.5), 1.5, 1.5);
    p.setBrush(kOrange);
    p.drawEllipse(QPointF(9, 10.5), 1.5, 1.5);
}

void DrawUpgrade(QPainter& p)
{
    p.setPen(QPen(Qt::darkGray, 1));
    p.setBrush(QColor(60, 60, 70));
    p.drawRect(QRectF(4.5, 10.5, 11, 7));
    p.setPen(QPen(QColor(200, 200, 200), 1));
    for (int x = 6; x <= 14; x += 3) {
        p.drawLine(x, 18, x, 19);
        p.drawLine(x, 9, x, 10);
    }
    QPainterPath arrow;
    arrow.moveTo(10, 0.5);
    arrow.lineTo(16, 6.5);
    arrow.lineTo(12.5, 6.5);
    arrow.lineTo(12.5, 9);
    arrow.lineTo(7.5, 9);
    arrow.lineTo(7.5, 6.5);
    arrow.lineTo(4, 6.5);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(20, 110, 30), 1));
    p.setBrush(QColor(60, 190, 70));
    p.drawPath(arrow);
}

void DrawLog(QPainter& p)
{
    p.setPen(QPen(Qt::darkGray, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 1.5, 13, 17));
    p.setPen(QPen(kBlue, 1.2));
    for (int y = 5; y <= 15; y += 3)
        p.drawLine(QPointF(6, y), QPointF(14, y));
}

void DrawLanguage(QPainter& p)
{
    p.setPen(QPen(kBlue, 1.3));
    p.setBrush(QColor(150, 200, 240));
    p.drawEllipse(QRectF(1.5, 1.5, 17, 17));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(6, 1.5, 8, 17));
    p.drawLine(QPointF(10, 1.5), QPointF(10, 18.5));
    p.drawLine(QPointF(1.5, 10), QPointF(18.5, 10));
    p.drawLine(QPointF(3.5, 5.5), QPointF(16.5, 5.5));
    p.drawLine(QPointF(3.5, 14.5), QPointF(16.5, 14.5));
}

void DrawConfig(QPainter& p)
{
    QPainterPath gear;
    const QPointF c(10, 10);
    for (int i = 0; i < 16; ++i) {
        const double a = i * M_PI / 8;
        const double r = (i % 2) ? 6.2 : 9.0;
        const QPointF pt(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
        if (i == 0)
            gear.moveTo(pt);
        else
            gear.lineTo(pt);
    }
    gear.closeSubpath();
    gear.addEllipse(c, 2.8, 2.8);
    p.setPen(QPen(QColor(70, 70, 80), 1));
    p.setBrush(QColor(150, 150, 165));
    p.drawPath(gear);
}
} // namespace

QIcon ToolBarIcon(int index)
{
    QPixmap pm = Canvas(20, 20);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (index) {
    case 0: DrawFind(p); break;
    case 1: DrawExit(p); break;
    case 2: DrawHelp(p); break;
    case 3: DrawDevice(p); break;
    case 4: DrawUpgrade(p); break;
    case 5: DrawLog(p); break;
    case 6: DrawLanguage(p); break;
    case 7: DrawConfig(p); break;
    default: break;
    }
    p.end();
    return QIcon(pm);
}

QPixmap LinkPixmap()
{
    QPixmap pm = Canvas(24, 24);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(24.0 / 20.0, 24.0 / 20.0);
    DrawLanguage(p);
    p.end();
    return pm;
}

QPixmap LogoPixmap()
{
    QPixmap pm = Canvas(130, 136);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 136);
    g.setColorAt(0, QColor(20, 120, 170));
    g.setColorAt(1, kBlue.darker(130));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(2, 2, 126, 132), 14, 14);
    // A small network: one hub, four devices around it.
    const QPointF hub(65, 52);
    const QPointF nodes[] = {{30, 26}, {100, 26}, {30, 78}, {100, 78}};
    p.setPen(QPen(QColor(255, 255, 255, 200), 2.5));
    for (const QPointF& n : nodes)
        p.drawLine(hub, n);
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(kOrange);
    p.drawEllipse(hub, 12, 12);
    p.setBrush(QColor(230, 240, 250));
    for (const QPointF& n : nodes)
        p.drawRoundedRect(QRectF(n.x() - 9, n.y() - 6, 18, 12), 3, 3);
    QFont f = p.font();
    f.setPixelSize(24);
    f.setBold(true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 96, 130, 32), Qt::AlignCenter, QStringLiteral("ORVEX"));
    p.end();
    return pm;
}

QPixmap ProgramPicture()
{
    QPixmap pm = Canvas(111, 41);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 41);
    g.setColorAt(0, QColor(20, 120, 170));
    g.setColorAt(1, kBlue.darker(130));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1, 1, 109, 39), 6, 6);
    // The logo's network in small: a hub and two devices.
    p.setPen(QPen(QColor(255, 255, 255, 200), 1.5));
    p.drawLine(QPointF(20, 20), QPointF(9, 11));
    p.drawLine(QPointF(20, 20), QPointF(9, 30));
    p.setPen(QPen(Qt::white, 1.2));
    p.setBrush(kOrange);
    p.drawEllipse(QPointF(20, 20), 5.5, 5.5);
    p.setBrush(QColor(230, 240, 250));
    p.drawRoundedRect(QRectF(4, 8, 9, 6), 1.5, 1.5);
    p.drawRoundedRect(QRectF(4, 27, 9, 6), 1.5, 1.5);
    QFont f = p.font();
    f.setPixelSize(20);
    f.setBold(true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(30, 0, 78, 41), Qt::AlignCenter, QStringLiteral("PYXET"));
    p.end();
    return pm;
}

QIcon WindowIcon()
{
    QPixmap pm = Canvas(32, 32);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    p.setBrush(kOrange);
    p.drawEllipse(QPointF(16, 16), 7, 7);
    p.end();
    return QIcon(pm);
}
