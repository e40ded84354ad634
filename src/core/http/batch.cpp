#include "core/http/batch.h"

#include "core/app/i18n.h"
#include "core/http/http.h"
#include "core/http/rules.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {
void Log(const std::string& message) { LogAction("", message, LOG_INFO); }

bool FileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// One level, as the window has always done; a failure shows later as the devices' file errors.
void CreateFolder(const std::string& folder) { ::mkdir(folder.c_str(), 0777); }
} // namespace

TTransferBatch::TTransferBatch(THTTPModule& http, TProgressLines& lines) : Http(http), Lines(lines)
{
    Http.Resume();
}

void TTransferBatch::Stop()
{
    Stopping = true;
    Http.Stop();
}

TDeviceResult TTransferBatch::Result(const std::string& host, bool ok) const
{
    TDeviceResult result;
    result.Host = host;
    result.Ok = ok;
    if (!ok) {
        result.Error = !LastMissing.empty() ? _("Configuration not found") : Http.LastError();
        result.NeedsLogin = LastMissing.empty() && Http.LastNeededLogin();
    }
    return result;
}

void TTransferBatch::AddResultLines(const std::string& action, bool ok)
{
    Lines.AddLine(action + (ok ? _(" Succeeded") : _(" Failed")));
    Lines.AddLine(std::string(42, '-'));
}

void TTransferBatch::AddSummaryLines(int succeeded, int failed)
{
    Lines.AddLine(_("Processes Summary:"));
    Lines.AddLine(Format(_("Successful: %s"), std::to_string(succeeded).c_str()));
    Lines.AddLine(Format(_("Unsuccessful: %s"), std::to_string(failed).c_str()));
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
    int succeeded = 0, failed = 0;
    Log(_("Process upgrade starting."));
    for (const TBatchDevice& device : devices) {
        if (Stopping)
            break;
        Lines.AddLine(DeviceLine(device.Name, device.PeerIP));
        LastMissing.clear();
        const bool ok = UpgradeDevice(image, device.PeerIP);
        ++(ok ? succeeded : failed);
        results.push_back(Result(device.PeerIP, ok));
        AddResultLines(_("Upgrade"), ok);
    }
    AddSummaryLines(succeeded, failed);
    Log(_("Upgrade process finished."));
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

void TTransferBatch::RunDevices(const std::vector<TBatchDevice>& devices, TRoutine routine,
                                const std::vector<std::string>& files, const std::string& label,
                                std::vector<TDeviceResult>& results)
{
    int succeeded = 0, failed = 0;
    for (size_t i = 0; i < devices.size(); ++i) {
        if (Stopping)
            break;
        const TBatchDevice& device = devices[i];
        Lines.AddLine(DeviceLine(device.Name, device.PeerIP));
        LastMissing.clear();
        const bool ok = (this->*routine)(device.PeerIP, files[i]);
        ++(ok ? succeeded : failed);
        results.push_back(Result(device.PeerIP, ok));
        AddResultLines(label, ok);
    }
    AddSummaryLines(succeeded, failed);
}

std::vector<TDeviceResult> TTransferBatch::Backup(const std::vector<TBatchDevice>& devices, const std::string& folder)
{
    std::vector<TDeviceResult> results;
    Log(_("Process backup starting."));
    CreateFolder(folder);
    Lines.Open(_("Backup Configuration"));
    std::vector<std::string> files;
    for (const TBatchDevice& device : devices)
        files.push_back(BackupFileName(folder, device.PeerIP));
    RunDevices(devices, &TTransferBatch::BackupDeviceConfig, files, _("Backup"), results);
    Log(_("Backup process finished."));
    return results;
}

std::vector<TDeviceResult> TTransferBatch::Restore(const std::vector<TBatchDevice>& devices, const std::string& folder)
{
    std::vector<TDeviceResult> results;
    Log(_("Process restore starting."));
    CreateFolder(folder);
    Lines.Open(_("Restore Configuration"));
    std::vector<std::string> files;
    for (const TBatchDevice& device : devices)
        files.push_back(BackupFileName(folder, device.PeerIP));
    RunDevices(devices, &TTransferBatch::RestoreDeviceConfig, files, _("Restore"), results);
    Log(_("Restore process finished."));
    return results;
}

std::vector<TDeviceResult> TTransferBatch::RestoreCommon(const std::vector<TBatchDevice>& devices,
                                                         const std::string& file)
{
    std::vector<TDeviceResult> results;
    if (!file.empty()) {
        Log(_("Process restore common starting."));
        Lines.Open(_("Restore Configuration"));
        RunDevices(devices, &TTransferBatch::RestoreDeviceConfig, std::vector<std::string>(devices.size(), file),
                   _("Restore"), results);
    }
    Log(_("Restore common process finished."));
    return results;
}

std::vector<TDeviceResult> TTransferBatch::Save(const TBatchDevice& device, const std::string& file)
{
    std::vector<TDeviceResult> results;
    if (!file.empty()) {
        Log(_("Process save configuration starting."));
        Lines.Open(_("Save Configuration"));
        Lines.AddLine(DeviceLine(device.Name, device.PeerIP));
        LastMissing.clear();
        const bool ok = BackupDeviceConfig(device.PeerIP, file);
        results.push_back(Result(device.PeerIP, ok));
        AddResultLines(_("Saving"), ok);
        AddSummaryLines(ok ? 1 : 0, ok ? 0 : 1);
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
        Lines.AddLine(DeviceLine(device.Name, device.PeerIP));
        LastMissing.clear();
        const bool ok = RestoreDeviceConfig(device.PeerIP, file);
        results.push_back(Result(device.PeerIP, ok));
        AddResultLines(_("Loading"), ok);
        AddSummaryLines(ok ? 1 : 0, ok ? 0 : 1);
    }
    Log(_("Load configuration process finished."));
    return results;
}
