// Two things of the device list that the view does not do by itself: the column buttons stand
// above the fields of the lines (measured in the list's own font, so in either language and on
// any desktop), and a click on the highlighted row shows its details again.
#include "gui/app/form.h"
#include "gui/devices/devicelistdelegate.h"
#include "ui_form.h"

#include <QEvent>
#include <QFontMetrics>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <algorithm>
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
}

void TPyxetForm::PlaceColumnHeaders()
{
    QListView* list = Ui_->DeviceListBox;
    const QFontMetrics metrics(list->font());
    const int advance = metrics.horizontalAdvance(QLatin1Char('0'));  // a fixed-pitch font

    // A line starts right of the check box that the row delegate draws, as the style places it.
    QStyleOptionViewItem row;
    row.initFrom(list);
    row.rect = QRect(0, 0, list->viewport()->width(), TDeviceListDelegate::kRowHeight);
    row.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    row.checkState = Qt::Unchecked;
    row.font = list->font();
    row.fontMetrics = metrics;
    row.widget = list;
    const QRect check = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &row, list);
    const int lineLeft = list->x() + list->viewport()->x() + check.right() + 2;

    QToolButton* const headers[] = {Ui_->btnType, Ui_->btnName, Ui_->btnMAC, Ui_->btnIP, Ui_->btnRev};
    const std::array<int, 5> columns = TDeviceRegistry::DisplayColumns();
    const int right = list->x() + list->width();
    for (size_t i = 0; i < columns.size(); ++i) {
        QToolButton* header = headers[i];
        int x = lineLeft + columns[i] * advance;
        if (i == 0)  // the type column starts under the All box, whose text needs the room
            x = std::max(x, Ui_->AllChecked->geometry().right() + 1);
        const int end = i + 1 < columns.size() ? lineLeft + columns[i + 1] * advance - 1 : right;
        const int width = std::max(1, std::min(header->sizeHint().width(), end - x));
        header->setGeometry(x, header->y(), width, header->height());
    }
}
