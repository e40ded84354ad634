// The help window and the one help window of the run.
#include "gui/windows/help.h"

#include "core/app/i18n.h"
#include "gui/app/dialogs.h"
#include "gui/devices/weblink.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QListWidget>
#include <QPointer>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }

constexpr int kPathRole = Qt::UserRole + 1;

// A path inside the help file as the browser's address: "chm:///finding.html".
QUrl PageUrl(const std::string& path) { return QUrl(QStringLiteral("chm://") + Q(path)); }

QPointer<THelpWindow> g_window;
QRect g_lastGeometry;  // where the user left the previous help window
}  // namespace

// ---- Pages -------------------------------------------------------------------------------------

THelpBrowser::THelpBrowser(const THelpBook& book, QWidget* parent) : QTextBrowser(parent), Book(book)
{
    setObjectName(QStringLiteral("HelpPages"));
    setOpenLinks(false);  // THelpWindow decides: a page of the file, or the web
}

QVariant THelpBrowser::loadResource(int type, const QUrl& name)
{
    const QUrl url = name.isRelative() ? source().resolved(name) : name;
    if (!IsHelpPageLink(url.scheme().toStdString()))
        return {};  // pages never fetch from the web
    const std::optional<std::string> stored = Book.Read(url.path().toStdString());
    if (!stored)
        return {};
    const QByteArray bytes = QByteArray::fromStdString(*stored);
    if (type == QTextDocument::ImageResource) {
        QImage image;
        image.loadFromData(bytes);
        return image;
    }
    if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource)
        return QString::fromUtf8(bytes);
    return bytes;
}

// ---- Window ------------------------------------------------------------------------------------

// Made afresh for every help request, so its texts are those of the language of the moment.
THelpWindow::THelpWindow(QWidget* owner) : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(Q(_("Pyxet Help")));

    BackButton = new QToolButton(this);
    BackButton->setObjectName(QStringLiteral("BackButton"));
    BackButton->setText(Q(_("Back")));
    ForwardButton = new QToolButton(this);
    ForwardButton->setObjectName(QStringLiteral("ForwardButton"));
    ForwardButton->setText(Q(_("Forward")));
    HomeButton = new QToolButton(this);
    HomeButton->setObjectName(QStringLiteral("HomeButton"));
    HomeButton->setText(Q(_("Home")));
    for (QToolButton* b : {BackButton, ForwardButton, HomeButton})
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BackButton);
    buttons->addWidget(ForwardButton);
    buttons->addWidget(HomeButton);
    buttons->addStretch();

    Tabs = new QTabWidget;
    Contents = new QTreeWidget;
    Contents->setObjectName(QStringLiteral("Contents"));
    Contents->setHeaderHidden(true);
    Keywords = new QListWidget;
    Keywords->setObjectName(QStringLiteral("Index"));
    Tabs->addTab(Contents, Q(_("Contents")));
    Tabs->addTab(Keywords, Q(_("Index")));
    Pages = new THelpBrowser(Book);

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(Tabs);
    splitter->addWidget(Pages);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 640});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(buttons);
    layout->addWidget(splitter, 1);
    resize(880, 620);

    connect(BackButton, &QToolButton::clicked, Pages, &QTextBrowser::backward);
    connect(ForwardButton, &QToolButton::clicked, Pages, &QTextBrowser::forward);
    connect(HomeButton, &QToolButton::clicked, this, [this] { ShowPage(Book.FirstPage()); });
    connect(Pages, &QTextBrowser::backwardAvailable, BackButton, &QWidget::setEnabled);
    connect(Pages, &QTextBrowser::forwardAvailable, ForwardButton, &QWidget::setEnabled);
    connect(Pages, &QTextBrowser::anchorClicked, this, &THelpWindow::LinkClicked);
    // The browser's source() still names the page before while it tells of the new one.
    connect(Pages, &QTextBrowser::sourceChanged, this, [this](const QUrl& url) { MarkContents(url); });
    connect(Contents, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        const std::string path = item->data(0, kPathRole).toString().toStdString();
        if (!path.empty())
            ShowPage(path);
    });
    connect(Keywords, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const std::string path = item->data(kPathRole).toString().toStdString();
        if (!path.empty())
            ShowPage(path);
    });
    BackButton->setEnabled(false);
    ForwardButton->setEnabled(false);
}

THelpWindow::~THelpWindow() = default;

bool THelpWindow::Open(const std::string& path, std::string* error)
{
    Pages->clear();
    Pages->clearHistory();
    if (!Book.Open(path, error))
        return false;
    if (!Book.Title().empty())
        setWindowTitle(Q(Book.Title()));
    FillContents();
    FillIndex();
    ShowPage(Book.FirstPage());
    Pages->clearHistory();
    return true;
}

std::string THelpWindow::CurrentPage() const { return Pages->source().path().toStdString(); }

void THelpWindow::ShowPage(const std::string& path) { Pages->setSource(PageUrl(path), QTextDocument::HtmlResource); }

void THelpWindow::FillContents()
{
    Contents->clear();
    std::vector<QTreeWidgetItem*> parents;  // the last item of each level
    for (const TTocEntry& entry : Book.Contents()) {
        const size_t level = std::min(static_cast<size_t>(entry.Level), parents.size());
        parents.resize(level);
        auto* item = level == 0 ? new QTreeWidgetItem(Contents) : new QTreeWidgetItem(parents.back());
        item->setText(0, Q(entry.Name));
        item->setData(0, kPathRole, Q(TopicPath(entry.Local)));
        parents.push_back(item);
    }
    Contents->expandAll();
}

void THelpWindow::FillIndex()
{
    Keywords->clear();
    for (const TTocEntry& entry : Book.Index()) {
        auto* item = new QListWidgetItem(QString(entry.Level * 4, QLatin1Char(' ')) + Q(entry.Name), Keywords);
        item->setData(kPathRole, Q(TopicPath(entry.Local)));
    }
}

void THelpWindow::LinkClicked(const QUrl& url)
{
    const QUrl target = url.isRelative() ? Pages->source().resolved(url) : url;
    if (IsHelpPageLink(target.scheme().toStdString())) {
        Pages->setSource(target, QTextDocument::HtmlResource);
        return;
    }
    OpenWebPage(target.toString().toStdString());
}

void THelpWindow::MarkContents(const QUrl& shown)
{
    const QString page = shown.path();
    for (QTreeWidgetItemIterator it(Contents); *it; ++it) {
        const QString path = QUrl(QStringLiteral("chm://") + (*it)->data(0, kPathRole).toString()).path();
        if (path == page) {
            Contents->setCurrentItem(*it);
            return;
        }
    }
}

// ---- The one help window ------------------------------------------------------------------------

THelpWindow* OpenHelpWindow(QWidget* owner, const std::string& path)
{
    ReleaseHelpLibrary();  // every request starts from the file afresh
    // A window of its own rather than the owner's child: the owner's retranslation walks its
    // children, and the help window speaks the language it was opened in.
    auto* window = new THelpWindow(nullptr);
    if (!window->Open(path)) {
        delete window;
        Dialogs::Error(owner, _("Error opening help window!"));
        return nullptr;
    }
    if (g_lastGeometry.isValid())
        window->setGeometry(g_lastGeometry);
    else if (owner)
        window->move(owner->geometry().center() - window->rect().center());
    window->show();
    window->raise();
    window->activateWindow();
    g_window = window;
    return window;
}

THelpWindow* CurrentHelpWindow() { return g_window.data(); }

void ReleaseHelpLibrary()
{
    if (!g_window)
        return;
    g_lastGeometry = g_window->geometry();
    delete g_window.data();
    g_window = nullptr;
}
