// The main window's tool bar with its drop-downs, and the menu bar's choices of network
// interface, language and colour scheme, built on the window's .ui layout.
#pragma once
#include "core/app/settings.h"

#include <QObject>

#include <functional>
#include <vector>

namespace Ui {
class TPyxetForm;
}
class QAction;
class QActionGroup;
class QMainWindow;
class QMenu;
class QPalette;
class QToolButton;
class QWidget;
class TControlLock;

class TMainMenus : public QObject {
public:
    static constexpr int kHeight = 40;  // the tool bar's

    // The tool bar's buttons are made and the commands that start a discovery join batchLock.
    // selectScheme: an item of Utilities -> "Colour Scheme" was chosen.
    TMainMenus(QMainWindow* window, Ui::TPyxetForm& ui, TSettings& settings, TControlLock& batchLock,
               std::function<void(TColourScheme)> selectScheme);

    // Fills the "Find Devices" drop-down and the Actions menu's "Network Interface" from the
    // PC's interfaces (each time one of them opens).
    void RebuildFindMenu();
    // The language and colour scheme items show the settings.
    void MarkLanguage();
    void MarkColourScheme();
    // The tool bar's gradient and labels, decided again from the window's present palette.
    void FollowPalette(const QPalette& face);
    // The tool bar's buttons in Tab order; those with a drop-down.
    std::vector<QWidget*> TabOrder() const;
    std::vector<QToolButton*> DropDownButtons() const;

private:
    QToolButton* MakeButton(const char* name, QAction* action);

    QMainWindow* Window;
    Ui::TPyxetForm& Ui_;
    TSettings& Settings;
    QToolButton* tbFind;
    QToolButton* tbDeviceUpgr;
    QToolButton* tbConfig;
    QToolButton* tbLanguage;
    QToolButton* tbHelp;
    QToolButton* tbExit;
    QMenu* pmFind;  // "Find Devices" drop-down: the interfaces, "Find at Addresses..."
    QActionGroup* FindInterfaces;
    QActionGroup* ColourSchemes;
};
