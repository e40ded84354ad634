#include "core/http/batch.h"

#include "core/app/i18n.h"
#include "core/devices/product.h"
#include "core/devices/revision.h"
#include "core/discovery/export.h"
#include "core/http/files.h"
#include "core/http/http.h"
#include "core/http/rules.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/log/safetext.h"

#include <QFile>

#include <algorithm>
#include <ctime>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

namespace {
void Log(const std::string& message) { LogAction("", message, LOG_INFO); }

bool FileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// One level, as the window has always done; a failure shows later as the devices' file errors.
void CreateFolder(const std::string& folder) { ::mkdir(folder.c_str(), 0777); }

// The folder as the user finds it: from the root, however it was named.
std::string AbsoluteFolder(const std::string& folder)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(folder, error);
    return error ? folder : absolute.lexically_normal().string();
}

// A file just downloaded, for the history (at most the size a download may have).
std::optional<QByteArray> ReadDownloaded(const std::string& file)
{
    QFile in(QString::fromStdString(file));
    if (in.size() > kMaxConfigBytes || !in.open(QIODevice::ReadOnly))
        return std::nullopt;
    return in.readAll();
}

// Before files are received into a folder: what killed transfers left there goes.
void TidyFolderOf(const std::string& file)
{
    std::string target;
    int error = 0;
    if (ResolveLinks(file, target, error))
        RemoveLeftoverTemporaries(FolderOf(target));
}
} // namespace

TBatchDevice BatchDevice(const TProduct& device)
{
    const TProductInfo info = device.CopyInfo();
    return {info.Name, info.PeerIP, info.MAC, FamilyName(device), device.CommandAddress};
}

TBatchDevice BatchDevice(const TProduct& device, const TAddressSharers& sharing)
{
    TBatchDevice taken = BatchDevice(device);
    taken.SharesWith = SharersOf(sharing, &device);
    return taken;
}

TTransferBatch::TTransferBatch(THTTPModule& http, TProgressLines& lines) : Http(http), Lines(lines)
{
    Http.Resume();
}

void TTransferBatch::Stop()
{
    Stopping = true;
    Http.Stop();
    if (StopListener)
        StopListener(true);
}

void TTransferBatch::RequestStop()
{
    if (Stopping) {
        Stop();
        return;
    }
    Stopping = true;
    if (StopListener)
        StopListener(false);
}

void TTransferBatch::EndDevices(size_t count, const std::vector<TDeviceResult>& done, bool verifying)
{
    if (Stopped())
        Log(_("The batch was stopped."));
    int succeeded = 0, failed = 0;
    CountResults(done, succeeded, failed);
    const int verified = verifying ? static_cast<int>(
                             std::count_if(done.begin(), done.end(), [](const TDeviceResult& r) { return r.Verified; }))
                                   : -1;
    AddSummaryLines(succeeded, failed, static_cast<int>(count - std::min(count, done.size())), verified);
}

std::string SharedAddressRefusal(const std::string& address, int others)
{
    return Format(_n("Shares %s with %d other device; give each its own address first (Actions → Set Up Checked "
                     "Devices...)",
                     "Shares %s with %d other devices; give each its own address first (Actions → Set Up Checked "
                     "Devices...)",
                     static_cast<unsigned long>(others)),
                  address.c_str(), others);
}

bool TTransferBatch::RefuseShared(const TBatchDevice& device, const std::string& label, TDeviceResult& result)
{
    if (device.SharesWith <= 0)
        return false;
    const std::string reason = SharedAddressRefusal(device.PeerIP, device.SharesWith);
    Lines.AddLine(DeviceLine(device.Name, device.PeerIP));
    Lines.AddLine(reason);
    LogAction("", reason, LOG_ERROR);
    // Every unit there shows the same name and address: the MAC tells them apart.
    Lines.AddLine(label + _(" Failed") + " (" + SafeText(device.MAC) + ")");
    AddSeparator();
    Lines.EndDevice(reason);
    result = TDeviceResult();
    result.Host = device.PeerIP;
    result.Error = reason;
    return true;
}

TDeviceResult TTransferBatch::Result(const std::string& host, bool ok) const
{
    TDeviceResult result;
    result.Host = host;
    result.Ok = ok;
    if (!ok) {
        result.Error = !LastRefusal.empty() ? LastRefusal
                       : !LastMissing.empty() ? _("Configuration not found")
                                              : Http.LastError();
        result.NeedsLogin = LastMissing.empty() && LastRefusal.empty() && Http.LastNeededLogin();
    }
    return result;
}

void TTransferBatch::AddResultLines(const std::string& action, bool ok)
{
    AddResultLine(action, ok);
    AddSeparator();
}

void TTransferBatch::AddResultLine(const std::string& action, bool ok)
{
    Lines.AddLine(action + (ok ? _(" Succeeded") : _(" Failed")));
}

void TTransferBatch::AddSeparator() { Lines.AddLine(std::string(42, '-')); }

void TTransferBatch::AddSummaryLines(int succeeded, int failed, int notStarted, int verified)
{
    Lines.AddLine(_("Processes Summary:"));
    Lines.AddLine(Format(_("Successful: %s"), std::to_string(succeeded).c_str()));
    Lines.AddLine(Format(_("Unsuccessful: %s"), std::to_string(failed).c_str()));
    if (verified >= 0)
        Lines.AddLine(Format(_("Verified: %d"), verified));
    if (notStarted > 0)
        Lines.AddLine(Format(_("Not started: %d"), notStarted));
}

// ---- Firmware upgrade ------------------------------------------------------------------------

std::vector<TDeviceResult> TTransferBatch::Upgrade(const std::vector<TBatchDevice>& devices, const std::string& image)
{
    std::vector<TDeviceResult> results;
    Log(_("Firmware upgrade starting."));
    Lines.Open(_("Upgrade Firmware"));
    UpgradeCheckedDevices(devices, image, results);
    Log(_("Firmware upgrade end."));
    return results;
}

void TTransferBatch::UpgradeCheckedDevices(const std::vector<TBatchDevice>& devices, const std::string& image,
                                           std::vector<TDeviceResult>& results)
{
    Log(_("Process upgrade starting."));
    // Every step checks as the batch was set when it began, on whatever batch it runs.
    const TVerifySetting verification = Verification;
    const std::vector<TDeviceResult> done = RunSteps(devices.size(), [&](TTransferBatch& batch, size_t i) {
        const TBatchDevice& device = devices[i];
        TDeviceResult refused;
        if (batch.RefuseShared(device, _("Upgrade"), refused))
            return refused;
        batch.Lines.AddLine(DeviceLine(device.Name, device.PeerIP));
        batch.LastMissing.clear();
        batch.Http.SetDeviceName(device.Name);
        // The unit is asked by its MAC and family; one known by its address only is the unit
        // that answers there now, and from then on only that unit's answers count.
        std::optional<std::string> before;
        TRevisionTarget target;
        if (verification.On()) {
            target = RevisionTarget(device.PeerIP, device.MAC, device.Family, device.CommandAddress);
            if (const std::optional<TRevisionAnswer> answer = AskFirmwareRevision(target, kRevisionBeforeWaitMs)) {
                before = answer->Revision;
                target.Mac = answer->Mac;
                target.Family = answer->Family;
            }
        }
        const bool ok = batch.UpgradeDevice(image, device.PeerIP);
        TDeviceResult result = batch.Result(device.PeerIP, ok);
        result.FirmwareBefore = before;
        batch.AddResultLine(_("Upgrade"), ok);
        if (verification.On() && ok)
            batch.VerifyDevice(verification, *this, target, result);
        batch.AddSeparator();
        batch.Lines.EndDevice(result.Error);
        return result;
    });
    results.insert(results.end(), done.begin(), done.end());
    EndDevices(devices.size(), done, verification.On());
    Log(_("Upgrade process finished."));
}

std::vector<TDeviceResult> TTransferBatch::RunSteps(size_t count, const TDeviceStep& step)
{
    if (Runner)
        return Runner(count, step);
    std::vector<TDeviceResult> results;
    for (size_t i = 0; i < count && !Stopped(); ++i)
        results.push_back(step(*this, i));
    return results;
}

void TTransferBatch::CountResults(const std::vector<TDeviceResult>& results, int& succeeded, int& failed)
{
    for (const TDeviceResult& result : results)
        ++(result.Ok ? succeeded : failed);
}

bool TTransferBatch::UpgradeDevice(const std::string& image, const std::string& host)
{
    Log(Format(_("Upgrade data from %s starting."), host.c_str()));
    Lines.AddLine(_("Uploading..."));
    const bool ok = Http.Upload(host, image);
    Lines.ReplaceLine(ok ? _("Upgrade successful.") : _("Upgrade unsuccessful."));
    Log(ok ? _("Data upgraded.") : _("Upgrade unsuccessful."));
    return ok;
}

void TTransferBatch::VerifyDevice(const TVerifySetting& setting, const TTransferBatch& main,
                                  const TRevisionTarget& target, TDeviceResult& result)
{
    const std::string& host = target.Host;
    Lines.AddLine(_("Waiting for the new firmware..."));
    const auto stopped = [&] { return main.Stopped() || Stopped(); };
    TUpgradeCheck check = VerifyUpgradedDevice(target, result.FirmwareBefore, setting.Seconds,
                                               [&] { return stopped() || (setting.Stop && setting.Stop()); });
    if (!check.Verified && check.Before && stopped()) {
        check.Reason = _("the batch was stopped");
        check.Error = Format(_("not verified: %s"), check.Reason.c_str());
    }
    result.FirmwareAfter = check.After;
    result.Verified = check.Verified;
    if (check.Verified) {
        const std::string before = SafeText(*check.Before), after = SafeText(*check.After);
        LogAction(
            "", Format(_("Firmware of %s verified: %s before, %s after."), host.c_str(), before.c_str(), after.c_str()),
            LOG_INFO);
        std::string line = Format(_("Verified: %s → %s"), before.c_str(), after.c_str());
        if (IsOlderRevision(*check.Before, *check.After))
            line += std::string(" ") + _("(older)");
        Lines.ReplaceLine(line);
        return;
    }
    LogAction("", check.Error, LOG_ERROR);
    Lines.ReplaceLine(Format(_("Not verified: %s"), check.Reason.c_str()));
    result.Ok = false;
    result.Error = check.Error;
    result.NeedsLogin = false;
}

// ---- Configuration transfers -----------------------------------------------------------------

bool TTransferBatch::BackupDeviceConfig(const std::string& host, const std::string& file)
{
    Log(Format(_("Backup data from %s starting."), host.c_str()));
    Lines.AddLine(_("Sending request..."));
    return Http.GetFile(host, kSetupPath, file);
}

bool TTransferBatch::RestoreDeviceConfig(const std::string& host, const std::string& file)
{
    Log(Format(_("Restore data from %s starting."), host.c_str()));
    if (FileExists(file)) {
        Lines.AddLine(_("Sending request..."));
        return Http.PostFile(host, kSetupPath, file);
    }
    LastMissing = file;
    Lines.AddLine(_("Configuration not found"));
    return false;
}

bool TTransferBatch::FetchDeviceConfig(const std::string& host, QByteArray& bytes)
{
    Log(Format(_("Read data from %s starting."), host.c_str()));
    Lines.AddLine(_("Sending request..."));
    return Http.GetBytes(host, kSetupPath, bytes);
}

bool TTransferBatch::RestoreDeviceBody(const std::string& host, const std::string& file, const QByteArray& body)
{
    Log(Format(_("Restore data from %s starting."), host.c_str()));
    Lines.AddLine(_("Sending request..."));
    return Http.PostBytes(host, kSetupPath, file, body);
}

namespace {
// A configuration downloaded from a device whose MAC is known, kept in the history (a failure is
// logged; the transfer itself still counts).
void KeepInHistory(const std::optional<THistory>& history, const TBatchDevice& device, const QByteArray& bytes,
                   TDeviceResult& result)
{
    if (!history || HistoryMacName(device.MAC).empty())
        return;
    THistory kept = *history;
    const THistoryKept version = kept.Keep(device.MAC, bytes, int64_t(std::time(nullptr)));
    if (!version.Ok) {
        result.HistoryError = version.Error;
        LogAction("", Format(_("Not kept in the history: %s"), version.Error.c_str()), LOG_WARNING);
        return;
    }
    result.HistoryVersion = version.Version.Version;
    if (version.Added)
        Log(Format(_("Configuration of %s kept in the history as %s."), device.PeerIP.c_str(),
                   version.Version.Path.c_str()));
    else
        Log(Format(_("Configuration of %s unchanged since its history version %s."), device.PeerIP.c_str(),
                   version.Version.Path.c_str()));
}
}  // namespace

void TTransferBatch::RunDevices(const std::vector<TBatchDevice>& devices, TRoutine routine,
                                const std::vector<std::string>& files, const std::string& label,
                                std::vector<TDeviceResult>& results, const std::vector<QByteArray>& bodies,
                                const std::vector<std::string>& refusals)
{
    // Every step keeps into the history as the batch had it when it began, on whatever batch it runs.
    const std::optional<THistory> history = routine == &TTransferBatch::BackupDeviceConfig ? History : std::nullopt;
    const std::vector<TDeviceResult> done = RunSteps(devices.size(), [&](TTransferBatch& batch, size_t i) {
        const TBatchDevice& device = devices[i];
        const std::string& file = files[i];
        if (i < refusals.size() && !refusals[i].empty())
            return batch.DeviceBlock(device, label, [&](TDeviceResult&) {
                Log(Format(_("Restore data from %s starting."), device.PeerIP.c_str()));
                batch.LastRefusal = refusals[i];
                batch.Lines.AddLine(refusals[i]);
                LogAction("", refusals[i], LOG_ERROR);
                return false;
            });
        if (i < bodies.size() && !bodies[i].isNull())
            return batch.DeviceBlock(device, label, [&](TDeviceResult&) {
                return batch.RestoreDeviceBody(device.PeerIP, file, bodies[i]);
            });
        return batch.DeviceBlock(device, label, [&](TDeviceResult& result) {
            const bool ok = (batch.*routine)(device.PeerIP, file);
            if (ok && history)
                if (const std::optional<QByteArray> bytes = ReadDownloaded(file))
                    KeepInHistory(history, device, *bytes, result);
            return ok;
        });
    });
    results.insert(results.end(), done.begin(), done.end());
    EndDevices(devices.size(), done);
}

std::vector<TDeviceResult> TTransferBatch::Fetch(const std::vector<TBatchDevice>& devices)
{
    std::vector<TDeviceResult> results;
    Log(_("Process read configuration starting."));
    Lines.Open(_("Read Configuration"));
    const std::optional<THistory> history = History;
    const std::vector<TDeviceResult> done = RunSteps(devices.size(), [&](TTransferBatch& batch, size_t i) {
        const TBatchDevice& device = devices[i];
        return batch.DeviceBlock(device, _("Reading"), [&](TDeviceResult& result) {
            if (!batch.FetchDeviceConfig(device.PeerIP, result.Config))
                return false;
            KeepInHistory(history, device, result.Config, result);
            return true;
        });
    });
    results.insert(results.end(), done.begin(), done.end());
    EndDevices(devices.size(), done);
    Log(_("Read configuration process finished."));
    return results;
}

std::vector<TDeviceResult> TTransferBatch::Backup(const std::vector<TBatchDevice>& devices, const std::string& folder)
{
    std::vector<TDeviceResult> results;
    Log(_("Process backup starting."));
    CreateFolder(folder);
    RemoveLeftoverTemporaries(folder);
    Lines.Open(_("Backup Configuration"));
    std::vector<std::string> files;
    for (const TBatchDevice& device : devices)
        files.push_back(BackupFileName(folder, device.PeerIP));
    RunDevices(devices, &TTransferBatch::BackupDeviceConfig, files, _("Backup"), results);
    if (std::any_of(results.begin(), results.end(), [](const TDeviceResult& result) { return result.Ok; }))
        Log(Format(_("Backup files written to %s"), AbsoluteFolder(folder).c_str()));
    Log(_("Backup process finished."));
    return results;
}

std::vector<TDeviceResult> TTransferBatch::Restore(const std::vector<TBatchDevice>& devices, const std::string& folder)
{
    return Restore(devices, folder, {}, {});
}

std::vector<TDeviceResult> TTransferBatch::Restore(const std::vector<TBatchDevice>& devices, const std::string& folder,
                                                   const std::vector<QByteArray>& bodies,
                                                   const std::vector<std::string>& refusals)
{
    std::vector<TDeviceResult> results;
    Log(_("Process restore starting."));
    CreateFolder(folder);
    Lines.Open(_("Restore Configuration"));
    std::vector<std::string> files;
    for (const TBatchDevice& device : devices)
        files.push_back(BackupFileName(folder, device.PeerIP));
    RunDevices(devices, &TTransferBatch::RestoreDeviceConfig, files, _("Restore"), results, bodies, refusals);
    Log(_("Restore process finished."));
    return results;
}

std::vector<TDeviceResult> TTransferBatch::RestoreCommon(const std::vector<TBatchDevice>& devices,
                                                         const std::string& file)
{
    return RestoreCommon(devices, file, {}, {});
}

std::vector<TDeviceResult> TTransferBatch::RestoreCommon(const std::vector<TBatchDevice>& devices,
                                                         const std::string& file, const std::vector<QByteArray>& bodies,
                                                         const std::vector<std::string>& refusals)
{
    std::vector<TDeviceResult> results;
    if (!file.empty()) {
        Log(_("Process restore common starting."));
        Lines.Open(_("Restore Configuration"));
        RunDevices(devices, &TTransferBatch::RestoreDeviceConfig, std::vector<std::string>(devices.size(), file),
                   _("Restore"), results, bodies, refusals);
    }
    Log(_("Restore common process finished."));
    return results;
}

TDeviceResult TTransferBatch::DeviceBlock(const TBatchDevice& device, const std::string& label,
                                          const std::function<bool(TDeviceResult& result)>& transfer)
{
    TDeviceResult result;
    if (RefuseShared(device, label, result))
        return result;
    Lines.AddLine(DeviceLine(device.Name, device.PeerIP));
    LastMissing.clear();
    LastRefusal.clear();
    Http.SetDeviceName(device.Name);
    TDeviceResult extra;
    const bool ok = transfer(extra);
    result = Result(device.PeerIP, ok);
    result.Config = std::move(extra.Config);
    result.HistoryVersion = std::move(extra.HistoryVersion);
    result.HistoryError = std::move(extra.HistoryError);
    AddResultLines(label, ok);
    Lines.EndDevice(result.Error);
    return result;
}

std::vector<TDeviceResult> TTransferBatch::Save(const TBatchDevice& device, const std::string& file)
{
    std::vector<TDeviceResult> results;
    if (!file.empty()) {
        Log(_("Process save configuration starting."));
        TidyFolderOf(file);
        Lines.Open(_("Save Configuration"));
        const std::optional<THistory> history = History;
        results.push_back(DeviceBlock(device, _("Saving"), [&](TDeviceResult& result) {
            const bool ok = BackupDeviceConfig(device.PeerIP, file);
            if (ok && history)
                if (const std::optional<QByteArray> bytes = ReadDownloaded(file))
                    KeepInHistory(history, device, *bytes, result);
            return ok;
        }));
        EndDevices(1, results);
    }
    Log(_("Save process finished."));
    return results;
}

std::vector<TDeviceResult> TTransferBatch::Load(const TBatchDevice& device, const std::string& file)
{
    std::vector<TDeviceResult> results;
    if (!file.empty()) {
        Log(_("Process load configuration starting."));
        Lines.Open(_("Load Configuration"));
        results.push_back(DeviceBlock(device, _("Loading"),
                                      [&](TDeviceResult&) { return RestoreDeviceConfig(device.PeerIP, file); }));
        EndDevices(1, results);
    }
    Log(_("Load configuration process finished."));
    return results;
}
