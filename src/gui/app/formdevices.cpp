// The device area of the main window: discovery start, registration of each answering device,
// the owner-drawn device list with its check marks, column sorts and type filter, the details of
// the selected device with its picture, and the links to the device's web pages.
#include "gui/app/artwork.h"
#include "gui/app/dialogs.h"
#include "gui/app/form.h"
#include "core/app/i18n.h"
#include "gui/devices/devicelistdelegate.h"
#include "gui/devices/devicelistmodel.h"
#include "core/devices/discovery.h"
#include "core/devices/pngimage.h"
#include "core/devices/sorting.h"
#include "gui/devices/weblink.h"
#include "core/log/format.h"
#include "ui_form.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Stands for the desktop's colour of inactive window borders: read-only fields are shaded with it.
const QColor kShadedField{212, 208, 200};

void SetFieldLook(QLineEdit* field, bool readOnly)
{
    field->setReadOnly(readOnly);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, readOnly ? kShadedField : QApplication::palette(field).color(QPalette::Base));
    field->setPalette(palette);
}

// A port that the device does not have (-1) reads "N/A" in a shaded, read-only field.
void ShowPort(QLineEdit* field, int16_t port)
{
    if (port == -1) {
        SetFieldLook(field, true);
        field->setText(QStringLiteral("N/A"));
    } else {
        SetFieldLook(field, false);
        field->setText(QString::number(port));
    }
}

// Clicks on the two link pictures (plain labels) go to the window's handlers.
class TClickFilter : public QObject {
public:
    TClickFilter(QObject* parent, std::function<void(QObject*)> onClick) : QObject(parent), OnClick(std::move(onClick)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            auto* widget = qobject_cast<QWidget*>(watched);
            if (mouse->button() == Qt::LeftButton && widget && widget->rect().contains(mouse->position().toPoint())) {
                OnClick(watched);
                return true;
            }
        }
        return false;
    }

private:
    std::function<void(QObject*)> OnClick;
};

} // namespace

void TPyxetForm::SetupDeviceView()
{
    QListView* list = Ui_->DeviceListBox;
    QFont font(QStringLiteral("Courier New"), 8, QFont::Bold);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    list->setFont(font);
    list->setUniformItemSizes(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);

    DeviceRows = new TDeviceListModel(Devices, this);
    auto* delegate = new TDeviceListDelegate(list);
    delegate->OnDrawItem = [this](QPainter* painter, const QRect& rect, int row, bool highlighted) {
        DeviceListBoxDrawItem(painter, rect, row, highlighted);
    };
    list->setItemDelegate(delegate);
    list->setModel(DeviceRows);
    // The highlight, not the focus rectangle, chooses the device: a mouse press moves the
    // current row before it selects it, the keyboard selects before it moves.
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!SelectingDevice)
            DeviceListBoxClick();
    });
    connect(DeviceRows, &TDeviceListModel::CheckToggled, this, [this](int row, bool) { DeviceListBoxClickCheck(row); });
    connect(Ui_->AllChecked, &QCheckBox::stateChanged, this, [this] { AllCheckedClick(); });
    connect(Ui_->DeviceFilter, &QComboBox::activated, this, [this] { DeviceFilterChange(); });
    connect(Ui_->btnType, &QAbstractButton::clicked, this, [this] { btnTypeClick(); });
    connect(Ui_->btnName, &QAbstractButton::clicked, this, [this] { btnNameClick(); });
    connect(Ui_->btnMAC, &QAbstractButton::clicked, this, [this] { btnMACClick(); });
    connect(Ui_->btnIP, &QAbstractButton::clicked, this, [this] { btnIPClick(); });
    connect(Ui_->btnRev, &QAbstractButton::clicked, this, [this] { btnRevClick(); });

    Ui_->tiDeviceImg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Ui_->tiDeviceImg->setScaledContents(false);
    Ui_->tiDeviceImg->setCursor(Qt::PointingHandCursor);
    Ui_->Image2->setCursor(Qt::PointingHandCursor);
    if (Ui_->Image2->pixmap().isNull())
        Ui_->Image2->setPixmap(LinkPixmap());
    auto* clicks = new TClickFilter(this, [this](QObject* target) {
        if (target == Ui_->tiDeviceImg)
            tiDeviceImgClick();
        else
            Image2Click();
    });
    Ui_->tiDeviceImg->installEventFilter(clicks);
    Ui_->Image2->installEventFilter(clicks);

    // The registry asks the window to show each registered device, and warns before it
    // destroys the devices so that no row or selection points at a freed one.
    Devices.OnRegister = [this](TProduct* device) { RegisterDevice(device); };
    Devices.OnFreed = [this] {
        DeviceRows->Clear();
        SelectedDevice = nullptr;
    };
}

void TPyxetForm::acFindExecute()
{
    if (DemoMode) {
        Ui_->pDevices->setVisible(true);
        return;
    }
    Devices.BeginCycle();  // PreviousList = the lines shown so far, then FreeDevices
    SelectedDevice = nullptr;
    DeviceRows->Clear();
    ClearDeviceView();
    StartDiscovery(Devices, TDiscoveryFamily{OrvexServer.get(), &Settings.OrvexProducts},
                   TDiscoveryFamily{HwgServer.get(), &Settings.HwgProducts});
}

void TPyxetForm::FreeDevices()
{
    Devices.FreeDevices();
    SelectedDevice = nullptr;
}

void TPyxetForm::ClearDeviceView()
{
    setWindowTitle(Q(AppTitle));
    for (QLineEdit* field : {Ui_->teDeviceName, Ui_->teDeviceIP, Ui_->teDeviceMask, Ui_->teDeviceGateway,
                             Ui_->teDeviceDNS1, Ui_->teDeviceDNS2, Ui_->teHTTPPort, Ui_->teTelnetPort})
        field->setText(QString());
    Ui_->chbDhcp->setChecked(false);
    Ui_->tiDeviceImg->clear();
    ClearChecks();
    EnableDeviceActions(false);
    Ui_->btnConfigDevice->setEnabled(false);
    Ui_->DeviceFilter->clear();
    Ui_->DeviceFilter->setPlaceholderText(Q(_("No devices")));
    UpdateDeviceCounter();
}

void TPyxetForm::AddDevice(std::unique_ptr<TProduct> device, const TProductTable& products, TUDPServer* server)
{
    Devices.AddDevice(std::move(device), products, server);
}

void TPyxetForm::RegisterDevice(TProduct* device)
{
    // The rows mirror DeviceList in place, so this refill costs the same however long the list
    // is; the view lays the rows out once per event-loop pass, however many answers came in it.
    DeviceRows->ShowDeviceList();
    ClearChecks();

    if (DeviceRows->RowCount() == 1 && DeviceRows->Device(0) == device) {
        Ui_->DeviceFilter->addItem(Q(_("All devices")));
        Ui_->DeviceFilter->setCurrentIndex(0);
        EnableDeviceActions(true);
        // A picture that cannot be loaded here is not reported: nobody clicked.
        QuietPictureErrors = true;
        SelectDevice(0);
        QuietPictureErrors = false;
    }
    const QString type = Q(device->Info.TypeName);
    if (Ui_->DeviceFilter->findText(type, Qt::MatchFixedString) < 0)  // letter case ignored
        Ui_->DeviceFilter->addItem(type);
    UpdateDeviceCounter();
}

void TPyxetForm::UpdateDeviceCounter()
{
    Ui_->DeviceCounter->setText(QString::number(DeviceRows->RowCount()));
}

void TPyxetForm::DeviceListBoxDrawItem(QPainter* painter, const QRect& rect, int row, bool highlighted)
{
    const QPalette& palette = Ui_->DeviceListBox->palette();
    QColor text = DeviceRowTextColour(!DeviceRows->HasPreviousList(), DeviceRows->IsKnown(row),
                                      palette.color(QPalette::Text));
    QColor background = palette.color(QPalette::Base);
    if (highlighted) {
        background = kHighlightBackground;
        text = kHighlightText;
    }
    painter->fillRect(rect, background);
    painter->setPen(text);
    painter->setFont(Ui_->DeviceListBox->font());
    painter->drawText(rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, Q(DeviceRows->Line(row)));
}

void TPyxetForm::DeviceListBoxClick()
{
    const QModelIndexList highlighted = Ui_->DeviceListBox->selectionModel()->selectedIndexes();
    if (highlighted.isEmpty())
        return;
    TProduct* device = DeviceRows->Device(highlighted.first().row());
    if (!device)
        return;
    SelectedDevice = device;
    ShowDeviceDetails();
}

void TPyxetForm::SelectDevice(int row)
{
    if (row < 0 || row >= DeviceRows->RowCount())
        return;
    SelectingDevice = true;
    Ui_->DeviceListBox->setCurrentIndex(DeviceRows->index(row));
    SelectingDevice = false;
    DeviceListBoxClick();
}

void TPyxetForm::ShowDeviceDetails()
{
    if (!SelectedDevice)
        return;
    const TProductInfo info = SelectedDevice->CopyInfo();

    setWindowTitle(Q(AppTitle + " " + info.TypeName));
    SetFieldLook(Ui_->teDeviceName, info.Name == "N/A");
    Ui_->teDeviceName->setText(Q(info.Name));
    Ui_->teDeviceIP->setText(Q(info.IP));
    Ui_->teDeviceMask->setText(Q(info.Mask));
    Ui_->teDeviceGateway->setText(Q(info.Gateway));
    Ui_->teDeviceDNS1->setText(Q(info.DNS1));
    Ui_->teDeviceDNS2->setText(Q(info.DNS2));
    ShowPort(Ui_->teHTTPPort, info.HTTPPort);
    ShowPort(Ui_->teTelnetPort, info.TelnetPort);
    if (info.Dhcp == -1) {
        Ui_->chbDhcp->setEnabled(false);  // the check mark stays as it was
    } else {
        Ui_->chbDhcp->setEnabled(true);
        Ui_->chbDhcp->setChecked(info.Dhcp != 0);
    }
    const bool dhcp = Ui_->chbDhcp->isChecked();
    SetFieldLook(Ui_->teDeviceDNS1, info.DNS1 == "N/A" || dhcp);
    SetFieldLook(Ui_->teDeviceDNS2, info.DNS2 == "N/A" || dhcp);
    Ui_->btnSetDefault->setEnabled(info.CanSetDefault);
    Ui_->btnRestartDevice->setEnabled(info.CanRestart);

    // The folder name carries its own separator; the doubled one is dropped before use.
    const std::string path = QDir::cleanPath(Q(AppDir + "/images/" + info.TypeName + ".png")).toStdString();
    if (!ShowDevicePicture(path) && !QuietPictureErrors)
        Dialogs::Error(this, Format(_("Cannot open file \"%s\"."), path.c_str()));
}

bool TPyxetForm::ShowDevicePicture(const std::string& path)
{
    // A picture that cannot be read leaves the one shown before in place.
    const TPngResult png = LoadPngFile(path);
    if (!png.Ok)
        return false;
    const QImage image(png.Image.Rgba.data(), int(png.Image.Width), int(png.Image.Height),
                       qsizetype(png.Image.Width) * 4, QImage::Format_RGBA8888);
    Ui_->tiDeviceImg->setPixmap(QPixmap::fromImage(image));  // copies the pixels
    return true;
}

void TPyxetForm::ClearChecks()
{
    CheckedCount = 0;
    Ui_->AllChecked->setCheckState(Qt::Unchecked);  // runs AllCheckedClick when it changes
    Ui_->AllChecked->setTristate(false);
    DeviceRows->SetAllChecked(false);
}

void TPyxetForm::DeviceListBoxClickCheck(int row)
{
    CheckedCount += DeviceRows->IsChecked(row) ? 1 : -1;
    CheckedCount = std::clamp(CheckedCount, 0, DeviceRows->RowCount());
    Qt::CheckState state = Qt::PartiallyChecked;
    if (CheckedCount == 0)
        state = Qt::Unchecked;
    else if (CheckedCount == DeviceRows->RowCount())
        state = Qt::Checked;
    Ui_->AllChecked->setCheckState(state);  // runs AllCheckedClick when it changes
}

void TPyxetForm::AllCheckedClick()
{
    const Qt::CheckState state = Ui_->AllChecked->checkState();
    if (state == Qt::PartiallyChecked)
        return;
    // Only this window ever grays the box; a click on a grayed box checks it, and from then
    // on clicks go between checked and unchecked.
    Ui_->AllChecked->setTristate(false);
    const bool checked = state == Qt::Checked;
    CheckedCount = checked ? DeviceRows->RowCount() : 0;
    DeviceRows->SetAllChecked(checked);
}

void TPyxetForm::DeviceFilterChange()
{
    QListView* list = Ui_->DeviceListBox;
    list->setUpdatesEnabled(false);
    if (Ui_->DeviceFilter->currentIndex() <= 0) {
        DeviceRows->ShowDeviceList();
    } else {
        const std::string type = Ui_->DeviceFilter->currentText().toStdString();
        std::vector<TDeviceRow> rows;
        for (const TDeviceEntry& entry : Devices.DeviceList())
            if (entry.Device->Info.TypeName == type)  // letter case counts here
                rows.push_back({entry.Line, entry.Device.get()});
        DeviceRows->ShowRows(std::move(rows));
    }
    ClearChecks();
    SelectDevice(0);
    UpdateDeviceCounter();
    list->setUpdatesEnabled(true);
}

void TPyxetForm::btnTypeClick() { SortByColumn(CompareType); }
void TPyxetForm::btnNameClick() { SortByColumn(CompareName); }
void TPyxetForm::btnMACClick() { SortByColumn(CompareMac); }
void TPyxetForm::btnIPClick() { SortByColumn(CompareIp); }
void TPyxetForm::btnRevClick() { SortByColumn(CompareRev); }

void TPyxetForm::SortByColumn(TDeviceComparator compare)
{
    if (Devices.DeviceList().empty())
        return;
    SortAscending = !SortAscending;  // one direction for all five columns
    SortDeviceView(compare);
}

void TPyxetForm::SortDeviceView(TDeviceComparator compare)
{
    std::vector<TDeviceRow> rows;
    rows.reserve(Devices.DeviceList().size());
    for (const TDeviceEntry& entry : Devices.DeviceList())
        rows.push_back({entry.Line, entry.Device.get()});
    const bool ascending = SortAscending;
    std::stable_sort(rows.begin(), rows.end(), [&](const TDeviceRow& a, const TDeviceRow& b) {
        return compare(a.Device->Info, b.Device->Info, ascending) < 0;
    });
    DeviceRows->ShowRows(std::move(rows));
    ClearChecks();
    SelectDevice(0);
    // The sort shows every device again, also after a filter narrowed the view.
    UpdateDeviceCounter();
}

void TPyxetForm::tiDeviceImgClick()
{
    if (!SelectedDevice)
        return;
    OpenWebPage("http://" + SelectedDevice->Info.PeerIP);
}

void TPyxetForm::Image2Click()
{
    if (!SelectedDevice)
        return;
    const TProductInfo& info = SelectedDevice->Info;
    // No port (-1): the device's page at the default port. Ports above 32767, held as negative
    // 16-bit numbers, are written as the port they are.
    if (info.HTTPPort == -1)
        OpenWebPage("http://" + info.PeerIP);
    else
        OpenWebPage("http://" + info.PeerIP + ":" + std::to_string(uint16_t(info.HTTPPort)));
}
