// The demonstration mode is decided from the program's first argument as it was given, before
// Qt took out the options it knows: `pyxet -reverse -demo` is not a demonstration (its first
// argument is -reverse), although Qt leaves only -demo in arguments().
#include "gui/app/application.h"
#include "gui/app/dialogs.h"
#include "gui/app/form.h"

#include "core/app/i18n.h"

#include <QTemporaryDir>
#include <QTest>

class TestStartArguments : public QObject {
    Q_OBJECT
private slots:
    void QtOptionsDoNotShiftTheFirstArgument()
    {
        auto* app = static_cast<TPyxetApplication*>(QCoreApplication::instance());
        QCOMPARE(app->arguments(), (QStringList{QStringLiteral("pyxet"), QStringLiteral("-demo")}));
        QCOMPARE(app->layoutDirection(), Qt::RightToLeft);  // Qt did take -reverse
        QCOMPARE(MainFormArguments(*app), (QStringList{QStringLiteral("-reverse"), QStringLiteral("-demo")}));

        QTemporaryDir dir;
        TPyxetForm form(MainFormArguments(*app), dir.path().toStdString() + "/");
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(!form.DemoMode);
    }
};

int main(int argc, char* argv[])
{
    // The program as a user starts it; QtTest's own options stay with argv.
    static char name[] = "pyxet";
    static char reverse[] = "-reverse";
    static char demo[] = "-demo";
    static char* given[] = {name, reverse, demo, nullptr};
    int count = 3;
    TPyxetApplication app(count, given);
    InitTranslation(PYXET_BIN_DIR "/");
    UseLanguage("en");
    Dialogs::SetAutomatic(true);
    TestStartArguments test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_startargs.moc"
