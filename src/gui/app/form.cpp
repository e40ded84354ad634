// TPyxetForm: building the main window and running its life. The device area, the setup panel,
// the transfers and the help live in their own files as further methods of this class.
#include "gui/app/form.h"
#include "gui/app/qtext.h"

#include "gui/app/artwork.h"
#include "gui/app/colourscheme.h"
#include "gui/app/dialogs.h"
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
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <vector>


// Keeps controls at their designed distances from the edges they are anchored to when their
// parent changes size (left/top anchoring is what a plain child does by itself).
class TAnchors : public QObject {
public:
    void Add(QWidget* w, Qt::Edges edges, QSize parentDesign)
    {
        Items.push_back({w, w->geometry(), parentDesign, edges});
        if (!Watched.contains(w->parentWidget())) {
            Watched << w->parentWidget();
            w->parentWidget()->installEventFilter(this);
        }
    }
    void Apply(QWidget* parent)
    {
        for (const Item& it : Items) {
            if (it.W->parentWidget() != parent)
                continue;
            const int dx = parent->width() - it.ParentDesign.width();
            const int dy = parent->height() - it.ParentDesign.height();
            QRect r = it.Design;
            if (it.Edges & Qt::RightEdge) {
                if (it.Edges & Qt::LeftEdge)
                    r.setWidth(std::max(0, r.width() + dx));
                else
                    r.moveLeft(r.left() + dx);
            }
            if (it.Edges & Qt::BottomEdge) {
                if (it.Edges & Qt::TopEdge)
                    r.setHeight(std::max(0, r.height() + dy));
                else
                    r.moveTop(r.top() + dy);
            }
            it.W->setGeometry(r);
        }
    }

protected:
    bool eventFilter(QObject* obj, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            Apply(static_cast<QWidget*>(obj));
        return false;
    }

private:
    struct Item {
        QWidget* W;
        QRect Design;
        QSize ParentDesign;
        Qt::Edges Edges;
    };
    std::vector<Item> Items;
    QList<QWidget*> Watched;
};

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

namespace {
// Design sizes: client area 738 x 659 = tool bar 40 + device area 599 + status bar 20.
constexpr int kClientWidth = 738;
constexpr int kClientHeight = 659;
constexpr int kToolBarHeight = 40;
constexpr int kStatusBarHeight = 20;
} // namespace

TPyxetForm::TPyxetForm(const QStringList& arguments, const std::string& appDir, const std::string& configDir,
                       QWidget* parent)
    : QMainWindow(parent), AppDir(appDir), ConfigDir(configDir.empty() ? appDir : configDir),
      Ui_(std::make_unique<Ui::TPyxetForm>()), Anchors(std::make_unique<TAnchors>()), ButtonKeys(new TButtonKeys(this)),
      Arguments(arguments)
{
    FollowColourScheme();
    Ui_->setupUi(this);
    setWindowIcon(WindowIcon());
    BuildToolBar();
    BuildStatusBar();
    resize(kClientWidth, kClientHeight + Ui_->mCfgMenu->sizeHint().height());
    BuildAnchors();
    WireLogger();
    SetupDeviceView();
    WireRowClicks();
    SetupSetupPanel();
    PlaceColumnHeaders();
    WireTransfers();
    FollowPalette();
    WireKeyboard();
    WireColourSchemes();

    connect(Ui_->acFind, &QAction::triggered, this, [this] { acFindExecute(); });
    connect(Ui_->acFindAt, &QAction::triggered, this, [this] { acFindAtExecute(); });
    connect(Ui_->acExit, &QAction::triggered, this, [this] { acExitExecute(); });
    connect(Ui_->acHelp, &QAction::triggered, this, [this] { acHelpExecute(); });
    connect(Ui_->mAbout, &QAction::triggered, this, [this] { mAboutClick(); });
    connect(Ui_->mActionReport, &QAction::triggered, this, [this] { mActionReportClick(); });
    connect(Ui_->CzechLang, &QAction::triggered, this, [this] { CzechLangClick(); });
    connect(Ui_->EnglishLang, &QAction::triggered, this, [this] { EnglishLangClick(); });

    setWindowTitle(Q(AppTitle));
    // Wide enough for every field of a line, in the list's font on this desktop.
    if (const int more = ColumnsShortfall(); more > 0) {
        resize(width() + more, height());
        PlaceColumnHeaders();
    }
    move(Dialogs::DesktopPosition(size()));
    FormCreate();
}

TPyxetForm::~TPyxetForm()
{
    FormDestroy();
}

void TPyxetForm::BuildToolBar()
{
    QToolBar* bar = Ui_->ToolBar1;
    bar->setFixedHeight(kToolBarHeight);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);

    Ui_->acFind->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_N), QKeySequence(Qt::Key_F5)});
    Ui_->acHelp->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_H), QKeySequence(Qt::Key_F1)});
    Ui_->acExit->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::CTRL | Qt::Key_Q)});
    const struct {
        QAction* Action;
        int Image;
    } images[] = {{Ui_->acFind, 0},    {Ui_->acExit, 1},       {Ui_->acHelp, 2},
                  {Ui_->acFirmUpgr, 4}, {Ui_->mActionReport, 5}, {Ui_->acBackup, 7}};
    for (const auto& i : images)
        i.Action->setIcon(ToolBarIcon(i.Image));

    pmLoadSaveConfig = new QMenu(this);
    pmLoadSaveConfig->setObjectName(QStringLiteral("pmLoadSaveConfig"));
    pmLoadSaveConfig->addAction(Ui_->LoadConfig);
    pmLoadSaveConfig->addAction(Ui_->SaveConfig);
    pmLoadSaveConfig->addSeparator();
    pmLoadSaveConfig->addAction(Ui_->BackupConfig);
    pmLoadSaveConfig->addAction(Ui_->RestoreConfig);
    pmLoadSaveConfig->addAction(Ui_->CommonConfig);

    pmFind = new QMenu(this);
    pmFind->setObjectName(QStringLiteral("pmFind"));
    FindInterfaces = new QActionGroup(this);
    FindInterfaces->setExclusive(true);
    connect(pmFind, &QMenu::aboutToShow, this, [this] { RebuildFindMenu(); });
    connect(Ui_->mInterfaces, &QMenu::aboutToShow, this, [this] { RebuildFindMenu(); });

    pmSelectLang = new QMenu(this);
    pmSelectLang->setObjectName(QStringLiteral("pmSelectLang"));
    auto* languages = new QActionGroup(this);
    languages->setExclusive(true);
    languages->addAction(Ui_->CzechLang);
    languages->addAction(Ui_->EnglishLang);
    pmSelectLang->addAction(Ui_->CzechLang);
    pmSelectLang->addAction(Ui_->EnglishLang);

    auto makeButton = [&](const char* name, QAction* action) {
        auto* b = new QToolButton(bar);
        b->setObjectName(QLatin1String(name));
        b->setFixedSize(107, kToolBarHeight);
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setIconSize(QSize(20, 20));
        b->setAutoRaise(true);
        b->setFont(font());
        if (action)
            b->setDefaultAction(action);
        return b;
    };
    auto separator = [&] {
        auto* s = new QWidget(bar);
        s->setFixedSize(8, kToolBarHeight);
        bar->addWidget(s);
    };
    tbFind = makeButton("tbFind", Ui_->acFind);
    tbFind->setMenu(pmFind);
    tbFind->setPopupMode(QToolButton::MenuButtonPopup);
    tbDeviceUpgr = makeButton("tbDeviceUpgr", Ui_->acFirmUpgr);
    tbConfig = makeButton("tbConfig", Ui_->acBackup);
    tbConfig->setMenu(pmLoadSaveConfig);
    tbConfig->setPopupMode(QToolButton::MenuButtonPopup);
    tbLanguage = makeButton("tbLanguage", nullptr);
    tbLanguage->setText(QStringLiteral("Select Language"));
    tbLanguage->setIcon(ToolBarIcon(6));
    tbLanguage->setMenu(pmSelectLang);
    tbLanguage->setPopupMode(QToolButton::MenuButtonPopup);
    connect(tbLanguage, &QToolButton::clicked, tbLanguage, &QToolButton::showMenu);  // no action of its own
    tbHelp = makeButton("tbHelp", Ui_->acHelp);
    tbExit = makeButton("tbExit", Ui_->acExit);

    bar->addWidget(tbFind);
    bar->addWidget(tbDeviceUpgr);
    bar->addWidget(tbConfig);
    bar->addWidget(tbLanguage);
    separator();
    bar->addWidget(tbHelp);
    separator();
    bar->addWidget(tbExit);

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

    for (QToolButton* b :
         {tbFind, tbConfig, tbLanguage, Ui_->btnType, Ui_->btnName, Ui_->btnMAC, Ui_->btnIP, Ui_->btnRev})
        ButtonKeys->Add(b);

    // Tab follows the layout: the tool bar, then top to bottom and left to right.
    QWidget* const order[] = {tbFind,
                              tbDeviceUpgr,
                              tbConfig,
                              tbLanguage,
                              tbHelp,
                              tbExit,
                              Ui_->AllChecked,
                              Ui_->btnType,
                              Ui_->btnName,
                              Ui_->btnMAC,
                              Ui_->btnIP,
                              Ui_->btnRev,
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
                              Ui_->btnConfigDevice};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
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
    Anchors->Add(Ui_->DeviceCountLabel, leftBottom, group1);
    Anchors->Add(Ui_->DeviceCounter, leftBottom, group1);
    Anchors->Add(Ui_->SearchLabel, leftBottom, group1);
    Anchors->Add(Ui_->teSearch, Qt::LeftEdge | Qt::RightEdge | Qt::BottomEdge, group1);
    Anchors->Add(Ui_->FilterLabel, rightBottom, group1);
    Anchors->Add(Ui_->DeviceFilter, rightBottom, group1);
    Anchors->Add(pbHTTP, Qt::LeftEdge | Qt::RightEdge | Qt::BottomEdge, status);
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
    // The tool bar: a gradient of the window face, its labels in the text that reads on both ends.
    const TSchemeColours bar = FaceColours(face, TColourRole::ToolBar);
    Ui_->ToolBar1->setStyleSheet(QStringLiteral("QToolBar { border: 0px; padding: 0px; spacing: 0px;"
                                                " background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
                                                " stop:0 %1, stop:1 %2); }")
                                     .arg(SchemeColour(bar.Background).name(), SchemeColour(bar.BackgroundEnd).name()));
    QPalette labels = Ui_->ToolBar1->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        for (QPalette::ColorRole role : {QPalette::ButtonText, QPalette::WindowText})
            labels.setColor(group, role, SchemeColour(bar.Text));
    Ui_->ToolBar1->setPalette(labels);

    const QIcon glyph = SortGlyph(SchemeColour(FaceColours(face, TColourRole::ButtonGlyph).Text));
    for (QToolButton* b : {Ui_->btnType, Ui_->btnName, Ui_->btnMAC, Ui_->btnIP, Ui_->btnRev})
        b->setIcon(glyph);

    const TSchemeColours note = ListColours(face, TColourRole::ConflictRow);
    Ui_->tlIPConflict->setStyleSheet(
        QStringLiteral("QLabel { background: %1; color: %2; border: 1px solid #b06010; padding: 1px 3px; }")
            .arg(SchemeColour(note.Background).name(), SchemeColour(note.Text).name()));
    // A style sheet set again gives back the font the label had before the first one (the
    // desktop's, not the window's): the window's again, as the other labels have it.
    Ui_->tlIPConflict->setFont(font());

    for (QLineEdit* field : {Ui_->teDeviceName, Ui_->teDeviceIP, Ui_->teDeviceMask, Ui_->teDeviceGateway,
                             Ui_->teDeviceDNS1, Ui_->teDeviceDNS2, Ui_->teHTTPPort, Ui_->teTelnetPort})
        SetFieldLook(field, field->isReadOnly());
    ShowPictureOnBackdrop();
}

void TPyxetForm::FormShow()
{
    LoadSettings(ConfigDir, Settings);
    ApplyColourScheme(Settings.Scheme);
    MarkColourSchemeMenu();
    RestoreWindowPlace();
    Logger.TimeStamps = Settings.TimeStamps;
    UseLanguage(Settings.Language);
    RetranslateComponent(this);
    MarkLanguageMenu();
    MarkTransferMenu();
    PlaceColumnHeaders();
    RebuildFindMenu();

    if (!Arguments.isEmpty() && Arguments.first().contains(QStringLiteral("-demo"), Qt::CaseSensitive)) {
        DemoMode = true;
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
    std::string error;
    ++SavesDone;
    if (!SaveSettings(ConfigDir, Settings, &error))
        Dialogs::Error(this, error);
}

void TPyxetForm::FormDestroy()
{
    delete Discovery;  // stops sending before the endpoints go
    Discovery = nullptr;
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
    Ui_->btnSetDefault->setEnabled(enabled);
    Ui_->btnRestartDevice->setEnabled(enabled);
    ShowRestartHint();
}

void TPyxetForm::EnterDemoMode()
{
    AppTitle += " Demo";
    ShowListState();  // the panel rests no more; its buttons follow
    EnableDeviceActions(true);
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
    MarkLanguageMenu();
    UseLanguage(lang);
    RetranslateComponent(this);
    RetranslateDeviceFilter();
    ShowIpConflictNote();
    ShowRestartHint();
    ShowListState();
    PlaceColumnHeaders();
}

void TPyxetForm::RetranslateDeviceFilter()
{
    // The filter box's own texts are set by the discovery, after the window's texts were
    // recorded; its type names are device data and stay as they are.
    QComboBox* filter = Ui_->DeviceFilter;
    if (!filter->placeholderText().isEmpty())
        filter->setPlaceholderText(Q(_("No devices")));
    if (filter->count() > 0)
        filter->setItemText(0, Q(_("All devices")));
}

void TPyxetForm::CzechLangClick() { SelectLanguage("cs"); }
void TPyxetForm::EnglishLangClick() { SelectLanguage("en"); }

void TPyxetForm::WireColourSchemes()
{
    ColourSchemes = new QActionGroup(this);
    ColourSchemes->setExclusive(true);
    const std::pair<QAction*, TColourScheme> items[] = {{Ui_->acSchemeSystem, TColourScheme::System},
                                                        {Ui_->acSchemeLight, TColourScheme::Light},
                                                        {Ui_->acSchemeDark, TColourScheme::Dark}};
    for (const auto& [item, scheme] : items) {
        item->setData(static_cast<int>(scheme));
        ColourSchemes->addAction(item);
        connect(item, &QAction::triggered, this, [this, scheme = scheme] { SelectColourScheme(scheme); });
    }
    MarkColourSchemeMenu();
}

void TPyxetForm::SelectColourScheme(TColourScheme scheme)
{
    Settings.Scheme = scheme;
    MarkColourSchemeMenu();
    ApplyColourScheme(scheme);
}

void TPyxetForm::MarkColourSchemeMenu()
{
    for (QAction* item : ColourSchemes->actions())
        item->setChecked(item->data().toInt() == static_cast<int>(Settings.Scheme));
}

void TPyxetForm::MarkLanguageMenu()
{
    // Only exactly "cs" is Czech; any other code (EN, de, ...) marks English.
    if (Settings.Language == "cs")
        Ui_->CzechLang->setChecked(true);
    else
        Ui_->EnglishLang->setChecked(true);
}
