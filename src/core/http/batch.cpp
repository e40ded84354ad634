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
#include "core/config/compare.h"
#include "core/config/configdoc.h"
#include "core/devices/utils.h"

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

// A configuration downloaded from a device whose MAC is known, kept in the history: the version
// it is kept as (the newest kept one when it was the same), none when nothing was kept (a
// failure is logged, and its reason is in result.HistoryError).
std::optional<THistoryVersion> KeepVersion(const THistory& history, const TBatchDevice& device, const QByteArray& bytes,
                                           TDeviceResult& result)
{
    if (HistoryMacName(device.MAC).empty())
        return std::nullopt;
    THistory kept = history;
    const THistoryKept version = kept.Keep(device.MAC, bytes, int64_t(std::time(nullptr)));
    if (!version.Ok) {
        result.HistoryError = version.Error;
        LogAction("", Format(_("Not kept in the history: %s"), version.Error.c_str()), LOG_WARNING);
        return std::nullopt;
    }
    result.HistoryVersion = version.Version.Version;
    if (version.Added)
        Log(Format(_("Configuration of %s kept in the history as %s."), device.PeerIP.c_str(),
                   version.Version.Path.c_str()));
    else
        Log(Format(_("Configuration of %s unchanged since its history version %s."), device.PeerIP.c_str(),
                   version.Version.Path.c_str()));
    return version.Version;
}

// The same where the history may be none (the transfer itself still counts).
void KeepInHistory(const std::optional<THistory>& history, const TBatchDevice& device, const QByteArray& bytes,
                   TDeviceResult& result)
{
    if (history)
        KeepVersion(*history, device, bytes, result);
}

// A unit that came back with another revision: the log line, and the progress line it gets
// ("(older)" after a lower revision).
std::string LogVerified(const std::string& host, const std::string& before, const std::string& after)
{
    const std::string shownBefore = SafeText(before), shownAfter = SafeText(after);
    LogAction("",
              Format(_("Firmware of %s verified: %s before, %s after."), host.c_str(), shownBefore.c_str(),
                     shownAfter.c_str()),
              LOG_INFO);
    std::string line = Format(_("Verified: %s → %s"), shownBefore.c_str(), shownAfter.c_str());
    if (IsOlderRevision(before, after))
        line += std::string(" ") + _("(older)");
    return line;
}

// Where a unit away is looked for again when nothing better is known.
constexpr const char* kBroadcastAddress = "255.255.255.255";
// The check of a resumed unit whose image was accepted, when the batch asks none.
constexpr int kResumeCheckSeconds = 60;
} // namespace

TBatchDevice BatchDevice(const TProduct& device)
{
    const TProductInfo info = device.CopyInfo();
    TBatchDevice taken{info.Name, info.PeerIP, info.MAC, FamilyName(device), device.CommandAddress};
    taken.Kind = {taken.Family, int(info.TypeCode), info.TypeName};
    taken.Revision = info.FirmwareRev;
    return taken;
}

TBatchDevice BatchDevice(const TProduct& device, const TAddressSharers& sharing)
{
    TBatchDevice taken = BatchDevice(device);
    taken.SharesWith = SharersOf(sharing, &device);
    return taken;
}

TJournalUnit JournalUnitOf(const TBatchDevice& device)
{
    TJournalUnit unit;
    unit.MAC = device.MAC;
    unit.Family = device.Kind.Family.empty() ? device.Family : device.Kind.Family;
    unit.TypeCode = device.Kind.TypeCode;
    unit.TypeName = device.Kind.TypeName;
    unit.Name = device.Name;
    unit.Address = device.PeerIP;
    unit.RevisionBefore = device.Revision;
    return unit;
}

std::vector<TBatchDevice> ResumeDevices(const TUpgradeJournal& journal, const std::vector<TBatchDevice>& found)
{
    std::vector<TBatchDevice> devices;
    for (const TJournalUnit& unit : journal.Units) {
        const std::optional<uint64_t> mac = MacKeyOf(unit.MAC);
        const auto here = std::find_if(found.begin(), found.end(), [&](const TBatchDevice& device) {
            return mac && MacKeyOf(device.MAC) == mac && device.Family == unit.Family;
        });
        if (here != found.end()) {
            devices.push_back(*here);
            continue;
        }
        TBatchDevice device;
        device.Name = unit.Name;
        device.PeerIP = mac ? "" : unit.Address;  // one without a MAC is taken where it was
        device.MAC = unit.MAC;
        device.Family = unit.Family;
        device.Kind = {unit.Family, unit.TypeCode, unit.TypeName};
        device.Revision = unit.RevisionBefore;
        devices.push_back(device);
    }
    return devices;
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

// What an upgrade's units share while the batch runs them, on whatever thread each turn runs.
struct TTransferBatch::TRollout {
    TRollout(TTransferBatch& main, const std::vector<TBatchDevice>& devices, const std::string& image)
        : Main(main), Units(devices), Image(image), Verification(main.Verification), Setting(main.Rollout),
          Journal(main.Journal), Resumed(main.Resumed), History(main.History), Current(Setting.ImageRevision),
          Steps(devices.size(), TResumeStep::Send), Results(devices.size()), Ran(devices.size(), false)
    {
        if (Resumed)
            for (size_t i = 0; i < Units.size() && i < Resumed->Units.size(); ++i)
                Steps[i] = ResumeStepOf(Resumed->Units[i]);
    }

    // Unit i's turn on `batch`: its block of lines and its result. `again`: a retry round.
    TDeviceResult Turn(TTransferBatch& batch, size_t i, bool again);
    // The turns of `units` (unit indices) through the batch's runner; their results kept.
    void RunUnits(const std::vector<size_t>& units, bool again);
    // The journal's unit i; a failed write is logged once, and the batch goes on.
    void Write(size_t i, TUnitState state, const std::string& reason);
    // A unit that ended before the resume: its result as the journal has it.
    TDeviceResult FromJournal(size_t i) const;
    bool SkippedFromStart(size_t i) const;

    TTransferBatch& Main;
    std::vector<TBatchDevice> Units;  // a retry's search may find a unit at another address
    const std::string Image;
    const TVerifySetting Verification;
    const TRolloutSetting Setting;
    const std::shared_ptr<TJournalWriter> Journal;
    const std::optional<TUpgradeJournal> Resumed;
    const std::optional<THistory> History;
    TCurrentRevisions Current;
    std::vector<TResumeStep> Steps;
    std::atomic<bool> JournalFailed{false};
    std::vector<TDeviceResult> Results;  // per unit, once it ran
    std::vector<bool> Ran;

private:
    TDeviceResult NotFound(TTransferBatch& batch, size_t i, bool lineShown);
    TDeviceResult Skip(TTransferBatch& batch, size_t i, const std::string& reason);
    TDeviceResult CheckSent(TTransferBatch& batch, size_t i);
    // Before the image: the unit's configuration into its history; false with the block ended
    // and `result` failed when it could not be kept.
    bool BackUp(TTransferBatch& batch, size_t i, QByteArray& bytes, std::string& version, TDeviceResult& result);
    void CheckConfig(TTransferBatch& batch, size_t i, const QByteArray& before, const std::string& beforeVersion,
                     TDeviceResult& result);
    void EndBlock(TTransferBatch& batch, size_t i, TDeviceResult& result);
};

namespace {
bool Accepted(TUnitState state)
{
    return state == TUnitState::Verified || state == TUnitState::Upgraded || state == TUnitState::Skipped;
}
}  // namespace

void TTransferBatch::TRollout::Write(size_t i, TUnitState state, const std::string& reason)
{
    if (!Journal || Journal->Update(i, state, reason, int64_t(std::time(nullptr))))
        return;
    if (!JournalFailed.exchange(true))
        LogAction("", Format(_("The journal could not be written: %s"), Journal->Error().c_str()), LOG_ERROR);
}

TDeviceResult TTransferBatch::TRollout::FromJournal(size_t i) const
{
    const TJournalUnit& unit = Resumed->Units[i];
    TDeviceResult result;
    result.Host = Units[i].PeerIP.empty() ? unit.Address : Units[i].PeerIP;
    result.State = unit.State;
    result.Reason = unit.Reason;
    result.Ok = Accepted(unit.State);
    result.Verified = unit.State == TUnitState::Verified;
    if (!result.Ok)
        result.Error = unit.Reason;
    return result;
}

bool TTransferBatch::TRollout::SkippedFromStart(size_t i) const
{
    return Setting.SkipCurrent && Steps[i] == TResumeStep::Send
           && SkipReason(Current, Units[i].Kind, Units[i].Revision).has_value();
}

void TTransferBatch::TRollout::EndBlock(TTransferBatch& batch, size_t i, TDeviceResult& result)
{
    result.Reason = result.Ok ? result.Reason : result.Error;
    batch.AddSeparator();
    batch.Lines.EndDevice(result.Error);
    // A unit whose body may have gone out before keeps that state in the journal while it is not
    // found: a later resume still asks it, or only checks it, and never sends it blindly.
    if (result.State == TUnitState::NotFound && Steps[i] != TResumeStep::Send)
        Write(i, Resumed->Units[i].State, result.Reason);
    else
        Write(i, result.State, result.Reason);
}

TDeviceResult TTransferBatch::TRollout::NotFound(TTransferBatch& batch, size_t i, bool lineShown)
{
    const TBatchDevice& device = Units[i];
    if (!lineShown)
        batch.Lines.AddLine(DeviceLine(device.Name, device.PeerIP));
    const std::string reason = _("Not found");
    batch.Lines.AddLine(reason);
    LogAction("", reason + " (" + SafeText(device.MAC) + ")", LOG_ERROR);
    batch.AddResultLine(_("Upgrade"), false);
    TDeviceResult result;
    result.Host = device.PeerIP;
    result.Error = reason;
    result.State = TUnitState::NotFound;
    EndBlock(batch, i, result);
    return result;
}

TDeviceResult TTransferBatch::TRollout::Skip(TTransferBatch& batch, size_t i, const std::string& reason)
{
    const TBatchDevice& device = Units[i];
    batch.Lines.AddLine(DeviceLine(device.Name, device.PeerIP));
    batch.Lines.AddLine(reason);
    Log(Format(_("%s skipped: %s"), device.PeerIP.c_str(), reason.c_str()));
    batch.Lines.AddLine(_("Upgrade") + std::string(_(" Skipped")));
    TDeviceResult result;
    result.Host = device.PeerIP;
    result.Ok = true;
    result.State = TUnitState::Skipped;
    result.Reason = reason;
    EndBlock(batch, i, result);
    return result;
}

// A unit whose image was accepted before the batch ended: only checked, never sent again.
TDeviceResult TTransferBatch::TRollout::CheckSent(TTransferBatch& batch, size_t i)
{
    const TBatchDevice& device = Units[i];
    const std::string before = Resumed->Units[i].RevisionBefore;
    TDeviceResult result;
    result.Host = device.PeerIP;
    result.Ok = true;
    result.FirmwareBefore = before;
    TVerifySetting check = Verification;
    if (!check.On())
        check.Seconds = Resumed->VerifySeconds > 0 ? Resumed->VerifySeconds : kResumeCheckSeconds;
    batch.VerifyDevice(check, Main, RevisionTarget(device.PeerIP, device.MAC, device.Family, device.CommandAddress),
                       result);
    result.State = result.Verified ? TUnitState::Verified : TUnitState::Failed;
    if (!result.Verified && result.FirmwareAfter == before) {
        result.Reason = _("the image was not taken");
        result.Error = Format(_("not verified: %s"), result.Reason.c_str());
    }
    batch.AddResultLine(_("Upgrade"), result.Ok);
    EndBlock(batch, i, result);
    return result;
}

bool TTransferBatch::TRollout::BackUp(TTransferBatch& batch, size_t i, QByteArray& bytes, std::string& version,
                                      TDeviceResult& result)
{
    const TBatchDevice& device = Units[i];
    std::string why;
    if (!History || HistoryMacName(device.MAC).empty()) {
        batch.Lines.AddLine(_("No backup"));
        why = _("the device's MAC address is not known");
    } else if (!batch.FetchDeviceConfig(device.PeerIP, bytes)) {
        batch.Lines.ReplaceLine(_("No backup"));
        why = batch.Http.LastError();
    } else if (const std::optional<THistoryVersion> kept = KeepVersion(*History, device, bytes, result)) {
        batch.Lines.ReplaceLine(_("Configuration backed up."));
        version = kept->Path;
        return true;
    } else {
        batch.Lines.ReplaceLine(_("No backup"));
        why = result.HistoryError;
    }
    LogAction("", Format(_("No backup of %s, not upgraded: %s"), device.PeerIP.c_str(), why.c_str()), LOG_ERROR);
    result.Host = device.PeerIP;
    result.Ok = false;
    result.Error = _("No backup");
    result.State = TUnitState::Failed;
    batch.AddResultLine(_("Upgrade"), false);
    EndBlock(batch, i, result);
    return false;
}

void TTransferBatch::TRollout::CheckConfig(TTransferBatch& batch, size_t i, const QByteArray& before,
                                           const std::string& beforeVersion, TDeviceResult& result)
{
    const TBatchDevice& device = Units[i];
    QByteArray after;
    std::optional<THistoryVersion> kept;
    TDeviceResult keeping;
    if (batch.FetchDeviceConfig(device.PeerIP, after))
        kept = KeepVersion(*History, device, after, keeping);
    if (!kept) {
        const std::string why = keeping.HistoryError.empty() ? batch.Http.LastError() : keeping.HistoryError;
        const std::string line = Format(_("Configuration not checked: %s"), why.c_str());
        batch.Lines.ReplaceLine(line);
        LogAction("", line, LOG_WARNING);
        return;
    }
    const auto [left, right] = ReadConfigPair(before, after);
    const std::vector<TConfigDifference> differences =
        left.Ok && right.Ok ? CompareConfigs(left, right) : CompareLines(before, after);
    TConfigCheck& check = result.ConfigCheck;
    check.Before = beforeVersion;
    check.After = kept->Path;
    if (differences.empty()) {
        check.Kind = TConfigCheckKind::Kept;
        batch.Lines.ReplaceLine(_("Configuration kept"));
        Log(Format(_("Configuration of %s kept by the upgrade."), device.PeerIP.c_str()));
        return;
    }
    check.Kind = TConfigCheckKind::Changed;
    for (const TConfigDifference& difference : differences)
        check.Paths.push_back(difference.Path);
    const int count = int(differences.size());
    const std::string line = Format(_n("Configuration changed by the upgrade: %d field",
                                       "Configuration changed by the upgrade: %d fields", static_cast<unsigned long>(count)),
                                    count);
    batch.Lines.ReplaceLine(line);
    LogAction("", device.PeerIP + ": " + line, LOG_WARNING);
}

TDeviceResult TTransferBatch::TRollout::Turn(TTransferBatch& batch, size_t i, bool again)
{
    TBatchDevice& device = Units[i];
    TDeviceResult result;
    if (batch.RefuseShared(device, _("Upgrade"), result)) {
        result.State = TUnitState::Refused;
        result.Reason = result.Error;
        Write(i, TUnitState::Refused, result.Reason);
        return result;
    }
    // A unit away before is looked for again by its MAC and family, wherever it answers now.
    if (again && Results[i].State == TUnitState::NotFound && MacKeyOf(device.MAC) && !device.Family.empty()) {
        TRevisionTarget target;
        target.Host = device.CommandAddress.empty() ? kBroadcastAddress : device.CommandAddress;
        target.Broadcast = target.Host;
        target.Mac = MacKeyOf(device.MAC);
        target.Family = device.Family;
        if (const std::optional<TRevisionAnswer> answer = AskFirmwareRevision(target, kRevisionBeforeWaitMs)) {
            device.PeerIP = answer->Host;
            if (Journal)
                Journal->SetAddress(i, device.PeerIP);
        } else {
            device.PeerIP.clear();
        }
    }
    if (device.PeerIP.empty())
        return NotFound(batch, i, false);
    if (Setting.SkipCurrent && Steps[i] == TResumeStep::Send)
        if (const std::optional<std::string> reason = SkipReason(Current, device.Kind, device.Revision))
            return Skip(batch, i, *reason);
    // A unit whose image may have gone out is told apart by its revision before: without one,
    // nothing says whether it took the image. It is neither sent again nor taken as upgraded.
    if ((Steps[i] == TResumeStep::Verify || Steps[i] == TResumeStep::AskThenSend)
        && QString::fromStdString(Resumed->Units[i].RevisionBefore).trimmed().isEmpty()) {
        batch.Lines.AddLine(DeviceLine(device.Name, device.PeerIP));
        const std::string reason = _("its firmware before the upgrade is not known: check it by hand");
        batch.Lines.AddLine(reason);
        LogAction("", Format(_("%s not resumed: %s"), device.PeerIP.c_str(), reason.c_str()), LOG_ERROR);
        batch.AddResultLine(_("Upgrade"), false);
        result.Host = device.PeerIP;
        result.Error = reason;
        result.State = TUnitState::Failed;
        EndBlock(batch, i, result);
        return result;
    }
    if (Steps[i] == TResumeStep::Verify) {
        batch.Lines.AddLine(DeviceLine(device.Name, device.PeerIP));
        return CheckSent(batch, i);
    }

    batch.Lines.AddLine(DeviceLine(device.Name, device.PeerIP));
    batch.LastMissing.clear();
    batch.LastRefusal.clear();
    batch.Http.SetDeviceName(device.Name);
    batch.Http.SetDeviceMAC(device.MAC);
    // The unit is asked by its MAC and family; one known by its address only is the unit
    // that answers there now, and from then on only that unit's answers count.
    std::optional<std::string> before;
    TRevisionTarget target;
    if (Verification.On() || Steps[i] == TResumeStep::AskThenSend) {
        target = RevisionTarget(device.PeerIP, device.MAC, device.Family, device.CommandAddress);
        if (const std::optional<TRevisionAnswer> answer = AskFirmwareRevision(target, kRevisionBeforeWaitMs)) {
            before = answer->Revision;
            target.Mac = answer->Mac;
            target.Family = answer->Family;
        }
    }
    // Its body was on its way when the batch ended: sent again only while it still runs what it
    // ran before.
    if (Steps[i] == TResumeStep::AskThenSend) {
        if (!before)
            return NotFound(batch, i, true);
        const std::string& old = Resumed->Units[i].RevisionBefore;
        if (*before != old) {
            batch.Lines.AddLine(LogVerified(device.PeerIP, old, *before));
            batch.AddResultLine(_("Upgrade"), true);
            result.Host = device.PeerIP;
            result.Ok = result.Verified = true;
            result.FirmwareBefore = old;
            result.FirmwareAfter = before;
            result.State = TUnitState::Verified;
            EndBlock(batch, i, result);
            return result;
        }
    }
    QByteArray config;
    std::string configVersion;
    if (Setting.BackupFirst && !BackUp(batch, i, config, configVersion, result))
        return result;

    Write(i, TUnitState::Sending, "");
    const bool ok = batch.UpgradeDevice(Image, device.PeerIP);
    if (ok)
        Write(i, TUnitState::Sent, "");
    result = batch.Result(device.PeerIP, ok);
    result.Unreachable = !ok && batch.Http.LastUnreachable();
    result.FirmwareBefore = before;
    batch.AddResultLine(_("Upgrade"), ok);
    if (Verification.On() && ok)
        batch.VerifyDevice(Verification, Main, target, result);
    result.State = !result.Ok ? TUnitState::Failed : Verification.On() ? TUnitState::Verified : TUnitState::Upgraded;
    if (result.State == TUnitState::Verified) {
        if (result.FirmwareAfter)
            Current.Learn(device.Kind, *result.FirmwareAfter);
        if (Setting.BackupFirst) {
            batch.Lines.AddLine(_("Checking the configuration..."));
            CheckConfig(batch, i, config, configVersion, result);
        }
    }
    EndBlock(batch, i, result);
    return result;
}

void TTransferBatch::TRollout::RunUnits(const std::vector<size_t>& units, bool again)
{
    std::vector<std::string> hosts;
    for (size_t i : units)
        hosts.push_back(Units[i].PeerIP);
    const std::vector<TDeviceResult> done = Main.RunSteps(
        units.size(), [&](TTransferBatch& batch, size_t k) { return Turn(batch, units[k], again); }, hosts);
    for (size_t k = 0; k < done.size(); ++k) {
        Results[units[k]] = done[k];
        Ran[units[k]] = true;
    }
}

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
    // Every step checks and keeps as the batch was set when it began, on whatever batch it runs.
    TRollout run(*this, devices, image);
    const TRolloutSetting& setting = run.Setting;
    // A resume's units that ended before get no turn.
    std::vector<size_t> order;
    for (size_t i = 0; i < devices.size(); ++i) {
        if (run.Steps[i] == TResumeStep::Done) {
            run.Results[i] = run.FromJournal(i);
            run.Ran[i] = true;
        } else {
            order.push_back(i);
        }
    }
    Planned = order.size();
    std::string halt;
    if (!setting.Waves()) {
        run.RunUnits(order, false);
    } else {
        std::vector<bool> eligible;
        for (size_t i : order)
            eligible.push_back(devices[i].SharesWith <= 0 && !devices[i].PeerIP.empty() && !run.SkippedFromStart(i));
        const std::vector<TWave> waves = RolloutWaves(eligible, setting.First, setting.Wave, Jobs);
        for (size_t w = 0; w < waves.size() && !Stopped(); ++w) {
            std::vector<size_t> units;
            for (size_t k : waves[w].Units)
                units.push_back(order[k]);
            run.RunUnits(units, false);
            int failures = 0, taken = 0;
            for (size_t i : units) {
                const TUnitState state = run.Results[i].State;
                failures += run.Ran[i] && state == TUnitState::Failed;
                taken += run.Ran[i] && state != TUnitState::Refused && state != TUnitState::Skipped;
            }
            if (HaltsAfterWave(waves[w], failures, setting.HaltAfter)) {
                halt = HaltLine(failures, taken, int(w) + 1);
                break;
            }
        }
    }
    // Units that could not be reached are tried again while rounds are left; one whose body was
    // accepted never is.
    if (halt.empty() && setting.Retries > 0) {
        const std::vector<int> waits = RetryWaits();
        for (int round = 0; round < setting.Retries && !Stopped(); ++round) {
            std::vector<size_t> again;
            for (size_t i : order)
                if (run.Ran[i]
                    && (run.Results[i].State == TUnitState::NotFound
                        || (run.Results[i].State == TUnitState::Failed && run.Results[i].Unreachable)))
                    again.push_back(i);
            if (again.empty())
                break;
            const unsigned long count = again.size();
            Log(Format(_n("Trying %d device again (round %d of %d)...", "Trying %d devices again (round %d of %d)...",
                          count),
                       int(count), round + 1, setting.Retries));
            WaitUnlessStopped(RetryWait(waits, round) * 1000, [this] { return Stopped(); });
            if (Stopped())
                break;
            Planned += again.size();
            run.RunUnits(again, true);
        }
    }

    // Results in list order: a plain batch's as ever (those not started have none); a rollout's
    // or a resume's, every unit (not started ones too).
    const bool everyUnit = setting.Waves() || run.Resumed.has_value();
    std::vector<TDeviceResult> done;
    for (size_t i = 0; i < devices.size(); ++i) {
        if (run.Ran[i]) {
            done.push_back(run.Results[i]);
        } else if (everyUnit) {
            TDeviceResult left;
            left.Host = devices[i].PeerIP;
            left.State = TUnitState::NotStarted;
            done.push_back(left);
        }
    }
    results.insert(results.end(), done.begin(), done.end());
    if (Stopped())
        Log(_("The batch was stopped."));
    int succeeded = 0, failed = 0, notStarted = 0, verified = 0, skipped = 0;
    for (const TDeviceResult& result : done) {
        if (result.State == TUnitState::NotStarted && !result.Ok && result.Error.empty())
            ++notStarted;
        else
            ++(result.Ok ? succeeded : failed);
        verified += result.Verified;
        skipped += result.State == TUnitState::Skipped;
    }
    notStarted += int(devices.size() - done.size());
    AddSummaryLines(succeeded, failed, notStarted, run.Verification.On() ? verified : -1);
    AddRolloutSummary(skipped, halt);
    if (!halt.empty())
        LogAction("", halt, LOG_ERROR);
    Log(_("Upgrade process finished."));
}

void TTransferBatch::AddRolloutSummary(int skipped, const std::string& halt)
{
    if (skipped > 0)
        Lines.AddLine(Format(_("Skipped: %d"), skipped));
    if (!halt.empty())
        Lines.AddLine(halt);
}

std::vector<TDeviceResult> TTransferBatch::RunSteps(size_t count, const TDeviceStep& step,
                                                    std::vector<std::string> hosts)
{
    Hosts = std::move(hosts);
    if (Runner) {
        std::vector<TDeviceResult> results = Runner(count, step);
        Hosts.clear();
        return results;
    }
    std::vector<TDeviceResult> results;
    for (size_t i = 0; i < count && !Stopped(); ++i)
        results.push_back(step(*this, i));
    Hosts.clear();
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
        Lines.ReplaceLine(LogVerified(host, *check.Before, *check.After));
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
    Http.SetDeviceMAC(device.MAC);
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
