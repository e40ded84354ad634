// The main window TPyxetForm: tool bar, menus, device area, setup panel and status bar, and the
// program's life around it (settings, language, demonstration mode, first discovery, the orderly
// end). The device-area operations are further methods of this class in formdevices.cpp.
#pragma once
#include "core/app/settings.h"
#include "gui/app/controllock.h"
#include "gui/app/statuspanel.h"
#include "core/devices/registry.h"
#include "core/devices/sorting.h"
#include "core/http/faileddevices.h"
#include "core/log/actionlog.h"
#include "core/watch/site.h"
#include "core/watch/watch.h"

#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TPyxetForm;
}
class TWatchPanel;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QToolButton;
class TUDPServer;
class TDiscoveryRun;
class TFindAtForm;
class QActionGroup;
class QProgressDialog;
class TAnchors;
class TButtonKeys;
class TAboutBox;
class TLogActionForm;
class TDeviceListPanel;
class TUpgradeForm;
class TProgressInfoForm;
class TLoginForm;
class THTTPModule;
class TBatchController;
struct TDiscoveryPlan;
struct TBatchDevice;
struct TCompareDevice;
class TPlanDialog;
class TSavedLoginsForm;
class TSetupPanel;
class TLoginStore;
class TKeyringLogins;
class TMainMenus;

class TPyxetForm : public QMainWindow {
    Q_OBJECT
public:
    // arguments: the command-line arguments after the program's name (the first one decides the
    // demonstration mode); appDir: the data folder with its trailing '/' (pictures); configDir:
    // the folder of Pyxet.ini with its trailing '/', appDir when empty.
    TPyxetForm(const QStringList& arguments, const std::string& appDir, const std::string& configDir = {},
               QWidget* parent = nullptr);
    ~TPyxetForm() override;

    // ---- Program-wide state -----------------------------------------------------------------
    std::string AppTitle = "Pyxet";  // " Demo" appended in demonstration mode
    std::string AppDir;
    std::string ConfigDir;  // where Pyxet.ini is read and written
    bool DemoMode = false;
    TSettings Settings;                  // time stamps, language, OrvexProducts, HwgProducts
    TDeviceRegistry Devices;             // DeviceList and PreviousList; owns the devices
    std::unique_ptr<TUDPServer> OrvexServer;
    std::unique_ptr<TUDPServer> HwgServer;
    TActionLogger Logger;                // installed as the current logger while the window lives
    std::vector<TLogLine>& ActionLog = Logger.ActionLog;

    // The secondary windows this one opens; whoever creates them (the program's start-up) hands
    // them over. A window that is gone reads as null.
    QPointer<TLogActionForm> LogReport;
    QPointer<TAboutBox> About;

    // The transfers' progress bar, over the right end of the status bar.
    QProgressBar* pbHTTP = nullptr;

    // ---- Operations ---------------------------------------------------------------------------
    // Caption to status panel 0, message to panel 1 and the action log (texts arrive translated).
    void LogAction(const std::string& caption, const std::string& message, int level);
    // "Configuration", "Upgrade Firmware...", "Set Factory Defaults", "Restart Device".
    void EnableDeviceActions(bool enabled);
    // "Find Devices": one discovery cycle; in demonstration mode only the device panel is shown.
    void acFindExecute();
    // "Find at Addresses...": asks for the addresses, then runs a cycle that also asks them by
    // unicast, with a progress window that can stop it.
    void acFindAtExecute();
    // A cycle through the interfaces of the settings that also asks targets by unicast.
    void FindDevices(const std::vector<uint32_t>& targets);
    // The search of the settings' interface (all of them when it is gone) and these targets.
    TDiscoveryPlan SearchPlan(const std::vector<uint32_t>& targets) const;
    // Fills the "Find Devices" drop-down from the PC's interfaces (each time it opens).
    void RebuildFindMenu();
    TDiscoveryRun* Discovery = nullptr;
    // Actions -> "Watch": rounds over the devices found, gone units marked (watchpanel.h).
    TWatchPanel* Watch = nullptr;  // child object
    // The open site's line under the device list (the list shorter by its room); "": none.
    void ShowSiteLine(const QString& text);
    QProgressDialog* SearchProgress = nullptr;  // shown while a search on other subnets sends
    TFindAtForm* FindAt = nullptr;

    // "Help": opens the help file of the current language in the help window; when none can be
    // opened, status panel 1 says so.
    void acHelpExecute();
    // The maker's logo opens the maker's web address.
    void LogoImageClick();

    // ---- (formsite.cpp)
    void SetUpSiteActions();
    void SiteSettingsLoaded();

    // How many times the settings were written (a closing window writes them once).
    int SettingsSaves() const { return SavesDone; }

    // ---- Device area (formdevices.cpp) ---------------------------------------------------------
    // The device list (devicelistpanel.h): rows, columns, check marks, search, type filter,
    // counter and the device shown.
    TDeviceListPanel* List = nullptr;
    // The device whose details are shown (the list's), null when none.
    TProduct* SelectedDevice() const;

    void FreeDevices();
    void ClearDeviceView();
    // Completes, files and registers a device handed over by a family's answer handler.
    void AddDevice(std::unique_ptr<TProduct> device, const TProductTable& products, TUDPServer* server);
    void RegisterDevice(TProduct* device);
    // Highlights the row and shows its device, as a click on it does.
    void SelectDevice(int row);
    void ShowDeviceDetails();
    void tiDeviceImgClick();
    void Image2Click();
    // Utilities -> "Export Device List...": the rows shown, as CSV or JSON.
    void mExportListClick();

    // ---- The watch's events and the site file (formsite.cpp) ---------------------------------
    // One event of the watch (already logged): listed on the Log Report's Events page, and for
    // a unit gone or new a desktop notification when Utilities -> "Notify" is on and none of
    // the program's windows is active.
    void AddWatchEvent(const TWatchEvent& event);
    // How many desktop notifications were handed to the session bus.
    int NotificationsSent() const { return Notifications; }
    // Actions -> "Save Site...": every unit of the cycle, with the open site's notes.
    void acSaveSiteExecute();
    // Actions -> "Open Site...": the file's units become the watch's expected units.
    void acOpenSiteExecute();
    // Actions -> "Close Site": no site open, [Watch] Site forgotten.
    void acCloseSiteExecute();
    // Reads a site file and opens it; a refusal goes to an error box (box) or the log only.
    bool OpenSite(const std::string& path, bool box);
    // The site open ("" when none) and its notes by unit.
    const std::string& SitePath() const { return OpenSitePath; }


    // ---- Batches and plans (src/gui/app/formtransfers.cpp; gui/app/batchcontroller.h) --------
    // Handed over by the program's start-up like the other secondary windows.
    QPointer<TUpgradeForm> Upgrade;
    QPointer<TProgressInfoForm> Progress;
    QPointer<TLoginForm> Login;
    THTTPModule* Http = nullptr;
    // The upgrade and configuration batches, "Transfers at Once", "Verify Upgrades", the plans
    // and "Check Failed Devices".
    TBatchController* Batches() const { return Controller; }

    // ---- The desktop's keyring (formtransfers.cpp) ----------------------------------------------
    // Where "Remember in the keyring" writes and the batches look logins up: the desktop's keyring
    // (QtKeychain) unless a test puts a store of its own here before the window is first shown,
    // which asks it whether it answers.
    std::unique_ptr<TLoginStore> KeyringStore;
    // The keyring's operations; null until the window is shown and when no keyring answered.
    TKeyringLogins* Keyring() const;
    bool KeyringAnswered() const { return KeyringProbed; }
    // Utilities -> "Saved Logins...".
    void mSavedLoginsClick();
    TSavedLoginsForm* SavedLogins = nullptr;

    bool AnyDeviceChecked() const;
    // The devices as the compare dialog offers them: the rows shown, or the checked rows.
    std::vector<TCompareDevice> CompareDevices(bool checkedOnly) const;
    void acFirmUpgrExecute();
    void LoadConfigClick();
    void SaveConfigClick();
    void BackupConfigClick();
    void RestoreConfigClick();
    void CommonConfigClick();
    // Actions -> "Set Up Checked Devices..." and "Undo Last Plan...".
    void acSetUpPlanExecute();
    void acUndoPlanExecute();
    // Utilities -> "Check Failed Devices".
    void acCheckFailedExecute();
    // Utilities -> "Resume Last Upgrade..." (off in demonstration mode: it searches first).
    void acResumeUpgradeExecute();
    // One discovery cycle, then `ended` once its last request has gone and kAnswerWaitMs more
    // have passed (while watching: once the watch's round of the new list has ended); false when
    // no cycle could start.
    bool FindDevicesThen(std::function<void()> ended);
    static constexpr int kAnswerWaitMs = 2000;
    // What a running batch or plan locks, for its whole run: every control that starts a
    // discovery, changes the devices, the rows or the selection, or starts another command on
    // them. Each control of that kind joins it where it is made.
    TControlLock BatchLock;
    // A batch or a plan is running: nothing else that changes devices may start.
    bool Busy() const;
    // The plan dialog's run starts (BatchLock locked) and ends (unlocked, then one discovery
    // cycle finds the devices again).
    void PlanStarted();
    void PlanEnded();
    // Enables "Check Failed Devices" when a device that failed is listed. `added`: the device a
    // registration has just added to rows that follow DeviceList; null: the rows are looked
    // through.
    void UpdateCheckFailed(const TProduct* added = nullptr);
    // The devices whose check marks the discovery cycle after a verified upgrade gives back as
    // they answer again (by MAC and family); emptied by the next cycle.
    TFailedDevices KeptChecks;
    void MarkTransferMenu();


signals:
    // The window has closed: the program ends (whatever other window is still open).
    void FormClosed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;  // a new palette: FollowPalette

private:
    // Status panels 0 to 2 (200, 380 and 100 pixels; panel 0 starts "Ready").
    TStatusPanel* StatusPanels[3] = {};
    void EnterDemoMode();
    // "Help" at a page of the help file ("/finding.html#why"); the first page when empty.
    void OpenHelpAt(const std::string& page);
    static constexpr const char* kWhyNoDevicePage = "/finding.html#why";
    // The window's place and size now, as the settings keep them.
    TWindowPlace WindowPlace() const;
    // Utilities -> "Colour Scheme": radio items System, Light and Dark (Settings.Scheme), the
    // palette following the choice at once.
    void SelectColourScheme(TColourScheme scheme);
    void ShowLogo();
    // Keys of their own: F1, Ctrl+Q and Ctrl+F, the keys of the drop-down buttons,
    // the Tab order; the menu bar's "Configuration" following its tool button.
    void WireKeyboard();
    // The colours the window sets itself (tool bar, sort glyphs, shaded fields, the conflict
    // note, the picture's backdrop), decided again from the present palette.
    void FollowPalette();
    void ShowPictureOnBackdrop();
    QImage DevicePicture;  // the picture shown, as read
    void BuildStatusBar();
    void BuildAnchors();
    void WireLogger();
    void SetupDeviceView();
    bool ShowDevicePicture(const std::string& path);
    // After the rows shown changed: the text in the list's empty area, and the setup panel and
    // the device links at rest while no row is shown (EmptyListLock).
    void ShowListState();
    QLabel* EmptyListHint = nullptr;
    TControlLock EmptyListLock;
    // The note over the picture when the selected device shares its address with another MAC.
    void ShowIpConflictNote();
    bool QuietPictureErrors = false;  // registration loads pictures without reporting

    void WireTransfers();
    std::vector<TBatchDevice> CheckedDevices() const;
    // Units the watch shows gone or missing, which count for no batch, sharing rule or compare
    // of the whole list; empty while not watching.
    std::function<bool(const TProduct&)> Away() const;
    TBatchController* Controller = nullptr;  // child object
    // Asks the keyring whether it answers (at the first showing); the login dialog's box and
    // "Saved Logins..." follow the answer.
    void ProbeKeyring();
    void ShowKeyringState();
    std::unique_ptr<TKeyringLogins> KeyringLogins;
    bool KeyringProbed = false;
    bool KeyringAvailable = false;
    std::string KeyringWhy;

    void FormCreate();
    // The place kept in the settings, then the one to compare with at the end.
    void RestoreWindowPlace();
    TWindowPlace PlacedAt;
    void FormShow();
    void FormClose();
    void FormDestroy();

    void acExitExecute();
    void mAboutClick();
    void mActionReportClick();
    void CzechLangClick();
    void EnglishLangClick();
    void SelectLanguage(const std::string& lang);

    std::unique_ptr<Ui::TPyxetForm> Ui_;
    TMainMenus* Menus = nullptr;   // child object
    TSetupPanel* Setup = nullptr;  // child object
    std::unique_ptr<TAnchors> Anchors;
    int SiteLineRoom = 0;  // pixels of the list's height the site line takes
    QStringList Arguments;
    bool Shown = false;
    bool Closed = false;
    int SavesDone = 0;
    std::string OpenSitePath;                       // the site open, "" when none
    std::vector<TSiteUnit> OpenSiteUnits;          // its units as read (Save Site keeps them)
    int Notifications = 0;
};
