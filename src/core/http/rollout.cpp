// Firmware rollouts: the order of the units, halts, skips, the kinds line, the retry waits, and the
// journal of an upgrade batch with its writer.
#include "core/http/rollout.h"

#include "core/app/atomicfile.h"
#include "core/app/i18n.h"
#include "core/config/history.h"
#include "core/http/parallel.h"
#include "core/log/format.h"
#include "core/log/safetext.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {
struct TStateName {
    TUnitState State;
    const char* Name;
};
constexpr TStateName kStateNames[] = {
    {TUnitState::NotStarted, "not started"}, {TUnitState::Sending, "sending"},   {TUnitState::Sent, "sent"},
    {TUnitState::Verified, "verified"},      {TUnitState::Upgraded, "upgraded"}, {TUnitState::Skipped, "skipped"},
    {TUnitState::Failed, "failed"},          {TUnitState::Refused, "refused"},   {TUnitState::NotFound, "not found"},
};

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// ---- Times: "2026-12-11T03:06:14Z" ----
std::string UtcText(int64_t seconds, const char* format)
{
    const time_t t = static_cast<time_t>(seconds);
    struct tm parts {};
    gmtime_r(&t, &parts);
    char text[64];
    const size_t n = strftime(text, sizeof text, format, &parts);
    return std::string(text, n);
}

constexpr const char* kIsoTime = "%Y-%m-%dT%H:%M:%SZ";

// Exactly "YYYY-MM-DDTHH:MM:SSZ", every part within its range.
std::optional<int64_t> ParseIsoTime(const std::string& text)
{
    static const char kForm[] = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != sizeof kForm - 1)
        return std::nullopt;
    for (size_t i = 0; i < text.size(); ++i)
        if (kForm[i] == 'd' ? (text[i] < '0' || text[i] > '9') : text[i] != kForm[i])
            return std::nullopt;
    auto number = [&text](size_t at, size_t digits) { return std::stoi(text.substr(at, digits)); };
    struct tm parts {};
    parts.tm_year = number(0, 4) - 1900;
    parts.tm_mon = number(5, 2) - 1;
    parts.tm_mday = number(8, 2);
    parts.tm_hour = number(11, 2);
    parts.tm_min = number(14, 2);
    parts.tm_sec = number(17, 2);
    if (parts.tm_mon > 11 || parts.tm_mday < 1 || parts.tm_mday > 31 || parts.tm_hour > 23 || parts.tm_min > 59
        || parts.tm_sec > 60)
        return std::nullopt;
    const int64_t seconds = timegm(&parts);
    if (seconds < 0 || UtcText(seconds, kIsoTime) != text)  // 31 February and the like
        return std::nullopt;
    return seconds;
}

QString Key(const char* name) { return QString::fromLatin1(name); }
QString Text(const std::string& text) { return QString::fromStdString(text); }
QJsonValue TimeValue(int64_t seconds) { return seconds ? QJsonValue(Text(UtcText(seconds, kIsoTime))) : QJsonValue(); }

bool IsHexDigest(const std::string& text)
{
    return text.size() == 64 && text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

// Reads the journal's fields, each checked; the first one missing or wrong names itself in
// `error` and every later read gives nothing.
class TJsonReader {
public:
    explicit TJsonReader(std::string& error) : Error(error) {}
    bool Ok() const { return Error.empty(); }

    std::optional<QJsonValue> Field(const QJsonObject& object, const std::string& where, const char* key)
    {
        if (!Ok())
            return std::nullopt;
        const QJsonValue value = object.value(Key(key));
        if (value.isUndefined()) {
            Error = Format(_("The journal has no field %s."), Name(where, key).c_str());
            return std::nullopt;
        }
        return value;
    }
    void Wrong(const std::string& where, const char* key)
    {
        if (Ok())
            Error = Format(_("The journal's field %s is not valid."), Name(where, key).c_str());
    }
    std::string String(const QJsonObject& object, const std::string& where, const char* key)
    {
        const auto value = Field(object, where, key);
        if (value && !value->isString())
            Wrong(where, key);
        return Ok() ? value->toString().toStdString() : std::string();
    }
    int64_t Integer(const QJsonObject& object, const std::string& where, const char* key, int64_t low, int64_t high)
    {
        const auto value = Field(object, where, key);
        if (!value)
            return 0;
        const double number = value->toDouble(NAN);
        // Whole numbers only, and within what a double holds exactly.
        if (!value->isDouble() || std::floor(number) != number || number < static_cast<double>(low)
            || number > static_cast<double>(high) || std::fabs(number) > 9007199254740992.0) {
            Wrong(where, key);
            return 0;
        }
        return static_cast<int64_t>(number);
    }
    bool Bool(const QJsonObject& object, const std::string& where, const char* key)
    {
        const auto value = Field(object, where, key);
        if (value && !value->isBool())
            Wrong(where, key);
        return Ok() && value->toBool();
    }
    QJsonObject Object(const QJsonObject& object, const std::string& where, const char* key)
    {
        const auto value = Field(object, where, key);
        if (value && !value->isObject())
            Wrong(where, key);
        return Ok() ? value->toObject() : QJsonObject();
    }
    // A time, or null for none.
    int64_t Time(const QJsonObject& object, const std::string& where, const char* key)
    {
        const auto value = Field(object, where, key);
        if (!value || value->isNull())
            return 0;
        const std::optional<int64_t> seconds =
            value->isString() ? ParseIsoTime(value->toString().toStdString()) : std::nullopt;
        if (!seconds)
            Wrong(where, key);
        return seconds.value_or(0);
    }

private:
    static std::string Name(const std::string& where, const char* key)
    {
        return where.empty() ? std::string(key) : where + "." + key;
    }
    std::string& Error;
};

constexpr int64_t kMaxTime = int64_t(253402300799);  // 9999-12-31T23:59:59Z
constexpr int kMaxVerifySeconds = 86400;
constexpr const char* kJournalMark = "pyxet upgrade";
constexpr int kJournalVersion = 1;

// "upgrade-YYYYMMDDTHHMMSSZ.json" or "upgrade-YYYYMMDDTHHMMSSZ-N.json": its time text and N (1
// without a suffix).
std::optional<std::pair<std::string, long>> JournalNameParts(const std::string& name)
{
    static const std::string kPrefix = "upgrade-", kSuffix = ".json";
    static const char kForm[] = "ddddddddTddddddZ";
    constexpr size_t kTime = sizeof kForm - 1;
    if (name.size() < kPrefix.size() + kTime + kSuffix.size() || name.compare(0, kPrefix.size(), kPrefix) != 0
        || name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
        return std::nullopt;
    const std::string time = name.substr(kPrefix.size(), kTime);
    for (size_t i = 0; i < kTime; ++i)
        if (kForm[i] == 'd' ? (time[i] < '0' || time[i] > '9') : time[i] != kForm[i])
            return std::nullopt;
    const std::string rest = name.substr(kPrefix.size() + kTime, name.size() - kPrefix.size() - kTime - kSuffix.size());
    if (rest.empty())
        return std::make_pair(time, 1L);
    if (rest.size() < 2 || rest.size() > 10 || rest[0] != '-' || rest[1] == '0'
        || rest.find_first_not_of("0123456789", 1) != std::string::npos)
        return std::nullopt;
    return std::make_pair(time, std::stol(rest.substr(1)));
}

std::string InFolder(const std::string& folder, const std::string& name)
{
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Closes a descriptor when it goes out of scope.
struct TFd {
    int Value = -1;
    ~TFd()
    {
        if (Value >= 0)
            close(Value);
    }
};

// Opens a regular file for reading (never waiting on a FIFO or a device); -1 with `error` set.
int OpenRegular(const std::string& path, int& error, int64_t& size)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile;
    else
        error = 0;
    if (error != 0) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    size = st.st_size;
    return fd;
}
} // namespace

// ---- Units and their states ----

const char* UnitStateName(TUnitState state)
{
    for (const TStateName& entry : kStateNames)
        if (entry.State == state)
            return entry.Name;
    return "not started";
}

std::optional<TUnitState> ParseUnitState(const std::string& name)
{
    for (const TStateName& entry : kStateNames)
        if (name == entry.Name)
            return entry.State;
    return std::nullopt;
}

bool FinalState(TUnitState state)
{
    return state != TUnitState::Sending && state != TUnitState::Sent;
}

const char* ConfigCheckName(TConfigCheckKind kind)
{
    switch (kind) {
    case TConfigCheckKind::Kept: return "kept";
    case TConfigCheckKind::Changed: return "changed";
    case TConfigCheckKind::None: break;
    }
    return "none";
}

// ---- The settings ----

TRolloutSetting RolloutOfSettings(const TSettings& settings)
{
    TRolloutSetting rollout;
    rollout.First = settings.RolloutFirst;
    rollout.Wave = settings.RolloutWave;
    rollout.HaltAfter = settings.RolloutHaltAfter;
    rollout.SkipCurrent = settings.RolloutSkipCurrent;
    rollout.BackupFirst = settings.RolloutBackupFirst;
    rollout.Retries = settings.RolloutRetries;
    return rollout;
}

void KeepRolloutInSettings(const TRolloutSetting& rollout, TSettings& settings)
{
    settings.RolloutFirst = rollout.First;
    settings.RolloutWave = rollout.Wave;
    settings.RolloutHaltAfter = rollout.HaltAfter;
    settings.RolloutSkipCurrent = rollout.SkipCurrent;
    settings.RolloutBackupFirst = rollout.BackupFirst;
    settings.RolloutRetries = rollout.Retries;
}

// ---- Waves and halts ----

std::vector<TWave> RolloutWaves(const std::vector<bool>& eligible, int first, int wave, int jobs)
{
    const size_t size = static_cast<size_t>(std::max(1, wave > 0 ? wave : jobs));
    std::vector<TWave> waves;
    std::vector<size_t> riders;  // units that get no image, waiting for the next eligible one
    size_t firsts = 0, inWave = 0;
    for (size_t i = 0; i < eligible.size(); ++i) {
        if (!eligible[i]) {
            riders.push_back(i);
            continue;
        }
        if (firsts < static_cast<size_t>(std::max(first, 0))) {
            ++firsts;
            waves.push_back({{}, true});
            inWave = size;  // the next unit begins a wave of its own
        } else if (waves.empty() || waves.back().First || inWave >= size) {
            waves.push_back({{}, false});
            inWave = 0;
        }
        TWave& current = waves.back();
        current.Units.insert(current.Units.end(), riders.begin(), riders.end());
        riders.clear();
        current.Units.push_back(i);
        ++inWave;
    }
    if (!riders.empty()) {
        if (waves.empty())
            waves.push_back({{}, false});
        waves.back().Units.insert(waves.back().Units.end(), riders.begin(), riders.end());
    }
    return waves;
}

bool HaltsAfterWave(const TWave& wave, int failures, int haltAfter)
{
    if (failures <= 0)
        return false;
    if (wave.First)
        return true;
    return haltAfter > 0 && failures >= haltAfter;
}

std::string HaltLine(int failures, int units, int number)
{
    return Format(_("Halted: %d of %d failed in wave %d"), failures, units, number);
}

// ---- Units already current ----

void TCurrentRevisions::Learn(const TUnitKind& kind, const std::string& revision)
{
    const std::string told = Trimmed(revision);
    if (!kind.Known() || told.empty())
        return;
    std::lock_guard<std::mutex> guard(Lock);
    Learnt.emplace(kind, told);  // the first of a kind stays
}

std::optional<std::string> TCurrentRevisions::Current(const TUnitKind& kind) const
{
    std::lock_guard<std::mutex> guard(Lock);
    if (kind.Known()) {
        const auto found = Learnt.find(kind);
        if (found != Learnt.end())
            return found->second;
    }
    const std::string typed = Trimmed(Typed);
    if (typed.empty())
        return std::nullopt;
    return typed;
}

std::optional<std::string> SkipReason(const TCurrentRevisions& revisions, const TUnitKind& kind,
                                      const std::string& reportedRevision)
{
    const std::string reported = Trimmed(reportedRevision);
    if (reported.empty())
        return std::nullopt;
    const std::optional<std::string> current = revisions.Current(kind);
    if (!current || *current != reported)
        return std::nullopt;
    return Format(_("Already at %s"), SafeText(reported).c_str());
}

// ---- What the image will reach ----

TKindsLine KindsLine(const std::vector<TUnitKind>& kinds)
{
    struct TGroup {
        TUnitKind Kind;
        int Count = 0;
    };
    std::vector<TGroup> groups;  // in list order of each kind's first unit
    for (const TUnitKind& kind : kinds) {
        auto same = std::find_if(groups.begin(), groups.end(), [&kind](const TGroup& group) {
            return kind.Known() ? group.Kind == kind : !group.Kind.Known();
        });
        if (same == groups.end())
            same = groups.insert(groups.end(), {kind, 0});
        ++same->Count;
    }
    std::stable_sort(groups.begin(), groups.end(),
                     [](const TGroup& a, const TGroup& b) { return a.Count > b.Count; });
    std::string list;
    for (const TGroup& group : groups) {
        std::string name;
        if (!group.Kind.Known())
            name = _("unknown kind");
        else if (!group.Kind.TypeName.empty())
            name = SafeText(group.Kind.TypeName);
        else
            name = SafeText(group.Kind.Family) + " " + std::to_string(group.Kind.TypeCode);
        list += (list.empty() ? "" : ", ") + name + " \u00D7" + std::to_string(group.Count);
    }
    const int count = static_cast<int>(kinds.size());
    TKindsLine line;
    line.Text = Format(_n("%d device: %s", "%d devices: %s", static_cast<unsigned long>(count)), count, list.c_str());
    line.Mixed = groups.size() > 1;
    return line;
}

// ---- Retries ----

std::vector<int> RetryWaits()
{
    const std::vector<int> standard = {30, 60, 120};
    const char* env = std::getenv("PYXET_RETRY_SECONDS");
    if (!env)
        return standard;
    const std::string text = env;
    std::vector<int> waits;
    size_t from = 0;
    while (true) {
        const size_t comma = text.find(',', from);
        const std::string part = Trimmed(text.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (part.empty() || part.size() > 5 || part.find_first_not_of("0123456789") != std::string::npos)
            return standard;
        const int seconds = std::stoi(part);
        if (seconds > 86400)
            return standard;
        waits.push_back(seconds);
        if (comma == std::string::npos)
            return waits;
        from = comma + 1;
    }
}

int RetryWait(const std::vector<int>& waits, int round)
{
    if (waits.empty())
        return 0;
    return waits[std::min(static_cast<size_t>(std::max(round, 0)), waits.size() - 1)];
}

// ---- The journal ----

QByteArray JournalJson(const TUpgradeJournal& journal)
{
    QJsonObject image;
    image.insert(Key("path"), Text(journal.Image));
    image.insert(Key("size"), static_cast<double>(journal.ImageSize));
    image.insert(Key("sha256"), Text(journal.ImageSha256));
    const TRolloutSetting& r = journal.Rollout;
    QJsonObject settings;
    settings.insert(Key("first"), r.First);
    settings.insert(Key("wave"), r.Wave);
    settings.insert(Key("halt_after"), r.HaltAfter);
    settings.insert(Key("skip_current"), r.SkipCurrent);
    settings.insert(Key("image_revision"), Text(r.ImageRevision));
    settings.insert(Key("backup_first"), r.BackupFirst);
    settings.insert(Key("retries"), r.Retries);
    settings.insert(Key("jobs"), journal.Jobs);
    settings.insert(Key("verify_seconds"), journal.VerifySeconds);
    QJsonArray units;
    for (const TJournalUnit& unit : journal.Units) {
        QJsonObject u;
        u.insert(Key("mac"), Text(unit.MAC));
        u.insert(Key("family"), Text(unit.Family));
        u.insert(Key("type"), unit.TypeCode);
        u.insert(Key("type_name"), Text(unit.TypeName));
        u.insert(Key("name"), Text(unit.Name));
        u.insert(Key("address"), Text(unit.Address));
        u.insert(Key("revision_before"), Text(unit.RevisionBefore));
        u.insert(Key("state"), Key(UnitStateName(unit.State)));
        u.insert(Key("reason"), Text(unit.Reason));
        u.insert(Key("started"), TimeValue(unit.Started));
        u.insert(Key("ended"), TimeValue(unit.Ended));
        units.append(u);
    }
    QJsonObject top;
    top.insert(Key("journal"), Key(kJournalMark));
    top.insert(Key("version"), kJournalVersion);
    top.insert(Key("created"), TimeValue(journal.Created));
    top.insert(Key("image"), image);
    top.insert(Key("settings"), settings);
    top.insert(Key("units"), units);
    return QJsonDocument(top).toJson(QJsonDocument::Indented);
}

std::optional<TUpgradeJournal> ParseJournal(const QByteArray& json, std::string& error)
{
    error.clear();
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = Format(_("The file is not JSON: %s at byte %d."), parseError.errorString().toStdString().c_str(),
                       static_cast<int>(parseError.offset));
        return std::nullopt;
    }
    const QJsonObject top = document.object();
    if (!document.isObject() || top.value(Key("journal")).toString() != Key(kJournalMark)) {
        error = _("The file is not an upgrade journal.");
        return std::nullopt;
    }
    TJsonReader read(error);
    TUpgradeJournal journal;
    if (read.Integer(top, "", "version", 0, 1000000) != kJournalVersion) {
        if (read.Ok())
            error = Format(_("The journal's version %d is not one this Pyxet reads."),
                           static_cast<int>(top.value(Key("version")).toDouble()));
        return std::nullopt;
    }
    journal.Created = read.Time(top, "", "created");
    const QJsonObject image = read.Object(top, "", "image");
    journal.Image = read.String(image, "image", "path");
    journal.ImageSize = read.Integer(image, "image", "size", 0, int64_t(1) << 53);
    journal.ImageSha256 = read.String(image, "image", "sha256");
    if (read.Ok() && !IsHexDigest(journal.ImageSha256)) {
        error = _("The journal's image hash is not 64 hexadecimal digits.");
        return std::nullopt;
    }
    std::transform(journal.ImageSha256.begin(), journal.ImageSha256.end(), journal.ImageSha256.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const QJsonObject settings = read.Object(top, "", "settings");
    TRolloutSetting& r = journal.Rollout;
    r.First = static_cast<int>(read.Integer(settings, "settings", "first", 0, kMaxRolloutFirst));
    r.Wave = static_cast<int>(read.Integer(settings, "settings", "wave", 0, kMaxRolloutWave));
    r.HaltAfter = static_cast<int>(read.Integer(settings, "settings", "halt_after", 0, kMaxRolloutHalt));
    r.SkipCurrent = read.Bool(settings, "settings", "skip_current");
    r.ImageRevision = read.String(settings, "settings", "image_revision");
    r.BackupFirst = read.Bool(settings, "settings", "backup_first");
    r.Retries = static_cast<int>(read.Integer(settings, "settings", "retries", 0, kMaxRolloutRetries));
    journal.Jobs = static_cast<int>(read.Integer(settings, "settings", "jobs", 1, kMaxJobs));
    journal.VerifySeconds = static_cast<int>(read.Integer(settings, "settings", "verify_seconds", 0, kMaxVerifySeconds));
    const auto units = read.Field(top, "", "units");
    if (units && !units->isArray())
        read.Wrong("", "units");
    if (!read.Ok())
        return std::nullopt;
    const QJsonArray list = units->toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
        const std::string where = "units[" + std::to_string(i) + "]";
        if (!list.at(i).isObject()) {
            read.Wrong("", where.c_str());
            return std::nullopt;
        }
        const QJsonObject u = list.at(i).toObject();
        TJournalUnit unit;
        unit.MAC = read.String(u, where, "mac");
        unit.Family = read.String(u, where, "family");
        unit.TypeCode = static_cast<int>(read.Integer(u, where, "type", -1, 0x7FFFFFFF));
        unit.TypeName = read.String(u, where, "type_name");
        unit.Name = read.String(u, where, "name");
        unit.Address = read.String(u, where, "address");
        unit.RevisionBefore = read.String(u, where, "revision_before");
        const std::string state = read.String(u, where, "state");
        unit.Reason = read.String(u, where, "reason");
        unit.Started = read.Time(u, where, "started");
        unit.Ended = read.Time(u, where, "ended");
        if (!read.Ok())
            return std::nullopt;
        const std::optional<TUnitState> parsed = ParseUnitState(state);
        if (!parsed) {
            error = Format(_("The journal's unit %d has an unknown state \"%s\"."), static_cast<int>(i + 1),
                           SafeText(state).c_str());
            return std::nullopt;
        }
        unit.State = *parsed;
        journal.Units.push_back(std::move(unit));
    }
    return journal;
}

std::optional<TUpgradeJournal> ReadJournal(const std::string& path, std::string& error)
{
    int failure = 0;
    int64_t size = 0;
    TFd fd{OpenRegular(path, failure, size)};
    if (fd.Value < 0) {
        error = Format("%s: %s", path.c_str(), FileErrorText(failure).c_str());
        return std::nullopt;
    }
    if (size > kMaxJournalBytes) {
        error = Format(_("%s: the file is larger than %d MiB."), path.c_str(),
                       static_cast<int>(kMaxJournalBytes / (1024 * 1024)));
        return std::nullopt;
    }
    QByteArray data;
    char chunk[65536];
    while (true) {
        const ssize_t n = read(fd.Value, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = Format("%s: %s", path.c_str(), FileErrorText(errno).c_str());
            return std::nullopt;
        }
        if (n == 0)
            break;
        if (data.size() + n > kMaxJournalBytes) {  // it grew while read
            error = Format(_("%s: the file is larger than %d MiB."), path.c_str(),
                           static_cast<int>(kMaxJournalBytes / (1024 * 1024)));
            return std::nullopt;
        }
        data.append(chunk, n);
    }
    std::string why;
    std::optional<TUpgradeJournal> journal = ParseJournal(data, why);
    if (!journal)
        error = Format("%s: %s", path.c_str(), why.c_str());
    return journal;
}

std::string NewJournalName(const std::string& folder, int64_t now)
{
    // Named by the time as the history names its versions.
    const std::string stem = InFolder(folder, "upgrade-" + HistoryVersionName(now));
    std::string path = stem + ".json";
    struct stat st {};
    for (int n = 2; lstat(path.c_str(), &st) == 0; ++n)
        path = stem + "-" + std::to_string(n) + ".json";
    return path;
}

std::string LastJournal(const std::string& folder)
{
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.empty() ? "." : folder.c_str()), closedir);
    if (!dir)
        return {};
    std::optional<std::pair<std::string, long>> newest;
    std::string newestName;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        const auto parts = JournalNameParts(name);
        struct stat st {};
        if (!parts || stat(InFolder(folder, name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (!newest || *parts > *newest) {
            newest = parts;
            newestName = name;
        }
    }
    return newest ? InFolder(folder, newestName) : std::string();
}

bool HashImage(const std::string& path, int64_t& size, std::string& sha256, std::string& error)
{
    int failure = 0;
    int64_t statSize = 0;
    TFd fd{OpenRegular(path, failure, statSize)};
    if (fd.Value < 0) {
        error = FileErrorText(failure);
        return false;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::vector<char> chunk(1 << 20);
    int64_t total = 0;
    while (true) {
        const ssize_t n = read(fd.Value, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = FileErrorText(errno);
            return false;
        }
        if (n == 0)
            break;
        hash.addData(QByteArrayView(chunk.data(), n));
        total += n;
    }
    size = total;
    sha256 = hash.result().toHex().toStdString();
    error.clear();
    return true;
}

// ---- The journal's writer ----

TJournalWriter::TJournalWriter(std::string path, TUpgradeJournal journal)
    : File(std::move(path)), Journal(std::move(journal))
{
    std::unique_lock<std::mutex> guard(Lock);
    ++Changes;
    WriteLocked(guard);
}

bool TJournalWriter::Ok() const
{
    std::lock_guard<std::mutex> guard(Lock);
    return LastError.empty();
}

std::string TJournalWriter::Error() const
{
    std::lock_guard<std::mutex> guard(Lock);
    return LastError;
}

bool TJournalWriter::WriteLocked(std::unique_lock<std::mutex>& guard)
{
    // The newest state goes out in one write, with the lock free meanwhile: the changes other
    // threads make during it wait for the next write, which one of them makes for all.
    Writing = true;
    const uint64_t holds = Changes;
    const QByteArray text = JournalJson(Journal);
    guard.unlock();
    int failure = 0;
    const bool ok = WriteFileAtomically(File, std::string_view(text.constData(), size_t(text.size())), failure);
    guard.lock();
    Writing = false;
    Attempted = std::max(Attempted, holds);
    if (ok) {
        OnDisk = std::max(OnDisk, holds);
        LastError.clear();
    } else {
        LastError = Format("%s: %s", File.c_str(), FileErrorText(failure).c_str());
    }
    Written.notify_all();
    return ok;
}

bool TJournalWriter::Update(size_t index, TUnitState state, const std::string& reason, int64_t now)
{
    std::unique_lock<std::mutex> guard(Lock);
    if (index >= Journal.Units.size())
        return false;
    TJournalUnit& unit = Journal.Units[index];
    unit.State = state;
    unit.Reason = reason;
    if (state != TUnitState::NotStarted && unit.Started == 0)
        unit.Started = now;
    if (state != TUnitState::NotStarted && FinalState(state))
        unit.Ended = now;
    const uint64_t change = ++Changes;
    while (Attempted < change) {
        if (!Writing)
            WriteLocked(guard);
        else
            Written.wait(guard);
    }
    return OnDisk >= change;
}

void TJournalWriter::SetAddress(size_t index, const std::string& address)
{
    std::lock_guard<std::mutex> guard(Lock);
    if (index < Journal.Units.size())
        Journal.Units[index].Address = address;
}

TUpgradeJournal TJournalWriter::Snapshot() const
{
    std::lock_guard<std::mutex> guard(Lock);
    return Journal;
}

// ---- Resume ----

TResumeStep ResumeStepOf(const TJournalUnit& unit)
{
    switch (unit.State) {
    case TUnitState::NotStarted:
    case TUnitState::NotFound: return TResumeStep::Send;
    case TUnitState::Sent: return TResumeStep::Verify;
    case TUnitState::Sending: return TResumeStep::AskThenSend;
    case TUnitState::Verified:
    case TUnitState::Upgraded:
    case TUnitState::Skipped:
    case TUnitState::Refused:
    case TUnitState::Failed: break;
    }
    return TResumeStep::Done;
}

std::string ImageChangedRefusal(const TUpgradeJournal& journal)
{
    int64_t size = 0;
    std::string sha256, error;
    if (!HashImage(journal.Image, size, sha256, error))
        return Format(_("The image %s cannot be read: %s"), journal.Image.c_str(), error.c_str());
    if (size != journal.ImageSize || sha256 != journal.ImageSha256)
        return Format(_("The image %s has changed since the upgrade began; it is not resumed."), journal.Image.c_str());
    return {};
}

TUpgradeJournal NewJournal(const std::string& image, int64_t imageSize, const std::string& imageSha256,
                           const TRolloutSetting& rollout, int jobs, int verifySeconds,
                           std::vector<TJournalUnit> units, int64_t now)
{
    TUpgradeJournal journal;
    journal.Image = image;
    journal.ImageSize = imageSize;
    journal.ImageSha256 = imageSha256;
    journal.Rollout = rollout;
    journal.Jobs = jobs;
    journal.VerifySeconds = verifySeconds;
    journal.Created = now;
    for (TJournalUnit& unit : units) {
        unit.State = TUnitState::NotStarted;
        unit.Reason.clear();
        unit.Started = unit.Ended = 0;
    }
    journal.Units = std::move(units);
    return journal;
}
