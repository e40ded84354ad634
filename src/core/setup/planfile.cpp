// Plan files: reading the CSV, writing plan and undo files.
#include "core/setup/planfile.h"

#include "core/app/atomicfile.h"
#include "core/app/i18n.h"
#include "core/discovery/csvread.h"
#include "core/discovery/export.h"
#include "core/devices/registry.h"
#include "core/devices/utils.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/log/safetext.h"
#include "core/setup/addressrule.h"
#include "core/setup/fields.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool SameName(const std::string& header, const char* name)
{
    return QString::fromStdString(TrimBlanks(header)).compare(QString::fromLatin1(name), Qt::CaseInsensitive) == 0;
}

bool AllEmpty(const std::vector<std::string>& fields)
{
    return std::all_of(fields.begin(), fields.end(), [](const std::string& f) { return f.empty(); });
}

std::string FormatRows(const std::vector<std::pair<const TProduct*, const TProductInfo*>>& devices)
{
    const std::vector<std::string>& names = ExportFieldNames();
    std::string out;
    for (size_t k = 0; k < names.size(); ++k)
        out += (k ? "," : "") + CsvField(names[k]);
    out += "\r\n";
    for (const auto& [device, info] : devices) {
        // The values as given (an undo file's are those before the plan), the family of the device.
        const TExportDevice exported{*info, FamilyName(*device), TDeviceRegistry::DisplayLine(*info), false};
        const std::vector<std::string> values = ExportValues(exported);
        for (size_t k = 0; k < values.size(); ++k)
            out += (k ? "," : "") + CsvField(ValidUtf8(values[k]));
        out += "\r\n";
    }
    return out;
}

std::string SystemReason() { return std::strerror(errno); }

}  // namespace

bool ReadPlanFile(std::string_view bytes, TPlanFile& file, TPlanReadError& error)
{
    file = TPlanFile{};
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    if (const auto bad = CheckCsvUtf8(bytes)) {
        error = *bad;
        return false;
    }
    TCsvReader reader(bytes, CsvSeparatorOf(bytes));
    std::vector<std::string> fields;
    int line = 0;
    bool haveHeader = false;
    int macColumn = -1;
    int familyColumn = -1;
    std::array<int, kSetupFieldCount> valueColumns;
    valueColumns.fill(-1);
    while (reader.Next(fields, line)) {
        if (AllEmpty(fields))
            continue;
        if (!haveHeader) {
            haveHeader = true;
            for (size_t k = fields.size(); k-- > 0;) {  // the first of two equal names counts
                if (SameName(fields[k], "MAC"))
                    macColumn = static_cast<int>(k);
                if (SameName(fields[k], "Family"))
                    familyColumn = static_cast<int>(k);
                for (size_t f = 0; f < kSetupFieldCount; ++f)
                    if (SameName(fields[k], FieldKey(static_cast<TSetupField>(f))))
                        valueColumns[f] = static_cast<int>(k);
            }
            if (macColumn < 0) {
                error = TPlanReadError{line, 0, CsvAt(line, 0, _("the plan has no MAC column"))};
                return false;
            }
            continue;
        }
        const auto cell = [&](int column) {
            return column >= 0 && static_cast<size_t>(column) < fields.size() ? fields[column] : std::string();
        };
        TPlanRow row;
        row.Line = line;
        row.MacText = cell(macColumn);
        row.MacColumn = macColumn + 1;
        row.MacValid = ParseMac(row.MacText, row.Mac.data()) == 0;
        row.Family = TrimBlanks(cell(familyColumn));
        for (size_t f = 0; f < kSetupFieldCount; ++f)
            if (valueColumns[f] >= 0)
                row.Cells[f] = TPlanCell{cell(valueColumns[f]), valueColumns[f] + 1};
        file.Rows.push_back(std::move(row));
    }
    if (reader.Error) {
        error = *reader.Error;
        return false;
    }
    if (!haveHeader) {
        error = TPlanReadError{1, 0, CsvAt(1, 0, _("the plan has no MAC column"))};
        return false;
    }
    return true;
}

bool LoadPlanFile(const std::string& path, TPlanFile& file, TPlanReadError& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = TPlanReadError{
            0, 0, Format(_("Cannot read the file %s: %s"), SafeText(path).c_str(), SystemReason().c_str())};
        return false;
    }
    std::string bytes;
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, static_cast<size_t>(got));
    const bool failed = got < 0;
    const std::string reason = failed ? SystemReason() : std::string();
    ::close(fd);
    if (failed) {
        error = TPlanReadError{0, 0, Format(_("Cannot read the file %s: %s"), SafeText(path).c_str(), reason.c_str())};
        return false;
    }
    return ReadPlanFile(bytes, file, error);
}

std::string FormatPlanFile(const std::vector<const TProduct*>& devices)
{
    std::vector<std::pair<const TProduct*, const TProductInfo*>> rows;
    for (const TProduct* device : devices)
        if (device)
            rows.push_back({device, &device->Info});
    return FormatRows(rows);
}

std::string FormatPlan(const TPlan& plan)
{
    std::vector<TProductInfo> after;
    after.reserve(plan.Devices.size());
    for (const TDevicePlan& d : plan.Devices)
        after.push_back(d.After());
    std::vector<std::pair<const TProduct*, const TProductInfo*>> rows;
    for (size_t k = 0; k < plan.Devices.size(); ++k)
        rows.push_back({plan.Devices[k].Device, &after[k]});
    return FormatRows(rows);
}

std::string FormatUndoFile(const TPlan& plan)
{
    std::vector<std::pair<const TProduct*, const TProductInfo*>> rows;
    for (const TDevicePlan& d : plan.Devices)
        if (d.Changes())
            rows.push_back({d.Device, &d.Before});
    return FormatRows(rows);
}

std::string UndoFileName(const std::string& folder, std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    char name[64];
    std::strftime(name, sizeof name, "undo-%Y%m%d-%H%M%S.csv", &local);
    return folder + "/" + name;
}

bool WriteNewFile(const std::string& path, const std::string& text, std::string& error)
{
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
        ::mkdir(path.substr(0, slash).c_str(), 0777);  // one level, as the backups do
    // A new file only: a name taken meanwhile fails at the very end.
    int reason = 0;
    if (WriteFileAtomically(path, text, reason, TExistingFile::Keep))
        return true;
    error = Format(_("Cannot write the file %s: %s"), SafeText(path).c_str(), FileErrorText(reason).c_str());
    return false;
}

bool WriteUndoFile(const TPlan& plan, const std::string& folder, std::time_t when, std::string& path,
                   std::string& error)
{
    path = UndoFileName(folder, when);
    return WriteNewFile(path, FormatUndoFile(plan), error);
}

void LogUndoFile(const std::string& path)
{
    LogAction(_("Set Up Devices"), Format(_("The values before the plan were written to %s."), SafeText(path).c_str()),
              LOG_INFO);
}
