// Message boxes, file dialogs and the desktop size, behind one seam so that tests can answer a
// box before it appears (a modal box would otherwise block an offscreen test for ever).
#pragma once
#include <QPoint>
#include <QRect>
#include <QSize>

#include <string>
#include <vector>

class QWidget;

namespace Dialogs {

// Error box with an OK button.
void Error(QWidget* parent, const std::string& text);
// Information box with an OK button.
void Information(QWidget* parent, const std::string& text);
// Confirmation box with Yes and No; true for Yes.
bool Confirm(QWidget* parent, const std::string& text);
// Warning box with Yes (the default) and No; true for Yes.
bool Warning(QWidget* parent, const std::string& text);

// File dialogs. `filter` is written "Description|*.ext" (several pairs joined by '|').
// The chosen path, or "" when the user cancels.
std::string OpenFileName(QWidget* parent, const std::string& title, const std::string& filter,
                         const std::string& folder = {});
std::string SaveFileName(QWidget* parent, const std::string& title, const std::string& filter,
                         const std::string& folder = {});
// A file-open dialog that also takes a name not on disk yet (typed in); nothing is asked about
// an existing file.
std::string AnyFileName(QWidget* parent, const std::string& title, const std::string& filter,
                        const std::string& folder = {});

// A save dialog that also tells which of the filter's file types was chosen (0: the first
// "Description|*.ext" pair). A name typed without an extension gets the chosen type's, and
// replacing an existing file is asked about. Path "" when the user cancels.
struct TSaveChoice {
    std::string Path;
    int Type = 0;
};
TSaveChoice SaveFileChoice(QWidget* parent, const std::string& title, const std::string& filter,
                           const std::string& folder = {});

// Size of the primary screen (the one windows open on).
QSize DesktopSize();
// The part of the primary screen windows may cover (without the desktop's panels), in desktop
// coordinates; with a size set by SetDesktopSize, that size at the origin.
QRect DesktopArea();

// Where a window opens on a desktop of the given size: the top-left corner on a desktop of at
// most 800 x 600 (each direction on its own), else centred horizontally and a little above the
// middle vertically (integer division, truncating). Never above or left of the desktop, so the
// caption stays reachable when the window is larger than the desktop.
QPoint WindowPosition(QSize desktop, QSize window);

// WindowPosition on the primary screen, in desktop coordinates (the primary screen need not
// start at the desktop's origin).
QPoint DesktopPosition(QSize window);

// "Log Report|*.txt" -> "Log Report (*.txt)"; pairs become lines of a Qt filter.
std::string QtFilter(const std::string& filter);

// ---- Seams for tests -------------------------------------------------------------------------
// In automatic mode no box or dialog is ever shown: boxes are recorded and answered from the
// queued answers (Confirm and Warning: Yes when none is queued), file dialogs return the queued names
// ("" = cancelled when none is queued).
enum class TBoxKind { Error, Information, Confirm, Warning };
struct TShownBox {
    TBoxKind Kind;
    std::string Text;
};
void SetAutomatic(bool on);
bool Automatic();
void QueueAnswer(bool yes);
void QueueFileName(const std::string& path);
// The folder (or file to preselect) the latest file dialog was given.
std::string LastFileFolder();
// Whether the latest file dialog was a save dialog ("Save" on its button, not "Open").
bool LastFileDialogSaves();
void QueueFileType(int type);  // what the next SaveFileChoice reports (0 when none is queued)
std::vector<TShownBox> TakeShownBoxes();  // and forget them
// An invalid size (the default) means the real screen.
void SetDesktopSize(QSize size);

} // namespace Dialogs
