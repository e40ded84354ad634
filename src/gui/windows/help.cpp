// The help window and the one help window of the run.
#include "gui/windows/help.h"
#include "gui/app/qtext.h"

#include "core/app/i18n.h"
#include "core/help/placement.h"
#include "gui/app/dialogs.h"
#include "gui/devices/weblink.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QListWidget>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
constexpr int kPathRole = Qt::UserRole + 1;
// A picture's own size, kept in its format once it has been fitted to the view.
constexpr int kPictureSize = QTextFormat::UserProperty + 1;
// The contents pane's default share of the window's width at most, in percent.
constexpr int kContentsShare = 45;

// A path inside the help file as the browser's address: "chm:///finding.html".
QUrl PageUrl(const std::string& path) { return QUrl(QStringLiteral("chm://") + Q(path)); }

QPointer<THelpWindow> g_window;
QSize g_lastSize;  // the size the user left the previous help window at
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

void THelpBrowser::doSetSource(const QUrl& name, QTextDocument::ResourceType type)
{
    QTextBrowser::doSetSource(name, type);
    FitPictures();
}

void THelpBrowser::resizeEvent(QResizeEvent* event)
{
    QTextBrowser::resizeEvent(event);
    FitPictures();
}

// The text viewer draws pictures at their own size whatever the style sheet says, so each
// picture's shown size is set here from the room its paragraph leaves.
void THelpBrowser::FitPictures()
{
    QTextDocument* doc = document();
    const QTextFrameFormat page = doc->rootFrame()->frameFormat();
    const qreal pageRoom = viewport()->width() - 2 * doc->documentMargin() - page.leftMargin() - page.rightMargin()
                           - 2 * page.padding() - 2 * page.border();
    struct TPicture {
        int Position;
        int Length;  // pictures side by side with the same format share a fragment
        QTextImageFormat Format;
    };
    std::vector<TPicture> changed;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat paragraph = block.blockFormat();
        const qreal room = pageRoom - paragraph.leftMargin() - paragraph.rightMargin() - paragraph.textIndent()
                           - paragraph.indent() * doc->indentWidth();
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            QSizeF own = format.property(kPictureSize).toSizeF();
            if (own.isEmpty()) {
                const QImage picture = loadResource(QTextDocument::ImageResource, QUrl(format.name())).value<QImage>();
                own = picture.size();
                if (format.width() > 0 && format.height() > 0)  // the page's own size for it
                    own = QSizeF(format.width(), format.height());
                else if (format.width() > 0 && !picture.isNull())
                    own = QSizeF(format.width(), format.width() * picture.height() / picture.width());
                if (own.isEmpty())
                    continue;
                format.setProperty(kPictureSize, own);
            }
            const qreal width = std::max<qreal>(1, std::floor(std::min(own.width(), room)));
            const qreal height = std::max<qreal>(1, std::round(own.height() * width / own.width()));
            if (format.width() == width && format.height() == height && format.hasProperty(kPictureSize))
                continue;
            format.setWidth(width);
            format.setHeight(height);
            changed.push_back({fragment.position(), fragment.length(), format});
        }
    }
    if (changed.empty())
        return;
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    for (const TPicture& picture : changed) {
        cursor.setPosition(picture.Position);
        cursor.setPosition(picture.Position + picture.Length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(picture.Format);
    }
    cursor.endEditBlock();
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
    // Titles are never cut: the column is as wide as the longest one, scrolled sideways when the
    // pane is narrower.
    Contents->header()->setStretchLastSection(false);
    Contents->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    Contents->setTextElideMode(Qt::ElideNone);
    Keywords = new QListWidget;
    Keywords->setObjectName(QStringLiteral("Index"));
    // Named for screen readers as their tabs are; the pages have no caption of their own.
    Contents->setAccessibleName(Q(_("Contents")));
    Keywords->setAccessibleName(Q(_("Index")));
    Tabs->addTab(Contents, Q(_("Contents")));
    Tabs->addTab(Keywords, Q(_("Index")));
    Pages = new THelpBrowser(Book);
    Pages->setAccessibleName(Q(_("Help Page")));

    Splitter = new QSplitter(Qt::Horizontal);
    Splitter->addWidget(Tabs);
    Splitter->addWidget(Pages);
    Splitter->setStretchFactor(1, 1);
    Splitter->setSizes({220, 640});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(buttons);
    layout->addWidget(Splitter, 1);
    resize(880, 620);

    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);

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
    PaneFitted = false;
    if (isVisible())
        FitContentsPane();
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

void THelpWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!PaneFitted)  // the panes' widths are known once the window is laid out
        FitContentsPane();
}

// The contents pane opens wide enough for the longest title, up to a share of the window.
void THelpWindow::FitContentsPane()
{
    PaneFitted = true;
    Contents->resizeColumnToContents(0);
    const int tree =
        Contents->columnWidth(0) + 2 * Contents->frameWidth() + Contents->verticalScrollBar()->sizeHint().width();
    const int pane = tree + Tabs->width() - Contents->width();
    const int total = Splitter->width();
    const int most = total * kContentsShare / 100;
    const int left = std::clamp(pane, std::min(220, most), most);
    Splitter->setSizes({left, total - left});
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
    if (g_lastSize.isValid())
        window->resize(g_lastSize);
    if (owner) {
        const QRect frame = owner->frameGeometry();
        // The frame's decorations as the owner has them (the help window has none before it shows).
        const QMargins decorations(owner->geometry().left() - frame.left(), owner->geometry().top() - frame.top(),
                                   frame.right() - owner->geometry().right(),
                                   frame.bottom() - owner->geometry().bottom());
        const QRect place = HelpWindowPlace(Dialogs::DesktopArea(), frame, window->size().grownBy(decorations));
        window->setGeometry(place.marginsRemoved(decorations));
    }
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
    g_lastSize = g_window->size();
    delete g_window.data();
    g_window = nullptr;
}
