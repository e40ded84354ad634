// Site files: the export's CSV plus Expected and Note, written and read back.
#include "core/watch/site.h"

#include "core/app/i18n.h"
#include "core/devices/utils.h"
#include "core/discovery/csvread.h"
#include "core/log/format.h"
#include "core/log/safetext.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The column of the header that has the name (letter case and blanks aside; of two, the first),
// or -1.
int ColumnOf(const std::vector<std::string>& header, const char* name)
{
    for (size_t k = 0; k < header.size(); ++k)
        if (QString::fromStdString(Trimmed(header[k])).compare(QString::fromLatin1(name), Qt::CaseInsensitive) == 0)
            return static_cast<int>(k);
    return -1;
}

bool Refuse(std::string& error, int line, int column, const std::string& why)
{
    error = CsvAt(line, column, why);
    return false;
}

// The file's bytes, at most kMaxSiteBytes; false with the reason when it cannot be read whole.
bool ReadBytes(const std::string& path, std::string& bytes, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = Format(_("Cannot read the file %s: %s"), SafeText(path).c_str(), std::strerror(errno));
        return false;
    }
    char buffer[65536];
    ssize_t got = 0;
    while (static_cast<int64_t>(bytes.size()) <= kMaxSiteBytes && (got = ::read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, static_cast<size_t>(got));
    const int reason = errno;
    ::close(fd);
    if (got < 0) {
        error = Format(_("Cannot read the file %s: %s"), SafeText(path).c_str(), std::strerror(reason));
        return false;
    }
    if (static_cast<int64_t>(bytes.size()) > kMaxSiteBytes) {
        // The line the limit falls in.
        const auto within = bytes.begin() + kMaxSiteBytes;
        const int line = 1 + static_cast<int>(std::count(bytes.begin(), within, '\n'));
        return Refuse(error, line, 0,
                      Format(_("the site file is larger than %d MiB"), static_cast<int>(kMaxSiteBytes >> 20)));
    }
    return true;
}

bool ReadRows(std::string_view bytes, std::vector<TSiteUnit>& site, std::string& error)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    if (const auto bad = CheckCsvUtf8(bytes)) {
        error = bad->Message;
        return false;
    }
    TCsvReader reader(bytes, CsvSeparatorOf(bytes));
    std::vector<std::string> fields;
    int line = 0;
    bool haveHeader = false;
    int mac = -1, family = -1, name = -1, address = -1, firmware = -1, typeName = -1, expected = -1, note = -1;
    std::vector<int> exported;  // the column of each export field, -1 where the file has none
    while (reader.Next(fields, line)) {
        if (std::all_of(fields.begin(), fields.end(), [](const std::string& f) { return f.empty(); }))
            continue;
        if (!haveHeader) {
            haveHeader = true;
            mac = ColumnOf(fields, "MAC");
            family = ColumnOf(fields, "Family");
            name = ColumnOf(fields, "Name");
            address = ColumnOf(fields, "PeerIP");
            firmware = ColumnOf(fields, "FirmwareRev");
            typeName = ColumnOf(fields, "TypeName");
            expected = ColumnOf(fields, "Expected");
            note = ColumnOf(fields, "Note");
            for (const std::string& field : ExportFieldNames())
                exported.push_back(ColumnOf(fields, field.c_str()));
            if (mac < 0)
                return Refuse(error, line, 0, _("the site file has no MAC column"));
            if (family < 0)
                return Refuse(error, line, 0, _("the site file has no Family column"));
            continue;
        }
        if (site.size() >= static_cast<size_t>(kMaxSiteRows))
            return Refuse(error, line, 0,
                          Format(_n("the site file has more than %d device", "the site file has more than %d devices",
                                    kMaxSiteRows),
                                 kMaxSiteRows));
        const auto cell = [&](int column) {
            return column >= 0 && static_cast<size_t>(column) < fields.size() ? fields[column] : std::string();
        };
        TSiteUnit unit;
        unit.Unit.MAC = Trimmed(cell(mac));
        unit.Unit.Family = Trimmed(cell(family));
        unit.Unit.Name = cell(name);
        unit.Unit.Address = Trimmed(cell(address));
        unit.Unit.Firmware = cell(firmware);
        unit.Unit.TypeName = cell(typeName);
        unit.Note = cell(note);
        for (const int column : exported)
            unit.Values.push_back(cell(column));
        if (!MacKeyOf(unit.Unit.MAC))
            return Refuse(error, line, mac + 1,
                          Format(_("%s is not a MAC address"), SafeText(unit.Unit.MAC).c_str()));
        if (unit.Unit.Family.empty())
            return Refuse(error, line, family + 1, _("the family is empty"));
        if (expected >= 0) {
            const std::optional<bool> value = ParseExpected(cell(expected));
            if (!value)
                return Refuse(error, line, expected + 1,
                              Format(_("Expected is %s, not 1, 0, yes, no, true or false"),
                                     SafeText(cell(expected)).c_str()));
            unit.Expected = *value;
        }
        site.push_back(std::move(unit));
    }
    if (reader.Error) {
        error = reader.Error->Message;
        return false;
    }
    if (!haveHeader)
        return Refuse(error, 1, 0, _("the site file has no header"));
    return true;
}

}  // namespace

std::optional<bool> ParseExpected(const std::string& text)
{
    std::string value = Trimmed(text);
    std::transform(value.begin(), value.end(), value.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    if (value == "1" || value == "yes" || value == "true")
        return true;
    if (value == "0" || value == "no" || value == "false")
        return false;
    return std::nullopt;
}

std::string SiteCsv(const std::vector<TExportDevice>& devices, const std::vector<TSiteUnit>& open, size_t* records)
{
    const auto record = [](const std::vector<std::string>& fields, const std::string& expected, const std::string& note) {
        std::string out;
        for (const std::string& field : fields)
            out += CsvField(ValidUtf8(field)) + ",";
        return out + CsvField(expected) + "," + CsvField(ValidUtf8(note)) + "\r\n";
    };
    std::map<TWatchKey, const TSiteUnit*> listed;
    for (const TSiteUnit& unit : open)
        if (const auto key = WatchKeyOf(unit.Unit.MAC, unit.Unit.Family))
            listed.emplace(*key, &unit);
    std::string out = record(ExportFieldNames(), "Expected", "Note");
    std::map<TWatchKey, bool> written;
    size_t count = 0;
    for (const TExportDevice& device : devices) {
        const TSiteUnit* site = nullptr;
        if (const auto key = WatchKeyOf(device.Info.MAC, device.Family)) {
            written[*key] = true;
            if (const auto found = listed.find(*key); found != listed.end())
                site = found->second;
        }
        out += record(ExportValues(device), !site || site->Expected ? "1" : "0", site ? site->Note : std::string());
        ++count;
    }
    // The site's units that did not answer, as it has them.
    for (const TSiteUnit& unit : open) {
        const auto key = WatchKeyOf(unit.Unit.MAC, unit.Unit.Family);
        if (!key || !written.emplace(*key, true).second)
            continue;
        out += record(unit.Values, unit.Expected ? "1" : "0", unit.Note);
        ++count;
    }
    if (records)
        *records = count;
    return out;
}

std::optional<std::vector<TSiteUnit>> ReadSite(const std::string& path, std::string& error)
{
    std::string bytes;
    std::vector<TSiteUnit> site;
    if (!ReadBytes(path, bytes, error) || !ReadRows(bytes, site, error))
        return std::nullopt;
    return site;
}

std::vector<TWatchUnit> ExpectedUnits(const std::vector<TSiteUnit>& site)
{
    std::vector<TWatchUnit> units;
    for (const TSiteUnit& row : site) {
        const std::optional<TWatchKey> key = WatchKeyOf(row.Unit.MAC, row.Unit.Family);
        if (!row.Expected || !key)
            continue;
        TWatchUnit unit;
        unit.Key = *key;
        unit.Last = row.Unit;
        unit.Expected = true;
        unit.Note = row.Note;
        units.push_back(std::move(unit));
    }
    return units;
}
