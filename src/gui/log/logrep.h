// The Log Report window TLogActionForm: the action log shown, filtered by one level, cleared and
// saved on request. Its list is a view rebuilt from the kept log whenever the filter changes or
// the window is shown; every new line is appended to it as well.
#pragma once
#include "core/log/actionlog.h"
#include "core/watch/watch.h"

#include <QAbstractListModel>
#include <QDialog>
#include <QStyledItemDelegate>

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TLogActionForm;
}

// The lines of ActionReport.
class TLogReportModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void Append(const TLogLine& line);
    void Reset(std::vector<TLogLine> lines);
    const std::vector<TLogLine>& Lines() const { return Rows; }

    static constexpr int LevelRole = Qt::UserRole + 1;

private:
    std::vector<TLogLine> Rows;
};

// Draws ActionReport's lines in 16-pixel rows, text at the row's left and top edge.
class TLogLineDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    static constexpr int kRowHeight = 16;
};

class QTabWidget;
class QTreeWidget;

// The Log Report window: the log on its first page, the watch's events (time, unit, what) on
// the "Events" page.
class TLogActionForm : public QDialog {
    Q_OBJECT
public:
    explicit TLogActionForm(QWidget* parent = nullptr);
    ~TLogActionForm() override;

    Ui::TLogActionForm* ui() const { return Ui_.get(); }

    // Appends one finished line (as stored, leading space included) to the view and selects it
    // (a visible list selects it when the event loop next runs, before it is painted). The
    // logger keeps the line in ActionLog itself.
    void AddAction(const std::string& text, int level);

    const std::vector<TLogLine>& ActionReport() const { return Model->Lines(); }

    // Appends one event of the watch to the Events page (kept until the window goes).
    void AddWatchEvent(const TWatchEvent& event);
    QTreeWidget* EventsList() const { return Events; }
    QTabWidget* Pages() const { return PageTabs; }

    void ActionFilterChange();
    void SaveButtonClick();
    void ClearButtonClick();
    void ExitButtonClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    const std::vector<TLogLine>& KeptLog() const;
    void SelectNewestLine();
    void TranslatePages();

    bool SelectNewestPending = false;  // a visible list selects its newest line when the loop runs

    std::unique_ptr<Ui::TLogActionForm> Ui_;
    TLogReportModel* Model = nullptr;
    QTabWidget* PageTabs = nullptr;
    QTreeWidget* Events = nullptr;
};

// A unit as the watch's log lines and the Events page name it: "name (MAC)", the MAC alone
// when the unit has no name.
std::string WatchUnitText(const TWatchEvent& event);

// Writes the lines, each followed by CR LF, replacing the file through TAtomicFile (a file its
// owner made read-only is left alone). False and a reason on failure.
bool SaveLogLines(const std::string& path, const std::vector<TLogLine>& lines, std::string* error);
