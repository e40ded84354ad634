// The window's watch (Actions -> "Watch"): rounds of gentle discovery requests (core/watch/
// watchrun.h) over the window's devices. While it runs the registry keeps each unit by MAC and
// family (a changed answer re-files its row), the list shows gone units grey with their "Last
// Seen" column, the events go to the log. Switched off, the window works as without it.
//
// The open site (Actions -> "Open Site...") is the panel's too, with and without the watch: its
// expected units that do not answer are listed after the registry's rows as missing, by
// placeholder devices of the panel's own (in no registry, so no batch, sharing rule or drift
// sees them), kept across Find Devices until the unit answers; the line under the list counts
// the expected units that answered. Watching, an expected unit is missing after two silent
// rounds; without the watch, a Find Devices cycle's end is the check.
#pragma once
#include "core/watch/budget.h"
#include "core/watch/watch.h"

#include <QObject>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QAction;
class TProduct;
class QLabel;
class TPyxetForm;
class TWatchRunner;

class TWatchPanel : public QObject {
    Q_OBJECT
public:
    // `action`: the check item, `siteLine`: the label under the list.
    TWatchPanel(TPyxetForm& form, QAction* action, QLabel* siteLine);
    ~TWatchPanel() override;

    // The check item is on (the rounds run, unless stopped on their own).
    bool Watching() const { return On; }
    // Starts or stops the rounds (the check item follows).
    void SetWatching(bool on);
    // Find Devices while watching: the list is new (the caller began the cycle); the watch
    // forgets the units heard and the round's requests go once the budget allows. Targets (Find
    // at Addresses) are asked in that round too.
    void NewList(const std::vector<uint32_t>& targets);
    // The site open (its name; none: "") and the units it expects.
    void SetSite(const std::string& name, std::vector<TWatchUnit> expected);
    // "<site>: %d of %d expected devices answered", empty with no site open.
    QString SiteLine() const;

    // A Find Devices cycle of the window's own discovery (not the watch's) begins; it ends
    // TPyxetForm::kAnswerWaitMs after its last request went. Call before the discovery starts.
    void CycleBegun();
    // A device of the registry took its row (any cycle's or round's new line).
    void Registered(const TProduct& device);
    // A cycle begun by CycleBegun has not ended yet.
    bool CycleChecking() const { return Checking; }

    // The device's unit is gone or missing while watching.
    bool IsAway(const TProduct& device) const;

    // The interval between rounds ([Watch] Seconds), from the next round on.
    void SetSeconds(int seconds);
    int Seconds() const { return IntervalSeconds; }

    TWatchRunner& Runner() { return *Rounds; }
    const TWatch& State() const;
    // The rows' marks and the site line again from the watch's state, once per pass of the
    // event loop (after every event and round).
    void Refresh();

signals:
    // One event of the watch, after it was logged (the Log Report's Events pane, notifications).
    void WatchEvent(const TWatchEvent& event);

private:
    // The rounds over the settings' interfaces; targets asked by unicast in the first.
    void Start(const std::vector<uint32_t>& targets);
    const TWatchUnit* UnitOf(const TProduct& device) const;
    void Event(const TWatchEvent& event);
    void ShowSiteLine();
    // The rows' marks (the lookup and its Last Seen column) while watching or a site is open.
    void ShowMarks();
    // The check of the open site without the watch: the expected units among the registry's
    // devices answered, the others are missing.
    void CheckSite();
    // The placeholder rows of the units missing, from the watch's events or a check's.
    void AddMissing(const std::vector<TWatchEvent>& events);
    // False when the unit had no placeholder.
    bool DropMissing(const TWatchKey& key);

    TPyxetForm& Form;
    QAction* Action;
    QLabel* Line;
    std::unique_ptr<TWatchRunner> Rounds;
    std::string SiteName;
    std::map<TWatchKey, TWatchAnswer> SiteValues;  // the open site's units as its file has them
    std::map<TWatchKey, std::unique_ptr<TProduct>> Placeholders;  // the missing units' rows
    std::vector<std::unique_ptr<TProduct>> Dropped;  // placeholders whose rows go at the next Refresh
    bool MissingChanged = false;
    int Cycle = 0;            // Find Devices cycles begun without the watch
    bool Checking = false;    // one of them has not ended yet
    bool CycleEnded = false;  // one has ended: the registry holds its answers
    bool RefreshDue = false;
    bool On = false;
    int IntervalSeconds = kWatchDefaultSeconds;
};
