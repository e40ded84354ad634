// Three things of the device list that the view does not do by itself: the column buttons stand
// above the fields of the lines (measured in the list's own font, so in either language and on
// any desktop), a click on the highlighted row shows its details again, and the keys start from
// the row of the device shown.
#include "gui/app/form.h"
#include "gui/devices/devicelistdelegate.h"
#include "ui_form.h"

#include <QEvent>
#include <QFocusEvent>
#include <QItemSelectionModel>
#include <QListView>
#include <QFontMetrics>
#include <QImage>
#include <QToolButton>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <cmath>
#include <array>
#include <functional>

namespace {

// Notes the selected device as a mouse press reaches the list, before the view handles it.
class TPressWatch : public QObject {
public:
    TPressWatch(QObject* parent, std::function<TProduct*()> selected) : QObject(parent), Selected(std::move(selected)) {}
    TProduct* Before = nullptr;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress)
            Before = Selected();
        return false;
    }

private:
    std::function<TProduct*()> Selected;
};

// Before the list takes the focus from the keyboard or a key, gives it the shown device's row as
// its current row where it has none (a registration clears it), so that Down goes on from that
// device rather than from the top. The highlight is not touched.
class TKeyStart : public QObject {
public:
    TKeyStart(QListView* list, std::function<int()> shownRow) : QObject(list), List(list), ShownRow(std::move(shownRow))
    {
        list->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const bool fromKeys = event->type() == QEvent::KeyPress
                              || (event->type() == QEvent::FocusIn
                                  && static_cast<QFocusEvent*>(event)->reason() != Qt::MouseFocusReason);
        if (fromKeys && !List->currentIndex().isValid())
            if (const int row = ShownRow(); row >= 0)
                List->selectionModel()->setCurrentIndex(List->model()->index(row, 0), QItemSelectionModel::NoUpdate);
        return false;
    }

private:
    QListView* List;
    std::function<int()> ShownRow;
};

// How far right of a column button's left edge its caption starts, as the style draws it (the
// sort glyph stands right of the caption).
int HeaderTextOffset(QToolButton* header)
{
    const QImage image = header->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) > 128 && qGray(pixel) < 128)
                return static_cast<int>(x / ratio);
        }
    return 0;
}

} // namespace

void TPyxetForm::WireRowClicks()
{
    // The view reports a press on a row after it has moved the highlight. A press that moved it
    // has already shown the new row's device (through the selection change); a press on the row
    // that was highlighted already changes no selection, so it shows the device here, and edited
    // fields go back to the device's values.
    auto* watch = new TPressWatch(this, [this] { return SelectedDevice; });
    Ui_->DeviceListBox->viewport()->installEventFilter(watch);
    connect(Ui_->DeviceListBox, &QAbstractItemView::pressed, this, [this, watch](const QModelIndex&) {
        if (SelectedDevice == watch->Before)
            DeviceListBoxClick();
    });
    new TKeyStart(Ui_->DeviceListBox, [this] { return ShownDeviceRow(); });
}

int TPyxetForm::LineLeft() const
{
    QListView* list = Ui_->DeviceListBox;
    // A line starts right of the check box that the row delegate draws, as the style places it.
    QStyleOptionViewItem row;
    row.initFrom(list);
    row.rect = QRect(0, 0, list->viewport()->width(), TDeviceListDelegate::kRowHeight);
    row.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    row.checkState = Qt::Unchecked;
    row.font = list->font();
    row.fontMetrics = QFontMetrics(list->font());
    row.widget = list;
    const QRect check = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &row, list);
    return list->x() + list->viewport()->x() + check.right() + 2;
}

void TPyxetForm::PlaceColumnHeaders()
{
    QListView* list = Ui_->DeviceListBox;
    // Where the n-th character of a line starts: the width of n characters as the list draws
    // them (a character's advance need not be a whole number of pixels).
    const QFontMetricsF exact(list->font());
    const auto characters = [&exact](int n) {
        return static_cast<int>(std::lround(exact.horizontalAdvance(QString(n, QLatin1Char('0')))));
    };
    const int lineLeft = LineLeft();

    QToolButton* const headers[] = {Ui_->btnType, Ui_->btnName, Ui_->btnMAC, Ui_->btnIP, Ui_->btnRev};
    const std::array<int, 5> columns = TDeviceRegistry::DisplayColumns();
    const int right = list->x() + list->width();
    for (size_t i = 0; i < columns.size(); ++i) {
        QToolButton* header = headers[i];
        const int field = lineLeft + characters(columns[i]);
        const int width = header->sizeHint().width();
        header->setGeometry(field, header->y(), width, header->height());
        // The caption stands where the field's text starts, not the button's edge.
        int x = field - HeaderTextOffset(header);
        if (i == 0)  // the type column starts under the All box, whose text needs the room
            x = std::max(x, Ui_->AllChecked->geometry().right() + 1);
        if (i + 1 == columns.size())  // a whole caption rather than one cut at the list's edge
            x = std::max(headers[i - 1]->geometry().right() + 1, std::min(x, right - width));
        header->move(x, header->y());
    }
}

int TPyxetForm::ColumnsShortfall() const
{
    const QListView* list = Ui_->DeviceListBox;
    const QFontMetricsF exact(list->font());
    const auto characters = [&exact](int n) {
        return static_cast<int>(std::ceil(exact.horizontalAdvance(QString(n, QLatin1Char('0')))));
    };
    // In the list's own coordinates, from where PlaceColumnHeaders starts the lines.
    const int lineLeft = LineLeft() - list->x();
    const int revision = lineLeft + characters(TDeviceRegistry::DisplayColumns()[4]);
    const int right = std::max(revision + characters(kRevisionChars), revision + Ui_->btnRev->sizeHint().width());
    const int room = list->width() - list->frameWidth()
        - list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
    return std::max(0, right - room);
}
