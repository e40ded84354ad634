#include "core/help/placement.h"

#include <algorithm>

namespace {
constexpr int kGap = 8;  // between the two windows' frames
}  // namespace

QRect HelpWindowPlace(const QRect& desktop, const QRect& owner, QSize window)
{
    const QSize size = window.boundedTo(desktop.size());
    const int roomRight = desktop.right() - owner.right() - kGap;
    const int roomLeft = owner.left() - desktop.left() - kGap;
    int left;
    if (roomRight >= size.width())
        left = owner.right() + 1 + kGap;
    else if (roomLeft >= size.width())
        left = owner.left() - kGap - size.width();
    else if (roomRight >= roomLeft)
        left = desktop.right() + 1 - size.width();
    else
        left = desktop.left();
    const int top = std::clamp(owner.top(), desktop.top(), desktop.bottom() + 1 - size.height());
    return {QPoint(left, top), size};
}
