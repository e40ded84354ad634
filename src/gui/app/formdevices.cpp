// The device area of the main window: discovery start, registration of each answering device,
// the owner-drawn device list with its check marks, column sorts and type filter, the details of
// the selected device with its picture, and the links to the device's web pages.
#include "gui/app/artwork.h"
#include "gui/app/dialogs.h"
#include "gui/app/form.h"
#include "gui/devices/devicelistdelegate.h"
#include "gui/devices/devicelistmodel.h"
#include "gui/devices/findat.h"
#include "gui/devices/weblink.h"
#include "core/app/i18n.h"
#include "core/devices/details.h"
#include "core/discovery/discovery.h"
#include "core/discovery/export.h"
#include "core/devices/listview.h"
#include "core/devices/netinterfaces.h"
#include "core/devices/pngimage.h"
#include "core/devices/sorting.h"
#include "core/log/format.h"
#include "ui_form.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QProgressDialog>
#include <QImage>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPixmap>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Stands for the desktop's colour of inactive window borders: read-only fields are shaded with it.
const QColor kShadedField{212, 208, 200};

// Word wrap may start a new line after any colon of a MAC address; an invisible word joiner
// after each colon between two hex digits keeps every address on one line.
QString KeepMacsWhole(QString text)
{
    static const QRegularExpression colon(QStringLiteral("(?<=[0-9A-Fa-f]):(?=[0-9A-Fa-f])"));
    return text.replace(colon, QStringLiteral(":\u2060"));
}

} // namespace

void TPyxetForm::SetFieldLook(QLineEdit* field, bool readOnly)
{
    field->setReadOnly(readOnly);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, readOnly ? kShadedField : QApplication::palette(field).color(QPalette::Base));
    field->setPalette(palette);
}

namespace {

// The look first, then the text: setting the text runs the field's change handler.
void ShowField(QLineEdit* field, const TFieldLook& look)
{
    TPyxetForm::SetFieldLook(field, look.ReadOnly);
    field->setText(Q(look.Text));
}

Qt::CheckState AllBoxCheckState(TAllBoxState state)
{
    switch (state) {
    case TAllBoxState::Partial:
        return Qt::PartiallyChecked;
    case TAllBoxState::Checked:
        return Qt::Checked;
    case TAllBoxState::Unchecked:
        break;
    }
    return Qt::Unchecked;
}

TAllBoxState AllBoxStateOf(Qt::CheckState state)
{
    switch (state) {
    case Qt::PartiallyChecked:
        return TAllBoxState::Partial;
    case Qt::Checked:
        return TAllBoxState::Checked;
    case Qt::Unchecked:
        break;
    }
    return TAllBoxState::Unchecked;
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
    list->setItemDelegate(new TDeviceListDelegate(list));  // draws the rows in the model's colours
    list->setModel(DeviceRows);
    // The highlight, not the focus rectangle, chooses the device: a mouse press moves the
    // current row before it selects it, the keyboard selects before it moves.
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!SelectingDevice)
            DeviceListBoxClick();
    });
    connect(DeviceRows, &TDeviceListModel::CheckToggled, this, [this](int row, bool) { DeviceListBoxClickCheck(row); });
    connect(DeviceRows, &TDeviceListModel::WaitingRowsShown, this, [this] { WaitingRowsShown(); });
    connect(Ui_->AllChecked, &QCheckBox::stateChanged, this, [this] { AllCheckedClick(); });
    connect(Ui_->DeviceFilter, &QComboBox::activated, this, [this] { DeviceFilterChange(); });
    connect(Ui_->teSearch, &QLineEdit::textChanged, this, [this] { DeviceFilterChange(); });
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

    // The note over the top of the picture: a device of the selection shares its address.
    QLabel* note = Ui_->tlIPConflict;
    note->setStyleSheet(QStringLiteral("QLabel { background: %1; color: black; border: 1px solid #b06010; padding: 1px 3px; }")
                            .arg(kIpConflictBackground.name()));
    note->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    note->raise();
    note->hide();

    connect(Ui_->mExportList, &QAction::triggered, this, [this] { mExportListClick(); });

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
    FindDevices({});
}

void TPyxetForm::FindDevices(const std::vector<uint32_t>& targets)
{
    if (Busy())  // its lines would land among the batch's, over the devices it runs on
        return;
    if (DemoMode) {
        Ui_->pDevices->setVisible(true);
        return;
    }
    KeptChecks.RecordFailed({});  // a cycle of its own gives back no marks
    Devices.BeginCycle();  // PreviousList = the lines shown so far, then FreeDevices
    SelectedDevice = nullptr;
    DeviceRows->Clear();
    ClearDeviceView();
    // An interface remembered from another day that is gone now: all of them.
    std::vector<std::string> unknown;
    std::vector<std::string> chosen;
    if (!Settings.Interface.empty())
        chosen.push_back(Settings.Interface);
    TDiscoveryPlan plan = PlanDiscovery(chosen, targets, Settings.Repeat, &unknown);
    if (!unknown.empty())
        plan = PlanDiscovery({}, targets, Settings.Repeat);
    if (SearchProgress) {
        SearchProgress->hide();
        SearchProgress->deleteLater();
        SearchProgress = nullptr;
    }
    if (!targets.empty()) {
        SearchProgress = new QProgressDialog(this);
        SearchProgress->setObjectName(QStringLiteral("SearchProgress"));
        SearchProgress->setWindowTitle(Q(_("Find at Addresses")));
        SearchProgress->setLabelText(Q(Format(_("Asking %d addresses..."), static_cast<int>(targets.size()))));
        SearchProgress->setCancelButtonText(Q(_("Stop")));
        SearchProgress->setWindowModality(Qt::NonModal);
        SearchProgress->setAutoClose(false);
        SearchProgress->setAutoReset(false);
        SearchProgress->setMinimumDuration(0);
        SearchProgress->setRange(0, static_cast<int>(targets.size()) * plan.Repeat);
        SearchProgress->setValue(0);
        QProgressDialog* progress = SearchProgress;
        connect(Discovery, &TDiscoveryRun::Progress, progress, [progress](int done, int total) {
            progress->setMaximum(total);
            progress->setValue(done);
        });
        connect(Discovery, &TDiscoveryRun::Finished, progress, [this, progress] {
            progress->hide();
            progress->deleteLater();
            if (SearchProgress == progress)
                SearchProgress = nullptr;
        });
        connect(progress, &QProgressDialog::canceled, Discovery, [this] { Discovery->Stop(); });
        if (!Dialogs::Automatic())
            progress->show();
    }
    Discovery->Start(Devices, TDiscoveryFamily{OrvexServer.get(), &Settings.OrvexProducts},
                     TDiscoveryFamily{HwgServer.get(), &Settings.HwgProducts}, std::move(plan));
}

void TPyxetForm::acFindAtExecute()
{
    if (Busy())
        return;
    if (!FindAt)
        FindAt = new TFindAtForm(this);
    FindAt->SetText(Settings.Targets);
    if (!FindAt->Execute())
        return;
    Settings.Targets = FindAt->Text();
    FindDevices(FindAt->Addresses());
}

void TPyxetForm::RebuildFindMenu()
{
    pmFind->clear();
    for (QAction* action : FindInterfaces->actions())
        FindInterfaces->removeAction(action);
    const std::vector<TNetInterface> interfaces = ListNetInterfaces();
    const std::vector<std::string> names = DiscoveryInterfaceNames(interfaces);
    auto add = [this](const QString& text, const std::string& name) {
        QAction* action = pmFind->addAction(text);
        action->setCheckable(true);
        action->setData(Q(name));
        action->setChecked(Settings.Interface == name);
        FindInterfaces->addAction(action);
        connect(action, &QAction::triggered, this, [this, name] { Settings.Interface = name; });
    };
    add(Q(_("All interfaces")), "");
    const bool remembered = Settings.Interface.empty()
        || std::find(names.begin(), names.end(), Settings.Interface) != names.end();
    if (!remembered)
        FindInterfaces->actions().front()->setChecked(true);  // that interface is gone: all of them
    for (const std::string& name : names)
        add(Q(InterfaceLabel(interfaces, name)), name);
    pmFind->addSeparator();
    pmFind->addAction(Ui_->acFindAt);
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
    ShowIpConflictNote();
    ClearChecks();
    EnableDeviceActions(false);
    Ui_->btnConfigDevice->setEnabled(false);
    Ui_->DeviceFilter->clear();
    FilterHasType.clear();
    Ui_->DeviceFilter->setPlaceholderText(Q(_("No devices")));
    UpdateDeviceCounter();
    UpdateCheckFailed();
}

void TPyxetForm::AddDevice(std::unique_ptr<TProduct> device, const TProductTable& products, TUDPServer* server)
{
    Devices.AddDevice(std::move(device), products, server);
}

void TPyxetForm::RegisterDevice(TProduct* device)
{
    // The rows take the new line in where DeviceList filed it, rather than being rebuilt, so a
    // registration costs the same however long the list is; the refill's other effects follow.
    const bool following = DeviceRows->FollowsDeviceList();
    DeviceRows->FollowDeviceList(Devices.LastFiledRow());
    ClearHighlight();
    ClearChecks();
    if (Devices.IpConflicts().InConflict(device)) {
        DeviceRows->ConflictsChanged();  // its partners' rows change colour too
        ShowIpConflictNote();
    }

    if (DeviceRows->RowCount() == 1 && DeviceRows->Device(0) == device) {
        Ui_->DeviceFilter->addItem(Q(_("All devices")));
        Ui_->DeviceFilter->setCurrentIndex(0);
        EnableDeviceActions(true);
        // A picture that cannot be loaded here is not reported: nobody clicked.
        QuietPictureErrors = true;
        SelectDevice(0);
        QuietPictureErrors = false;
    }
    // A type name asked about once this cycle has its entry: most answers ask nothing more.
    if (FilterHasType.insert(device->Info.TypeName).second) {
        std::vector<std::string> entries;
        for (int i = 0; i < Ui_->DeviceFilter->count(); ++i)
            entries.push_back(Ui_->DeviceFilter->itemText(i).toStdString());
        if (NeedsFilterEntry(entries, device->Info.TypeName))
            Ui_->DeviceFilter->addItem(Q(device->Info.TypeName));
    }
    UpdateDeviceCounter();
    // Every answer clears the marks; after a verified upgrade those of its devices come back.
    if (!KeptChecks.Empty())
        if (const std::vector<int> kept = KeptChecks.Matching(DeviceRows->Rows()); !kept.empty())
            CheckRows(kept);
    // Rows that followed DeviceList gained this one device; other rows were refilled whole.
    UpdateCheckFailed(following ? device : nullptr);
}

void TPyxetForm::WaitingRowsShown()
{
    // Lines that waited on a long list came in unchecked: the count of rows grew, the marks
    // set since the last registration stay.
    UpdateDeviceCounter();
    if (CheckedCount > 0)
        Ui_->AllChecked->setCheckState(AllBoxCheckState(AllBoxState(CheckedCount, DeviceRows->RowCount())));
}

void TPyxetForm::ClearHighlight()
{
    QItemSelectionModel* selection = Ui_->DeviceListBox->selectionModel();
    if (selection->hasSelection() || selection->currentIndex().isValid())
        selection->clear();  // no row highlighted: the selection handler finds none and does nothing
}

void TPyxetForm::ShowIpConflictNote()
{
    const std::string note = SelectedDevice ? IpConflictNote(Devices.IpConflicts(), SelectedDevice) : std::string();
    Ui_->tlIPConflict->setText(KeepMacsWhole(Q(note)));
    Ui_->tlIPConflict->setVisible(!note.empty());
}

void TPyxetForm::UpdateDeviceCounter()
{
    Ui_->DeviceCounter->setText(QString::number(DeviceRows->RowCount()));
}

void TPyxetForm::DeviceListBoxClick()
{
    // A highlighted row that moves down under a new line keeps its device, and the details (and
    // what the user is typing into them) stay as they are.
    if (DeviceRows->InsertingRows())
        return;
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
    const TDeviceDetailsLook look = DeviceDetailsLook(info, Ui_->chbDhcp->isChecked());

    // In this order: the texts run the fields' change handlers, which compare with the device.
    setWindowTitle(Q(AppTitle + " " + info.TypeName));
    ShowField(Ui_->teDeviceName, look.Name);
    Ui_->teDeviceIP->setText(Q(look.IP));
    Ui_->teDeviceMask->setText(Q(look.Mask));
    Ui_->teDeviceGateway->setText(Q(look.Gateway));
    Ui_->teDeviceDNS1->setText(Q(look.DNS1.Text));
    Ui_->teDeviceDNS2->setText(Q(look.DNS2.Text));
    ShowField(Ui_->teHTTPPort, look.HTTPPort);
    ShowField(Ui_->teTelnetPort, look.TelnetPort);
    Ui_->chbDhcp->setEnabled(look.DhcpEnabled);
    Ui_->chbDhcp->setChecked(look.DhcpChecked);  // a disabled box keeps its mark: no change
    SetFieldLook(Ui_->teDeviceDNS1, look.DNS1.ReadOnly);
    SetFieldLook(Ui_->teDeviceDNS2, look.DNS2.ReadOnly);
    Ui_->btnSetDefault->setEnabled(look.SetDefaultEnabled);
    Ui_->btnRestartDevice->setEnabled(look.RestartEnabled);
    ShowIpConflictNote();

    const std::string path = DevicePicturePath(AppDir, info.TypeName);
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
    // Setting a check box's state draws it again even when nothing changes; every answer clears
    // the marks, so only a change is set.
    if (Ui_->AllChecked->checkState() != Qt::Unchecked)
        Ui_->AllChecked->setCheckState(Qt::Unchecked);  // runs AllCheckedClick
    if (Ui_->AllChecked->isTristate())
        Ui_->AllChecked->setTristate(false);
    DeviceRows->SetAllChecked(false);
}

void TPyxetForm::CheckRows(const std::vector<int>& rows)
{
    DeviceRows->SetAllChecked(false);
    for (int row : rows)
        DeviceRows->SetChecked(row, true);
    CheckedCount = static_cast<int>(rows.size());
    // Grayed between none and all, as after a row's click; checked or unchecked asks
    // AllCheckedClick for the marks the rows already have.
    Ui_->AllChecked->setCheckState(AllBoxCheckState(AllBoxState(CheckedCount, DeviceRows->RowCount())));
}

void TPyxetForm::DeviceListBoxClickCheck(int row)
{
    const TCheckCount checks = RowCheckToggled(CheckedCount, DeviceRows->IsChecked(row), DeviceRows->RowCount());
    CheckedCount = checks.Count;
    Ui_->AllChecked->setCheckState(AllBoxCheckState(checks.AllBox));  // runs AllCheckedClick when it changes
}

void TPyxetForm::AllCheckedClick()
{
    const TAllBoxState state = AllBoxStateOf(Ui_->AllChecked->checkState());
    const std::optional<int> checks = AllBoxChecks(state, DeviceRows->RowCount());
    if (!checks)
        return;
    // Only this window ever grays the box; a click on a grayed box checks it, and from then
    // on clicks go between checked and unchecked.
    Ui_->AllChecked->setTristate(false);
    CheckedCount = *checks;
    DeviceRows->SetAllChecked(state == TAllBoxState::Checked);
}

void TPyxetForm::DeviceFilterChange()
{
    QListView* list = Ui_->DeviceListBox;
    list->setUpdatesEnabled(false);
    // The search text narrows the type filter's rows further, by the same rules.
    std::optional<std::vector<TDeviceRow>> rows =
        FilterRows(Devices.DeviceList(), Ui_->DeviceFilter->currentIndex(),
                   Ui_->DeviceFilter->currentText().toStdString(), TDeviceSearch(Ui_->teSearch->text().toStdString()));
    if (rows)
        DeviceRows->ShowRows(std::move(*rows));
    else
        DeviceRows->ShowDeviceList();
    ClearChecks();
    SelectDevice(0);
    UpdateDeviceCounter();
    UpdateCheckFailed();
    list->setUpdatesEnabled(true);
}

void TPyxetForm::btnTypeClick() { SortByColumn(CompareType); }
void TPyxetForm::btnNameClick() { SortByColumn(CompareName); }
void TPyxetForm::btnMACClick() { SortByColumn(CompareMac); }
void TPyxetForm::btnIPClick() { SortByColumn(CompareIp); }
void TPyxetForm::btnRevClick() { SortByColumn(CompareRev); }

void TPyxetForm::SortByColumn(TDeviceComparator compare)
{
    const TSortClick click = ColumnButtonClick(SortAscending, Devices.DeviceList().size());
    if (!click.Sort)
        return;
    SortAscending = click.Ascending;  // one direction for all five columns
    SortDeviceView(compare);
}

void TPyxetForm::SortDeviceView(TDeviceComparator compare)
{
    DeviceRows->ShowRows(SortedRows(Devices.DeviceList(), compare, SortAscending));
    ClearChecks();
    SelectDevice(0);
    // The sort shows every device again, also after a filter narrowed the view.
    UpdateDeviceCounter();
    UpdateCheckFailed();
}

void TPyxetForm::tiDeviceImgClick()
{
    if (!SelectedDevice)
        return;
    OpenWebPage(DevicePageUrl(SelectedDevice->Info));
}

void TPyxetForm::Image2Click()
{
    if (!SelectedDevice)
        return;
    OpenWebPage(DevicePortPageUrl(SelectedDevice->Info));
}

void TPyxetForm::mExportListClick()
{
    const Dialogs::TSaveChoice choice =
        Dialogs::SaveFileChoice(this, _("Export Device List"), _("CSV file|*.csv|JSON file|*.json"));
    if (choice.Path.empty())
        return;
    const TExportFormat format = ExportFormatOfType(choice.Type);
    const std::string path = ExportFileName(choice.Path, format);
    // The rows shown, in their order and narrowed by the type filter; lines still waiting to be
    // shown are taken in first.
    DeviceRows->ShowWaitingRows();
    const std::string text = FormatDeviceList(ExportDevices(DeviceRows->Rows(), Devices), format);

    // Written beside the target and renamed over it: a failed export leaves the old file whole.
    QSaveFile file(Q(path));
    const bool written = file.open(QIODevice::WriteOnly)
                         && file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size())
                         && file.commit();
    if (!written) {
        const std::string message =
            Format(_("Cannot write the file %s: %s"), path.c_str(), file.errorString().toStdString().c_str());
        LogAction(_("Export failed"), message, LOG_ERROR);
        Dialogs::Error(this, message);
        return;
    }
    LogAction(_("Device List Exported"), Format(_("%d devices exported to %s"), DeviceRows->RowCount(), path.c_str()),
              LOG_INFO);
}
