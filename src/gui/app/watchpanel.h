// The window's watch (Actions -> "Watch"): rounds of gentle discovery requests (core/watch/
// watchrun.h) over the window's devices. While it runs the registry keeps each unit by MAC and
// family (a changed answer re-files its row), the list shows gone and missing units grey with
// their "Last Seen" column, the events go to the log, and the line under the list counts the
// open site's expected units that answered. Switched off, the window works as without it.
#pragma once
#include "core/watch/budget.h"
#include "core/watch/watch.h"

#include <QObject>

#include <cstdint>
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

    TPyxetForm& Form;
    QAction* Action;
    QLabel* Line;
    std::unique_ptr<TWatchRunner> Rounds;
    std::string SiteName;
    bool RefreshDue = false;
    bool On = false;
    int IntervalSeconds = kWatchDefaultSeconds;
};
