// The settings file "Pyxet.ini": loading at the first showing of the main window, saving at
// its close, and the comma text in which the product tables are stored.
#include "core/app/settings.h"

#include "core/app/folders.h"
#include "core/app/i18n.h"
#include "core/app/inifile.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"

#include <QCoreApplication>

#include <algorithm>
#include <optional>

// Each table is one text of code=name entries separated by single blanks, "+" for a blank in
// a name. Keep each on one line: scripts/make-images.sh reads the type names from here.
const char* const kBuiltInOrvexTable = "-1=Unknown 0=Orvex+Base 1=Orvex+IO+8 2=Orvex+IO+16 3=Orvex+Relay+4 4=Orvex+Thermo+2 20=Orvex+Gateway 32=Orvex+Sense+T 33=Orvex+Sense+TH 34=Orvex+Sense+THP 35=Orvex+Sense+CO2 36=Orvex+Meter+1 37=Orvex+Meter+3 38=Orvex+Power+4 39=Orvex+Power+8 128=Orvex+Loader";
const char* const kBuiltInHwgTable = "0=Unknown 2=Damocles+2404 3=Poseidon+2261 4=Poseidon+2251&62 10=Poseidon+1250 11=Poseidon+3262 12=Poseidon+3265 13=Poseidon+3264&66 14=Poseidon+3268 15=Damocles+MINI 16=Damocles+0808 23=Poseidon+SITEMON 24=Poseidon+3468 25=Poseidon+4001 26=Poseidon+4002 34=Poseidon+2250 40=Damocles+1208 65=Poseidon2+3266 66=Poseidon2+3268 67=Poseidon2+3468 68=Poseidon2+4002";

namespace {
constexpr const char* kFileName = "Pyxet.ini";

// Blanks and control characters separate entries, as do commas.
bool IsSeparatorBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Why a file that exists was not read, in the user's words; empty for reasons not told apart.
std::string NotReadReason(TIniFile::TLoadError why)
{
    if (why == TIniFile::TLoadError::TooLarge)
        return Format(_("The file is larger than %d MiB and cannot be read."),
                      static_cast<int>(TIniFile::kMaxFileSize / (1024 * 1024)));
    return {};
}
// A key goes into the file only once it differs from its default or the file has it.
bool WriteUnlessDefault(TIniFile& ini, const char* section, const char* key, const std::string& value,
                        const std::string& def)
{
    if (value == def && !ini.HasKey(section, key))
        return true;
    return ini.WriteString(section, key, value);
}

// The [Discovery] keys go into the file only when they say something: a file of someone who
// never changed them stays as it always was.
bool WriteDiscovery(TIniFile& ini, const TSettings& settings)
{
    auto write = [&ini](const char* key, const std::string& value, const std::string& def) {
        return WriteUnlessDefault(ini, "Discovery", key, value, def);
    };
    return write("Repeat", std::to_string(settings.Repeat), "1") && write("Interface", settings.Interface, "")
        && write("Targets", settings.Targets, "");
}

// The [Window] keys likewise: only a place the user chose, or the file held, is written, and a
// scheme other than the desktop's (or one the file held).
bool WriteWindow(TIniFile& ini, const TWindowPlace& place, TColourScheme scheme, const std::vector<int>& columns)
{
    if (!columns.empty() && !ini.WriteString("Window", "Columns", ColumnWidthsText(columns)))
        return false;
    if ((scheme != TColourScheme::System || ini.HasKey("Window", "Scheme"))
        && !ini.WriteString("Window", "Scheme", ColourSchemeName(scheme)))
        return false;
    if (!place.Kept())
        return true;
    return ini.WriteString("Window", "Left", std::to_string(place.Left))
        && ini.WriteString("Window", "Top", std::to_string(place.Top))
        && ini.WriteString("Window", "Width", std::to_string(place.Width))
        && ini.WriteString("Window", "Height", std::to_string(place.Height));
}

// A whole number within [low, high], or no value.
std::optional<int> WholeNumber(const std::string& text, int low, int high)
{
    size_t digits = (!text.empty() && text[0] == '-') ? 1 : 0;
    if (text.size() == digits || text.size() > digits + 6
        || text.find_first_not_of("0123456789", digits) != std::string::npos)
        return std::nullopt;
    const int value = std::stoi(text);
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

// [Compare] Preview the same way; [History] and [Compare] Identity stay as the file has them.
bool WriteCompare(TIniFile& ini, const TSettings& settings)
{
    if (settings.Preview && !ini.HasKey("Compare", "Preview"))
        return true;
    return ini.WriteString("Compare", "Preview", settings.Preview ? "True" : "False");
}

// The [Transfers] keys the same way; VerifySeconds stays as the file has it.
bool WriteTransfers(TIniFile& ini, const TSettings& settings)
{
    auto write = [&ini](const char* key, const std::string& value, const std::string& def) {
        return WriteUnlessDefault(ini, "Transfers", key, value, def);
    };
    return write("Jobs", std::to_string(settings.TransferJobs), "1")
        && write("Verify", settings.VerifyUpgrades ? "True" : "False", "False");
}

// The [Rollout] keys the same way.
bool WriteRollout(TIniFile& ini, const TSettings& settings)
{
    auto write = [&ini](const char* key, const std::string& value, const std::string& def) {
        return WriteUnlessDefault(ini, "Rollout", key, value, def);
    };
    auto flag = [](bool on) { return std::string(on ? "True" : "False"); };
    return write("First", std::to_string(settings.RolloutFirst), "0")
        && write("Wave", std::to_string(settings.RolloutWave), "0")
        && write("HaltAfter", std::to_string(settings.RolloutHaltAfter), "1")
        && write("SkipCurrent", flag(settings.RolloutSkipCurrent), "False")
        && write("BackupFirst", flag(settings.RolloutBackupFirst), "False")
        && write("Retries", std::to_string(settings.RolloutRetries), "0");
}

// A number of seconds kept within [low, high] (a large number: as long as allowed); anything
// but digits gives def.
int SecondsWithin(const std::string& text, int low, int high, int def)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return def;
    if (text.size() > 4)
        return high;
    return std::clamp(std::stoi(text), low, high);
}

// The [Watch] keys the same way.
bool WriteWatch(TIniFile& ini, const TSettings& settings)
{
    auto write = [&ini](const char* key, const std::string& value, const std::string& def) {
        return WriteUnlessDefault(ini, "Watch", key, value, def);
    };
    return write("Seconds", std::to_string(settings.WatchSeconds), "30")
        && write("Notify", settings.WatchNotify ? "True" : "False", "False") && write("Site", settings.WatchSite, "");
}
} // namespace

std::string ProgramFolder() { return ProgramFolders().AppDir; }

std::string SettingsFolder() { return ProgramFolders().ConfigDir; }

std::string SettingsPath(const std::string& appDir) { return appDir + kFileName; }

std::string DefaultLanguage(const std::string& environmentLanguage)
{
    return environmentLanguage.find("cs") != std::string::npos ? "cs" : "en";
}

bool ParseSettingsBool(const std::string& text, bool def)
{
    if (text == "True")
        return true;
    if (text == "False")
        return false;
    // A whole number: on unless it is zero (any number of digits, so no overflow to care about).
    std::size_t i = text.size() > 1 && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i >= text.size())
        return def;
    bool nonZero = false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return def;
        nonZero = nonZero || text[i] != '0';
    }
    return nonZero;
}

TProductTable SplitCommaText(const std::string& text)
{
    TProductTable entries;
    const std::size_t n = text.size();
    std::size_t p = 0;
    while (p < n && IsSeparatorBlank(text[p]))
        ++p;
    while (p < n) {
        std::string entry;
        if (text[p] == '"') {
            // Runs to the matching quote; a doubled quote inside stands for one. An unclosed
            // quote runs to the end of the text.
            ++p;
            while (p < n) {
                if (text[p] == '"') {
                    if (p + 1 < n && text[p + 1] == '"') {
                        entry += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                entry += text[p++];
            }
        } else {
            const std::size_t start = p;
            while (p < n && !IsSeparatorBlank(text[p]) && text[p] != ',')
                ++p;
            entry = text.substr(start, p - start);
        }
        entries.push_back(std::move(entry));
        while (p < n && IsSeparatorBlank(text[p]))
            ++p;
        if (p < n && text[p] == ',') {
            // A comma at the very end still ends an (empty) entry.
            if (p + 1 == n)
                entries.emplace_back();
            do
                ++p;
            while (p < n && IsSeparatorBlank(text[p]));
        }
    }
    return entries;
}

std::string JoinCommaText(const TProductTable& entries)
{
    // A single empty entry is written as "" so that it reads back as one entry, not none.
    if (entries.size() == 1 && entries[0].empty())
        return "\"\"";
    std::string text;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& entry = entries[i];
        bool quote = false;
        for (char c : entry)
            quote = quote || IsSeparatorBlank(c) || c == ',' || c == '"';
        if (i > 0)
            text += ',';
        if (!quote) {
            text += entry;
            continue;
        }
        text += '"';
        for (char c : entry) {
            if (c == '"')
                text += '"';
            text += c;
        }
        text += '"';
    }
    return text;
}

void LoadSettings(const std::string& appDir, TSettings& settings)
{
    LogAction(_("Load Config"), Format(_("Loading config from %s"), kFileName), LOG_DEBUG);
    const std::string path = SettingsPath(appDir);
    // What a save killed midway left behind goes now; the file itself was never touched.
    TIniFile::RemoveStaleTemporaries(path);
    TIniFile ini;
    TIniFile::TLoadError why = TIniFile::TLoadError::None;
    // A missing or unreadable file: every value its default. A file too large to read is
    // worth a word, since the user's values in it are not applied.
    if (!ini.Load(path, nullptr, &why)) {
        const std::string reason = NotReadReason(why);
        if (!reason.empty())
            LogAction(_("Load Config"), Format("%s: %s", path.c_str(), reason.c_str()), LOG_ERROR);
    }
    settings.TimeStamps = ParseSettingsBool(ini.ReadString("Logs", "Time", ""), true);
    settings.Language = ini.ReadString("Setup", "Lang", DefaultLanguage(EnvironmentLanguage()));
    settings.OrvexProducts = SplitCommaText(ini.ReadString("Products", "Orvex", kBuiltInOrvexTable));
    settings.HwgProducts = SplitCommaText(ini.ReadString("Products", "HWG", kBuiltInHwgTable));
    settings.Repeat = ParseRepeat(ini.ReadString("Discovery", "Repeat", ""));
    settings.Interface = ini.ReadString("Discovery", "Interface", "");
    settings.Targets = ini.ReadString("Discovery", "Targets", "");
    settings.Window = ParseWindowPlace(ini.ReadString("Window", "Left", ""), ini.ReadString("Window", "Top", ""),
                                       ini.ReadString("Window", "Width", ""), ini.ReadString("Window", "Height", ""));
    settings.Scheme = ParseColourScheme(ini.ReadString("Window", "Scheme", ""));
    settings.Columns = ParseColumnWidths(ini.ReadString("Window", "Columns", ""));
    settings.TransferJobs = ParseTransferJobs(ini.ReadString("Transfers", "Jobs", ""));
    settings.VerifyUpgrades = ParseSettingsBool(ini.ReadString("Transfers", "Verify", ""), false);
    settings.VerifySeconds = ParseVerifySeconds(ini.ReadString("Transfers", "VerifySeconds", ""));
    settings.RolloutFirst = ParseRolloutCount(ini.ReadString("Rollout", "First", ""), kMaxRolloutFirst, 0);
    settings.RolloutWave = ParseRolloutCount(ini.ReadString("Rollout", "Wave", ""), kMaxRolloutWave, 0);
    settings.RolloutHaltAfter = ParseRolloutCount(ini.ReadString("Rollout", "HaltAfter", ""), kMaxRolloutHalt, 1);
    settings.RolloutSkipCurrent = ParseSettingsBool(ini.ReadString("Rollout", "SkipCurrent", ""), false);
    settings.RolloutBackupFirst = ParseSettingsBool(ini.ReadString("Rollout", "BackupFirst", ""), false);
    settings.RolloutRetries = ParseRolloutCount(ini.ReadString("Rollout", "Retries", ""), kMaxRolloutRetries, 0);
    settings.WatchSeconds = ParseWatchSeconds(ini.ReadString("Watch", "Seconds", ""));
    settings.WatchNotify = ParseSettingsBool(ini.ReadString("Watch", "Notify", ""), false);
    settings.WatchSite = ini.ReadString("Watch", "Site", "");
    settings.HistoryFolder = ini.ReadString("History", "Folder", "");
    settings.HistoryKeep = ParseHistoryKeep(ini.ReadString("History", "Keep", ""));
    settings.IdentityPaths = ParseIdentityPaths(ini.ReadString("Compare", "Identity", ""));
    settings.Preview = ParseSettingsBool(ini.ReadString("Compare", "Preview", ""), true);
}

TWindowPlace ParseWindowPlace(const std::string& left, const std::string& top, const std::string& width,
                              const std::string& height)
{
    constexpr int kFar = 100000;
    const auto l = WholeNumber(left, -kFar, kFar), t = WholeNumber(top, -kFar, kFar);
    const auto w = WholeNumber(width, 1, kFar), h = WholeNumber(height, 1, kFar);
    if (!l || !t || !w || !h)
        return {};
    return {*l, *t, *w, *h};
}

std::vector<int> ParseColumnWidths(const std::string& text)
{
    std::vector<int> widths;
    size_t from = 0;
    while (widths.size() < kMostColumns) {
        const size_t comma = text.find(',', from);
        std::string part = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        const size_t first = part.find_first_not_of(" \t");
        const size_t last = part.find_last_not_of(" \t");
        part = first == std::string::npos ? std::string() : part.substr(first, last - first + 1);
        const std::optional<int> width = WholeNumber(part, 1, 10000);
        if (!width)
            return {};
        widths.push_back(*width);
        if (comma == std::string::npos)
            return widths;
        from = comma + 1;
    }
    return {};  // more than kMostColumns
}

std::string ColumnWidthsText(const std::vector<int>& widths)
{
    std::string text;
    for (const int width : widths)
        text += (text.empty() ? "" : ",") + std::to_string(width);
    return text;
}

TColourScheme ParseColourScheme(const std::string& text)
{
    for (const TColourScheme scheme : {TColourScheme::Light, TColourScheme::Dark})
        if (QString::fromStdString(text).compare(QLatin1String(ColourSchemeName(scheme)), Qt::CaseInsensitive) == 0)
            return scheme;
    return TColourScheme::System;
}

const char* ColourSchemeName(TColourScheme scheme)
{
    switch (scheme) {
    case TColourScheme::Light: return "Light";
    case TColourScheme::Dark: return "Dark";
    case TColourScheme::System: break;
    }
    return "System";
}

int ParseTransferJobs(const std::string& text)
{
    for (const char* jobs : {"1", "2", "4", "8", "16"})
        if (text == jobs)
            return std::stoi(text);
    return 1;
}

int ParseVerifySeconds(const std::string& text) { return SecondsWithin(text, 10, 3600, 120); }

int ParseWatchSeconds(const std::string& text) { return SecondsWithin(text, 5, 3600, 30); }

int ParseRepeat(const std::string& text)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return 1;
    if (text.size() > 3)
        return 5;  // a large number: as many as allowed
    return std::clamp(std::stoi(text), 1, 5);
}

bool SaveSettings(const std::string& appDir, const TSettings& settings, std::string* error)
{
    LogAction(_("Save Config"), Format(_("Saving config to %s"), kFileName), LOG_DEBUG);
    const std::string path = SettingsPath(appDir);
    TIniFile ini;
    TIniFile::TLoadError why = TIniFile::TLoadError::None;
    // The file is read again now so that whatever else it holds is kept; a file that exists
    // but cannot be read is not replaced by one that holds only our keys.
    const bool ok = ini.Load(path, nullptr, &why)
        && ini.WriteString("Logs", "Time", settings.TimeStamps ? "True" : "False")
        && ini.WriteString("Setup", "Lang", settings.Language)
        && ini.WriteString("Products", "Orvex", JoinCommaText(settings.OrvexProducts))
        && ini.WriteString("Products", "HWG", JoinCommaText(settings.HwgProducts))
        && WriteDiscovery(ini, settings)
        && WriteWindow(ini, settings.Window, settings.Scheme, settings.Columns)
        && WriteTransfers(ini, settings) && WriteRollout(ini, settings) && WriteCompare(ini, settings)
        && WriteWatch(ini, settings)
        && ini.Save(path);
    if (!ok && error) {
        *error = Format(_("Unable to write to %s"), path.c_str());
        const std::string reason = NotReadReason(why);
        if (!reason.empty())
            *error += "\n" + reason;
    }
    return ok;
}

std::string DataFolder() { return ProgramFolders().DataDir; }

std::vector<std::string> ParseIdentityPaths(const std::string& text)
{
    std::vector<std::string> paths;
    size_t from = 0;
    while (from <= text.size()) {
        size_t comma = text.find(',', from);
        if (comma == std::string::npos)
            comma = text.size();
        size_t begin = from, end = comma;
        while (begin < end && IsSeparatorBlank(text[begin]))
            ++begin;
        while (end > begin && IsSeparatorBlank(text[end - 1]))
            --end;
        if (end > begin)
            paths.push_back(text.substr(begin, end - begin));
        from = comma + 1;
    }
    return paths;
}

int ParseRolloutCount(const std::string& text, int most, int def)
{
    return WholeNumber(text, 0, most).value_or(def);
}

int ParseHistoryKeep(const std::string& text)
{
    return WholeNumber(text, 1, kMostHistoryKeep).value_or(50);
}
