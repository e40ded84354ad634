// The help window: the compiled help file of the interface language, its table of contents and
// index beside its pages, open beside the main window (not modal); Escape or Ctrl+W closes it.
// One help window exists at a time; every help request closes it and opens the file of the
// current language afresh.
#pragma once
#include "core/help/helpbook.h"

#include <QTextBrowser>
#include <QWidget>

#include <string>

class QListWidget;
class QListWidgetItem;
class QSplitter;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

// The page view: pages and pictures come out of the help file. A picture wider than the view is
// shown smaller, keeping its proportions, so that a page never needs scrolling sideways.
class THelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    THelpBrowser(const THelpBook& book, QWidget* parent = nullptr);
    QVariant loadResource(int type, const QUrl& name) override;

protected:
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FitPictures();

    const THelpBook& Book;
};

class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* owner = nullptr);
    ~THelpWindow() override;

    // Opens the help file and shows its first page; false and a reason when it cannot be read.
    bool Open(const std::string& path, std::string* error = nullptr);
    const std::string& FileName() const { return Book.FileName(); }

    // The page shown, as a path inside the help file ("/finding.html").
    std::string CurrentPage() const;
    void ShowPage(const std::string& path);

    THelpBrowser* Browser() const { return Pages; }
    QTreeWidget* ContentsTree() const { return Contents; }
    QListWidget* IndexList() const { return Keywords; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillContents();
    void FillIndex();
    void LinkClicked(const QUrl& url);
    void MarkContents(const QUrl& shown);
    void FitContentsPane();

    THelpBook Book;
    QSplitter* Splitter = nullptr;
    QTabWidget* Tabs = nullptr;
    QTreeWidget* Contents = nullptr;
    QListWidget* Keywords = nullptr;
    THelpBrowser* Pages = nullptr;
    QToolButton* BackButton = nullptr;
    QToolButton* ForwardButton = nullptr;
    QToolButton* HomeButton = nullptr;
    bool PaneFitted = false;
};

// The help operations of the main window. OpenHelpWindow first releases the help window of an
// earlier request, then opens `path` in a new window placed beside `owner` (HelpWindowPlace on
// the desktop's usable area), at the size of the previous help window when there was one; when
// the file is missing or unreadable it shows the error box "Error opening help window!" and
// returns null.
// The window lives until the next request or ReleaseHelpLibrary.
THelpWindow* OpenHelpWindow(QWidget* owner, const std::string& path);
// The help window of the last request, or null.
THelpWindow* CurrentHelpWindow();
// Closes the help window and its file (the main window calls it when it is destroyed).
void ReleaseHelpLibrary();
