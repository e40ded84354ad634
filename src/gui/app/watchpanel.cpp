// The window's watch: Actions -> "Watch" on the round runner.
#include "gui/app/watchpanel.h"

#include "core/app/i18n.h"
#include "core/devices/family.h"
#include "core/discovery/discovery.h"
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
        Form.List->Model()->SetWatch(nullptr);
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
    for (const TDeviceEntry& entry : Form.Devices.DeviceList()) {
        const TProductInfo& info = entry.Device->Info;
        TWatchAnswer answer{info.MAC, entry.Device->Family().Name, info.Name, info.PeerIP, info.FirmwareRev, info.TypeName};
        Rounds->Watch().Answer(answer, now);
    }
    Form.List->Model()->SetWatch([this](const TProduct& device) {
        TRowWatch row;
        const TWatchUnit* unit = UnitOf(device);
        if (!unit)
            return row;
        row.Gone = unit->Gone;
        row.Missing = unit->Missing;
        row.LastSeen = unit->LastSeen;
        row.Note = unit->Note;
        return row;
    });
    // The Last Seen column wide enough for a date and a time.
    if (auto* list = Form.findChild<QTableView*>(QStringLiteral("DeviceListBox")))
        list->horizontalHeader()->resizeSection(Form.List->Model()->LastSeenColumn(), kLastSeenWidth);
    Start({});
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
    std::vector<std::string> chosen;
    if (!Form.Settings.Interface.empty())
        chosen.push_back(Form.Settings.Interface);
    std::vector<std::string> unknown;
    TDiscoveryPlan plan = PlanDiscovery(chosen, targets, Form.Settings.Repeat, &unknown);
    if (!unknown.empty())
        plan = PlanDiscovery({}, targets, Form.Settings.Repeat);
    Rounds->Start(Form.Devices, DiscoveryFamilies({Form.OrvexServer.get(), Form.HwgServer.get()}, Form.Settings),
                  std::move(plan), IntervalSeconds);
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
    Rounds->Watch().Expect(std::move(expected));
    Refresh();
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
    const QString text = SiteLine();
    Line->setText(text);
    Line->setVisible(!text.isEmpty());
}

void TWatchPanel::Event(const TWatchEvent& event)
{
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
        if (Watching())
            Form.List->Model()->WatchChanged();
        ShowSiteLine();
    });
}
