#include "core/http/preview.h"

// Placeholders until the preview lands.
TPreviewTarget PreviewTargetOfFile(const std::string& path)
{
    (void)path;
    return {};
}
std::vector<TPreviewTarget> BackupTargets(const std::vector<TBatchDevice>& devices, const std::string& folder)
{
    (void)folder;
    return std::vector<TPreviewTarget>(devices.size());
}
TDeviceIdentity BatchIdentity(const TBatchDevice& device) { return {device.MAC, device.PeerIP, device.PeerIP, device.Name}; }
TPreview BuildPreview(const TPreviewInput& input)
{
    (void)input;
    return {};
}
std::vector<QByteArray> PreviewBodies(const TPreview& preview)
{
    (void)preview;
    return {};
}
std::vector<std::string> PreviewRefusals(const TPreview& preview)
{
    (void)preview;
    return {};
}
std::string IdentityChangeText(const TConfigDifference& difference, const TDeviceIdentity& identity)
{
    (void)identity;
    return difference.Path;
}
std::string PreviewDeviceSummary(const TPreviewDevice& device) { return device.Device.Name; }
std::vector<std::string> PreviewLines(const TPreview& preview)
{
    (void)preview;
    return {};
}
std::string VersionBeforeWriteLine(const TPreviewDevice& device) { return device.HistoryVersion; }
void LogVersionsBeforeWrite(const TPreview& preview) { (void)preview; }
