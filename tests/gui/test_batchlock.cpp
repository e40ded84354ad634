// What a running batch leaves usable: while a batch holds its devices, every enabled control of
// every window the program shows is walked. Only the controls named here may still be used (the
// progress window's own buttons, the Log Report, help, about, the language and colour scheme,
// leaving); any other one, a new control nobody joined to the batch's lock included, fails.
#include "controls.h"
#include "transferfixture.h"

#include "core/app/i18n.h"

#include "gui/config/comparedialog.h"
#include "gui/log/logrep.h"
#include "ui_form.h"  // the fixtures reach the windows through these
#include "ui_progressinfo.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QSet>
#include <QTest>
#include <QWidgetAction>

namespace {

// How a control is named in the report: its object name, else its class and caption.
QString Name(const QObject* control)
{
    if (!control->objectName().isEmpty())
        return control->objectName();
    // A menu's item in its parent menu or menu bar, a tool bar's item in the window's menu.
    if (const auto* action = qobject_cast<const QAction*>(control)) {
        if (action->menu() && !action->menu()->objectName().isEmpty())
            return action->menu()->objectName();
        if (control->parent() && !control->parent()->objectName().isEmpty())
            return control->parent()->objectName() + QStringLiteral("/") + action->text();
    }
    QString caption;
    if (const auto* action = qobject_cast<const QAction*>(control))
        caption = action->text();
    else if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        caption = button->text();
    return QStringLiteral("%1 \"%2\"").arg(QLatin1String(control->metaObject()->className()), caption);
}

// Qt's own helpers inside its widgets (a line edit's clear action, a menu bar's extension).
bool QtsOwn(const QObject* control)
{
    const QString name = control->objectName();
    return name.startsWith(QLatin1String("qt_")) || name.startsWith(QLatin1String("_q_"));
}

// Every control of the shown windows that a user could use now, by name.
QStringList UsableControls()
{
    QStringList usable;
    auto note = [&](const QObject* control) {
        if (!QtsOwn(control) && !usable.contains(Name(control)))
            usable << Name(control);
    };
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || qobject_cast<QMenu*>(window))
            continue;
        // Actions reach the user through menus, tool buttons and shortcuts: enabled counts.
        for (const QAction* action : window->findChildren<QAction*>())
            if (action->isEnabled() && !action->isSeparator() && !qobject_cast<const QWidgetAction*>(action))
                note(action);
        for (const QWidget* widget : window->findChildren<QWidget*>()) {
            if (!widget->isVisible() || !widget->isEnabled())
                continue;
            if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
                if (!edit->isReadOnly())
                    note(edit);
            } else if (qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QComboBox*>(widget)
                       || qobject_cast<const QAbstractItemView*>(widget)) {
                note(widget);
            }
        }
    }
    return usable;
}

} // namespace

class TestBatchLock : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { InitTranslation(PYXET_BIN_DIR "/"); }

    void OnlyTheNamedControlsStayUsableDuringABatch()
    {
        TTransferWindow w;
        auto watched = std::make_unique<TWatchedProgress>();
        w.Form().Progress = watched.get();
        TLogActionForm logReport;
        w.Form().LogReport = &logReport;
        w.Window.Add({.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1"});
        w.Window.Add({.Name = "Bravo", .MAC = "00:0A:59:00:00:02", .PeerIP = "10.0.0.2"});
        w.Check({"Alpha", "Bravo"});
        w.Form().SelectDevice(0);
        Control<QAction>(w.Form(), "mActionReport")->trigger();  // its window is walked too
        QVERIFY(QTest::qWaitForWindowExposed(&logReport));
        Control<QAction>(w.Form(), "acCompare")->trigger();  // and the compare dialog's
        QVERIFY(w.Batches().CompareWindow() && QTest::qWaitForWindowExposed(w.Batches().CompareWindow()));

        const QSet<QString> stayUsable = {
            // The progress window of the batch.
            QStringLiteral("StopButton"), QStringLiteral("Button1"), QStringLiteral("ListBox1"),
            // The Log Report window and its menu item.
            QStringLiteral("mActionReport"), QStringLiteral("ActionReport"), QStringLiteral("ActionFilter"),
            QStringLiteral("SaveButton"), QStringLiteral("ClearButton"), QStringLiteral("ExitButton"),
            // Help, about, language, colour scheme and leaving the program.
            QStringLiteral("acHelp"), QStringLiteral("tbHelp"), QStringLiteral("mAbout"), QStringLiteral("mHelp"),
            QStringLiteral("CzechLang"), QStringLiteral("EnglishLang"), QStringLiteral("tbLanguage"),
            QStringLiteral("pmSelectLang"),
            QStringLiteral("acSchemeSystem"), QStringLiteral("acSchemeLight"), QStringLiteral("acSchemeDark"),
            QStringLiteral("mColourScheme"), QStringLiteral("acExit"), QStringLiteral("tbExit"),
            // The menu bar's menus themselves (their items are walked one by one).
            QStringLiteral("mActions"), QStringLiteral("mUtilities"),
            // The tool bar's own item of the window's menu (no menu shows it) and the
            // "Configuration" drop-down, whose items are all locked.
            QStringLiteral("ToolBar1/Tool bar"), QStringLiteral("pmLoadSaveConfig"),
            // Ctrl+F: focuses the search field, which is locked.
            QStringLiteral("acSearchField"),
            // Saving the list shown is no change to the devices.
            QStringLiteral("mExportList"),
            // The watch rests while a batch runs (switched on, its rounds begin after it); the
            // site file and the notifications touch no device.
            QStringLiteral("acWatch"), QStringLiteral("acOpenSite"), QStringLiteral("acSaveSite"),
            QStringLiteral("acNotify"),
            // The compare dialog's choices and views: what the next compare takes, the table
            // shown, copied or closed (its Compare, Restore This Version... and Check These
            // Devices are locked).
            QStringLiteral("cbLeftKind"), QStringLiteral("cbRightKind"), QStringLiteral("teLeftFile"),
            QStringLiteral("teRightFile"), QStringLiteral("btnLeftFile"), QStringLiteral("btnRightFile"),
            QStringLiteral("chkDifferencesOnly"), QStringLiteral("tblDifferences"), QStringLiteral("tblDifferencesHeader"),
            QStringLiteral("btnCopy"),
            QStringLiteral("btnClose"),
        };

        bool walked = false;
        QStringList usable;
        watched->OnLine = [&] {
            walked = true;
            usable = UsableControls();
        };
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();
        // A batch may run inside the trigger or after it: the walk ran once its first line came.
        QTRY_VERIFY_WITH_TIMEOUT(walked, 20000);
        QStringList unexpected;
        for (const QString& name : usable)
            if (!stayUsable.contains(name))
                unexpected << name;
        QVERIFY2(unexpected.isEmpty(), qPrintable(QStringLiteral("usable during the batch: ") + unexpected.join(u", ")));
        // The walk saw the controls that must stay usable (it is no walk of nothing).
        for (const char* name : {"StopButton", "mActionReport", "acHelp", "tbExit", "cbLeftKind"})
            QVERIFY2(usable.contains(QLatin1String(name)), name);
    }
};

QTEST_MAIN(TestBatchLock)
#include "test_batchlock.moc"
