#include "gui/config/comparedialog.h"

#include "core/app/i18n.h"
#include "core/config/history.h"
#include "core/config/identity.h"
#include "core/log/format.h"
#include "core/log/safetext.h"
#include "gui/app/dialogs.h"
#include "gui/app/qtext.h"
#include "gui/app/translate.h"
#include "gui/config/differencestable.h"
#include "ui_comparedialog.h"

#include <QClipboard>
#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QShowEvent>
#include <QTimeZone>

namespace {
constexpr const char* kConfigFilter = "Config|*.xml";

// A file or a kept version read whole, bounded as the reader is.
bool ReadBytes(const std::string& path, QByteArray& bytes, std::string& error)
{
    QFile file(Q(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = Format(_("Cannot open the file %s"), path.c_str());
        return false;
    }
    if (file.size() > kMostConfigBytes) {
        error = ReadConfig(QByteArray(kMostConfigBytes + 1, ' ')).Error;
        return false;
    }
    bytes = file.readAll();
    return true;
}

std::string VersionLabel(const THistoryVersion& version)
{
    const QDateTime time = QDateTime::fromSecsSinceEpoch(version.Time, QTimeZone::utc());
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString() + " UTC";
}
}  // namespace

TCompareDialog::TCompareDialog(TCompareHost host, QWidget* parent)
    : QDialog(parent), Ui_(std::make_unique<Ui::TCompareDialog>()), Host(std::move(host))
{
    Ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    HistoryRoot = HistoryFolder();
    for (const bool left : {true, false}) {
        QComboBox* kind = left ? Ui_->cbLeftKind : Ui_->cbRightKind;
        connect(kind, &QComboBox::currentIndexChanged, this, [this, left] { SourceChanged(left); });
        connect(left ? Ui_->cbLeftDevice : Ui_->cbRightDevice, &QComboBox::currentIndexChanged, this,
                [this, left] { FillVersions(left); });
        connect(left ? Ui_->btnLeftFile : Ui_->btnRightFile, &QPushButton::clicked, this, [this, left] {
            const std::string path = Dialogs::OpenFileName(this, _("Select Configuration"), kConfigFilter);
            if (!path.empty())
                (left ? Ui_->teLeftFile : Ui_->teRightFile)->setText(Q(path));
        });
    }
    connect(Ui_->btnCompare, &QPushButton::clicked, this, &TCompareDialog::CompareClick);
    connect(Ui_->chkDifferencesOnly, &QCheckBox::toggled, this, [this] { ShowRows(); });
    connect(Ui_->btnCopy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(Q(CompareRowsText(Shown))); });
    connect(Ui_->btnRestoreVersion, &QPushButton::clicked, this, &TCompareDialog::RestoreVersion);
    connect(Ui_->lstGroups, &QListWidget::currentRowChanged, this, &TCompareDialog::ShowGroup);
    connect(Ui_->btnCheckGroup, &QPushButton::clicked, this, &TCompareDialog::CheckGroup);
    connect(Ui_->btnClose, &QPushButton::clicked, this, &QDialog::reject);
    Ui_->Splitter->setSizes({320, 580});
    Ui_->btnRestoreVersion->setEnabled(false);
    TranslateComponent(this);
    ShowDifferences(Ui_->tblDifferences, {}, "Left", "Right");
    Reload();
    move(Dialogs::DesktopPosition(size()));
}

TCompareDialog::~TCompareDialog() = default;

void TCompareDialog::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        UseLanguage(GetCurrentLanguage());
        RetranslateComponent(this);
        Reload();
    }
    QDialog::showEvent(event);
}

void TCompareDialog::Reload()
{
    Listed = Host.Devices ? Host.Devices() : std::vector<TCompareDevice>{};
    for (QComboBox* box : {Ui_->cbLeftDevice, Ui_->cbRightDevice}) {
        const QString was = box->currentText();
        QSignalBlocker quiet(box);
        box->clear();
        for (const TCompareDevice& device : Listed)
            box->addItem(Q(SafeText(device.Label)));
        box->setCurrentIndex(std::max(0, box->findText(was)));
    }
    SourceChanged(true);
    SourceChanged(false);
}

void TCompareDialog::SourceChanged(bool left)
{
    const auto source = TCompareSource((left ? Ui_->cbLeftKind : Ui_->cbRightKind)->currentIndex());
    (left ? Ui_->cbLeftDevice : Ui_->cbRightDevice)
        ->setVisible(source == TCompareSource::Device || source == TCompareSource::History);
    (left ? Ui_->cbLeftVersion : Ui_->cbRightVersion)->setVisible(source == TCompareSource::History);
    (left ? Ui_->teLeftFile : Ui_->teRightFile)->setVisible(source == TCompareSource::File);
    (left ? Ui_->btnLeftFile : Ui_->btnRightFile)->setVisible(source == TCompareSource::File);
    if (left) {
        Ui_->DriftPane->setVisible(source == TCompareSource::EveryChecked);
        Ui_->lblEveryChecked->setVisible(source == TCompareSource::EveryChecked);
    }
    FillVersions(left);
}

void TCompareDialog::FillVersions(bool left)
{
    QComboBox* versions = left ? Ui_->cbLeftVersion : Ui_->cbRightVersion;
    const int device = (left ? Ui_->cbLeftDevice : Ui_->cbRightDevice)->currentIndex();
    versions->clear();
    if (device < 0 || size_t(device) >= Listed.size())
        return;
    const THistory history(HistoryRoot);
    for (const THistoryVersion& version : history.Versions(Listed[size_t(device)].Batch.MAC))
        versions->addItem(Q(VersionLabel(version)), Q(version.Path));
}

TCompareDialog::TSide TCompareDialog::Side(bool left) const
{
    TSide side;
    side.Source = TCompareSource((left ? Ui_->cbLeftKind : Ui_->cbRightKind)->currentIndex());
    const int device = (left ? Ui_->cbLeftDevice : Ui_->cbRightDevice)->currentIndex();
    if (device >= 0 && size_t(device) < Listed.size())
        side.Device = Listed[size_t(device)];
    switch (side.Source) {
    case TCompareSource::File:
        side.Path = (left ? Ui_->teLeftFile : Ui_->teRightFile)->text().trimmed().toStdString();
        if (side.Path.empty())
            side.Error = _("Choose a file to compare.");
        break;
    case TCompareSource::History:
        side.Path = (left ? Ui_->cbLeftVersion : Ui_->cbRightVersion)->currentData().toString().toStdString();
        if (side.Path.empty())
            side.Error = _("This device has no kept version.");
        break;
    case TCompareSource::Device:
        if (!side.Device)
            side.Error = _("Choose a device to compare.");
        break;
    case TCompareSource::EveryChecked: break;
    }
    if (side.Error.empty() && !side.Path.empty())
        side.Read = ReadBytes(side.Path, side.Bytes, side.Error);
    return side;
}

void TCompareDialog::CompareClick()
{
    TSide left = Side(true), right = Side(false);
    for (const TSide* side : {&left, &right})
        if (!side->Error.empty()) {
            Dialogs::Error(this, side->Error);
            return;
        }
    std::vector<TCompareDevice> fetch;
    if (left.Source == TCompareSource::EveryChecked) {
        fetch = Host.CheckedDevices ? Host.CheckedDevices() : std::vector<TCompareDevice>{};
        if (fetch.empty()) {
            Dialogs::Information(this, _("Please check the devices to compare."));
            return;
        }
    } else if (left.Source == TCompareSource::Device)
        fetch.push_back(*left.Device);
    const size_t devices = fetch.size();
    if (right.Source == TCompareSource::Device)
        fetch.push_back(*right.Device);
    if (fetch.empty()) {
        Compare(std::move(left), std::move(right));
        return;
    }
    Ui_->btnCompare->setEnabled(false);
    auto done = [this, left, right, fetch, devices](std::vector<TDeviceResult> fetched) mutable {
        Ui_->btnCompare->setEnabled(true);
        fetched.resize(fetch.size());
        if (right.Source == TCompareSource::Device) {
            right.Read = fetched.back().Ok;
            right.Bytes = fetched.back().Config;
            right.Error = fetched.back().Error;
        }
        if (left.Source == TCompareSource::EveryChecked) {
            fetched.resize(devices);
            fetch.resize(devices);
            CompareDrift(fetch, fetched, right);
            return;
        }
        if (left.Source == TCompareSource::Device) {
            left.Read = fetched.front().Ok;
            left.Bytes = fetched.front().Config;
            left.Error = fetched.front().Error;
        }
        Compare(std::move(left), std::move(right));
    };
    if (!Host.Fetch || !Host.Fetch(fetch, done))
        Ui_->btnCompare->setEnabled(true);
}

void TCompareDialog::CompareFiles(const std::string& left, const std::string& right)
{
    Ui_->cbLeftKind->setCurrentIndex(int(TCompareSource::File));
    Ui_->cbRightKind->setCurrentIndex(int(TCompareSource::File));
    Ui_->teLeftFile->setText(Q(left));
    Ui_->teRightFile->setText(Q(right));
    CompareClick();
}

std::vector<std::string> TCompareDialog::IdentityFor(const TConfigDocument& doc, const TCompareDevice& device) const
{
    ::TDeviceIdentity values{device.Batch.MAC, device.IP, device.Batch.PeerIP, device.Batch.Name};
    return IdentityPlaces(doc, values, ExtraIdentity);
}

void TCompareDialog::Compare(TSide left, TSide right)
{
    Compared = false;
    LastDrift = {};
    Ui_->lstGroups->clear();
    for (const TSide* side : {&left, &right})
        if (!side->Read) {
            Ui_->lblSummary->setText(Q(side->Error));
            Shown.clear();
            ShowDifferences(Ui_->tblDifferences, {}, "Left", "Right");
            return;
        }
    LeftDoc = ReadConfig(left.Bytes);
    RightDoc = ReadConfig(right.Bytes);
    std::string summary;
    ByLines = false;
    for (const TConfigDocument* doc : {&LeftDoc, &RightDoc})
        if (!doc->Ok && doc->Line == 0) {  // refused unread (too large, an entity, an encoding)
            Ui_->lblSummary->setText(Q(doc->Error));
            Shown.clear();
            ShowDifferences(Ui_->tblDifferences, {}, "Left", "Right");
            return;
        }
    if (!LeftDoc.Ok || !RightDoc.Ok) {
        const TConfigDocument& bad = LeftDoc.Ok ? RightDoc : LeftDoc;
        ByLines = true;
        Differences = CompareLines(left.Bytes, right.Bytes);
        summary = Format(_("Not well-formed (line %d, column %d): compared line by line."), bad.Line, bad.Column) + " ";
    } else {
        Differences = CompareConfigs(LeftDoc, RightDoc);
        std::vector<std::string> places;
        for (const auto& [side, doc] : {std::pair{&left, &LeftDoc}, std::pair{&right, &RightDoc}})
            if (side->Source != TCompareSource::File && side->Device)
                for (std::string& place : IdentityFor(*doc, *side->Device))
                    places.push_back(std::move(place));
        MarkIdentity(Differences, places);
    }
    const unsigned long n = Differences.size();
    summary += n == 0 ? std::string(_("The configurations are the same."))
                      : Format(_n("%lu difference", "%lu differences", n), n);
    Ui_->lblSummary->setText(Q(summary));
    Compared = true;
    RestoreSide.reset();
    if (left.Source == TCompareSource::History)
        RestoreSide = left;
    else if (right.Source == TCompareSource::History)
        RestoreSide = right;
    ShowRows();
}

void TCompareDialog::ShowRows()
{
    Ui_->btnRestoreVersion->setEnabled(RestoreSide.has_value() && Compared);
    if (!LastDrift.Groups.empty() || !LastDrift.Unreadable.empty()) {
        ShowGroup(Ui_->lstGroups->currentRow());
        return;
    }
    if (!Compared)
        return;
    const bool all = !Ui_->chkDifferencesOnly->isChecked() && !ByLines;
    Shown = CompareRows(LeftDoc, RightDoc, Differences, all);
    ShowDifferences(Ui_->tblDifferences, Shown, "Left", "Right");
}

void TCompareDialog::CompareDrift(const std::vector<TCompareDevice>& devices, const std::vector<TDeviceResult>& fetched,
                                  const TSide& reference)
{
    Compared = false;
    RestoreSide.reset();
    Ui_->btnRestoreVersion->setEnabled(false);
    const TConfigDocument ref = reference.Read ? ReadConfig(reference.Bytes) : TConfigDocument{};
    if (!ref.Ok) {
        Ui_->lblSummary->setText(Q(reference.Read ? ref.Error : reference.Error));
        return;
    }
    DriftDevices = devices;
    DriftResults.clear();
    for (size_t i = 0; i < devices.size(); ++i) {
        TDriftDevice d;
        d.MAC = devices[i].Batch.MAC;
        d.Host = devices[i].Batch.PeerIP;
        d.Name = devices[i].Batch.Name;
        if (fetched[i].Ok) {
            const TConfigDocument own = ReadConfig(fetched[i].Config);
            d.Read = own.Ok;
            d.Error = own.Error;
            if (own.Ok) {
                d.Differences = CompareConfigs(ref, own);
                MarkIdentity(d.Differences, IdentityFor(own, devices[i]));
            }
        } else
            d.Error = fetched[i].Error;
        DriftResults.push_back(std::move(d));
    }
    LastDrift = GroupDrift(DriftResults);
    QSignalBlocker quiet(Ui_->lstGroups);
    Ui_->lstGroups->clear();
    for (const TDriftGroup& group : LastDrift.Groups)
        Ui_->lstGroups->addItem(Q(DriftGroupTitle(group)));
    for (int i = 0; i < Ui_->lstGroups->count(); ++i)  // a long list of paths is read whole here
        Ui_->lstGroups->item(i)->setToolTip(Ui_->lstGroups->item(i)->text());
    if (!LastDrift.Unreadable.empty())
        Ui_->lstGroups->addItem(Q(UnreadableTitle(LastDrift.Unreadable.size())));
    Ui_->lstGroups->setCurrentRow(0);
    ShowGroup(0);
}

void TCompareDialog::ShowGroup(int row)
{
    if (row < 0 || (LastDrift.Groups.empty() && LastDrift.Unreadable.empty()))
        return;
    std::string names;
    auto name = [&](size_t i) {
        if (!names.empty())
            names += ", ";
        names += SafeText(DriftDevices[i].Label);
    };
    if (size_t(row) < LastDrift.Groups.size()) {
        const TDriftGroup& group = LastDrift.Groups[size_t(row)];
        for (const size_t i : group.Devices)
            name(i);
        Shown = DifferenceRows(group.Differences);
        Ui_->lblSummary->setText(Q(names));
    } else {
        // The devices that could not be read, each with why, in the table.
        Shown.clear();
        for (const size_t i : LastDrift.Unreadable) {
            name(i);
            Shown.push_back({{DriftDevices[i].Label, TDifferenceKind::OnlyLeft, DriftResults[i].Error, {}}, false});
        }
        Ui_->lblSummary->setText(Q(names));
    }
    ShowDifferences(Ui_->tblDifferences, Shown, "Reference", "Device");
    if (size_t(row) >= LastDrift.Groups.size()) {
        Ui_->tblDifferences->setColumnCount(2);
        Ui_->tblDifferences->setHorizontalHeaderLabels({Q(_("Device")), Q(_("Why"))});
    }
}

void TCompareDialog::CheckGroup()
{
    const int row = Ui_->lstGroups->currentRow();
    if (row < 0 || !Host.CheckDevices)
        return;
    std::vector<TCompareDevice> members;
    for (const size_t i :
         size_t(row) < LastDrift.Groups.size() ? LastDrift.Groups[size_t(row)].Devices : LastDrift.Unreadable)
        members.push_back(DriftDevices[i]);
    Host.CheckDevices(members);
}

void TCompareDialog::RestoreVersion()
{
    if (!RestoreSide || !RestoreSide->Device || !Host.RestoreVersion)
        return;
    Host.RestoreVersion(*RestoreSide->Device, RestoreSide->Path);
}
