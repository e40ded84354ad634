// The windows' side of the colour decisions of core/app/colours.h: a Qt palette's colours in,
// QColors out, and a style that frames the check boxes where the scheme asks for it.
#pragma once
#include "core/app/colours.h"
#include "core/app/settings.h"

#include <QColor>
#include <QPalette>
#include <QProxyStyle>
#include <QRect>

class QPainter;

inline QColor SchemeColour(uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb) | 0xFF000000u); }

// The colours of `role` in a list or a field drawn with `palette` (its Base and Text).
TSchemeColours ListColours(const QPalette& palette, TColourRole role);
// The colours of `role` on the window face of `palette` (its Window and WindowText): the tool
// bar, the column buttons, the device picture.
TSchemeColours FaceColours(const QPalette& palette, TColourRole role);

// The mark of the row or link the keys act on: a dotted frame just inside `rect`, in `colour`
// (the text colour of what it surrounds, so that it shows on any background of the scheme).
void DrawFocusMark(QPainter& painter, const QRect& rect, const QColor& colour);

// The application's style with one addition: an empty check box (of a check box or a list row)
// gets the frame the scheme decides, where the style's own frame would vanish in a dark window.
class TSchemeStyle : public QProxyStyle {
    Q_OBJECT
public:
    using QProxyStyle::QProxyStyle;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

// Puts TSchemeStyle over the application's style (once; later calls change nothing).
void FollowColourScheme();

// The program's own dark palette: light text on dark grey, as a dark desktop theme gives it.
QPalette DarkSchemePalette();
// The program's own light palette: the style's standard one.
QPalette LightSchemePalette();

// Puts the scheme's palette on the application: System gives back the palette the application
// had before the program first chose one (the desktop's, which then follows the desktop again);
// Light and Dark set the program's own. Every window follows its palette change.
void ApplyColourScheme(TColourScheme scheme);
