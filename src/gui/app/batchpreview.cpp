// TBatchController's configurations seen before they are written: the preview between the
// download of the devices' configurations and "Restore Selected", "Configure Devices..." or a
// restore from the history, and the "Compare Configurations..." dialog, whose downloads are fetch
// batches of this controller and whose groups check their devices' rows.
#include "gui/app/batchcontroller.h"

#include "core/app/i18n.h"
#include "core/config/history.h"
#include "core/devices/product.h"
#include "core/log/format.h"
#include "gui/app/controllock.h"
#include "gui/app/dialogs.h"
#include "gui/app/qtext.h"
#include "gui/config/comparedialog.h"
#include "ui_comparedialog.h"

#include <QAction>
#include <QDialog>
#include <QFile>

namespace {
// Kept in the history as every download is (StartBatch).
TTransferOrder FetchOrder(std::vector<TBatchDevice> devices)
{
    TTransferOrder order;
    order.Command = TTransferCommand::Fetch;
    order.Devices = std::move(devices);
    return order;
}
}  // namespace

QDialog* TBatchController::PreviewWindow() const { return Preview; }

TCompareDialog* TBatchController::CompareWindow() const { return Comparer; }

std::vector<std::string> TBatchController::CheckedAddresses() const
{
    std::vector<std::string> addresses;
    for (const TProduct* device : W.CheckedProducts())
        addresses.push_back(device->CopyInfo().IP);
    return addresses;
}

void TBatchController::PreviewThenWrite(TWriteRequest request, std::function<void(TWriteChoice)> write)
{
    if (!W.Settings.Preview) {
        write({});
        return;
    }
    request.ExtraIdentity = W.Settings.IdentityPaths;
    std::vector<TBatchDevice> devices = request.Devices;
    AfterRun = [this, request = std::move(request), write = std::move(write)](const std::vector<TDeviceResult>& fetched) {
        Preview = OpenWritePreview(W.Parent, request, fetched, write);
    };
    if (!StartBatch(FetchOrder(std::move(devices)), {}, false))
        AfterRun = nullptr;
}

bool TBatchController::Fetch(const std::vector<TCompareDevice>& devices,
                             std::function<void(std::vector<TDeviceResult>)> done)
{
    if (Busy() || devices.empty())
        return false;
    std::vector<TBatchDevice> batch;
    for (const TCompareDevice& device : devices)
        batch.push_back(device.Batch);
    AfterRun = [done = std::move(done)](const std::vector<TDeviceResult>& results) { done(results); };
    if (StartBatch(FetchOrder(std::move(batch)), {}, false))
        return true;
    AfterRun = nullptr;
    return false;
}

void TBatchController::RestoreVersion(const TCompareDevice& device, const std::string& versionPath)
{
    if (Busy())
        return;
    // Without the preview the one question before a write to the device.
    if (!W.Settings.Preview
        && !Dialogs::Warning(W.Parent, Format(_("Restore this version to %s?\nDo you wish to continue?"),
                                              device.Label.c_str())))
        return;
    TWriteRequest request{TWriteKind::Version, {device.Batch}, {device.IP}, versionPath, {}};
    PreviewThenWrite(std::move(request), [this, device, versionPath](TWriteChoice choice) {
        if (choice.Bodies.empty()) {
            QFile file(Q(versionPath));
            if (!file.open(QIODevice::ReadOnly)) {
                Dialogs::Error(W.Parent, Format(_("Cannot open the file %s"), versionPath.c_str()));
                return;
            }
            choice.Bodies = {file.readAll()};
        }
        TTransferOrder order;
        order.Command = TTransferCommand::Restore;
        order.Devices = {device.Batch};
        order.File = kBackupFolder;
        order.Bodies = std::move(choice.Bodies);
        order.Refusals = std::move(choice.Refusals);
        StartBatch(std::move(order), {UnitKey(device.Batch.MAC, device.Batch.Family)}, true);
    });
}

void TBatchController::CheckDevices(const std::vector<TCompareDevice>& devices)
{
    if (Busy())
        return;
    TFailedDevices group;  // the same matching by MAC and family as the failed devices' rows
    std::vector<TUnitKey> members;
    for (const TCompareDevice& device : devices)
        members.push_back(UnitKey(device.Batch.MAC, device.Batch.Family));
    group.RecordFailed(std::move(members));
    W.ShowAll();
    W.CheckRows(W.ListedRows(group));
    UpdateCheckFailed();
}

void TBatchController::CompareConfigs()
{
    if (!Comparer) {
        TCompareHost host{
            .Devices = [this] { return W.CompareDevices(false); },
            .CheckedDevices = [this] { return W.CompareDevices(true); },
            .Fetch = [this](const std::vector<TCompareDevice>& devices,
                            std::function<void(std::vector<TDeviceResult>)> done) { return Fetch(devices, done); },
            .CheckDevices = [this](const std::vector<TCompareDevice>& devices) { CheckDevices(devices); },
            .RestoreVersion = [this](const TCompareDevice& device, const std::string& path) { RestoreVersion(device, path); },
        };
        Comparer = new TCompareDialog(std::move(host), W.Parent);
        Comparer->setObjectName(QStringLiteral("CompareDialog"));
        // Its downloads, its restore and its check marks wait while a batch holds the devices.
        W.Lock.Join({Comparer->ui()->btnCompare, Comparer->ui()->btnRestoreVersion, Comparer->ui()->btnCheckGroup});
    }
    Comparer->ExtraIdentity = W.Settings.IdentityPaths;
    Comparer->HistoryRoot = HistoryOfSettings(W.Settings).Folder();
    Comparer->show();
    Comparer->raise();
    Comparer->activateWindow();
}
