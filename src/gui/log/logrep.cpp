// The Log Report window and the pieces that draw and save its lines.
#include "gui/log/logrep.h"

#include "gui/app/colourscheme.h"
#include "gui/app/dialogs.h"
#include "core/app/atomicfile.h"
#include "core/app/i18n.h"
#include "gui/app/translate.h"
#include "core/log/format.h"
#include "core/log/safetext.h"
#include "gui/app/qtext.h"
#include "ui_logrep.h"

#include <QDateTime>
#include <QHeaderView>
#include <QPainter>
#include <QStyle>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>


// ---- Model -----------------------------------------------------------------------------------

int TLogReportModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(Rows.size());
}

QVariant TLogReportModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(Rows.size()))
        return {};
    const TLogLine& line = Rows[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return QString::fromStdString(line.Text);
    if (role == LevelRole)
        return line.Level;
    return {};
}

void TLogReportModel::Append(const TLogLine& line)
{
    const int row = static_cast<int>(Rows.size());
    beginInsertRows({}, row, row);
    Rows.push_back(line);
    endInsertRows();
}

void TLogReportModel::Reset(std::vector<TLogLine> lines)
{
    beginResetModel();
    Rows = std::move(lines);
    endResetModel();
}

// ---- Drawing ---------------------------------------------------------------------------------

void TLogLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QString text = index.data(Qt::DisplayRole).toString();
    const TSchemeColours c =
        ListColours(option.palette, LogLineRole(text.toStdString(), option.state & QStyle::State_Selected));
    painter->save();
    painter->fillRect(option.rect, SchemeColour(c.Background));
    painter->setPen(SchemeColour(c.Text));
    painter->setFont(option.font);
    painter->drawText(option.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    painter->restore();
}

QSize TLogLineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QString text = index.data(Qt::DisplayRole).toString();
    return {option.fontMetrics.horizontalAdvance(text), kRowHeight};
}

// ---- Saving ----------------------------------------------------------------------------------

bool SaveLogLines(const std::string& path, const std::vector<TLogLine>& lines, std::string* error)
{
    std::string text;
    for (const TLogLine& line : lines)
        text += line.Text + "\r\n";
    int reason = 0;
    if (WriteFileAtomically(path, text, reason, TExistingFile::ReplaceWritable))
        return true;
    if (error)
        *error = Format(_("Cannot create file \"%s\". %s"), path.c_str(), FileErrorText(reason).c_str());
    return false;
}

// ---- Window ----------------------------------------------------------------------------------

TLogActionForm::TLogActionForm(QWidget* parent)
    : QDialog(parent), Ui_(std::make_unique<Ui::TLogActionForm>())
{
    Ui_->setupUi(this);
    setFixedSize(size());  // a fixed dialog border
    Model = new TLogReportModel(this);
    Ui_->ActionReport->setModel(Model);
    Ui_->ActionReport->setItemDelegate(new TLogLineDelegate(this));

    // Two pages where the list was: the log, and the watch's events.
    PageTabs = new QTabWidget(this);
    PageTabs->setObjectName(QStringLiteral("LogPages"));
    PageTabs->setGeometry(Ui_->ActionReport->geometry());
    auto* logPage = new QWidget;
    auto* logLayout = new QVBoxLayout(logPage);
    logLayout->setContentsMargins(0, 0, 0, 0);
    logLayout->addWidget(Ui_->ActionReport);
    Events = new QTreeWidget;
    Events->setObjectName(QStringLiteral("EventsList"));
    Events->setColumnCount(3);
    Events->setRootIsDecorated(false);
    Events->setUniformRowHeights(true);
    Events->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Events->header()->resizeSection(0, 130);
    Events->header()->resizeSection(1, 200);
    PageTabs->addTab(logPage, QString());
    PageTabs->addTab(Events, QString());
    TranslatePages();
    setTabOrder(PageTabs, Ui_->ActionFilter);
    Ui_->SaveButton->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    for (QPushButton* b : {Ui_->SaveButton, Ui_->ClearButton, Ui_->ExitButton})
        b->setAutoDefault(false);

    connect(Ui_->ActionFilter, &QComboBox::activated, this, [this] { ActionFilterChange(); });
    connect(Ui_->SaveButton, &QPushButton::clicked, this, [this] { SaveButtonClick(); });
    connect(Ui_->ClearButton, &QPushButton::clicked, this, [this] { ClearButtonClick(); });
    connect(Ui_->ExitButton, &QPushButton::clicked, this, [this] { ExitButtonClick(); });

    TranslateComponent(this);
    move(Dialogs::DesktopPosition(size()));
}

TLogActionForm::~TLogActionForm() = default;

const std::vector<TLogLine>& TLogActionForm::KeptLog() const
{
    static const std::vector<TLogLine> none;
    if (TActionLogger* logger = CurrentLogger())
        return logger->ActionLog;
    return none;
}

void TLogActionForm::AddAction(const std::string& text, int level)
{
    Model->Append({text, level});
    // Selecting a row of a visible list lays out every row again, and a command that logs
    // thousands of lines holds the GUI thread throughout; the list is painted only when the
    // command returns anyway. So a visible list selects (and scrolls to) its newest line once,
    // when the event loop next runs; a hidden one selects at once, which costs nothing.
    if (Ui_->ActionReport->isVisible()) {
        if (!SelectNewestPending) {
            SelectNewestPending = true;
            QMetaObject::invokeMethod(this, [this] { SelectNewestLine(); }, Qt::QueuedConnection);
        }
        return;
    }
    SelectNewestPending = false;
    SelectNewestLine();
}

void TLogActionForm::SelectNewestLine()
{
    SelectNewestPending = false;
    if (Model->rowCount() == 0)
        return;
    // Setting the current row also scrolls a visible list to it.
    const QModelIndex last = Model->index(Model->rowCount() - 1);
    Ui_->ActionReport->selectionModel()->setCurrentIndex(last, QItemSelectionModel::ClearAndSelect);
}

void TLogActionForm::TranslatePages()
{
    PageTabs->setTabText(0, Q(_("Log")));
    PageTabs->setTabText(1, Q(_("Events")));
    Events->setHeaderLabels({Q(_("Time")), Q(_("Unit")), Q(_("What"))});
    Events->setAccessibleName(Q(_("Events")));
}

std::string WatchUnitText(const TWatchEvent& event)
{
    return event.Name.empty() ? event.MAC : SafeText(event.Name) + " (" + event.MAC + ")";
}

void TLogActionForm::AddWatchEvent(const TWatchEvent& event)
{
    const QString time =
        QDateTime::fromMSecsSinceEpoch(event.Time).toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    auto* row = new QTreeWidgetItem({time, Q(WatchUnitText(event)), Q(WatchEventText(event))});
    Events->addTopLevelItem(row);
    Events->scrollToItem(row);
}

void TLogActionForm::ActionFilterChange()
{
    // One reset: the list is laid out and painted once for the whole rebuild.
    const int level = Ui_->ActionFilter->currentIndex();
    std::vector<TLogLine> lines;
    for (const TLogLine& line : KeptLog())
        if (level <= 0 || line.Level == level)  // exactly one level, not a threshold
            lines.push_back(line);
    Model->Reset(std::move(lines));
    SelectNewestPending = false;  // a rebuilt view has no line selected
    Ui_->ActionReport->selectionModel()->clear();
}

void TLogActionForm::SaveButtonClick()
{
    const std::string path = Dialogs::SaveFileName(this, _("Save to file"), _("Log Report|*.txt"));
    if (path.empty())
        return;
    std::string error;
    if (!SaveLogLines(path, Model->Lines(), &error))
        Dialogs::Error(this, error);
}

void TLogActionForm::ClearButtonClick()
{
    SelectNewestPending = false;
    Model->Reset({});
}

void TLogActionForm::ExitButtonClick() { close(); }

void TLogActionForm::showEvent(QShowEvent* event)
{
    UseLanguage(GetCurrentLanguage());
    RetranslateComponent(this);
    TranslatePages();
    Ui_->ActionFilter->setCurrentIndex(0);
    ActionFilterChange();
    QDialog::showEvent(event);
}
