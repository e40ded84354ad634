// The preview before a write: what "Restore Selected", "Configure Devices..." and a restore from
// the history would change on each device, worked out from each device's configuration as just
// downloaded (a Fetch run, which also kept it in the history) and what would be written. The
// window's preview dialog and `pyxet-cli restore --dry-run` both call BuildPreview and show its
// result; nothing here touches the network or a widget.
//
// Per device: the differences from its current configuration to what it would receive (identity
// places marked), the identity places that would change, whether it could be read (and why not:
// the download's error, a shared address, a configuration that is not well-formed), and, when each
// device is to keep its own identity, the body it is sent instead of the common file (or why it
// is not written at all).
#pragma once
#include "core/config/compare.h"
#include "core/config/identity.h"
#include "core/http/batch.h"

#include <QByteArray>

#include <optional>
#include <string>
#include <vector>

// What would be written to a device: the bytes, or why there are none ("Configuration not found"
// for a missing backup file, a file error).
struct TPreviewTarget {
    bool Found = false;
    QByteArray Bytes;
    std::string Error;  // translated
    std::string Name;   // the file (or history version) it comes from, as shown
};
// The file read whole (at most kMostConfigBytes).
TPreviewTarget PreviewTargetOfFile(const std::string& path);
// "Restore Selected": each device's backup file in `folder`, as the restore would send it.
std::vector<TPreviewTarget> BackupTargets(const std::vector<TBatchDevice>& devices, const std::string& folder);

// The identity of a device as the batch took it (MAC, answering address, name; its configured
// address is its answering address unless the caller knows better).
TDeviceIdentity BatchIdentity(const TBatchDevice& device);

struct TPreviewInput {
    std::vector<TBatchDevice> Devices;
    // Parallel to Devices when given; else each is BatchIdentity of its device.
    std::vector<TDeviceIdentity> Identities;
    // The Fetch run's results, parallel to Devices (Ok with Config, or Error).
    std::vector<TDeviceResult> Fetched;
    // One per device (Restore, a history version per device), or exactly one for every device
    // (Configure Devices..., a restore from history of one device).
    std::vector<TPreviewTarget> Targets;
    // Configure Devices...: each device keeps its own identity (the bodies are built).
    bool KeepIdentity = false;
    // [Compare] Identity: more identity places.
    std::vector<std::string> ExtraIdentityPaths;
};

struct TPreviewDevice {
    TBatchDevice Device;
    TDeviceIdentity Identity;
    bool Read = false;               // its current configuration was read and is well-formed
    std::string ReadError;           // why not (translated), when not Read
    std::string HistoryVersion;      // the version its current configuration is kept as ("" none)
    bool LineCompare = false;        // one side is not well-formed: the differences are by line
    std::vector<TConfigDifference> Differences;     // current (left) → written (right), identity marked
    std::vector<TConfigDifference> IdentityChanges;  // the marked ones among them
    // Whether it would be written, and why not (no file to write, its own identity cannot be kept).
    bool Write = true;
    std::string NotWritten;          // translated
    QByteArray Body;                 // with KeepIdentity: what it is sent
};

struct TPreview {
    std::vector<TPreviewDevice> Devices;
    // The common file would change identity places of at least one device that was read: the
    // window ticks "Keep each device's own identity".
    bool ChangesIdentity = false;
    bool KeepIdentity = false;
    int Unreadable = 0;  // devices that could not be read
};

// The preview. Devices that could not be read are listed with their reason; with KeepIdentity
// they are not written.
TPreview BuildPreview(const TPreviewInput& input);

// For the write that follows (TTransferOrder::Bodies and Refusals): with KeepIdentity each
// device's own body and refusal; without it empty bodies (the file is sent as it is) and the
// refusals of devices with nothing to write.
std::vector<QByteArray> PreviewBodies(const TPreview& preview);
std::vector<std::string> PreviewRefusals(const TPreview& preview);

// A changed identity place as the preview shows it, naming which of the device's values it holds:
// "IP address 10.0.0.5 → 192.168.1.10", "MAC address ... → ...", "Name ... → ...", else the path.
std::string IdentityChangeText(const TConfigDifference& difference, const TDeviceIdentity& identity);
// A device's line: its differences and identity changes counted, or why it could not be read or
// is not written.
std::string PreviewDeviceSummary(const TPreviewDevice& device);
// The whole preview as plain lines (pyxet-cli restore --dry-run): per device its line, the
// identity changes, then each difference "path: left → right".
std::vector<std::string> PreviewLines(const TPreview& preview);

// The log line naming the history version of a device's configuration taken before a write
// ("" when none was kept), and the lines of every device to be written, logged (INFO) at once.
std::string VersionBeforeWriteLine(const TPreviewDevice& device);
void LogVersionsBeforeWrite(const TPreview& preview);
