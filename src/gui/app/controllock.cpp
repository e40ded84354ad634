// TControlLock: records the enabled states of its controls and gives them back.
#include "gui/app/controllock.h"

#include <QVariant>

#include <algorithm>

void TControlLock::Join(const std::vector<QObject*>& controls)
{
    for (QObject* control : controls)
        if (control && !Holds(control))
            Items.push_back({control, true});
}

bool TControlLock::Holds(const QObject* control) const
{
    return std::any_of(Items.begin(), Items.end(), [control](const TItem& item) { return item.Control == control; });
}

void TControlLock::Lock()
{
    if (IsLocked)
        return;
    IsLocked = true;
    // Every state first: a control inside another one reads as disabled once that one is.
    for (TItem& item : Items)
        if (item.Control)
            item.Enabled = item.Control->property("enabled").toBool();
    for (TItem& item : Items)
        if (item.Control)
            item.Control->setProperty("enabled", false);
    if (OnChanged)
        OnChanged(true);
}

void TControlLock::Unlock()
{
    if (!IsLocked)
        return;
    IsLocked = false;
    for (const TItem& item : Items)
        if (item.Control)
            item.Control->setProperty("enabled", item.Enabled);
    if (OnChanged)
        OnChanged(false);
}
