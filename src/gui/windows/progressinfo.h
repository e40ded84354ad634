// TProgressInfoForm: the progress window of batch commands. One line per step of a batch, drawn
// in colours and styles that the lines' keywords decide (core/http/progresslook.h); it stays
// above every other window of the program and stays open after the command until "Ok". While a
// batch runs, "Stop" asks the batch to end and the window cannot be closed; the left part of
// the button row is kept free for a line about the batch's devices.
#pragma once
#include "core/http/batch.h"

#include <QDialog>
#include <QStyledItemDelegate>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Ui {
class TProgressInfoForm;
}
class QListWidgetItem;

// Draws ListBox1's lines: 16-pixel rows, one background for every line (cream, or the window
// colour of a dark scheme; the selection does not show), text at the row's left and top edge.
// The list lays its rows out at one size (a long batch adds thousands): every row is as wide as
// the widest line given to Fit, so that the horizontal scroll bar reaches the end of each line.
class TProgressLineDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    static constexpr int kRowHeight = 16;
    // A line shown in the list's font: the rows widen to it when it is the widest so far.
    void Fit(const QString& text, const QFont& listFont);
    // The list was emptied.
    void Reset() { Widest = 0; }

private:
    static int LineWidth(const QString& text, const QFont& listFont);
    int Widest = 0;
};

// Lets a window stand above the progress window: the batch commands' own dialogs (the file
// choice, the login dialog). Message boxes and file dialogs always may (a question hidden under
// the window it blocks could not be answered), and so may the windows the progress window owns.
void StandAboveProgress(QWidget* window);

class TProgressInfoForm : public QDialog, public TProgressLines {
    Q_OBJECT
public:
    explicit TProgressInfoForm(QWidget* parent = nullptr);
    ~TProgressInfoForm() override;

    Ui::TProgressInfoForm* ui() const { return Ui_.get(); }

    // Sets the caption, then shows the window (not modal). A hidden window starts empty; a
    // visible one keeps its lines.
    void Open(const std::string& caption) override;
    // Appends a line and selects it (the list scrolls to it). Every line can be read whole: the
    // list scrolls sideways to its end, and its tool tip holds it (with a failed device's reason).
    void AddLine(const std::string& text) override;
    // Replaces the text of the line the last AddLine made, whatever line the user has selected
    // since (a click moves the selection, never the line a transfer reports on).
    void ReplaceLine(const std::string& text) override;
    // The lines since the last device's block are a device's: when it failed, each line's tool
    // tip is the reason, and ReasonLabel shows it while one of them is selected.
    void EndDevice(const std::string& failure) override;

    // A unit of the batch that has just ended whose configuration its upgrade changed: the
    // lines of its last block (the device line names `host`) open the compare of the two
    // files with a double-click, and say so in their tool tip and under the list.
    void OfferCompare(const std::string& host, const std::string& before, const std::string& after);
    // The two files a line opens the compare of ({} when none).
    std::pair<std::string, std::string> CompareOf(int row) const;

    std::vector<std::string> Lines() const;
    int SelectedLine() const;
    // The text of ReasonLabel, whole (the label may cut it).
    std::string ReasonText() const;

    void Button1Click();

    // Whether a batch is running: "Stop" is enabled only then, and "Ok", Esc and the close box
    // close the window only when not.
    void SetRunning(bool running);
    bool Running() const { return IsRunning; }
    // The line beside the buttons about a batch of several devices at once; empty hides it. It
    // wraps only after a comma: "left: 4" stays on one line.
    void SetCount(const std::string& text);
    std::string CountText() const;  // as given

    // Closes the window unless a batch runs (Esc and the close box come here too).
    void reject() override;

signals:
    // "Stop" was clicked while a batch runs.
    void StopRequested();
    // A line offered by OfferCompare was double-clicked.
    void CompareRequested(const std::string& before, const std::string& after);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;  // a new palette: the list's background follows
    void resizeEvent(QResizeEvent* event) override;  // the reason is cut to the new width
    // While visible: any other window of the program that is shown, activated or clicked, unless
    // it may stand above (StandAboveProgress), puts this one back on top.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void KeepOnTop();
    void SetListBackground();
    void ShowReason();
    // The item's tool tip: its line, and under it the reason when its device failed.
    static void SetLineTip(QListWidgetItem* item);
    TProgressLineDelegate* LineLook = nullptr;  // child object
    std::string Count;                       // the count line as given
    bool RaisePending = false;
    bool IsRunning = false;

    std::unique_ptr<Ui::TProgressInfoForm> Ui_;
    int LastAdded = -1;  // the row of the last AddLine; -1 while the list is empty
    int BlockStart = 0;  // the first row of the device block being added
    // The device blocks, first and end row, since the window was shown; those of the batch
    // under way or last run from BatchBlocks on.
    std::vector<std::pair<int, int>> Blocks;
    size_t BatchBlocks = 0;
};
