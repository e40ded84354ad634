// TPyxetForm: building the main window and running its life. The device area and the transfers
// live in their own files as further methods of this class; the setup panel (TSetupPanel) and the
// tool bar and menus (TMainMenus) are parts of their own.
#include "gui/app/form.h"
#include "gui/app/watchpanel.h"
#include "gui/app/devicelistpanel.h"
#include "gui/app/qtext.h"

#include "gui/app/anchors.h"
#include "gui/app/artwork.h"
#include "gui/app/buttonkeys.h"
#include "gui/app/colourscheme.h"
#include "gui/app/dialogs.h"
#include "gui/app/mainmenus.h"
#include "gui/app/setuppanel.h"
#include "gui/app/batchcontroller.h"
#include "core/app/i18n.h"
#include "gui/app/statuspanel.h"
#include "gui/app/translate.h"
#include "core/app/version.h"
#include "core/discovery/discovery.h"
#include "core/devices/udpserver.h"
#include "core/help/helpbook.h"
#include "gui/devices/weblink.h"
#include "gui/log/logrep.h"
#include "gui/setup/plandialog.h"
#include "ui_form.h"
#include "gui/windows/about.h"
#include "gui/windows/help.h"
#include "gui/windows/progressinfo.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <vector>

namespace {
// Design sizes: client area 738 x 659 = tool bar 40 + device area 599 + status bar 20.
constexpr int kClientWidth = 738;
constexpr int kClientHeight = 659;
constexpr int kToolBarHeight = TMainMenus::kHeight;
constexpr int kStatusBarHeight = 20;
} // namespace

TPyxetForm::TPyxetForm(const QStringList& arguments, const std::string& appDir, const std::string& configDir,
                       QWidget* parent)
    : QMainWindow(parent), AppDir(appDir), ConfigDir(configDir.empty() ? appDir : configDir),
      Ui_(std::make_unique<Ui::TPyxetForm>()), Anchors(std::make_unique<TAnchors>()), Arguments(arguments)
{
    FollowColourScheme();
    Ui_->setupUi(this);
    setWindowIcon(WindowIcon());
    Menus = new TMainMenus(this, *Ui_, Settings, BatchLock, [this](TColourScheme scheme) { SelectColourScheme(scheme); });
    ShowLogo();
    BuildStatusBar();
    resize(kClientWidth, kClientHeight + Ui_->mCfgMenu->sizeHint().height());
    BuildAnchors();
    WireLogger();
    Setup = new TSetupPanel(this, BatchLock);
    SetupDeviceView();
    WireTransfers();
    FollowPalette();
    WireKeyboard();

    connect(Ui_->acFind, &QAction::triggered, this, [this] { acFindExecute(); });
    connect(Ui_->acFindAt, &QAction::triggered, this, [this] { acFindAtExecute(); });
    connect(Ui_->acExit, &QAction::triggered, this, [this] { acExitExecute(); });
    connect(Ui_->acHelp, &QAction::triggered, this, [this] { acHelpExecute(); });
    connect(Ui_->mAbout, &QAction::triggered, this, [this] { mAboutClick(); });
    connect(Ui_->mActionReport, &QAction::triggered, this, [this] { mActionReportClick(); });
    connect(Ui_->CzechLang, &QAction::triggered, this, [this] { CzechLangClick(); });
    connect(Ui_->EnglishLang, &QAction::triggered, this, [this] { EnglishLangClick(); });

    setWindowTitle(Q(AppTitle));
    move(Dialogs::DesktopPosition(size()));
    FormCreate();
}

TPyxetForm::~TPyxetForm()
{
    FormDestroy();
}

void TPyxetForm::ShowLogo()
{
    Ui_->LogoImage->setPixmap(LogoPixmap());
    Ui_->LogoImage->setCursor(Qt::PointingHandCursor);
    Ui_->LogoImage->setToolTip(QString::fromLatin1(kMakerWebAddress));
    Ui_->LogoImage->setAccessibleName(QString::fromLatin1(kMakerWebAddress));  // as a screen reader's link text
    TP_Ignore(this, "LogoImage");  // its tool tip is an address, no text to translate
    OnClick(Ui_->LogoImage, [this] { LogoImageClick(); });
}

void TPyxetForm::WireKeyboard()
{
    // The menu bar's "Configuration" holds the drop-down's commands and is usable when it is.
    auto followConfig = [this] { Ui_->mConfiguration->menuAction()->setEnabled(Ui_->acBackup->isEnabled()); };
    connect(Ui_->acBackup, &QAction::changed, this, followConfig);
    followConfig();

    // Ctrl+F: to the search field, its text selected for typing over.
    auto* search = new QAction(this);
    search->setObjectName(QStringLiteral("acSearchField"));
    search->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    addAction(search);
    connect(search, &QAction::triggered, this, [this] {
        Ui_->teSearch->setFocus(Qt::ShortcutFocusReason);
        Ui_->teSearch->selectAll();
    });

    auto* buttonKeys = new TButtonKeys(this);
    for (QToolButton* b : Menus->DropDownButtons())
        buttonKeys->Add(b);

    // Tab follows the layout: the tool bar, then top to bottom and left to right.
    std::vector<QWidget*> order = Menus->TabOrder();
    order.insert(order.end(), {Ui_->AllChecked,
                              Ui_->DeviceListBox->horizontalHeader(),  // the columns' sorts
                              Ui_->DeviceListBox,
                              EmptyListHint,
                              Ui_->teSearch,
                              Ui_->DeviceFilter,
                              Ui_->tiDeviceImg,
                              Ui_->chbDhcp,
                              Ui_->teDeviceName,
                              Ui_->teDeviceIP,
                              Ui_->Image2,
                              Ui_->teDeviceMask,
                              Ui_->teDeviceGateway,
                              Ui_->teDeviceDNS1,
                              Ui_->teDeviceDNS2,
                              Ui_->teHTTPPort,
                              Ui_->teTelnetPort,
                              Ui_->LogoImage,
                              Ui_->btnRestartDevice,
                              Ui_->btnSetDefault,
                              Ui_->btnConfigDevice});
    for (size_t i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void TPyxetForm::BuildStatusBar()
{
    QStatusBar* bar = Ui_->StatusBar1;
    bar->setFixedHeight(kStatusBarHeight);
    const int widths[3] = {200, 380, 100};
    for (int i = 0; i < 3; ++i) {
        auto* panel = new TStatusPanel(widths[i], bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        bar->addWidget(panel);
        StatusPanels[i] = panel;
    }
    StatusPanels[0]->setText(QStringLiteral("Ready"));

    pbHTTP = new QProgressBar(bar);
    pbHTTP->setObjectName(QStringLiteral("pbHTTP"));
    pbHTTP->setTextVisible(false);
    pbHTTP->setAccessibleName(QStringLiteral("Transfer Progress"));  // translated with the window's texts
    pbHTTP->setRange(0, 100);
    pbHTTP->setValue(0);
    pbHTTP->setGeometry(kClientWidth - 141 - 3, 1, 141, 18);
    pbHTTP->raise();
}

void TPyxetForm::BuildAnchors()
{
    // Design sizes of the parents, in the coordinates the controls were placed in.
    const QSize device(kClientWidth, kClientHeight - kToolBarHeight - kStatusBarHeight);
    const QSize group1 = Ui_->GroupBox1->size();
    const QSize status(kClientWidth, kStatusBarHeight);
    const Qt::Edges all = Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge;
    const Qt::Edges leftBottom = Qt::LeftEdge | Qt::BottomEdge;
    const Qt::Edges rightBottom = Qt::RightEdge | Qt::BottomEdge;

    Anchors->Add(Ui_->GroupBox1, all, device);
    Anchors->Add(Ui_->tgbSetup, leftBottom, device);
    Anchors->Add(Ui_->GroupBox2, leftBottom, device);
    for (QWidget* w : std::initializer_list<QWidget*>{Ui_->LogoImage, Ui_->btnRestartDevice,
                                                      Ui_->btnSetDefault, Ui_->btnConfigDevice})
        Anchors->Add(w, rightBottom, device);
    Anchors->Add(Ui_->DeviceListBox, all, group1);
    // The open site's line under the list, in room the list gives up while the line shows.
    SiteLineRoom = Ui_->DeviceListBox->geometry().bottom() - Ui_->WatchSiteLine->geometry().top() + 3;
    Anchors->Add(Ui_->WatchSiteLine, Qt::LeftEdge | Qt::RightEdge | Qt::BottomEdge, group1);
    Anchors->Add(Ui_->DeviceCountLabel, leftBottom, group1);
    Anchors->Add(Ui_->DeviceCounter, leftBottom, group1);
    Anchors->Add(Ui_->SearchLabel, leftBottom, group1);
    Anchors->Add(Ui_->teSearch, Qt::LeftEdge | Qt::RightEdge | Qt::BottomEdge, group1);
    Anchors->Add(Ui_->FilterLabel, rightBottom, group1);
    Anchors->Add(Ui_->DeviceFilter, rightBottom, group1);
    Anchors->Add(pbHTTP, Qt::LeftEdge | Qt::RightEdge | Qt::BottomEdge, status);
}

void TPyxetForm::ShowSiteLine(const QString& text)
{
    QLabel* line = Ui_->WatchSiteLine;
    line->setText(text);
    if (line->isHidden() == text.isEmpty())
        return;
    Anchors->SetBottomInset(Ui_->DeviceListBox, text.isEmpty() ? 0 : SiteLineRoom);
    line->setVisible(!text.isEmpty());
}

void TPyxetForm::WireLogger()
{
    // Commands hold the GUI thread: the panels show each text at once.
    Logger.OnCaption = [this](const std::string& caption) { StatusPanels[0]->ShowNow(Q(caption)); };
    Logger.OnMessage = [this](const std::string& message) { StatusPanels[1]->ShowNow(Q(message)); };
    Logger.OnLine = [this](const TLogLine& line) {
        if (LogReport)
            LogReport->AddAction(line.Text, line.Level);
    };
    SetCurrentLogger(&Logger);
}

void TPyxetForm::LogAction(const std::string& caption, const std::string& message, int level)
{
    Logger.LogAction(caption, message, level);
}

void TPyxetForm::FormCreate()
{
    // The counter shows a number the program keeps; translating it would only disturb it.
    TP_Ignore(this, "DeviceCounter");
    TP_Ignore(this, "tlIPConflict");  // says which device, in the language of the moment
    TranslateComponent(this);
    OrvexServer = std::make_unique<TUDPServer>();
    HwgServer = std::make_unique<TUDPServer>();
    Discovery = new TDiscoveryRun(this);
}

void TPyxetForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!Shown) {
        Shown = true;
        FormShow();
    }
}

void TPyxetForm::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        FollowPalette();
}

void TPyxetForm::FollowPalette()
{
    const QPalette face = palette();
    Menus->FollowPalette(face);

    const TSchemeColours note = ListColours(face, TColourRole::ConflictRow);
    Ui_->tlIPConflict->setStyleSheet(
        QStringLiteral("QLabel { background: %1; color: %2; border: 1px solid #b06010; padding: 1px 3px; }")
            .arg(SchemeColour(note.Background).name(), SchemeColour(note.Text).name()));
    // A style sheet set again gives back the font the label had before the first one (the
    // desktop's, not the window's): the window's again, as the other labels have it.
    Ui_->tlIPConflict->setFont(font());

    Setup->FollowPalette();
    ShowPictureOnBackdrop();
}

void TPyxetForm::FormShow()
{
    LoadSettings(ConfigDir, Settings);
    ApplyColourScheme(Settings.Scheme);
    Menus->MarkColourScheme();
    RestoreWindowPlace();
    Logger.TimeStamps = Settings.TimeStamps;
    UseLanguage(Settings.Language);
    RetranslateComponent(this);
    Menus->MarkLanguage();
    MarkTransferMenu();
    SiteSettingsLoaded();
    List->SetColumnWidths(Settings.Columns);
    RebuildFindMenu();
    ProbeKeyring();

    if (!Arguments.isEmpty() && Arguments.first().contains(QStringLiteral("-demo"), Qt::CaseSensitive)) {
        DemoMode = true;
        Setup->SetDemoMode(true);
        EnterDemoMode();
        LogAction(_("Demo Pyxet Started"), _("Demo Pyxet started"), LOG_INFO);
    } else {
        LogAction(_("Pyxet Started"), _("Application Pyxet started"), LOG_INFO);
    }
    acFindExecute();
}

void TPyxetForm::closeEvent(QCloseEvent* event)
{
    if (Controller->HoldClose()) {  // a batch or plan stops first; the window closes after it
        event->ignore();
        return;
    }
    if (!Closed) {
        Closed = true;
        FormClose();
    }
    event->accept();  // closing is never refused
    emit FormClosed();
}

void TPyxetForm::RestoreWindowPlace()
{
    const TWindowPlace& kept = Settings.Window;
    if (kept.Kept()) {
        resize(kept.Width, kept.Height);
        // A place on no screen of this desktop (a monitor unplugged since): centred instead.
        const QRect titleBar(kept.Left, kept.Top, std::min(kept.Width, 200), 40);
        bool seen = false;
        for (const QScreen* screen : QGuiApplication::screens())
            seen = seen || screen->availableGeometry().intersects(titleBar);
        move(seen ? QPoint(kept.Left, kept.Top) : Dialogs::DesktopPosition(size()));
    }
    PlacedAt = WindowPlace();
}

TWindowPlace TPyxetForm::WindowPlace() const
{
    // A maximised window keeps the place it goes back to.
    const QRect inside = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    const QPoint frame = inside.topLeft() - (geometry().topLeft() - pos());
    return {frame.x(), frame.y(), inside.width(), inside.height()};
}

void TPyxetForm::FormClose()
{
    // Written from the first time the user moves or resizes the window on.
    if (const TWindowPlace now = WindowPlace(); now != PlacedAt && now.Kept())
        Settings.Window = now;
    if (List->ColumnsSized())  // written once the user sized a column, or the file had them
        Settings.Columns = List->ColumnWidths();
    std::string error;
    ++SavesDone;
    if (!SaveSettings(ConfigDir, Settings, &error))
        Dialogs::Error(this, error);
}

void TPyxetForm::FormDestroy()
{
    delete Discovery;  // stops sending before the endpoints go
    Discovery = nullptr;
    delete Watch;  // its rounds too
    Watch = nullptr;
    FreeDevices();
    Logger.ActionLog.clear();
    ReleaseHelpLibrary();
    OrvexServer.reset();
    HwgServer.reset();
    if (CurrentLogger() == &Logger)
        SetCurrentLogger(nullptr);
}

void TPyxetForm::EnableDeviceActions(bool enabled)
{
    Ui_->acBackup->setEnabled(enabled);  // carries the "Configuration" drop-down button
    Ui_->acFirmUpgr->setEnabled(enabled);
    Setup->EnableCommands(enabled);
}

void TPyxetForm::EnterDemoMode()
{
    AppTitle += " Demo";
    ShowListState();  // the panel rests no more; its buttons follow
    EnableDeviceActions(true);
    Ui_->acResumeUpgrade->setEnabled(false);  // no device is searched for
    Ui_->acWatch->setEnabled(false);
}

void TPyxetForm::acExitExecute() { close(); }

void TPyxetForm::mAboutClick()
{
    if (!About)
        return;
    // The progress window stays above the about box; a box hidden under it would block the
    // program unseen, so it opens beside the progress window where the screen has room.
    if (Progress && Progress->isVisible()) {
        About->adjustSize();
        const QRect progress = Progress->frameGeometry();
        const QRect screen = Progress->screen() ? Progress->screen()->availableGeometry() : QRect();
        const int gap = 8;
        QPoint place(progress.right() + gap, progress.top());
        if (!screen.isNull() && place.x() + About->frameGeometry().width() > screen.right())
            place.setX(progress.left() - gap - About->frameGeometry().width());
        if (screen.isNull() || place.x() >= screen.left())
            About->move(place);
    }
    About->exec();
}

void TPyxetForm::acHelpExecute()
{
    OpenHelpAt({});
}

void TPyxetForm::OpenHelpAt(const std::string& page)
{
    // The language of this moment: switching the language switches the help file at once.
    THelpWindow* help = OpenHelpWindow(this, HelpFilePath(AppDir, GetCurrentLanguage()));
    if (!help)
        StatusPanels[1]->setText(Q(_("No help window created.")));
    else if (!page.empty())
        help->ShowPage(page);
}

void TPyxetForm::LogoImageClick() { OpenWebPage(kMakerWebAddress); }

void TPyxetForm::mActionReportClick()
{
    if (!LogReport)
        return;
    LogReport->show();
    LogReport->raise();
    LogReport->activateWindow();
}

void TPyxetForm::SelectLanguage(const std::string& lang)
{
    Settings.Language = lang;
    Menus->MarkLanguage();
    UseLanguage(lang);
    RetranslateComponent(this);
    List->Retranslate();
    ShowIpConflictNote();
    Setup->Retranslate();
    ShowListState();
}

void TPyxetForm::CzechLangClick() { SelectLanguage("cs"); }
void TPyxetForm::EnglishLangClick() { SelectLanguage("en"); }


void TPyxetForm::SelectColourScheme(TColourScheme scheme)
{
    Settings.Scheme = scheme;
    Menus->MarkColourScheme();
    ApplyColourScheme(scheme);
}


