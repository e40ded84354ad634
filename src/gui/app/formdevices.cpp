// The device area of the main window: discovery start, registration of each answering device
// (the list's part is the device list panel's), the details of the device shown with its
// picture, and the links to the device's web pages.
#include "gui/app/artwork.h"
#include "gui/app/qtext.h"
#include "gui/app/colourscheme.h"
#include "gui/app/dialogs.h"
#include "gui/app/devicelistpanel.h"
#include "gui/app/form.h"
#include "gui/app/watchpanel.h"
#include "gui/app/mainmenus.h"
#include "gui/app/setuppanel.h"
#include "gui/devices/findat.h"
#include "gui/devices/weblink.h"
#include "core/app/atomicfile.h"
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
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>
#include <QTableView>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

// Word wrap may start a new line after any colon of a MAC address; an invisible word joiner
// after each colon between two hex digits keeps every address on one line.
constexpr int kConflictNoteHeight = 34;  // the note's least height: two lines

QString KeepMacsWhole(QString text)
{
    static const QRegularExpression colon(QStringLiteral("(?<=[0-9A-Fa-f]):(?=[0-9A-Fa-f])"));
    return text.replace(colon, QStringLiteral(":\u2060"));
}

} // namespace

namespace {

// Keeps a label over the whole of the widget it watches.
class TResizeFollower : public QObject {
public:
    explicit TResizeFollower(QWidget* label) : QObject(label), Label(label) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            Label->setGeometry(static_cast<QWidget*>(watched)->rect());
        return false;
    }

private:
    QWidget* Label;
};

} // namespace

void TPyxetForm::SetupDeviceView()
{
    QTableView* list = Ui_->DeviceListBox;
    QFont font(QStringLiteral("Courier New"), 8, QFont::Bold);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    list->setFont(font);
    List = new TDeviceListPanel({list, Ui_->AllChecked, Ui_->teSearch, Ui_->DeviceFilter, Ui_->DeviceCounter},
                                Devices, this);
    // A batch keeps the rows and the selection as they are.
    BatchLock.Join(List->LockedControls());
    connect(List, &TDeviceListPanel::ShownDeviceChanged, this, [this] { ShowDeviceDetails(); });
    connect(List, &TDeviceListPanel::RowsChanged, this, [this] { ShowListState(); });
    connect(List, &TDeviceListPanel::RowsChosen, this, [this] { UpdateCheckFailed(); });

    Ui_->tiDeviceImg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Ui_->tiDeviceImg->setScaledContents(false);
    Ui_->tiDeviceImg->setCursor(Qt::PointingHandCursor);
    Ui_->Image2->setCursor(Qt::PointingHandCursor);
    if (Ui_->Image2->pixmap().isNull())
        Ui_->Image2->setPixmap(LinkPixmap());
    OnClick(Ui_->tiDeviceImg, [this] { tiDeviceImgClick(); });
    OnClick(Ui_->Image2, [this] { Image2Click(); });

    // The note over the top of the picture: a device of the selection shares its address.
    QLabel* note = Ui_->tlIPConflict;
    note->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    note->raise();
    note->hide();

    connect(Ui_->mExportList, &QAction::triggered, this, [this] { mExportListClick(); });
    Watch = new TWatchPanel(*this, Ui_->acWatch, Ui_->WatchSiteLine);
    SetUpSiteActions();

    // The registry asks the window to show each registered device, and warns before it
    // destroys the devices so that no row or selection points at a freed one.
    Devices.OnRegister = [this](TProduct* device) { RegisterDevice(device); };
    Devices.OnFreed = [this] {
        List->DevicesFreed();
        Setup->Show(nullptr);
    };

    // The text in the list's empty area, over the viewport; its link opens the guide.
    EmptyListHint = new QLabel(list->viewport());
    EmptyListHint->setObjectName(QStringLiteral("tlEmptyList"));
    EmptyListHint->setFont(this->font());  // the window's, not the lines' fixed font
    EmptyListHint->setAlignment(Qt::AlignCenter);
    EmptyListHint->setWordWrap(true);
    EmptyListHint->setTextFormat(Qt::RichText);
    EmptyListHint->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    EmptyListHint->setContextMenuPolicy(Qt::NoContextMenu);
    connect(EmptyListHint, &QLabel::linkActivated, this, [this] { OpenHelpAt(kWhyNoDevicePage); });
    list->viewport()->installEventFilter(new TResizeFollower(EmptyListHint));
    // While no row is shown the setup panel and the links to the device's pages rest.
    EmptyListLock.Join(Setup->RestingControls());
    EmptyListLock.Join({Ui_->tiDeviceImg, Ui_->Image2});
    ShowListState();
}

void TPyxetForm::ShowListState()
{
    const int rows = List->RowCount();
    if (rows > 0)
        EmptyListHint->hide();
    else {
        const bool none = Devices.DeviceList().empty();
        const QString text = none ? Q(_("No device has answered.")) + QStringLiteral("<br><a href=\"help\">")
                                        + Q(_("Why a device may not appear")).toHtmlEscaped() + QStringLiteral("</a>")
                                  : Q(_("No device matches the search.")).toHtmlEscaped();
        if (EmptyListHint->text() != text)
            EmptyListHint->setText(text);
        EmptyListHint->setGeometry(EmptyListHint->parentWidget()->rect());
        EmptyListHint->show();
    }
    // A running batch holds these controls and gives them back when it ends; the state is
    // decided again then.
    if (BatchLock.Locked())
        return;
    if (rows == 0 && !DemoMode)
        EmptyListLock.Lock();
    else
        EmptyListLock.Unlock();
}

void TPyxetForm::acFindExecute()
{
    FindDevices({});
}

TDiscoveryPlan TPyxetForm::SearchPlan(const std::vector<uint32_t>& targets) const
{
    // An interface remembered from another day that is gone now: all of them.
    std::vector<std::string> unknown;
    std::vector<std::string> chosen;
    if (!Settings.Interface.empty())
        chosen.push_back(Settings.Interface);
    TDiscoveryPlan plan = PlanDiscovery(chosen, targets, Settings.Repeat, &unknown);
    if (!unknown.empty())
        plan = PlanDiscovery({}, targets, Settings.Repeat);
    return plan;
}

void TPyxetForm::FindDevices(const std::vector<uint32_t>& targets)
{
    if (Busy())  // its lines would land among the batch's, over the devices it runs on
        return;
    // The keys act on the list from the start of each cycle (and Ctrl+X, which a text field
    // takes as its own Cut, ends the program).
    List->FocusList();
    if (DemoMode) {
        Ui_->pDevices->setVisible(true);
        return;
    }
    KeptChecks.RecordFailed({});  // a cycle of its own gives back no marks
    Devices.BeginCycle();  // PreviousList = the lines shown so far, then FreeDevices
    // The panel is emptied with every control given back first, then rests as emptied.
    EmptyListLock.Unlock();
    ClearDeviceView();
    ShowListState();
    TDiscoveryPlan plan = SearchPlan(targets);
    if (Watch->Watching()) {
        // The watch's rounds ask the network, within their budget.
        Watch->NewList(targets);
        return;
    }
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
    Watch->CycleBegun();  // its end checks the open site
    Discovery->Start(Devices, DiscoveryFamilies({OrvexServer.get(), HwgServer.get()}, Settings), std::move(plan));
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

void TPyxetForm::RebuildFindMenu() { Menus->RebuildFindMenu(); }

void TPyxetForm::FreeDevices()
{
    Devices.FreeDevices();  // the list forgets its rows and the device shown first
    Setup->Show(nullptr);
}

TProduct* TPyxetForm::SelectedDevice() const
{
    return List ? List->ShownDevice() : nullptr;
}

void TPyxetForm::ClearDeviceView()
{
    setWindowTitle(Q(AppTitle));
    Setup->Clear();
    Ui_->tiDeviceImg->clear();
    DevicePicture = QImage();
    ShowIpConflictNote();
    List->Clear();
    EnableDeviceActions(false);
    UpdateCheckFailed();
}

void TPyxetForm::AddDevice(std::unique_ptr<TProduct> device, const TProductTable& products, TUDPServer* server)
{
    Devices.AddDevice(std::move(device), products, server);
}

void TPyxetForm::RegisterDevice(TProduct* device)
{
    const bool following = List->TakeDevice(device);
    if (Watch)
        Watch->Registered(*device);  // an expected unit's missing row goes
    if (Devices.IpConflicts().InConflict(device))
        ShowIpConflictNote();
    // The cycle's first device, also when the search hides it (then nothing is selected).
    if (List->FirstOfCycle(device)) {
        EnableDeviceActions(true);
        if (List->RowsNow().size() > 0 && List->RowsNow().front().Device == device) {
            // A picture that cannot be loaded here is not reported: nobody clicked.
            QuietPictureErrors = true;
            SelectDevice(0);
            QuietPictureErrors = false;
        }
    }
    // Every answer clears the marks; after a verified upgrade those of its devices come back.
    if (!KeptChecks.Empty())
        if (const std::vector<int> kept = KeptChecks.Matching(List->RowsNow()); !kept.empty())
            List->CheckRows(kept);
    // Rows that followed DeviceList gained this one device; other rows were refilled whole.
    UpdateCheckFailed(following ? device : nullptr);
}

void TPyxetForm::ShowIpConflictNote()
{
    const std::string note = SelectedDevice() ? IpConflictNote(Devices.IpConflicts(), SelectedDevice()) : std::string();
    QLabel* label = Ui_->tlIPConflict;
    label->setText(KeepMacsWhole(Q(note)));
    // As many lines as the note takes at its width (a long list of MACs, a longer language),
    // within the picture's group.
    const int room = label->parentWidget()->height() - label->y() - 4;
    label->resize(label->width(), std::clamp(label->heightForWidth(label->width()), kConflictNoteHeight, room));
    label->setVisible(!note.empty());
}

void TPyxetForm::SelectDevice(int row)
{
    List->SelectDevice(row);  // shows its details through ShownDeviceChanged
}

void TPyxetForm::ShowDeviceDetails()
{
    if (!SelectedDevice())
        return;
    const TProductInfo info = SelectedDevice()->CopyInfo();
    setWindowTitle(Q(AppTitle + " " + info.TypeName));
    Setup->Show(SelectedDevice());
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
    DevicePicture = image.copy();  // the pixels outlive png
    ShowPictureOnBackdrop();
    return true;
}

void TPyxetForm::ShowPictureOnBackdrop()
{
    if (DevicePicture.isNull())
        return;
    // The pictures are drawn for a light window; a dark one gets a light plate behind them, so
    // that their captions and outlines stay visible.
    const TSchemeColours backdrop = FaceColours(palette(), TColourRole::PictureBackdrop);
    if (!backdrop.Own) {
        Ui_->tiDeviceImg->setPixmap(QPixmap::fromImage(DevicePicture));
        return;
    }
    QImage plated(DevicePicture.size(), QImage::Format_ARGB32_Premultiplied);
    plated.fill(Qt::transparent);
    QPainter p(&plated);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(SchemeColour(backdrop.Background));
    p.drawRoundedRect(QRectF(plated.rect()), 8, 8);
    p.drawImage(0, 0, DevicePicture);
    p.end();
    Ui_->tiDeviceImg->setPixmap(QPixmap::fromImage(plated));
}

void TPyxetForm::tiDeviceImgClick()
{
    if (!SelectedDevice())
        return;
    OpenWebPage(DevicePageUrl(SelectedDevice()->Info));
}

void TPyxetForm::Image2Click()
{
    if (!SelectedDevice())
        return;
    OpenWebPage(DevicePortPageUrl(SelectedDevice()->Info));
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
    const std::vector<TDeviceRow> rows = List->Rows();
    const std::string text = FormatDeviceList(ExportDevices(rows, Devices), format);

    // Through the atomic writer: a failed export leaves the old file whole.
    int error = 0;
    if (!WriteFileAtomically(path, text, error, TExistingFile::ReplaceWritable)) {
        const std::string message =
            Format(_("Cannot write the file %s: %s"), path.c_str(), FileErrorText(error).c_str());
        LogAction(_("Export failed"), message, LOG_ERROR);
        Dialogs::Error(this, message);
        return;
    }
    LogAction(_("Device List Exported"), Format(_("%d devices exported to %s"), static_cast<int>(rows.size()), path.c_str()),
              LOG_INFO);
}
