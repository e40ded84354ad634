// TButtonKeys: the keys of tool buttons that the keyboard could not use otherwise.
#pragma once
#include <QEvent>
#include <QKeyEvent>
#include <QObject>
#include <QTimer>
#include <QToolButton>

// Keys for buttons the keyboard could not use: a drop-down button opens its menu with Alt+Down
// or Space; a plain button is pressed by Enter as by Space.
class TButtonKeys : public QObject {
public:
    using QObject::QObject;
    void Add(QToolButton* button) { button->installEventFilter(this); }

protected:
    bool eventFilter(QObject* obj, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return false;
        auto* button = static_cast<QToolButton*>(obj);
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if (button->menu()) {
            const bool open = (key->key() == Qt::Key_Down && mods == Qt::AltModifier)
                              || (key->key() == Qt::Key_Space && mods == Qt::NoModifier);
            if (open && event->type() == QEvent::KeyPress && !key->isAutoRepeat())
                // After this key's event: the menu runs its own event loop.
                QTimer::singleShot(0, button, [button] {
                    if (button->isEnabled() && button->isVisible())
                        button->showMenu();
                });
            return open;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && mods == Qt::NoModifier) {
            if (event->type() == QEvent::KeyPress && !key->isAutoRepeat())
                button->click();
            return true;
        }
        return false;
    }
};
