// The rows of the device list: each row is one display line with its device and a check mark,
// shown in the columns of DeviceColumns, one field a cell (its shown form, SafeText), the check
// mark in the first. The line itself, built from the device's own texts, is what the rows are
// filed, compared and exported by. The list's rows (the view) either follow
// DeviceList (a registration takes the new line in where DeviceList filed it) or hold a reordered
// or narrowed copy made by a column sort or the type filter. A refill leaves all check marks
// cleared. Whether a row is a new device (IsNew) or shares its address with another MAC
// (InIpConflict) is the model's; the colours that follow from it are the delegate's.
//
// The search text shows only the view's rows that match it, in the view's order; the others
// are hidden, not dropped: a new search text keeps the view's order and every mark, the hidden
// rows' included. Rows, counts and marks below are those of the rows shown, except where a
// comment says otherwise.
//
// Answers that trickle in come one per event-loop pass, and the list view lays out every row
// after any change of rows: a list of many rows therefore takes new lines in at most every
// kFollowInterval, all waiting lines at once, so that one layout serves them all. Until then the
// rows shown, their count and their marks stay as they are, and are what the window works on.
#pragma once
#include "core/devices/listview.h"
#include "core/devices/registry.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One column of the device list. The list is made from DeviceColumns: a further column is one
// more entry there.
struct TDeviceColumn {
    const char* Caption;  // the header's text (translated where it is shown)
    // The cell's text, from the row's display line and its device.
    std::string (*Text)(const std::string& line, const TProductInfo& info);
    TDeviceComparator Compare;  // what a click on the header sorts by
    int Width;                  // pixels, until the user sizes the column
};
// Type, Name, MAC, IP (the answering address), Firmware Rev.
const std::vector<TDeviceColumn>& DeviceColumns();

// What a watch (Actions -> "Watch") knows of a row's unit.
struct TRowWatch {
    bool Gone = false;     // missed two rounds in a row
    bool Missing = false;  // expected by the open site and never heard
    int64_t LastSeen = 0;  // ms since 1970; 0: not heard since the watch began
    std::string Note;      // the open site's note for the unit
};
// The watch's state of a row's device.
using TWatchLookup = std::function<TRowWatch(const TProduct& device)>;

class TDeviceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int DeviceRole = Qt::UserRole + 1;  // the row's TProduct* as quintptr
    static constexpr int LineRole = Qt::UserRole + 2;    // the row's display line as shown (SafeText)
    // Lists shorter than this take every new line at once; longer ones at most this often.
    static constexpr int kFollowAtOnce = 50;
    static constexpr int kFollowInterval = 100;  // milliseconds

    explicit TDeviceListModel(const TDeviceRegistry& registry, QObject* parent = nullptr);

    // Refill with every line of DeviceList in list order.
    void ShowDeviceList();
    // The refill of a registration: the rows become DeviceList's lines in list order, as
    // ShowDeviceList does. `filed` is where DeviceList took the new line (-1: a duplicate, the
    // list is unchanged). Rows that already follow DeviceList keep their marks and the
    // highlight; the caller clears them. On a long list the new line may wait (see above).
    void FollowDeviceList(int filed);
    // Shows every line that waits now (the view then lays the rows out once).
    void ShowWaitingRows();
    int WaitingRows() const { return int(Waiting.size()); }
    // The rows are DeviceList's lines in list order (with the ones waiting), not a sort's or a
    // filter's copy.
    bool FollowsDeviceList() const { return Following; }
    // Refill with these rows in this order (a sort or the type filter).
    void ShowRows(std::vector<TDeviceRow> rows);
    // Shows the view's rows that match the text (all of them for an empty text), keeping the
    // view's order and every mark.
    void SetSearch(const std::string& text);
    bool Searching() const { return !Search.Empty(); }
    // Rows in the view, the hidden ones included (and without the ones waiting).
    int ViewCount() const { return int(View.size()); }
    // No rows (the devices are about to go).
    void Clear();
    // Devices took part in a new IP conflict: their rows are drawn again.
    void ConflictsChanged();

    int RowCount() const;
    // True while new lines go in: the view's selection moves with its row then, which is no
    // click of the user's.
    bool InsertingRows() const { return Inserting; }
    const std::string& Line(int row) const;
    TProduct* Device(int row) const;
    // The rows shown, in their order.
    std::vector<TDeviceRow> Rows() const;
    // The row stands out as a new device (its line is not in a non-empty PreviousList).
    bool IsNew(int row) const;
    // The row's device shares its configured address with a device of another MAC.
    bool InIpConflict(int row) const;

    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);  // does not emit CheckToggled
    // Every row shown checked or unchecked; hidden rows keep their marks.
    void SetAllChecked(bool checked);
    // No mark left on any row of the view, shown or hidden.
    void ClearAllChecks();
    int CheckedRows() const { return CheckedShown; }

    // ---- The watch ----------------------------------------------------------------------------------
    // While a watch runs (a lookup given), the list has one more column, "Last Seen", after
    // DeviceColumns; no lookup: the columns of DeviceColumns only.
    void SetWatch(TWatchLookup lookup);
    bool Watching() const { return bool(Watch); }
    int LastSeenColumn() const { return Watching() ? int(DeviceColumns().size()) : -1; }
    TRowWatch RowWatch(int row) const;
    // The row's unit is gone or missing: drawn grey and italic, and it takes no check mark.
    bool IsGone(int row) const;
    // The watch's state changed: gone rows lose their marks and every row is drawn again.
    void WatchChanged();
    // The registry re-filed this row's device (Refile) at `filed` of DeviceList: the row shows
    // its new line, in the new place when the rows follow DeviceList; its mark stays.
    void DeviceRefiled(const TProduct* device, int filed);

    // ---- Units the open site expects that did not answer ---------------------------------------
    // Rows after the rows above (those of them the search matches), one per device given, in
    // that order: "Missing" in the Last Seen column, drawn as gone, no check mark and no
    // highlight. They are no part of RowCount, Rows, the marks or anything a command works on;
    // the view's rows past RowCount() are theirs. The devices are the caller's and must outlive
    // their rows (SetMissingRows({}) before they go).
    void SetMissingRows(const std::vector<TProduct*>& devices);
    int MissingRows() const { return int(MissingShown.size()); }
    // The missing unit of a view's row (RowCount() and on), or none.
    TProduct* MissingDevice(int row) const;

    // The cell's text in full, as the row shows it when its column is wide enough.
    QString CellText(int row, int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // The user toggled a row's check mark through the view.
    void CheckToggled(int row, bool checked);
    // Lines that waited were taken into the rows (the count of rows grew).
    void WaitingRowsShown();

private:
    // A row as kept: its line in Lines and its device. New lines go in among 30,000 rows one
    // at a time, each moving the rows after it: small, plain rows make that a block move.
    struct TShownRow {
        size_t Line = 0;
        TProduct* Device = nullptr;
    };

    bool ValidRow(int row) const { return row >= 0 && row < RowCount(); }
    // A missing unit's row: its placeholder device and the line its values make.
    struct TMissingRow {
        TProduct* Device = nullptr;
        std::string Line;
    };
    const TMissingRow* MissingAt(int row) const;
    QVariant MissingData(const TMissingRow& missing, const QModelIndex& index, int role) const;
    // The indexes of Missing that the search shows.
    std::vector<size_t> MissingMatches() const;
    // The view's index of a shown row.
    size_t At(int row) const { return Searching() ? Matched[size_t(row)] : size_t(row); }
    bool MatchesSearch(const TShownRow& row) const { return !Searching() || Search.Matches(row.Device->Info); }
    void Refill(std::vector<TDeviceRow> rows, bool following);
    // Matched and CheckedShown again from the view, the search and the marks.
    void Narrow();
    TShownRow Keep(TDeviceRow row);

    const TDeviceRegistry& Registry;
    bool Inserting = false;
    bool Following = false;          // the rows are DeviceList's lines in list order, with Waiting
    std::vector<std::string> Lines;  // of the view's rows and the waiting ones, in the order they came
    std::vector<TShownRow> View;     // the rows in the list's order, shown or hidden by the search
    std::vector<std::pair<int, TShownRow>> Waiting;  // DeviceList positions, in filing order
    std::vector<uint8_t> Checks;     // one per row of the view
    TDeviceSearch Search;
    std::vector<size_t> Matched;     // while searching: the view's indexes of the rows shown
    int CheckedShown = 0;            // checked rows among those shown
    int CheckedAll = 0;              // checked rows of the view
    QTimer FollowTimer;
    QElapsedTimer SinceShown;
    TWatchLookup Watch;  // since lines were last taken in
    std::vector<TMissingRow> Missing;  // the missing units' rows, in their order
    std::vector<size_t> MissingShown;  // of them, those the search matches
};
