// Shared set-up of the window tests: a temporary program folder for Pyxet.ini, the catalogues of
// the build, boxes answered automatically, and a main window with its Log Report window.
#pragma once
#include "gui/app/dialogs.h"
#include "controls.h"
#include "gui/app/form.h"
#include "core/app/i18n.h"
#include "gui/log/logrep.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>

struct TPyxetFixture {
    std::unique_ptr<QTemporaryDir> Dir = std::make_unique<QTemporaryDir>();  // a fresh one per test
    std::unique_ptr<TPyxetForm> Form;
    std::unique_ptr<TLogActionForm> LogForm;

    static void InitProgram()
    {
        InitTranslation(PYXET_BIN_DIR "/");
        Dialogs::SetAutomatic(true);
    }

    std::string AppDir() const { return Dir->path().toStdString() + "/"; }
    QString IniPath() const { return Dir->path() + QStringLiteral("/Pyxet.ini"); }

    void WriteIni(const char* text)
    {
        QFile f(IniPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    // The build's guides, English and Czech, in the program folder as an installation has them.
    void InstallHelpFiles()
    {
        for (const char* lang : {"en", "cs"}) {
            const QString dir = Dir->path() + QStringLiteral("/locale/") + QLatin1String(lang);
            QVERIFY(QDir().mkpath(dir));
            QVERIFY(QFile::copy(QStringLiteral(PYXET_BIN_DIR "/locale/%1/Pyxet.chm").arg(QLatin1String(lang)),
                                dir + QStringLiteral("/Pyxet.chm")));
        }
    }

    QString ReadIni() const
    {
        QFile f(IniPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    // Builds both windows; `show` also runs the first showing (settings, language, start line).
    void Start(const QStringList& arguments = {}, bool show = true)
    {
        UseLanguage("en");
        Form = std::make_unique<TPyxetForm>(arguments, AppDir());
        LogForm = std::make_unique<TLogActionForm>();
        Form->LogReport = LogForm.get();
        if (show) {
            Form->show();
            QVERIFY(QTest::qWaitForWindowExposed(Form.get()));
        }
    }

    void Stop()
    {
        LogForm.reset();
        Form.reset();
        Dialogs::TakeShownBoxes();
        UseLanguage("en");
        Dir = std::make_unique<QTemporaryDir>();
    }
};
