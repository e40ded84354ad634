// A set of controls switched off together and given back their own enabled states afterwards:
// actions, widgets, action groups (anything with an "enabled" property). The main window's batch
// lock is one: each panel joins its controls to it where it makes them, so that a running batch
// switches off every control that would start a discovery, change the devices, the rows or the
// selection, or start another command on them.
#pragma once
#include <QObject>
#include <QPointer>

#include <functional>
#include <initializer_list>
#include <vector>

class TControlLock {
public:
    void Join(std::initializer_list<QObject*> controls) { Join(std::vector<QObject*>(controls)); }
    void Join(const std::vector<QObject*>& controls);
    // Records each control's state and disables it.
    void Lock();
    // Gives back the recorded states (a control gone meanwhile is skipped).
    void Unlock();
    bool Locked() const { return IsLocked; }
    bool Holds(const QObject* control) const;
    // Told after each change (true: locked), for what must rest while the lock is held.
    std::function<void(bool locked)> OnChanged;

private:
    struct TItem {
        QPointer<QObject> Control;
        bool Enabled = true;
    };
    std::vector<TItem> Items;
    bool IsLocked = false;
};
