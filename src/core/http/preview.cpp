// The preview before a write: each device's current configuration compared with what it would
// receive, its identity places found in its own configuration.
#include "core/http/preview.h"

#include "core/app/i18n.h"
#include "core/config/configdoc.h"
#include "core/config/history.h"
#include "core/devices/utils.h"
#include "core/http/rules.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"

#include <QFile>

#include <algorithm>

namespace {
std::string Trim(const std::string& text)
{
    const size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

// The value as a line shows it: "(none)" for a place one side lacks.
std::string Shown(const std::string& value) { return value.empty() ? _("(none)") : value; }

// The differences from `own` (read) to what would be written, identity marked; by lines when
// either side is not well-formed.
void Compare(TPreviewDevice& device, const TConfigDocument& own, const QByteArray& ownBytes, const QByteArray& written,
             const std::vector<std::string>& places)
{
    const TConfigDocument target = ReadConfig(written);
    device.LineCompare = !own.Ok || !target.Ok;
    device.Differences = device.LineCompare ? CompareLines(ownBytes, written) : CompareConfigs(own, target);
    if (!device.LineCompare)
        MarkIdentity(device.Differences, places);
    device.IdentityChanges.clear();
    for (const TConfigDifference& difference : device.Differences)
        if (difference.Identity)
            device.IdentityChanges.push_back(difference);
}
}  // namespace

TPreviewTarget PreviewTargetOfFile(const std::string& path)
{
    TPreviewTarget target;
    target.Name = path;
    QFile file(QString::fromStdString(path));
    if (!file.exists()) {
        target.Error = _("Configuration not found");
        return target;
    }
    if (file.size() > kMostConfigBytes) {
        target.Error = Format(_("The file %s is larger than %d MiB."), path.c_str(), int(kMostConfigBytes >> 20));
        return target;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        target.Error = Format(_("Cannot read the file %s: %s"), path.c_str(), file.errorString().toStdString().c_str());
        return target;
    }
    target.Bytes = file.readAll();
    target.Found = true;
    return target;
}

std::vector<TPreviewTarget> BackupTargets(const std::vector<TBatchDevice>& devices, const std::string& folder)
{
    std::vector<TPreviewTarget> targets;
    for (const TBatchDevice& device : devices)
        targets.push_back(PreviewTargetOfFile(BackupFileName(folder, device.PeerIP)));
    return targets;
}

TDeviceIdentity BatchIdentity(const TBatchDevice& device)
{
    return {device.MAC, device.PeerIP, device.PeerIP, device.Name};
}

TPreview BuildPreview(const TPreviewInput& input)
{
    TPreview preview;
    preview.KeepIdentity = input.KeepIdentity;
    const bool common = input.Targets.size() == 1;
    for (size_t i = 0; i < input.Devices.size(); ++i) {
        TPreviewDevice device;
        device.Device = input.Devices[i];
        device.Identity = i < input.Identities.size() ? input.Identities[i] : BatchIdentity(device.Device);
        const TDeviceResult fetched = i < input.Fetched.size() ? input.Fetched[i] : TDeviceResult();
        device.HistoryVersion = fetched.HistoryVersion;
        const TPreviewTarget target =
            common ? input.Targets[0] : i < input.Targets.size() ? input.Targets[i] : TPreviewTarget();

        // What it has now: read, or why not (the download's error, the shared address, a file
        // that is not well-formed, whose differences are still shown line by line).
        TConfigDocument own;
        if (!fetched.Ok) {
            device.ReadError = fetched.Error.empty() ? _("The device did not answer.") : fetched.Error;
        } else {
            own = ReadConfig(fetched.Config);
            device.Read = own.Ok;
            if (!own.Ok)
                device.ReadError = own.Error;
        }
        if (!device.Read)
            ++preview.Unreadable;

        if (!target.Found) {
            device.Write = false;
            device.NotWritten = target.Error.empty() ? _("Configuration not found") : target.Error;
            preview.Devices.push_back(std::move(device));
            continue;
        }
        const std::vector<std::string> places =
            device.Read ? IdentityPlaces(own, device.Identity, input.ExtraIdentityPaths) : std::vector<std::string>();
        if (fetched.Ok)
            Compare(device, own, fetched.Config, target.Bytes, places);
        if (common && !device.IdentityChanges.empty())
            preview.ChangesIdentity = true;

        // Its own identity kept: the body it is sent, compared again, or why it gets none.
        if (input.KeepIdentity) {
            if (!device.Read) {
                device.Write = false;
                device.NotWritten = Format(_("Not written: its configuration could not be read (%s)"),
                                           device.ReadError.c_str());
            } else if (const TKeptIdentity kept = KeepIdentity(target.Bytes, own, places); !kept.Ok) {
                device.Write = false;
                device.NotWritten = Format(_("Not written: %s"), kept.Error.c_str());
            } else {
                device.Body = kept.Bytes;
                Compare(device, own, fetched.Config, device.Body, places);
            }
        }
        preview.Devices.push_back(std::move(device));
    }
    return preview;
}

std::vector<QByteArray> PreviewBodies(const TPreview& preview)
{
    std::vector<QByteArray> bodies;
    for (const TPreviewDevice& device : preview.Devices)
        bodies.push_back(preview.KeepIdentity && device.Write ? device.Body : QByteArray());
    return bodies;
}

std::vector<std::string> PreviewRefusals(const TPreview& preview)
{
    // Without KeepIdentity the write goes as it always went: a missing backup file is the
    // restore's own "Configuration not found".
    std::vector<std::string> refusals;
    for (const TPreviewDevice& device : preview.Devices)
        refusals.push_back(preview.KeepIdentity && !device.Write ? device.NotWritten : std::string());
    return refusals;
}

std::string IdentityChangeText(const TConfigDifference& difference, const TDeviceIdentity& identity)
{
    const std::string value = Trim(difference.Left);
    const std::string left = Shown(difference.Left), right = Shown(difference.Right);
    const std::optional<uint64_t> mac = MacKeyOf(identity.MAC);
    if (!value.empty() && mac && MacKeyOf(value) == mac)
        return Format(_("MAC address %s → %s"), left.c_str(), right.c_str());
    if (!value.empty() && (value == identity.IP || value == identity.PeerIP))
        return Format(_("IP address %s → %s"), left.c_str(), right.c_str());
    if (!value.empty() && value == identity.Name)
        return Format(_("Name %s → %s"), left.c_str(), right.c_str());
    return Format(_("%s: %s → %s"), difference.Path.c_str(), left.c_str(), right.c_str());
}

std::string PreviewDeviceSummary(const TPreviewDevice& device)
{
    std::string line = DeviceLine(device.Device.Name, device.Device.PeerIP) + ": ";
    if (!device.Read && device.Differences.empty()) {
        line += Format(_("could not be read: %s"), device.ReadError.c_str());
    } else {
        const size_t count = device.Differences.size(), identity = device.IdentityChanges.size();
        line += Format(_n("%d difference", "%d differences", count), int(count));
        if (identity > 0)
            line += ", " + Format(_n("%d identity place would change", "%d identity places would change", identity),
                                  int(identity));
        if (device.LineCompare)
            line += " " + std::string(_("(compared line by line)"));
    }
    if (!device.Write)
        line += "; " + device.NotWritten;
    return line;
}

std::vector<std::string> PreviewLines(const TPreview& preview)
{
    std::vector<std::string> lines;
    for (const TPreviewDevice& device : preview.Devices) {
        lines.push_back(PreviewDeviceSummary(device));
        for (const TConfigDifference& change : device.IdentityChanges)
            lines.push_back("  ! " + IdentityChangeText(change, device.Identity));
        for (const TConfigDifference& difference : device.Differences)
            if (!difference.Identity)
                lines.push_back(Format("  %s: %s → %s", difference.Path.c_str(), Shown(difference.Left).c_str(),
                                       Shown(difference.Right).c_str()));
    }
    return lines;
}

std::string VersionBeforeWriteLine(const TPreviewDevice& device)
{
    if (device.HistoryVersion.empty())
        return {};
    return Format(_("Configuration of %s before the write: history version %s of %s."), device.Device.PeerIP.c_str(),
                  device.HistoryVersion.c_str(), HistoryMacName(device.Device.MAC).c_str());
}

void LogVersionsBeforeWrite(const TPreview& preview)
{
    for (const TPreviewDevice& device : preview.Devices)
        if (device.Write)
            if (const std::string line = VersionBeforeWriteLine(device); !line.empty())
                LogAction("", line, LOG_INFO);
}
