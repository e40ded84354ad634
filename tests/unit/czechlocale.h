// Runs part of a test as a Czech user's program runs: the C library's locale (strcoll, printf)
// and Qt's default locale (QString::localeAwareCompare collates by it) set to Czech. The
// previous locales come back when the object goes away.
//
// Every test runs in C.UTF-8, where collation and byte order agree; only a locale such as this
// one shows whether texts are collated. A machine without cs_CZ.UTF-8 fails the test through
// Available (scripts/install-deps.sh generates the locale).
#pragma once

#include <QLocale>

#include <clocale>
#include <string>

class TCzechLocale {
public:
    TCzechLocale() : SavedC(std::setlocale(LC_ALL, nullptr)), SavedQt(QLocale())
    {
        Available = std::setlocale(LC_ALL, "cs_CZ.UTF-8") != nullptr;
        QLocale::setDefault(QLocale(QLocale::Czech, QLocale::Czechia));
    }
    ~TCzechLocale()
    {
        std::setlocale(LC_ALL, SavedC.c_str());
        QLocale::setDefault(SavedQt);
    }
    TCzechLocale(const TCzechLocale&) = delete;
    TCzechLocale& operator=(const TCzechLocale&) = delete;

    bool Available = false;
    static constexpr const char* kMissing =
        "the locale cs_CZ.UTF-8 is missing: scripts/install-deps.sh generates it";

private:
    std::string SavedC;
    QLocale SavedQt;
};
