// Plan files: reading the CSV, writing plan and undo files.
#include "core/setup/planfile.h"

#include "core/app/atomicfile.h"
#include "core/app/i18n.h"
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

std::string At(int line, int column, const std::string& text)
{
    if (column > 0)
        return Format(_("Line %d, column %d: %s"), line, column, text.c_str());
    return Format(_("Line %d: %s"), line, text.c_str());
}

// The length of the UTF-8 character starting at text[at], or 0 when none starts there.
size_t Utf8CharLength(std::string_view text, size_t at)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    uint32_t min = 0;
    uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, min = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, min = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, min = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (byte(at + k) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

// A CSV reader over the whole text, keeping the line and the column (in characters).
class TCsvReader {
public:
    TCsvReader(std::string_view text, char separator) : Text(text), Separator(separator) {}

    // The next record into fields and its first line; false at the end of the text or on an
    // error (then Error is set).
    bool Next(std::vector<std::string>& fields, int& line);
    std::optional<TPlanReadError> Error;

private:
    bool AtLineEnd() const { return Pos < Text.size() && (Text[Pos] == '\n' || Text[Pos] == '\r'); }
    void SkipLineEnd()
    {
        if (Text[Pos] == '\r' && Pos + 1 < Text.size() && Text[Pos + 1] == '\n')
            ++Pos;
        ++Pos;
        ++Line;
        Column = 1;
    }
    void Step()
    {
        Pos += std::max<size_t>(1, Utf8CharLength(Text, Pos));
        ++Column;
    }
    bool Fail(const char* translated)
    {
        Error = TPlanReadError{Line, Column, At(Line, Column, translated)};
        return false;
    }

    std::string_view Text;
    char Separator;
    size_t Pos = 0;
    int Line = 1;
    int Column = 1;
};

bool TCsvReader::Next(std::vector<std::string>& fields, int& line)
{
    fields.clear();
    if (Pos >= Text.size())
        return false;
    line = Line;
    std::string field;
    while (true) {
        field.clear();
        if (Pos < Text.size() && Text[Pos] == '"') {
            const int openLine = Line;
            const int openColumn = Column;
            Step();
            while (true) {
                if (Pos >= Text.size()) {
                    Error = TPlanReadError{openLine, openColumn,
                                           At(openLine, openColumn, _("a quoted field is not closed"))};
                    return false;
                }
                if (Text[Pos] == '"') {
                    if (Pos + 1 < Text.size() && Text[Pos + 1] == '"') {
                        field += '"';
                        Step();
                        Step();
                        continue;
                    }
                    Step();
                    break;
                }
                if (AtLineEnd()) {
                    const size_t start = Pos;
                    SkipLineEnd();
                    field.append(Text.substr(start, Pos - start));
                    continue;
                }
                const size_t start = Pos;
                Step();
                field.append(Text.substr(start, Pos - start));
            }
            if (Pos < Text.size() && Text[Pos] != Separator && !AtLineEnd())
                return Fail(_("text after the closing quote of a field"));
        } else {
            while (Pos < Text.size() && Text[Pos] != Separator && !AtLineEnd()) {
                if (Text[Pos] == '"')
                    return Fail(_("a quote inside a field that does not begin with one"));
                const size_t start = Pos;
                Step();
                field.append(Text.substr(start, Pos - start));
            }
        }
        fields.push_back(field);
        if (Pos < Text.size() && Text[Pos] == Separator) {
            Step();
            continue;
        }
        if (Pos < Text.size())
            SkipLineEnd();
        return true;
    }
}

// The first invalid byte of the text as a read error, or none.
std::optional<TPlanReadError> CheckUtf8(std::string_view text)
{
    int line = 1;
    int column = 1;
    for (size_t at = 0; at < text.size();) {
        const size_t length = Utf8CharLength(text, at);
        if (length == 0)
            return TPlanReadError{line, column, At(line, column, _("the text is not UTF-8"))};
        if (text[at] == '\n' || (text[at] == '\r' && (at + 1 == text.size() || text[at + 1] != '\n'))) {
            ++line;
            column = 1;
        } else if (text[at] != '\r') {
            ++column;
        }
        at += length;
    }
    return std::nullopt;
}

// ',' unless the header holds ';' and no ',' outside quotes.
char SeparatorOf(std::string_view text)
{
    bool quoted = false;
    int commas = 0;
    int semicolons = 0;
    for (const char c : text) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == '\n' || c == '\r'))
            break;
        else if (!quoted && c == ',')
            ++commas;
        else if (!quoted && c == ';')
            ++semicolons;
    }
    return semicolons > 0 && commas == 0 ? ';' : ',';
}

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
    if (const auto bad = CheckUtf8(bytes)) {
        error = *bad;
        return false;
    }
    TCsvReader reader(bytes, SeparatorOf(bytes));
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
                error = TPlanReadError{line, 0, At(line, 0, _("the plan has no MAC column"))};
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
        error = TPlanReadError{1, 0, At(1, 0, _("the plan has no MAC column"))};
        return false;
    }
    return true;
}

bool LoadPlanFile(const std::string& path, TPlanFile& file, TPlanReadError& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = TPlanReadError{0, 0, Format(_("Cannot read the file %s: %s"), SafeText(path).c_str(), SystemReason().c_str())};
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
