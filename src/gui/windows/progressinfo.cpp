#include "gui/windows/progressinfo.h"

#include "core/app/i18n.h"
#include "core/windows/progresslook.h"
#include "gui/app/translate.h"
#include "ui_progressinfo.h"

#include <QPainter>
#include <QShowEvent>
#include <QPushButton>

namespace {
QColor Colour(uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }
} // namespace

void TProgressLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QString text = index.data(Qt::DisplayRole).toString();
    const TProgressLineLook look = ProgressLineLook(text.toStdString());
    painter->save();
    painter->fillRect(option.rect, Colour(kProgressBackground));
    QFont font = option.font;
    font.setBold(look.Bold);
    font.setUnderline(look.Underline);
    painter->setFont(font);
    painter->setPen(Colour(look.Rgb));
    painter->drawText(option.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    painter->restore();
}

QSize TProgressLineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QFont bold = option.font;
    bold.setBold(true);
    return {QFontMetrics(bold).horizontalAdvance(index.data(Qt::DisplayRole).toString()) + 2, kRowHeight};
}

TProgressInfoForm::TProgressInfoForm(QWidget* parent)
    : QDialog(parent), Ui_(std::make_unique<Ui::TProgressInfoForm>())
{
    Ui_->setupUi(this);
    setFixedSize(size());  // a fixed dialog border
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(false);
    QFont courier(QStringLiteral("Courier New"), 8);
    courier.setStyleHint(QFont::TypeWriter);
    Ui_->ListBox1->setFont(courier);
    QPalette palette = Ui_->ListBox1->palette();
    palette.setColor(QPalette::Base, Colour(kProgressBackground));
    Ui_->ListBox1->setPalette(palette);
    Ui_->ListBox1->setItemDelegate(new TProgressLineDelegate(this));
    connect(Ui_->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    TranslateComponent(this);
}

TProgressInfoForm::~TProgressInfoForm() = default;

void TProgressInfoForm::Open(const std::string& caption)
{
    setWindowTitle(QString::fromStdString(caption));
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
    Ui_->ListBox1->addItem(QString::fromStdString(text));
    Ui_->ListBox1->setCurrentRow(Ui_->ListBox1->count() - 1);
}

void TProgressInfoForm::ReplaceLine(const std::string& text)
{
    if (QListWidgetItem* item = Ui_->ListBox1->currentItem())
        item->setText(QString::fromStdString(text));
}

std::vector<std::string> TProgressInfoForm::Lines() const
{
    std::vector<std::string> lines;
    for (int i = 0; i < Ui_->ListBox1->count(); ++i)
        lines.push_back(Ui_->ListBox1->item(i)->text().toStdString());
    return lines;
}

int TProgressInfoForm::SelectedLine() const { return Ui_->ListBox1->currentRow(); }

void TProgressInfoForm::Button1Click() { hide(); }

void TProgressInfoForm::showEvent(QShowEvent* event)
{
    // Runs each time the window goes from hidden to visible (not when the desktop merely
    // restores it from an icon).
    if (!event->spontaneous()) {
        UseLanguage(GetCurrentLanguage());
        RetranslateComponent(this);
        Ui_->ListBox1->clear();
    }
    QDialog::showEvent(event);
}
