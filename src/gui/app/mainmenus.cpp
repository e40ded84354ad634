// TMainMenus: the tool bar's buttons and drop-downs, the interfaces to search on, the language and
// colour scheme items.
#include "gui/app/mainmenus.h"

#include "core/app/i18n.h"
#include "core/devices/netinterfaces.h"
#include "core/discovery/discovery.h"
#include "gui/app/artwork.h"
#include "gui/app/colourscheme.h"
#include "gui/app/controllock.h"
#include "gui/app/qtext.h"
#include "ui_form.h"

#include <QActionGroup>
#include <QMainWindow>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

TMainMenus::TMainMenus(QMainWindow* window, Ui::TPyxetForm& ui, TSettings& settings, TControlLock& batchLock,
                       std::function<void(TColourScheme)> selectScheme)
    : QObject(window), Window(window), Ui_(ui), Settings(settings)
{
    QToolBar* bar = Ui_.ToolBar1;
    bar->setFixedHeight(kHeight);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);

    Ui_.acFind->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_N), QKeySequence(Qt::Key_F5)});
    Ui_.acHelp->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_H), QKeySequence(Qt::Key_F1)});
    Ui_.acExit->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::CTRL | Qt::Key_Q)});
    const struct {
        QAction* Action;
        int Image;
    } images[] = {{Ui_.acFind, 0},    {Ui_.acExit, 1},       {Ui_.acHelp, 2},
                  {Ui_.acFirmUpgr, 4}, {Ui_.mActionReport, 5}, {Ui_.acBackup, 7}};
    for (const auto& i : images)
        i.Action->setIcon(ToolBarIcon(i.Image));

    auto* pmLoadSaveConfig = new QMenu(window);
    pmLoadSaveConfig->setObjectName(QStringLiteral("pmLoadSaveConfig"));
    pmLoadSaveConfig->addAction(Ui_.LoadConfig);
    pmLoadSaveConfig->addAction(Ui_.SaveConfig);
    pmLoadSaveConfig->addSeparator();
    pmLoadSaveConfig->addAction(Ui_.BackupConfig);
    pmLoadSaveConfig->addAction(Ui_.RestoreConfig);
    pmLoadSaveConfig->addAction(Ui_.CommonConfig);

    pmFind = new QMenu(window);
    pmFind->setObjectName(QStringLiteral("pmFind"));
    FindInterfaces = new QActionGroup(window);
    FindInterfaces->setObjectName(QStringLiteral("FindInterfaces"));
    FindInterfaces->setExclusive(true);
    connect(pmFind, &QMenu::aboutToShow, this, [this] { RebuildFindMenu(); });
    connect(Ui_.mInterfaces, &QMenu::aboutToShow, this, [this] { RebuildFindMenu(); });
    // No discovery while a batch runs: "Find Devices", its drop-down with the interfaces and the
    // Actions menu's "Network Interface" holding the same, "Find at Addresses...".
    batchLock.Join({Ui_.acFind, Ui_.acFindAt, pmFind, FindInterfaces, Ui_.mInterfaces->menuAction()});

    auto* pmSelectLang = new QMenu(window);
    pmSelectLang->setObjectName(QStringLiteral("pmSelectLang"));
    auto* languages = new QActionGroup(window);
    languages->setExclusive(true);
    languages->addAction(Ui_.CzechLang);
    languages->addAction(Ui_.EnglishLang);
    pmSelectLang->addAction(Ui_.CzechLang);
    pmSelectLang->addAction(Ui_.EnglishLang);

    auto separator = [&] {
        auto* s = new QWidget(bar);
        s->setFixedSize(8, kHeight);
        bar->addWidget(s);
    };
    tbFind = MakeButton("tbFind", Ui_.acFind);
    tbFind->setMenu(pmFind);
    tbFind->setPopupMode(QToolButton::MenuButtonPopup);
    tbDeviceUpgr = MakeButton("tbDeviceUpgr", Ui_.acFirmUpgr);
    tbConfig = MakeButton("tbConfig", Ui_.acBackup);
    tbConfig->setMenu(pmLoadSaveConfig);
    tbConfig->setPopupMode(QToolButton::MenuButtonPopup);
    tbLanguage = MakeButton("tbLanguage", nullptr);
    tbLanguage->setText(QStringLiteral("Select Language"));
    tbLanguage->setIcon(ToolBarIcon(6));
    tbLanguage->setMenu(pmSelectLang);
    tbLanguage->setPopupMode(QToolButton::MenuButtonPopup);
    connect(tbLanguage, &QToolButton::clicked, tbLanguage, &QToolButton::showMenu);  // no action of its own
    tbHelp = MakeButton("tbHelp", Ui_.acHelp);
    tbExit = MakeButton("tbExit", Ui_.acExit);

    bar->addWidget(tbFind);
    bar->addWidget(tbDeviceUpgr);
    bar->addWidget(tbConfig);
    bar->addWidget(tbLanguage);
    separator();
    bar->addWidget(tbHelp);
    separator();
    bar->addWidget(tbExit);

    ColourSchemes = new QActionGroup(window);
    ColourSchemes->setObjectName(QStringLiteral("ColourSchemes"));
    ColourSchemes->setExclusive(true);
    const std::pair<QAction*, TColourScheme> schemes[] = {{Ui_.acSchemeSystem, TColourScheme::System},
                                                          {Ui_.acSchemeLight, TColourScheme::Light},
                                                          {Ui_.acSchemeDark, TColourScheme::Dark}};
    for (const auto& [item, scheme] : schemes) {
        item->setData(static_cast<int>(scheme));
        ColourSchemes->addAction(item);
        connect(item, &QAction::triggered, this, [selectScheme, scheme = scheme] { selectScheme(scheme); });
    }
    MarkColourScheme();
}

QToolButton* TMainMenus::MakeButton(const char* name, QAction* action)
{
    auto* b = new QToolButton(Ui_.ToolBar1);
    b->setObjectName(QLatin1String(name));
    b->setFixedSize(107, kHeight);
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setIconSize(QSize(20, 20));
    b->setAutoRaise(true);
    b->setFont(Window->font());
    if (action)
        b->setDefaultAction(action);
    return b;
}

std::vector<QWidget*> TMainMenus::TabOrder() const
{
    return {tbFind, tbDeviceUpgr, tbConfig, tbLanguage, tbHelp, tbExit};
}

std::vector<QToolButton*> TMainMenus::DropDownButtons() const
{
    return {tbFind, tbConfig, tbLanguage};
}

void TMainMenus::RebuildFindMenu()
{
    // The drop-down and the Actions menu's "Network Interface" hold the same choices.
    pmFind->clear();
    Ui_.mInterfaces->clear();
    qDeleteAll(FindInterfaces->actions());
    const std::vector<TNetInterface> interfaces = ListNetInterfaces();
    const std::vector<std::string> names = DiscoveryInterfaceNames(interfaces);
    auto add = [this](const QString& text, const std::string& name) {
        auto* action = new QAction(text, FindInterfaces);
        pmFind->addAction(action);
        Ui_.mInterfaces->addAction(action);
        action->setCheckable(true);
        action->setData(Q(name));
        action->setChecked(Settings.Interface == name);
        connect(action, &QAction::triggered, this, [this, name] { Settings.Interface = name; });
    };
    add(Q(_("All interfaces")), "");
    const bool remembered = Settings.Interface.empty()
        || std::find(names.begin(), names.end(), Settings.Interface) != names.end();
    if (!remembered)
        FindInterfaces->actions().front()->setChecked(true);  // that interface is gone: all of them
    for (const std::string& name : names)
        add(Q(InterfaceLabel(interfaces, name)), name);
    pmFind->addSeparator();
    pmFind->addAction(Ui_.acFindAt);
}

void TMainMenus::MarkLanguage()
{
    // Only exactly "cs" is Czech; any other code (EN, de, ...) marks English.
    if (Settings.Language == "cs")
        Ui_.CzechLang->setChecked(true);
    else
        Ui_.EnglishLang->setChecked(true);
}

void TMainMenus::MarkColourScheme()
{
    for (QAction* item : ColourSchemes->actions())
        item->setChecked(item->data().toInt() == static_cast<int>(Settings.Scheme));
}

void TMainMenus::FollowPalette(const QPalette& face)
{
    // The tool bar: a gradient of the window face, its labels in the text that reads on both ends.
    const TSchemeColours bar = FaceColours(face, TColourRole::ToolBar);
    Ui_.ToolBar1->setStyleSheet(QStringLiteral("QToolBar { border: 0px; padding: 0px; spacing: 0px;"
                                               " background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
                                               " stop:0 %1, stop:1 %2); }")
                                    .arg(SchemeColour(bar.Background).name(), SchemeColour(bar.BackgroundEnd).name()));
    QPalette labels = Ui_.ToolBar1->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        for (QPalette::ColorRole role : {QPalette::ButtonText, QPalette::WindowText})
            labels.setColor(group, role, SchemeColour(bar.Text));
    Ui_.ToolBar1->setPalette(labels);
}
