// Where the help window opens: beside the main window, so that the user reads the guide and
// works in the program at the same time.
#pragma once
#include <QRect>
#include <QSize>

// The help window's frame for a window of `window`'s size on `desktop`, with the main window's
// frame at `owner`. To the right of the owner when the desktop has room there, else to its
// left; the top edge level with the owner's, moved up as far as the bottom edge needs. When
// neither side has room, the window keeps to the desktop's edge on the roomier side and covers
// as little of the owner as it can. The result always lies inside the desktop: a window larger
// than the desktop is made the desktop's size.
QRect HelpWindowPlace(const QRect& desktop, const QRect& owner, QSize window);
