// TPyxetForm: the watch's events on the Log Report's Events page and as desktop notifications,
// and the site file (Actions -> "Open Site...", "Save Site...", "Close Site"; [Watch] Site).
#include "core/app/atomicfile.h"
#include "core/app/i18n.h"
#include "core/discovery/export.h"
#include "core/log/format.h"
#include "core/watch/site.h"
#include "gui/app/dialogs.h"
#include "gui/app/form.h"
#include "gui/app/notifier.h"
#include "gui/app/qtext.h"
#include "gui/app/watchpanel.h"
#include "gui/log/logrep.h"
#include "ui_form.h"

#include <QAction>
#include <QApplication>

#include <filesystem>

void TPyxetForm::SetUpSiteActions()
{
    connect(Ui_->acOpenSite, &QAction::triggered, this, [this] { acOpenSiteExecute(); });
    connect(Ui_->acSaveSite, &QAction::triggered, this, [this] { acSaveSiteExecute(); });
    connect(Ui_->acCloseSite, &QAction::triggered, this, [this] { acCloseSiteExecute(); });
    connect(Ui_->acNotify, &QAction::toggled, this, [this](bool on) { Settings.WatchNotify = on; });
    connect(Watch, &TWatchPanel::WatchEvent, this, [this](const TWatchEvent& event) { AddWatchEvent(event); });
    Ui_->acCloseSite->setEnabled(false);
}

// After the settings are read: the watch's interval and the Notify item as kept, the site last open opened again (a file
// that cannot be read now is only logged).
void TPyxetForm::SiteSettingsLoaded()
{
    Ui_->acNotify->setChecked(Settings.WatchNotify);
    Watch->SetSeconds(Settings.WatchSeconds);
    if (!Settings.WatchSite.empty())
        OpenSite(Settings.WatchSite, false);
}

void TPyxetForm::AddWatchEvent(const TWatchEvent& event)
{
    if (LogReport)
        LogReport->AddWatchEvent(event);
    const bool told = event.Kind == TWatchEventKind::Gone || event.Kind == TWatchEventKind::New;
    if (!told || !Settings.WatchNotify || QApplication::activeWindow())
        return;
    if (DesktopNotifier::Notify(Q(WatchUnitText(event)), Q(WatchEventText(event))))
        ++Notifications;
}

bool TPyxetForm::OpenSite(const std::string& path, bool box)
{
    std::string error;
    const std::optional<std::vector<TSiteUnit>> site = ReadSite(path, error);
    if (!site) {
        LogAction(_("Open Site failed"), error, LOG_ERROR);
        if (box)
            Dialogs::Error(this, error);
        return false;
    }
    OpenSiteUnits = *site;
    std::vector<TWatchUnit> expected = ExpectedUnits(*site);
    const auto count = static_cast<unsigned long>(expected.size());
    Watch->SetSite(std::filesystem::path(path).stem().string(), std::move(expected));
    OpenSitePath = path;
    Settings.WatchSite = path;
    Ui_->acCloseSite->setEnabled(true);
    LogAction(_("Site Opened"),
              Format(_n("%lu expected device in the site file %s", "%lu expected devices in the site file %s", count), count,
                     path.c_str()),
              LOG_INFO);
    return true;
}

void TPyxetForm::acOpenSiteExecute()
{
    const std::string path = Dialogs::OpenFileName(this, _("Open Site"), _("Site file|*.csv"));
    if (!path.empty())
        OpenSite(path, true);
}

void TPyxetForm::acSaveSiteExecute()
{
    const std::string path = Dialogs::SaveFileName(this, _("Save Site"), _("Site file|*.csv"));
    if (path.empty())
        return;
    // Every unit of the cycle, whatever the list shows, and the open site's units that did not
    // answer.
    const std::vector<TExportDevice> devices = ExportDevices(Devices);
    int error = 0;
    size_t written = 0;
    if (!WriteFileAtomically(path, SiteCsv(devices, OpenSiteUnits, &written), error, TExistingFile::ReplaceWritable)) {
        const std::string message =
            Format(_("Cannot write the file %s: %s"), path.c_str(), FileErrorText(error).c_str());
        LogAction(_("Save Site failed"), message, LOG_ERROR);
        Dialogs::Error(this, message);
        return;
    }
    const auto count = static_cast<unsigned long>(written);
    LogAction(_("Site Saved"),
              Format(_n("%lu device saved to the site file %s", "%lu devices saved to the site file %s", count), count,
                     path.c_str()),
              LOG_INFO);
    OpenSite(path, true);  // the site saved is the site open
}

void TPyxetForm::acCloseSiteExecute()
{
    Watch->SetSite("", {});
    OpenSiteUnits.clear();
    OpenSitePath.clear();
    Settings.WatchSite.clear();
    Ui_->acCloseSite->setEnabled(false);
}
