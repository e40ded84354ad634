// Window tests find a window's controls by their object names, as a user finds them by their
// captions: never through the window's own members.
#pragma once
#include <QObject>
#include <QString>
#include <QTest>

// The child of `window` named `name` (an object name of the window's .ui file or one given where
// the control is made). A missing control fails the running test and is reported by its name.
template <class T>
T* Control(const QObject& window, const char* name)
{
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found)
        QTest::qFail(qPrintable(QStringLiteral("no control named %1").arg(QLatin1String(name))), __FILE__, __LINE__);
    return found;
}
