// The help command, the help window, the about box and the maker's web links, offscreen, with
// the help files of the build copied into the test's program folder.
#include "pyxetfixture.h"
#include "ui_about.h"
#include "ui_form.h"

#include "core/app/version.h"
#include "gui/devices/weblink.h"
#include "gui/windows/about.h"
#include "gui/windows/help.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QImage>
#include <QListWidget>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace {
const QString kEnglishHelp = QStringLiteral(PYXET_BIN_DIR "/locale/en/Pyxet.chm");
const QString kCzechHelp = QStringLiteral(PYXET_BIN_DIR "/locale/cs/Pyxet.chm");

// Clicks the link whose text is `text` on the page shown, as the user does.
void ClickLink(THelpBrowser* browser, const QString& text)
{
    const QTextCursor found = browser->document()->find(text);
    QVERIFY2(!found.isNull(), qPrintable(text));
    QTextCursor inside(browser->document());
    inside.setPosition(found.selectionStart() + 1);
    const QPoint at = browser->cursorRect(inside).center();
    QVERIFY2(!browser->anchorAt(at).isEmpty(), qPrintable(text));
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, at);
}

QString Heading(const THelpWindow& window) { return window.Browser()->document()->firstBlock().text(); }

// The pictures of the page shown, with the size each is drawn at.
std::vector<QTextImageFormat> Pictures(const THelpBrowser& browser)
{
    std::vector<QTextImageFormat> out;
    for (QTextBlock block = browser.document()->begin(); block.isValid(); block = block.next())
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                out.push_back(it.fragment().charFormat().toImageFormat());
    return out;
}
}  // namespace

class TestHelp : public QObject {
    Q_OBJECT
    TPyxetFixture F;
    std::vector<std::string> Opened;

private slots:
    void initTestCase()
    {
        TPyxetFixture::InitProgram();
        SetWebPageOpener([this](const std::string& url) { Opened.push_back(url); });
    }
    void init() { Opened.clear(); }
    void cleanup() { F.Stop(); }
    void cleanupTestCase() { SetWebPageOpener(nullptr); }

    // The file of the language chosen at the moment of the request, the main window still usable.
    void helpCommandOpensTheFileOfTheCurrentLanguage()
    {
        F.WriteIni("[Setup]\nLang=cs\n");
        F.Start({QStringLiteral("-demo")});
        F.InstallHelpFiles();
        Control<QAction>(*F.Form, "acHelp")->trigger();
        QPointer<THelpWindow> czech = CurrentHelpWindow();
        QVERIFY(czech);
        QCOMPARE(czech->FileName(), F.AppDir() + "locale/cs/Pyxet.chm");
        QVERIFY(czech->isVisible());
        QVERIFY(!czech->isModal());
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(Heading(*czech), QStringLiteral("Vítejte v Pyxetu"));
        QCOMPARE(czech->windowTitle(), QStringLiteral("Nápověda Pyxet"));
        QVERIFY(Dialogs::TakeShownBoxes().empty());

        Control<QAction>(*F.Form, "EnglishLang")->trigger();
        Control<QAction>(*F.Form, "acHelp")->trigger();
        THelpWindow* english = CurrentHelpWindow();
        QVERIFY(english);
        QVERIFY(!czech);  // the earlier window is gone with its file
        QCOMPARE(english->FileName(), F.AppDir() + "locale/en/Pyxet.chm");
        QCOMPARE(Heading(*english), QStringLiteral("Welcome to Pyxet"));
        QCOMPARE(english->windowTitle(), QStringLiteral("Pyxet Help"));

        // The main window goes on working while the help is open.
        // The open help window keeps the language it was opened in.
        Control<QAction>(*F.Form, "CzechLang")->trigger();
        QCOMPARE(Control<QGroupBox>(*F.Form, "GroupBox1")->title(), QStringLiteral("Seznam zařízení"));
        QVERIFY(english->isVisible());
        QCOMPARE(english->findChild<QToolButton*>(QStringLiteral("BackButton"))->text(), QStringLiteral("Back"));
        QCOMPARE(english->windowTitle(), QStringLiteral("Pyxet Help"));
    }

    // A missing or unreadable file: the error box, then the status text; no window.
    void missingOrUnreadableFileGivesTheErrorAndTheStatusText()
    {
        F.WriteIni("[Setup]\nLang=en\n");
        F.Start({QStringLiteral("-demo")});
        Control<QAction>(*F.Form, "acHelp")->trigger();
        std::vector<Dialogs::TShownBox> boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QVERIFY(boxes[0].Kind == Dialogs::TBoxKind::Error);
        QCOMPARE(boxes[0].Text, std::string("Error opening help window!"));
        QCOMPARE(Control<TStatusPanel>(*F.Form, "StatusPanel1")->text(), QStringLiteral("No help window created."));
        QVERIFY(!CurrentHelpWindow());

        // A file that is no help file, in Czech.
        const QString dir = F.Dir->path() + QStringLiteral("/locale/cs");
        QVERIFY(QDir().mkpath(dir));
        QFile junk(dir + QStringLiteral("/Pyxet.chm"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("ITSF but nothing a help file holds");
        junk.close();
        Control<QAction>(*F.Form, "CzechLang")->trigger();
        Control<QAction>(*F.Form, "acHelp")->trigger();
        boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Text, std::string("Chyba při otevírání okna nápovědy!"));
        QCOMPARE(Control<TStatusPanel>(*F.Form, "StatusPanel1")->text(), QStringLiteral("Okno nápovědy nebylo vytvořeno."));
        QVERIFY(!CurrentHelpWindow());
    }

    void helpWindowIsReleasedWithTheMainWindow()
    {
        F.WriteIni("[Setup]\nLang=en\n");
        F.Start({QStringLiteral("-demo")});
        F.InstallHelpFiles();
        F.Form->acHelpExecute();
        QPointer<THelpWindow> window = CurrentHelpWindow();
        QVERIFY(window);
        F.Form.reset();
        QVERIFY(!window);
        QVERIFY(!CurrentHelpWindow());
    }

    // The first page of each file, its contents and index, its pictures, a link followed.
    void viewerShowsTheFirstPageAndFollowsLinks()
    {
        for (const auto& [file, first, link, target] :
             {std::tuple{kEnglishHelp, "Welcome to Pyxet", "Finding devices", "Finding devices"},
              std::tuple{kCzechHelp, "Vítejte v Pyxetu", "Najde všechna zařízení", "Hledání zařízení"}}) {
            THelpWindow window;
            std::string error;
            QVERIFY2(window.Open(file.toStdString(), &error), error.c_str());
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(window.CurrentPage(), std::string("/index.html"));
            QCOMPARE(Heading(window), QString::fromUtf8(first));
            QCOMPARE(window.ContentsTree()->topLevelItem(0)->text(0), QString::fromUtf8(first));
            QVERIFY(window.IndexList()->count() >= 20);

            // The page's picture comes out of the help file.
            const QImage picture =
                window.Browser()
                    ->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("images/main-window.png")))
                    .value<QImage>();
            QVERIFY(!picture.isNull());
            QVERIFY(picture.width() > 600);

            ClickLink(window.Browser(), QString::fromUtf8(link));
            QCOMPARE(window.CurrentPage(), std::string("/finding.html"));
            QCOMPARE(Heading(window), QString::fromUtf8(target));
            QCOMPARE(window.ContentsTree()->currentItem()->text(0), QString::fromUtf8(target));
            window.Browser()->backward();
            QCOMPARE(window.CurrentPage(), std::string("/index.html"));

            // A page chosen in the contents.
            QTreeWidgetItem* last = window.ContentsTree()->topLevelItem(window.ContentsTree()->topLevelItemCount() - 1);
            window.ContentsTree()->itemClicked(last, 0);
            QCOMPARE(window.CurrentPage(), std::string("/about.html"));
        }
        QVERIFY(Opened.empty());
    }

    // Escape and Ctrl+W close the help window, wherever its focus is.
    void escapeAndCtrlWCloseTheWindow()
    {
        F.WriteIni("[Setup]\nLang=en\n");
        F.Start({QStringLiteral("-demo")});
        F.InstallHelpFiles();
        for (const auto& [key, modifiers, focus] :
             {std::tuple{Qt::Key_Escape, Qt::KeyboardModifiers{}, "Contents"},
              std::tuple{Qt::Key_W, Qt::KeyboardModifiers{Qt::ControlModifier}, "HelpPages"}}) {
            Control<QAction>(*F.Form, "acHelp")->trigger();
            THelpWindow* window = CurrentHelpWindow();
            QVERIFY(window);
            QVERIFY(QTest::qWaitForWindowActive(window));
            QWidget* target = window->findChild<QWidget*>(QLatin1String(focus));
            QVERIFY(target);
            target->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), target);
            QTest::keyClick(target, key, modifiers);
            QTRY_VERIFY(!window->isVisible());
            QVERIFY(F.Form->isVisible());
        }
    }

    // Beside the main window when the desktop has room, else inside the desktop.
    void windowOpensBesideTheMainWindow()
    {
        F.WriteIni("[Setup]\nLang=en\n");
        F.Start({QStringLiteral("-demo")});
        F.InstallHelpFiles();
        Dialogs::SetDesktopSize({1920, 1080});
        F.Form->setGeometry(40, 60, 800, 600);
        QTRY_COMPARE(F.Form->geometry(), QRect(40, 60, 800, 600));
        Control<QAction>(*F.Form, "acHelp")->trigger();
        THelpWindow* window = CurrentHelpWindow();
        QVERIFY(window);
        QVERIFY(!window->frameGeometry().intersects(F.Form->frameGeometry()));
        QVERIFY(QRect(0, 0, 1920, 1080).contains(window->frameGeometry()));
        QVERIFY(window->width() >= 600);

        // The main window on the right: the help on its left.
        F.Form->move(1000, 60);
        QTRY_COMPARE(F.Form->pos(), QPoint(1000, 60));
        Control<QAction>(*F.Form, "acHelp")->trigger();
        window = CurrentHelpWindow();
        QVERIFY(!window->frameGeometry().intersects(F.Form->frameGeometry()));
        QVERIFY(window->frameGeometry().right() < F.Form->frameGeometry().left());
        QVERIFY(QRect(0, 0, 1920, 1080).contains(window->frameGeometry()));

        // No room on either side: inside the desktop all the same.
        Dialogs::SetDesktopSize({1024, 768});
        F.Form->move(100, 60);
        QTRY_COMPARE(F.Form->pos(), QPoint(100, 60));
        Control<QAction>(*F.Form, "acHelp")->trigger();
        window = CurrentHelpWindow();
        QVERIFY(QRect(0, 0, 1024, 768).contains(window->frameGeometry()));
        Dialogs::SetDesktopSize({});
        ReleaseHelpLibrary();
    }

    // Every title of the contents shows whole, in the Czech file too, and at the window's
    // opening size without scrolling sideways.
    void contentsShowWholeTitles()
    {
        for (const QString& file : {kCzechHelp, kEnglishHelp}) {
            THelpWindow window;
            QVERIFY(window.Open(file.toStdString()));
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QTreeWidget* tree = window.ContentsTree();
            // The item view's text margins (QCommonStyle's view item layout).
            const int margins = 2 * (tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tree) + 1);
            int items = 0;
            for (QTreeWidgetItemIterator it(tree); *it; ++it, ++items) {
                const QRect shown = tree->visualItemRect(*it);
                QVERIFY2(shown.width() - margins >= tree->fontMetrics().horizontalAdvance((*it)->text(0)),
                         qPrintable((*it)->text(0)));
            }
            QVERIFY(items >= 15);
            QCOMPARE(tree->horizontalScrollBar()->maximum(), 0);
            // A contents pane made narrow keeps the titles whole and scrolls them instead.
            const int column = tree->columnWidth(0);
            auto* splitter = window.findChild<QSplitter*>();
            QVERIFY(splitter);
            splitter->setSizes({120, 740});
            QTRY_VERIFY(tree->horizontalScrollBar()->maximum() > 0);
            QCOMPARE(tree->columnWidth(0), column);
        }
    }

    // A picture wider than the page view is drawn at the view's width, in proportion; in a wide
    // view at its own size.
    void picturesFitThePageWidth()
    {
        THelpWindow window;
        QVERIFY(window.Open(kEnglishHelp.toStdString()));
        window.resize(640, 480);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        THelpBrowser* pages = window.Browser();
        const QImage own =
            pages->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("images/main-window.png")))
                .value<QImage>();
        QVERIFY(own.width() > pages->viewport()->width());
        auto fits = [&] {
            const std::vector<QTextImageFormat> pictures = Pictures(*pages);
            if (pictures.empty())
                return false;
            for (const QTextImageFormat& picture : pictures)
                if (picture.width() <= 0 || picture.width() > pages->viewport()->width())
                    return false;
            return pages->horizontalScrollBar()->maximum() == 0;
        };
        QTRY_VERIFY(fits());
        const QTextImageFormat shown = Pictures(*pages).front();
        QCOMPARE(shown.name(), QStringLiteral("images/main-window.png"));
        QVERIFY(qAbs(shown.height() - shown.width() * own.height() / own.width()) <= 1);

        // Another page, then a view wider than the picture.
        window.ShowPage("/list.html");
        QTRY_VERIFY(fits());
        window.ShowPage("/index.html");
        window.resize(own.width() + 700, 900);
        QTRY_COMPARE(Pictures(*pages).front().width(), qreal(own.width()));
        QCOMPARE(Pictures(*pages).front().height(), qreal(own.height()));
    }

    // A link to the web goes to the desktop's browser; the page stays.
    void webLinkInAPageGoesToTheBrowser()
    {
        THelpWindow window;
        QVERIFY(window.Open(kEnglishHelp.toStdString()));
        emit window.Browser()->anchorClicked(QUrl(QStringLiteral("https://www.example.com/support")));
        QCOMPARE(Opened, std::vector<std::string>{"https://www.example.com/support"});
        QCOMPARE(window.CurrentPage(), std::string("/index.html"));
    }

    void aboutBoxShowsTheVersionInEitherLanguage()
    {
        const QString version = QStringLiteral(PYXET_PROJECT_VERSION);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$")).match(version).hasMatch());
        TAboutBox box;
        QCOMPARE(box.size(), QSize(176, 213));
        UseLanguage("en");
        box.show();
        QCOMPARE(box.ui()->Version->text(), QStringLiteral("Version:") + version);
        QCOMPARE(box.windowTitle(), QStringLiteral("About Pyxet"));
        QCOMPARE(box.ui()->Comments->text(), QStringLiteral("All rights reserved"));
        QCOMPARE(box.ui()->MakerName->text(), QString::fromLatin1(kMakerName));
        box.hide();
        UseLanguage("cs");
        box.show();
        QCOMPARE(box.ui()->Version->text(), QStringLiteral("Verze:") + version);
        QCOMPARE(box.windowTitle(), QStringLiteral("O programu Pyxet"));
        QCOMPARE(box.ui()->Comments->text(), QStringLiteral("Všechna práva vyhrazena"));
        QCOMPARE(box.ui()->OKButton->text(), QStringLiteral("OK"));
        box.hide();
        UseLanguage("en");
        box.show();
        QCOMPARE(box.ui()->Version->text(), QStringLiteral("Version:") + version);
        // Every line fits the box in both languages.
        for (const char* lang : {"cs", "en"}) {
            box.hide();
            UseLanguage(lang);
            box.show();
            for (QLabel* label : box.findChildren<QLabel*>())
                QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                         qPrintable(label->text()));
        }
        UseLanguage("en");
    }

    void logoAndAboutBoxOpenTheMakersAddress()
    {
        const std::string address = kMakerWebAddress;
        QVERIFY(address.find("example.") != std::string::npos);  // a reserved domain, never a real site
        F.Start({QStringLiteral("-demo")});
        QLabel* logo = Control<QLabel>(*F.Form, "LogoImage");
        QCOMPARE(logo->toolTip(), QString::fromStdString(address));
        QCOMPARE(logo->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(logo, Qt::LeftButton, {}, logo->rect().center());
        QCOMPARE(Opened, std::vector<std::string>{address});
        QTest::mouseClick(logo, Qt::RightButton, {}, logo->rect().center());
        QCOMPARE(Opened.size(), size_t(1));

        TAboutBox box;
        box.show();
        QCOMPARE(box.ui()->ProgramIcon->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(box.ui()->Label3->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(box.ui()->Label3->styleSheet().contains(QStringLiteral("navy")));
        QVERIFY(box.ui()->Label3->styleSheet().contains(QStringLiteral("underline")));
        QTest::mouseClick(box.ui()->ProgramIcon, Qt::LeftButton, {}, box.ui()->ProgramIcon->rect().center());
        QTest::mouseClick(box.ui()->Label3, Qt::LeftButton, {}, box.ui()->Label3->rect().center());
        QCOMPARE(Opened, (std::vector<std::string>{address, address, address}));
    }
};

QTEST_MAIN(TestHelp)
#include "test_help.moc"
