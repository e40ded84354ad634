#include "gui/windows/progressinfo.h"

#include "core/app/i18n.h"
#include "core/http/progresslook.h"
#include "gui/app/colourscheme.h"
#include "core/log/format.h"
#include "gui/app/translate.h"
#include "ui_progressinfo.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>

namespace {
constexpr int kReasonRole = Qt::UserRole + 1;  // a line's device failure, in its shown form
constexpr int kBeforeRole = Qt::UserRole + 2;  // the configuration files a line opens the compare of
constexpr int kAfterRole = Qt::UserRole + 3;

constexpr const char* kStandsAbove = "pyxetStandsAboveProgress";

// Whether a window of the program may cover the progress window.
bool MayStandAbove(const QWidget* window, const QWidget* progress)
{
    switch (window->windowType()) {
    case Qt::Popup:  // menus, drop-down lists
    case Qt::ToolTip:
    case Qt::SplashScreen:
        return true;
    default:
        break;
    }
    if (qobject_cast<const QMessageBox*>(window) || qobject_cast<const QFileDialog*>(window))
        return true;
    for (const QWidget* w = window; w; w = w->parentWidget())
        if (w == progress || w->property(kStandsAbove).toBool())
            return true;
    return false;
}
} // namespace

void StandAboveProgress(QWidget* window) { window->setProperty(kStandsAbove, true); }

void TProgressLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QString text = index.data(Qt::DisplayRole).toString();
    const TProgressLineLook look = ProgressLineLook(text.toStdString());
    // The list's own palette carries the background already decided; the scheme is the window's.
    const QWidget* window = option.widget ? option.widget->window() : nullptr;
    const TSchemeColours colours = ListColours(window ? window->palette() : option.palette, look.Role);
    painter->save();
    painter->fillRect(option.rect, SchemeColour(colours.Background));
    QFont font = option.font;
    font.setBold(look.Bold);
    font.setUnderline(look.Underline);
    painter->setFont(font);
    painter->setPen(SchemeColour(colours.Text));
    painter->drawText(option.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    painter->restore();
}

int TProgressLineDelegate::LineWidth(const QString& text, const QFont& listFont)
{
    QFont bold = listFont;  // a line may be drawn bold: room for that
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(text) + 2;
}

QSize TProgressLineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    return {std::max(Widest, LineWidth(index.data(Qt::DisplayRole).toString(), option.font)), kRowHeight};
}

void TProgressLineDelegate::Fit(const QString& text, const QFont& listFont)
{
    const int width = LineWidth(text, listFont);
    if (width <= Widest)
        return;
    Widest = width;
    emit sizeHintChanged(QModelIndex());  // the list lays its rows out again
}

TProgressInfoForm::TProgressInfoForm(QWidget* parent)
    : QDialog(parent), Ui_(std::make_unique<Ui::TProgressInfoForm>())
{
    Ui_->setupUi(this);
    // Opens at its designed size; larger, the list widens and heightens with it.
    setMinimumSize(size());
    setSizeGripEnabled(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(false);
    QFont courier(QStringLiteral("Courier New"), 8);
    courier.setStyleHint(QFont::TypeWriter);
    Ui_->ListBox1->setFont(courier);
    SetListBackground();
    LineLook = new TProgressLineDelegate(this);
    Ui_->ListBox1->setItemDelegate(LineLook);
    connect(Ui_->ListBox1, &QListWidget::currentRowChanged, this, [this] { ShowReason(); });
    connect(Ui_->ListBox1, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        const auto [before, after] = CompareOf(Ui_->ListBox1->row(item));
        if (!before.empty())
            emit CompareRequested(before, after);
    });
    connect(Ui_->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Ui_->StopButton, &QPushButton::clicked, this, [this] {
        if (IsRunning)
            emit StopRequested();
    });
    TranslateComponent(this);
}

TProgressInfoForm::~TProgressInfoForm() = default;

void TProgressInfoForm::SetListBackground()
{
    QPalette list = Ui_->ListBox1->palette();
    list.setColor(QPalette::Base, SchemeColour(ListColours(palette(), TColourRole::ProgressPlain).Background));
    Ui_->ListBox1->setPalette(list);
}

void TProgressInfoForm::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        SetListBackground();
}

void TProgressInfoForm::Open(const std::string& caption)
{
    setWindowTitle(QString::fromStdString(caption));
    BlockStart = Ui_->ListBox1->count();
    BatchBlocks = Blocks.size();
    if (!isVisible()) {
        // Centred over the main window, which owns this one.
        if (QWidget* owner = parentWidget())
            move(owner->frameGeometry().center() - QPoint(width() / 2, height() / 2));
        show();
    }
    raise();
}

void TProgressInfoForm::AddLine(const std::string& text)
{
    auto* item = new QListWidgetItem(QString::fromStdString(text));
    SetLineTip(item);
    LineLook->Fit(item->text(), Ui_->ListBox1->font());
    Ui_->ListBox1->addItem(item);
    LastAdded = Ui_->ListBox1->count() - 1;
    Ui_->ListBox1->setCurrentRow(LastAdded);
}

void TProgressInfoForm::ReplaceLine(const std::string& text)
{
    if (QListWidgetItem* item = Ui_->ListBox1->item(LastAdded)) {
        item->setText(QString::fromStdString(text));
        SetLineTip(item);
        LineLook->Fit(item->text(), Ui_->ListBox1->font());
    }
}

namespace {
const char* CompareHint() { return _("Double-click to compare the configuration before and after the upgrade."); }
}  // namespace

void TProgressInfoForm::SetLineTip(QListWidgetItem* item)
{
    const QString reason = item->data(kReasonRole).toString();
    QString tip = item->text();
    if (!reason.isEmpty())
        tip += QLatin1Char('\n') + QString::fromStdString(Format(_("Reason: %s"), reason.toStdString().c_str()));
    if (!item->data(kBeforeRole).toString().isEmpty())
        tip += QLatin1Char('\n') + QString::fromUtf8(CompareHint());
    item->setToolTip(tip);
}

void TProgressInfoForm::OfferCompare(const std::string& host, const std::string& before, const std::string& after)
{
    // A unit tried again has a later block of its own: the last one that names it.
    const QString named = QStringLiteral("  (%1)").arg(QString::fromStdString(host));
    for (size_t i = Blocks.size(); i > BatchBlocks; --i) {
        const auto [first, end] = Blocks[i - 1];
        const QListWidgetItem* deviceLine = Ui_->ListBox1->item(first);
        if (!deviceLine || !deviceLine->text().endsWith(named))
            continue;
        for (int row = first; row < end; ++row) {
            QListWidgetItem* item = Ui_->ListBox1->item(row);
            item->setData(kBeforeRole, QString::fromStdString(before));
            item->setData(kAfterRole, QString::fromStdString(after));
            SetLineTip(item);
        }
        ShowReason();
        return;
    }
}

std::pair<std::string, std::string> TProgressInfoForm::CompareOf(int row) const
{
    const QListWidgetItem* item = Ui_->ListBox1->item(row);
    if (!item)
        return {};
    return {item->data(kBeforeRole).toString().toStdString(), item->data(kAfterRole).toString().toStdString()};
}

void TProgressInfoForm::EndDevice(const std::string& failure)
{
    const int count = Ui_->ListBox1->count();
    if (!failure.empty()) {
        const QString reason = QString::fromStdString(failure);
        for (int row = BlockStart; row < count; ++row) {
            QListWidgetItem* item = Ui_->ListBox1->item(row);
            item->setData(kReasonRole, reason);
            SetLineTip(item);
        }
    }
    if (count > BlockStart)
        Blocks.emplace_back(BlockStart, count);
    BlockStart = count;
    ShowReason();
}

void TProgressInfoForm::ShowReason()
{
    const QListWidgetItem* item = Ui_->ListBox1->currentItem();
    const QString reason = item ? item->data(kReasonRole).toString() : QString();
    QString text =
        reason.isEmpty() ? QString() : QString::fromStdString(Format(_("Reason: %s"), reason.toStdString().c_str()));
    if (text.isEmpty() && item && !item->data(kBeforeRole).toString().isEmpty())
        text = QString::fromUtf8(CompareHint());
    // A long reason is cut at the label's edge; its tool tip has it whole.
    QLabel* label = Ui_->ReasonLabel;
    label->setText(label->fontMetrics().elidedText(text, Qt::ElideRight, label->width()));
    label->setToolTip(text);
}

std::string TProgressInfoForm::ReasonText() const { return Ui_->ReasonLabel->toolTip().toStdString(); }

std::vector<std::string> TProgressInfoForm::Lines() const
{
    std::vector<std::string> lines;
    for (int i = 0; i < Ui_->ListBox1->count(); ++i)
        lines.push_back(Ui_->ListBox1->item(i)->text().toStdString());
    return lines;
}

int TProgressInfoForm::SelectedLine() const { return Ui_->ListBox1->currentRow(); }

void TProgressInfoForm::Button1Click()
{
    if (!IsRunning)
        hide();
}

void TProgressInfoForm::reject()
{
    if (!IsRunning)
        QDialog::reject();
}

void TProgressInfoForm::SetRunning(bool running)
{
    IsRunning = running;
    Ui_->StopButton->setEnabled(running);
    Ui_->Button1->setEnabled(!running);
}

void TProgressInfoForm::SetCount(const std::string& text)
{
    Count = text;
    // A no-break space after each colon: a number stays with its word.
    Ui_->CountLabel->setText(QString::fromStdString(text).replace(QStringLiteral(": "), QStringLiteral(":\u00A0")));
}

std::string TProgressInfoForm::CountText() const { return Count; }

void TProgressInfoForm::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    ShowReason();
}

void TProgressInfoForm::showEvent(QShowEvent* event)
{
    // Runs each time the window goes from hidden to visible (not when the desktop merely
    // restores it from an icon).
    if (!event->spontaneous()) {
        UseLanguage(GetCurrentLanguage());
        RetranslateComponent(this);
        Ui_->ListBox1->clear();
        LineLook->Reset();
        LastAdded = -1;
        BlockStart = 0;
        Blocks.clear();
        BatchBlocks = 0;
    }
    QDialog::showEvent(event);
    qApp->installEventFilter(this);  // once: a filter installed again only moves to the front
}

void TProgressInfoForm::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous())
        qApp->removeEventFilter(this);
    QDialog::hideEvent(event);
}

bool TProgressInfoForm::eventFilter(QObject* watched, QEvent* event)
{
    // Shown, activated, or clicked (the desktop raises a window clicked while it is active, and
    // tells nobody).
    const QEvent::Type type = event->type();
    if ((type == QEvent::Show || type == QEvent::WindowActivate || type == QEvent::MouseButtonPress)
        && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        QWidget* window = widget->window();
        if ((type == QEvent::MouseButtonPress || widget->isWindow()) && window != this && !MayStandAbove(window, this))
            KeepOnTop();
    }
    return QDialog::eventFilter(watched, event);
}

void TProgressInfoForm::KeepOnTop()
{
    // Once the other window is up: it is raised as it is shown and activated.
    if (RaisePending)
        return;
    RaisePending = true;
    QTimer::singleShot(0, this, [this] {
        RaisePending = false;
        if (isVisible())
            raise();
    });
}
