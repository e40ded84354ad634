// The window's watch: Actions -> "Watch" on the round runner.
#include "gui/app/watchpanel.h"

#include "core/app/i18n.h"
#include "core/devices/family.h"
#include "core/discovery/discovery.h"
#include "core/discovery/families.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/log/safetext.h"
#include "core/watch/budget.h"
#include "core/watch/watchrun.h"
#include "gui/app/devicelistpanel.h"
#include "gui/app/form.h"
#include "gui/app/qtext.h"
#include "gui/devices/devicelistmodel.h"

#include <QAction>
#include <QDateTime>
#include <QLabel>
#include <QHeaderView>
#include <QTableView>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kLastSeenWidth = 150;  // pixels

// A device's answer as the watch takes it.
TWatchAnswer AnswerOf(const TProduct& device)
{
    return WatchAnswerOf(device.Info, device.Family().Name);
}

// The row of an expected unit that did not answer: the site file's values, no device to talk to.
class TMissingUnit : public TProduct {
public:
    TMissingUnit(const TWatchAnswer& site, const TFamily& family) : Of(family)
    {
        Info.MAC = site.MAC;
        Info.Name = site.Name;
        Info.PeerIP = site.Address;
        Info.FirmwareRev = site.Firmware;
        Info.TypeName = site.TypeName;
    }
    void Update() override {}
    void FactoryDefault() override {}
    void Restart() override {}
    const TFamily& Family() const override { return Of; }

private:
    const TFamily& Of;
};

}  // namespace

TWatchPanel::TWatchPanel(TPyxetForm& form, QAction* action, QLabel* siteLine)
    : QObject(&form), Form(form), Action(action), Line(siteLine), Rounds(std::make_unique<TWatchRunner>())
{
    Action->setChecked(false);  // off at every start
    connect(Action, &QAction::toggled, this, [this](bool on) { SetWatching(on); });
    connect(Rounds.get(), &TWatchRunner::Event, this, [this](const TWatchEvent& event) { Event(event); });
    connect(Rounds.get(), &TWatchRunner::RoundEnded, this, [this] { Refresh(); });
    // A unit whose answer changed: its row shows the new line, where the list files it.
    Form.Devices.OnRefiled = [this](TProduct* device, int, int to) {
        Form.List->Model()->DeviceRefiled(device, to);
        if (Form.SelectedDevice() == device)
            Form.ShowDeviceDetails();
    };
    Line->hide();
    // A batch (or a plan) works on the units: the rounds rest until it has ended.
    Form.BatchLock.OnChanged = [this](bool locked) { Rounds->SetPaused(locked); };
}

TWatchPanel::~TWatchPanel()
{
    Form.BatchLock.OnChanged = nullptr;
    Form.Devices.OnRefiled = nullptr;
    if (Form.List)
        Form.List->Model()->SetMissingRows({});  // before the placeholders go
}

const TWatch& TWatchPanel::State() const
{
    return Rounds->Watch();
}

void TWatchPanel::SetWatching(bool on)
{
    if (Action->isChecked() != on) {
        Action->setChecked(on);  // comes back here through toggled
        return;
    }
    if (on == Watching())
        return;
    if (!on) {
        On = false;
        Rounds->Stop();
        Form.Devices.SetKeepUnits(false);
        ShowMarks();
        return;
    }
    if (Form.DemoMode) {
        Action->setChecked(false);
        return;
    }
    On = true;
    Form.Devices.SetKeepUnits(true);
    // The units listed already are the watch's from now: seen at the list's last answers.
    const int64_t now = QDateTime::currentMSecsSinceEpoch();
    for (const TDeviceEntry& entry : Form.Devices.DeviceList())
        Rounds->Watch().Answer(AnswerOf(*entry.Device), now);
    ShowMarks();
    Start({});
}

void TWatchPanel::ShowMarks()
{
    TDeviceListModel* model = Form.List->Model();
    const bool marks = On || !SiteName.empty();
    if (marks == model->Watching()) {
        model->WatchChanged();
        return;
    }
    if (!marks) {
        model->SetWatch(nullptr);
        return;
    }
    // Without the watch only the site's notes: no round has heard a unit.
    model->SetWatch([this](const TProduct& device) {
        TRowWatch row;
        const TWatchUnit* unit = UnitOf(device);
        if (!unit)
            return row;
        row.Note = unit->Note;
        if (!On)
            return row;
        row.Gone = unit->Gone;
        row.Missing = unit->Missing;
        row.LastSeen = unit->LastSeen;
        return row;
    });
    // The Last Seen column wide enough for a date and a time.
    if (auto* list = Form.findChild<QTableView*>(QStringLiteral("DeviceListBox")))
        list->horizontalHeader()->resizeSection(model->LastSeenColumn(), kLastSeenWidth);
}

const TWatchUnit* TWatchPanel::UnitOf(const TProduct& device) const
{
    const std::optional<TWatchKey> key = WatchKeyOf(device.Info.MAC, device.Family().Name);
    return key ? Rounds->Watch().Find(*key) : nullptr;
}

bool TWatchPanel::IsAway(const TProduct& device) const
{
    if (!On)
        return false;
    const TWatchUnit* unit = UnitOf(device);
    return unit && (unit->Gone || unit->Missing);
}

void TWatchPanel::Start(const std::vector<uint32_t>& targets)
{
    Rounds->Start(Form.Devices, DiscoveryFamilies({Form.OrvexServer.get(), Form.HwgServer.get()}, Form.Settings),
                  Form.SearchPlan(targets), IntervalSeconds);
}

void TWatchPanel::SetSeconds(int seconds)
{
    IntervalSeconds = std::clamp(seconds, kWatchMinSeconds, kWatchMaxSeconds);
    Rounds->SetSeconds(IntervalSeconds);
}

void TWatchPanel::NewList(const std::vector<uint32_t>& targets)
{
    Rounds->Watch().Reset();
    Form.List->Model()->WatchChanged();
    if (targets.empty())
        Rounds->RoundNow();
    else
        Start(targets);
}

void TWatchPanel::SetSite(const std::string& name, std::vector<TWatchUnit> expected)
{
    SiteName = name;
    SiteValues.clear();
    for (const TWatchUnit& unit : expected)
        SiteValues.emplace(unit.Key, unit.Last);
    Rounds->Watch().Expect(std::move(expected));
    // Another site's units are not missing from this one.
    for (auto& [key, placeholder] : Placeholders)
        Dropped.push_back(std::move(placeholder));
    MissingChanged = MissingChanged || !Placeholders.empty();
    Placeholders.clear();
    ShowMarks();
    // Without the watch, the last cycle's answers are the check (a cycle under way decides at
    // its end, and none has run yet at start).
    if (!On && CycleEnded && !Checking)
        CheckSite();
    Refresh();
}

void TWatchPanel::CycleBegun()
{
    const int cycle = ++Cycle;
    Checking = true;
    if (!SiteName.empty()) {
        Rounds->Watch().Reset();  // the expected units are heard anew; the missing stay so until they answer
        Refresh();
    }
    // The cycle's last request may go at once, inside the discovery's Start: connected first.
    connect(
        Form.Discovery, &TDiscoveryRun::Finished, this,
        [this, cycle] {
            QTimer::singleShot(TPyxetForm::kAnswerWaitMs, this, [this, cycle] {
                if (cycle != Cycle)
                    return;  // a newer cycle decides
                Checking = false;
                CycleEnded = true;
                if (!On && !SiteName.empty())
                    CheckSite();
            });
        },
        Qt::SingleShotConnection);
}

void TWatchPanel::CheckSite()
{
    TWatch& watch = Rounds->Watch();
    watch.Reset();
    const int64_t now = QDateTime::currentMSecsSinceEpoch();
    for (const TDeviceEntry& entry : Form.Devices.DeviceList()) {
        const TWatchUnit* unit = UnitOf(*entry.Device);
        if (unit && unit->LastSeen == 0)
            watch.Answer(AnswerOf(*entry.Device), now);
    }
    AddMissing(watch.EndCheck(now));
    Refresh();
}

void TWatchPanel::Registered(const TProduct& device)
{
    if (SiteName.empty())
        return;
    const std::optional<TWatchKey> key = WatchKeyOf(device.Info.MAC, device.Family().Name);
    if (!key)
        return;
    // Watching, the rounds tell the watch; without it the site's count follows the answers.
    bool counted = false;
    if (!On) {
        const TWatchUnit* unit = Rounds->Watch().Find(*key);
        if (!unit || !unit->Expected)
            return;
        counted = unit->LastSeen == 0;
        Rounds->Watch().Answer(AnswerOf(device), QDateTime::currentMSecsSinceEpoch());
    }
    if (DropMissing(*key) || counted)
        Refresh();
}

void TWatchPanel::AddMissing(const std::vector<TWatchEvent>& events)
{
    for (const TWatchEvent& event : events) {
        if (event.Kind != TWatchEventKind::Missing)
            continue;
        const std::optional<TWatchKey> key = WatchKeyOf(event.MAC, event.Family);
        const auto site = key ? SiteValues.find(*key) : SiteValues.end();
        if (site == SiteValues.end() || Placeholders.count(*key))
            continue;
        const TFamily* family = FindFamily(site->second.Family);
        Placeholders.emplace(*key, std::make_unique<TMissingUnit>(site->second, family ? *family : NoFamily()));
        MissingChanged = true;
    }
}

bool TWatchPanel::DropMissing(const TWatchKey& key)
{
    const auto found = Placeholders.find(key);
    if (found == Placeholders.end())
        return false;
    // Its row goes at the next Refresh; the device lives until then.
    Dropped.push_back(std::move(found->second));
    Placeholders.erase(found);
    MissingChanged = true;
    return true;
}

QString TWatchPanel::SiteLine() const
{
    const int count = Rounds->Watch().ExpectedCount();
    if (SiteName.empty() || count == 0)
        return {};
    const std::string answered =
        Format(_n("%d of %d expected devices answered", "%d of %d expected devices answered", static_cast<unsigned long>(count)),
               Rounds->Watch().ExpectedAnswered(), count);
    return Q(SafeText(SiteName)) + QStringLiteral(": ") + Q(answered);
}

void TWatchPanel::ShowSiteLine()
{
    Form.ShowSiteLine(SiteLine());
}

void TWatchPanel::Event(const TWatchEvent& event)
{
    AddMissing({event});
    const std::string unit = event.Name.empty() ? event.MAC : SafeText(event.Name) + " (" + event.MAC + ")";
    Form.LogAction("", unit + ": " + WatchEventText(event), LOG_INFO);
    emit WatchEvent(event);
    Refresh();
}

void TWatchPanel::Refresh()
{
    if (RefreshDue)
        return;
    RefreshDue = true;
    QTimer::singleShot(0, this, [this] {
        RefreshDue = false;
        TDeviceListModel* model = Form.List->Model();
        if (MissingChanged) {
            std::vector<TProduct*> rows;
            rows.reserve(Placeholders.size());
            for (const auto& [key, placeholder] : Placeholders)
                rows.push_back(placeholder.get());
            model->SetMissingRows(rows);
            Dropped.clear();
            MissingChanged = false;
        }
        if (Watching())
            model->WatchChanged();
        ShowSiteLine();
    });
}
