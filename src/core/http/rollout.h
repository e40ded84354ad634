// Firmware rollouts: the decisions of an upgrade that must not brick a site, without a network.
// Which units go alone first and which go together in waves, when a wave's failures halt the
// batch, which units already run the image's revision and are skipped, the line that names what
// an image will reach, and the journal every upgrade batch keeps so that a batch ended by a crash
// can be resumed without any unit receiving its image twice.
//
// The batch (core/http/batch.h) and its run (core/http/transferrun.h) carry these decisions out;
// the window and pyxet-cli only collect the settings and show the outcome.
#pragma once
#include "core/app/settings.h"

#include <QByteArray>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// ---- Units and their states -------------------------------------------------------------------

// What kind of device a unit is: an image is made for one kind. Two units are of one kind when
// their family and type code are the same; the type name is how the kind is shown.
struct TUnitKind {
    std::string Family;  // "Orvex" or "HWG"; "" when not known (a host given by its address only)
    int TypeCode = -1;   // -1 when not known
    std::string TypeName;

    bool Known() const { return !Family.empty() && TypeCode >= 0; }
    bool operator==(const TUnitKind& other) const { return Family == other.Family && TypeCode == other.TypeCode; }
    bool operator<(const TUnitKind& other) const
    {
        return Family != other.Family ? Family < other.Family : TypeCode < other.TypeCode;
    }
};

// Where a unit of an upgrade batch stands. The journal writes Sending before the image's body
// starts and Sent once the device accepted it; every other state is an end.
enum class TUnitState {
    NotStarted,  // not begun (yet, or because a halt or a stop came first)
    Sending,     // the image's body is on its way
    Sent,        // the device accepted the image; not (yet) verified
    Verified,    // it came back with another revision
    Upgraded,    // accepted, and not verified because no check was asked
    Skipped,     // already at the image's revision
    Failed,
    Refused,     // shares its address with other units: no request was sent
    NotFound,    // a resume did not find it
};
// The state's name in the journal and in pyxet-cli's JSON ("not started", "sending", "sent",
// "verified", "upgraded", "skipped", "failed", "refused", "not found"); never translated.
const char* UnitStateName(TUnitState state);
std::optional<TUnitState> ParseUnitState(const std::string& name);
// The state a batch ends a unit in: Verified, Upgraded, Skipped, Failed, Refused, NotFound or
// NotStarted.
bool FinalState(TUnitState state);

// What the check around an upgrade found of the unit's configuration (BackupFirst).
enum class TConfigCheckKind { None, Kept, Changed };
// "none", "kept", "changed"; never translated.
const char* ConfigCheckName(TConfigCheckKind kind);
struct TConfigCheck {
    TConfigCheckKind Kind = TConfigCheckKind::None;
    std::vector<std::string> Paths;  // the paths that differ (core/config/compare.h), with Changed
    std::string Before;              // the history files compared: the backup before the image,
    std::string After;               // and the configuration after it ("" when none)
};

// ---- The settings -------------------------------------------------------------------------------

// [Rollout] of the settings file and pyxet-cli's flags. With the defaults an upgrade runs as it
// always has: every unit in turn (or Transfers at Once), a failure never stops the batch.
struct TRolloutSetting {
    int First = 0;       // units upgraded and verified alone, in list order, before any other; 0 = off
    int Wave = 0;        // units per wave, each wave finished before the next; 0 = Transfers at Once
    int HaltAfter = 1;   // failures within one wave that halt the batch; 0 = never
    bool SkipCurrent = false;   // units already at the image's revision are skipped
    std::string ImageRevision;  // the image's revision as typed ("" = learnt from the first unit)
    bool BackupFirst = false;   // each unit's configuration kept before its image and compared after it
    int Retries = 0;            // rounds at the end for units that could not be reached

    // Waves and halts apply (First or Wave asked); otherwise one run over every unit as ever.
    bool Waves() const { return First > 0 || Wave > 0; }
    // A rollout verifies its units whatever the window's Verify Upgrades says: the caller then
    // gives the batch its check (TTransferOrder::Verification) with the usual seconds.
    bool Verifies() const { return First > 0; }
    // Anything of the rollout asked beyond the plain upgrade: such a batch does not start
    // without its journal (a plain upgrade logs a warning and goes on).
    bool Asked() const { return Waves() || SkipCurrent || !ImageRevision.empty() || BackupFirst || Retries > 0; }
};
// The settings' [Rollout] as a rollout (no image revision), and back.
TRolloutSetting RolloutOfSettings(const TSettings& settings);
void KeepRolloutInSettings(const TRolloutSetting& rollout, TSettings& settings);
// The limits of the values the window and pyxet-cli take (kMaxRolloutFirst, kMaxRolloutWave,
// kMaxRolloutHalt, kMaxRolloutRetries) are in core/app/settings.h, where the settings file is read.

// ---- Waves and halts --------------------------------------------------------------------------

// One wave: the units (indices in list order) that run together; every unit of a wave has ended
// before the next wave starts.
struct TWave {
    std::vector<size_t> Units;
    bool First = false;  // a first unit, alone
};
// The waves of a batch of units in list order. `eligible[i]` is false for a unit that gets no
// image whatever happens (it shares its address, or is skipped from the start): it never counts as
// a first unit nor towards a wave's size, and rides in the wave of the eligible unit after it (or
// the last wave). The first `first` eligible units each form a wave of their own (First = true);
// the rest follow in waves of `wave` eligible units (0: `jobs`, at least 1). Every index appears
// exactly once, in list order.
std::vector<TWave> RolloutWaves(const std::vector<bool>& eligible, int first, int wave, int jobs);

// Whether a wave that ended with `failures` failed units halts the batch: a first unit's
// failure always does; otherwise `failures` of at least haltAfter (haltAfter 0: never).
bool HaltsAfterWave(const TWave& wave, int failures, int haltAfter);
// The summary line of a halt: "Halted: %d of %d failed in wave %d" (translated); `number` counts
// from 1, the first units' waves included.
std::string HaltLine(int failures, int units, int number);

// ---- Units already current ----------------------------------------------------------------------

// What a batch knows of the image's revision, per kind: the revision typed in stands for every
// kind until a kind's first verified unit tells its own. Safe from the batch's worker threads.
class TCurrentRevisions {
public:
    TCurrentRevisions() = default;
    explicit TCurrentRevisions(std::string typed) : Typed(std::move(typed)) {}
    TCurrentRevisions(const TCurrentRevisions&) = delete;
    TCurrentRevisions& operator=(const TCurrentRevisions&) = delete;

    // The revision a verified unit of `kind` came back with; only the first of a kind counts,
    // and a kind not known learns nothing.
    void Learn(const TUnitKind& kind, const std::string& revision);
    // The image's revision for `kind`, when known.
    std::optional<std::string> Current(const TUnitKind& kind) const;

private:
    mutable std::mutex Lock;
    std::string Typed;
    std::map<TUnitKind, std::string> Learnt;
};
// Why a unit not yet started is skipped: "Already at %s" (translated, the revision in its shown
// form) when it reported in the discovery before the batch the revision the image has for its
// kind; nullopt when it is to be upgraded (its revision unknown, another revision, or the
// image's revision for its kind unknown). Revisions compare as reported, surrounding blanks aside.
std::optional<std::string> SkipReason(const TCurrentRevisions& revisions, const TUnitKind& kind,
                                      const std::string& reportedRevision);

// ---- What the image will reach ------------------------------------------------------------------

// "5 devices: Orvex Sense T ×4, Poseidon 2250 ×1" (ngettext for the count; kinds by how many
// units they have, then in list order; a kind not known is shown as "unknown kind"), and whether the
// units are of more than one kind (known kinds; an unknown kind beside a known one counts as
// another).
struct TKindsLine {
    std::string Text;
    bool Mixed = false;
};
TKindsLine KindsLine(const std::vector<TUnitKind>& kinds);

// ---- Retries --------------------------------------------------------------------------------------

// The waits before the retry rounds, in seconds: 30, 60, 120 (a round past the list waits as the
// last), or PYXET_RETRY_SECONDS ("30,60,120": whole seconds 0 to 86400, at least one) when set and
// well-formed.
std::vector<int> RetryWaits();
int RetryWait(const std::vector<int>& waits, int round);  // round from 0

// ---- The journal --------------------------------------------------------------------------------

// One unit of a journal.
struct TJournalUnit {
    std::string MAC;       // as discovery showed it ("" for a host given by its address only)
    std::string Family;
    int TypeCode = -1;
    std::string TypeName;
    std::string Name;
    std::string Address;         // where it was reached
    std::string RevisionBefore;  // as discovery reported it ("" when not known)
    TUnitState State = TUnitState::NotStarted;
    std::string Reason;          // why it failed, was skipped, refused or not found
    int64_t Started = 0;         // seconds since 1970 (UTC); 0 = not yet
    int64_t Ended = 0;
};

// The journal of one upgrade batch: written whole at every change, read back to resume.
struct TUpgradeJournal {
    std::string Image;        // absolute path
    int64_t ImageSize = 0;
    std::string ImageSha256;  // 64 lower-case hex digits
    TRolloutSetting Rollout;
    int Jobs = 1;
    int VerifySeconds = 0;    // the check after each image; 0 = none
    int64_t Created = 0;      // seconds since 1970 (UTC)
    std::vector<TJournalUnit> Units;
};

// The journal's JSON (times as ISO 8601 UTC, "2026-12-11T03:06:14Z") and back. Reading refuses,
// naming why (translated), anything but a journal of this form: not JSON, a missing or wrong
// field, a state or a hash that is no such thing.
QByteArray JournalJson(const TUpgradeJournal& journal);
std::optional<TUpgradeJournal> ParseJournal(const QByteArray& json, std::string& error);
// The largest journal file read.
constexpr int64_t kMaxJournalBytes = 64 * 1024 * 1024;
// Reads a journal file: at most kMaxJournalBytes, else refused naming why (the path, then the
// system's error text or what is wrong in it).
std::optional<TUpgradeJournal> ReadJournal(const std::string& path, std::string& error);
// folder + "/upgrade-YYYYMMDDTHHMMSSZ.json" for the time given (UTC); when that file exists,
// "-2", "-3" ... before ".json".
std::string NewJournalName(const std::string& folder, int64_t now);
// The newest journal in folder (by the time in its name), "" when none.
std::string LastJournal(const std::string& folder);
// The image's size and SHA-256 (lower-case hex), read in chunks; a regular file only. False with
// `error` (the system's error text, without the path).
bool HashImage(const std::string& path, int64_t& size, std::string& sha256, std::string& error);

// Keeps a journal file up to date as the batch's threads change its units: every change rewrites
// the whole file through the atomic writer, and Update returns once a write that holds the change
// is on the disk (changes from several threads meanwhile go into one write). Safe from any thread.
class TJournalWriter {
public:
    // Writes the journal at once; Ok() tells whether it could be written. The path's folder must
    // exist: making it (backup/, one level) is the caller's job.
    TJournalWriter(std::string path, TUpgradeJournal journal);
    const std::string& Path() const { return File; }
    bool Ok() const;
    // Why the last write failed, naming the file ("" after a success).
    std::string Error() const;
    // Sets unit `index`'s state and reason (Started is set with the first state after NotStarted,
    // Ended with a final state, from `now`) and waits for the write. False when it failed.
    bool Update(size_t index, TUnitState state, const std::string& reason, int64_t now);
    // Sets a unit's address (a resume found it elsewhere) without waiting for a write of its own.
    void SetAddress(size_t index, const std::string& address);
    TUpgradeJournal Snapshot() const;

private:
    bool WriteLocked(std::unique_lock<std::mutex>& guard);

    mutable std::mutex Lock;
    std::condition_variable Written;
    std::string File;
    TUpgradeJournal Journal;
    uint64_t Changes = 0;   // changes made, and of them on the disk
    uint64_t OnDisk = 0;
    uint64_t Attempted = 0;  // changes a finished write (good or failed) held
    bool Writing = false;
    std::string LastError;
};

// ---- Resume -----------------------------------------------------------------------------------

// What a resume does with one unit of a journal.
enum class TResumeStep {
    Done,         // it ended already (verified, upgraded, skipped, refused, failed): nothing. A
                  // failed unit may have taken its body before it failed: it is left to
                  // "Check Failed Devices" and a new batch, never sent again by a resume.
    Send,         // not started, or not found before: sent as in a new batch
    Verify,       // "sent": its image was accepted; only checked, never sent again
    AskThenSend,  // "sending": asked for its revision; sent again only if it still reports its old one
};
TResumeStep ResumeStepOf(const TJournalUnit& unit);
// Why a journal's image cannot be resumed with (translated, naming the file): it cannot be read,
// or its size or SHA-256 is not the journal's any more. "" when it is the same image.
std::string ImageChangedRefusal(const TUpgradeJournal& journal);

// A new journal: the image (its absolute path, size and hash), the settings and the units, all
// not started, created `now`.
TUpgradeJournal NewJournal(const std::string& image, int64_t imageSize, const std::string& imageSha256,
                           const TRolloutSetting& rollout, int jobs, int verifySeconds,
                           std::vector<TJournalUnit> units, int64_t now);
