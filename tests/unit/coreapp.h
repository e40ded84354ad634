// The tests that run sockets and timers need a QCoreApplication; the first one to ask makes it,
// and it lives until the test program ends.
#pragma once

#include <QCoreApplication>

inline void EnsureApp()
{
    static int argc = 1;
    static char arg0[] = "unit_tests";
    static char* argv[] = {arg0, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}
