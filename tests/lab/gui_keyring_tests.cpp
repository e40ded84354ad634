// The window's logins in the keyring against the simulated devices of tests/lab/keyring_fleet.json
// (their downloads want a login), offscreen, inside scripts/lab.sh and a private keyring session
// (tests/keyring/session.sh; test_gui_keyring.sh): remembering from the login dialog, the order
// in which a request takes a login, a remembered login the device refuses, "Saved Logins..." with
// Forget and Forget All; and, on a bus without a keyring, the box disabled with its reason.
#include "labevents.h"
#include "transferfixture.h"
#include "ui_form.h"
#include "ui_login.h"
#include "ui_progressinfo.h"
#include "ui_savedlogins.h"

#include "core/app/i18n.h"
#include "core/keyring/keychainstore.h"
#include "core/keyring/loginstore.h"
#include "gui/http/savedlogins.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <optional>

namespace {

const TLogin kOwn{"alpha", "Own-pw-5512"};
const TLogin kFleet{"fleet", "Fleet-pw-7734"};
const std::string kOwnKey = "000A14600001";

// The test's own way into the keyring: each operation waited for in the event loop.
struct TTestKeyring {
    TKeychainStore Store;
    TKeyringLogins Logins{Store};
    template <class TResult>
    std::optional<TResult> Wait(const std::function<void(std::function<void(const TResult&)>)>& start)
    {
        std::optional<TResult> result;
        start([&](const TResult& r) { result = r; });
        for (int i = 0; i < 200 && !result; ++i)
            QTest::qWait(50);
        return result;
    }
    bool Set(const std::string& key, const TLogin& login)
    {
        auto r = Wait<TKeyringResult>([&](auto done) { Logins.Remember(key, login, done); });
        return r && r->Ok();
    }
    bool Clear()
    {
        auto r = Wait<TKeyringResult>([&](auto done) { Logins.ForgetAll(done); });
        return r && r->Ok();
    }
    TRemembered Of(const std::string& mac)
    {
        auto r = Wait<TRemembered>([&](auto done) { Logins.LookUp(mac, done); });
        return r.value_or(TRemembered{{}, {}, false, "no answer"});
    }
};

// A window that has found the fleet and whose keyring has answered.
struct TKeyringWindow : TTransferWindow {
    TKeyringWindow()
    {
        QTRY_VERIFY_WITH_TIMEOUT(Window.Names().size() >= 4, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(Form().KeyringAnswered(), 10000);
        Form().ActionLog.clear();
    }
    int Count(const std::string& message) const
    {
        int n = 0;
        for (const std::string& m : Log())
            n += m == message;
        return n;
    }
    bool Backup(std::initializer_list<const char*> names)
    {
        Check(names);
        Control<QAction>(Form(), "BackupConfig")->trigger();
        return Finish();
    }
    int Succeeded() const
    {
        for (const std::string& line : Lines())
            if (line.rfind("Successful: ", 0) == 0)
                return std::stoi(line.substr(12));
        return -1;
    }
    bool NoPasswordLogged() const
    {
        const std::string text = LogText();
        return text.find(kOwn.Password) == std::string::npos && text.find(kFleet.Password) == std::string::npos;
    }
};

const char* const kOwnRule = "Logging in with the login of this device from the keyring.";
const char* const kEveryRule = "Logging in with the login for every device from the keyring.";
const char* const kRunRule = "Logging in with the login typed in this run.";

// Both test classes: English texts, the dialogs answered from the tests' queues.
void StartTests()
{
    InitTranslation(PYXET_BIN_DIR "/");
    Dialogs::SetAutomatic(true);
    UseLanguage("en");
}

}  // namespace

class TestKeyringWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { StartTests(); }
    void init() { QVERIFY(Keyring.Clear()); }
    void cleanup() { Dialogs::TakeShownBoxes(); }

    // Nothing remembered: the device asks; the login typed with "Remember in the keyring" ticked
    // goes to this device's entry, and the log says so without the login.
    void RememberForThisDevice()
    {
        TKeyringWindow w;
        QVERIFY(w.Login->ui()->RememberBox->isEnabled());
        QVERIFY(!w.Login->ui()->RememberBox->isChecked());  // off by default
        const int shown = TLoginForm::TimesShown();
        TLoginForm::QueueAnswer(true, kOwn.User, kOwn.Password, TLoginForm::TRemember::ThisDevice);
        QVERIFY(w.Backup({"Own login"}));
        QCOMPARE(TLoginForm::TimesShown(), shown + 1);
        QCOMPARE(w.Succeeded(), 1);
        QTRY_COMPARE(w.Count("The login of this device was remembered in the keyring."), 1);
        const TRemembered kept = Keyring.Of(kOwnKey);
        QVERIFY(kept.Available);
        QCOMPARE(kept.Device, std::optional<TLogin>(kOwn));
        QVERIFY(!kept.Every);
        QVERIFY(w.NoPasswordLogged());
        // For every device: the other entry.
        TLoginForm::QueueAnswer(true, kFleet.User, kFleet.Password, TLoginForm::TRemember::EveryDevice);
        QVERIFY(w.Backup({"Fleet door"}));  // the window's run login (alpha) is refused first
        QTRY_COMPARE(w.Count("The login for every device was remembered in the keyring."), 1);
        QCOMPARE(Keyring.Of("").Every, std::optional<TLogin>(kFleet));
    }

    // This device's entry, then the entry of every device, then the login typed in this run;
    // no question while one of them serves.
    void LookupOrder()
    {
        QVERIFY(Keyring.Set(kOwnKey, kOwn));
        QVERIFY(Keyring.Set(kEveryDeviceKey, kFleet));
        TKeyringWindow w;
        const int shown = TLoginForm::TimesShown();
        QVERIFY(w.Backup({"Own login", "Fleet door", "Fleet hall"}));
        QCOMPARE(TLoginForm::TimesShown(), shown);
        QCOMPARE(w.Succeeded(), 3);
        QCOMPARE(w.Count(kOwnRule), 1);
        QCOMPARE(w.Count(kEveryRule), 2);
        QCOMPARE(w.Count(kRunRule), 0);
        QVERIFY(w.NoPasswordLogged());
        // Without the entry of every device, the login typed in this run serves the others.
        QVERIFY(Keyring.Clear());
        QVERIFY(Keyring.Set(kOwnKey, kOwn));
        w.Login->ui()->UserEdit->setText(QString::fromStdString(kFleet.User));
        w.Login->ui()->PassEdit->setText(QString::fromStdString(kFleet.Password));
        w.Form().ActionLog.clear();
        QVERIFY(w.Backup({}));
        QCOMPARE(TLoginForm::TimesShown(), shown);
        QCOMPARE(w.Succeeded(), 3);
        QCOMPARE(w.Count(kOwnRule), 1);
        QCOMPARE(w.Count(kEveryRule), 0);
        QCOMPARE(w.Count(kRunRule), 2);
    }

    // A remembered login the device refuses: asked again with its user name filled in; replaced
    // in the keyring only when the box is ticked.
    void RefusedRememberedLogin()
    {
        QVERIFY(Keyring.Set(kOwnKey, {kOwn.User, "outdated"}));
        TKeyringWindow w;
        w.Login->ui()->UserEdit->setText(QStringLiteral("someone"));
        const int shown = TLoginForm::TimesShown();
        TLoginForm::QueueAnswer(true, kOwn.User, kOwn.Password);  // not ticked
        QVERIFY(w.Backup({"Own login"}));
        QCOMPARE(TLoginForm::TimesShown(), shown + 1);
        QCOMPARE(TLoginForm::LastShownUser(), kOwn.User);
        QCOMPARE(w.Succeeded(), 1);
        QCOMPARE(w.Count(kOwnRule), 1);
        QTest::qWait(200);
        QCOMPARE(Keyring.Of(kOwnKey).Device, std::optional<TLogin>(TLogin{kOwn.User, "outdated"}));
        // Ticked this time: replaced.
        TLoginForm::QueueAnswer(true, kOwn.User, kOwn.Password, TLoginForm::TRemember::ThisDevice);
        w.Login->ui()->PassEdit->setText(QStringLiteral("wrong too"));  // the run's login is refused as well
        QVERIFY(w.Backup({}));
        QCOMPARE(TLoginForm::TimesShown(), shown + 2);
        QTRY_COMPARE(w.Count("The login of this device was remembered in the keyring."), 1);
        QCOMPARE(Keyring.Of(kOwnKey).Device, std::optional<TLogin>(kOwn));
        // Served from the keyring from now on, without a question.
        w.Form().ActionLog.clear();
        QVERIFY(w.Backup({}));
        QCOMPARE(TLoginForm::TimesShown(), shown + 2);
        QCOMPARE(w.Succeeded(), 1);
    }

    // Utilities -> "Saved Logins...": the entries with the listed device's name and type and the
    // user names; Forget and Forget All.
    void SavedLoginsForget()
    {
        QVERIFY(Keyring.Set(kOwnKey, kOwn));
        QVERIFY(Keyring.Set(kEveryDeviceKey, kFleet));
        TKeyringWindow w;
        Control<QAction>(w.Form(), "mSavedLogins")->trigger();
        TSavedLoginsForm* dialog = w.Form().SavedLogins;
        QVERIFY(dialog && dialog->isVisible());
        QTreeWidget* list = dialog->ui()->LoginList;
        QTRY_COMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("00:0A:14:60:00:01"));
        QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("Own login"));
        QVERIFY(!list->topLevelItem(0)->text(2).isEmpty());  // its type, as listed
        QCOMPARE(list->topLevelItem(0)->text(3), QStringLiteral("alpha"));
        QCOMPARE(list->topLevelItem(1)->text(0), QStringLiteral("Every device"));
        QCOMPARE(list->topLevelItem(1)->text(3), QStringLiteral("fleet"));
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 4; ++c)
                QVERIFY(!list->topLevelItem(r)->text(c).contains(QStringLiteral("pw")));
        list->setCurrentItem(list->topLevelItem(0));
        QTRY_VERIFY(dialog->ui()->ForgetButton->isEnabled());
        QTest::mouseClick(dialog->ui()->ForgetButton, Qt::LeftButton);
        QTRY_COMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("Every device"));
        QVERIFY(!Keyring.Of(kOwnKey).Device);
        QVERIFY(Keyring.Of(kOwnKey).Every);
        Dialogs::QueueAnswer(true);
        QTRY_VERIFY(dialog->ui()->ForgetAllButton->isEnabled());
        QTest::mouseClick(dialog->ui()->ForgetAllButton, Qt::LeftButton);
        QTRY_COMPARE(list->topLevelItemCount(), 0);
        QVERIFY(!Keyring.Of(kOwnKey).Every);
        const auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Text, std::string("Forget every login remembered in the keyring?"));
        QVERIFY(!dialog->ui()->ForgetAllButton->isEnabled());
        dialog->close();
    }

    // Into the folder PYXET_SHOTS names: the login dialog with the box ticked and "Saved
    // Logins...", in English and Czech.
    void Screenshots()
    {
        const QString folder = QString::fromLocal8Bit(qgetenv("PYXET_SHOTS"));
        QVERIFY2(!folder.isEmpty(), "PYXET_SHOTS names no folder");
        QVERIFY(Keyring.Set(kOwnKey, kOwn));
        QVERIFY(Keyring.Set("000A59600002", kFleet));
        QVERIFY(Keyring.Set(kEveryDeviceKey, kFleet));
        for (const char* language : {"en", "cs"}) {
            TKeyringWindow w;
            UseLanguage(language);
            auto shoot = [&](QWidget& window, const char* name) {
                window.show();
                QVERIFY(QTest::qWaitForWindowExposed(&window));
                QTest::qWait(300);
                QVERIFY(window.grab().save(QStringLiteral("%1/%2-%3.png").arg(folder, QLatin1String(name), QLatin1String(language))));
            };
            w.Login->SetDevice("Own login (10.77.6.1)");
            w.Login->StartQuestion("alpha");
            w.Login->ui()->PassEdit->setText(QStringLiteral("secret"));
            w.Login->ui()->RememberBox->setChecked(true);
            shoot(*w.Login, "keyring-login");
            w.Login->hide();
            Control<QAction>(w.Form(), "mSavedLogins")->trigger();
            QTRY_COMPARE(w.Form().SavedLogins->ui()->LoginList->topLevelItemCount(), 3);
            w.Form().SavedLogins->resize(600, 260);
            shoot(*w.Form().SavedLogins, "keyring-saved-logins");
            w.Form().SavedLogins->close();
        }
        UseLanguage("en");
    }

private:
    TTestKeyring Keyring;
};

// On a bus without a keyring.
class TestNoKeyringWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { StartTests(); }

    // The box is disabled and says why; a login still works for the run, and nothing of it is
    // written anywhere instead.
    void DisabledBoxWithoutKeyring()
    {
        TKeyringWindow w;
        QCheckBox* box = w.Login->ui()->RememberBox;
        QVERIFY(!box->isEnabled());
        QVERIFY2(box->toolTip().startsWith(QStringLiteral("No keyring to remember the login in: ")),
                 qPrintable(box->toolTip()));
        QVERIFY(box->toolTip().size() > int(std::strlen("No keyring to remember the login in: ")));
        TLoginForm::QueueAnswer(true, kFleet.User, kFleet.Password, TLoginForm::TRemember::EveryDevice);
        QVERIFY(w.Backup({"Fleet door", "Fleet hall"}));
        QCOMPARE(w.Succeeded(), 2);
        QCOMPARE(w.Count(kRunRule), 0);  // without a keyring the log names no rule, as ever
        QVERIFY(w.NoPasswordLogged());
        QVERIFY(w.Logged(w.Log().front()));
        QCOMPARE(w.Count("The login for every device was remembered in the keyring."), 0);
        w.Form().close();  // the settings are written
        QDirIterator files(QString::fromLocal8Bit(qgetenv("HOME")), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(!file.readAll().contains(QByteArray::fromStdString(kFleet.Password)), qPrintable(file.fileName()));
        }
        // "Saved Logins..." says why and offers nothing to forget.
        TKeyringWindow other;
        Control<QAction>(other.Form(), "mSavedLogins")->trigger();
        TSavedLoginsForm* dialog = other.Form().SavedLogins;
        QVERIFY(dialog->ui()->NoteLabel->text().startsWith(QStringLiteral("No keyring to remember logins in: ")));
        QVERIFY(!dialog->ui()->ForgetButton->isEnabled());
        QVERIFY(!dialog->ui()->ForgetAllButton->isEnabled());
        dialog->close();
    }
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // tests/keyring/session.sh says which bus this is; without it there is nothing to test.
    const QByteArray mode = qgetenv("PYXET_KEYRING");
    if (mode == "1") {
        TestKeyringWindow test;
        return QTest::qExec(&test, argc, argv);
    }
    if (mode == "0") {
        TestNoKeyringWindow test;
        return QTest::qExec(&test, argc, argv);
    }
    std::fprintf(stderr, "FAIL: not on a bus of tests/keyring/session.sh (PYXET_KEYRING unset)\n");
    return 1;
}

#include "gui_keyring_tests.moc"
