// The device list as JSON and CSV.
#include "core/discovery/export.h"

#include "core/devices/utils.h"
#include "core/devices/family.h"

#include <QFileInfo>

#include <algorithm>
#include <QString>

namespace {

// The exported columns besides the setup fields (which come from the setup field table), each
// with its value: a text, or a bare word (numbers and true/false, the same in both formats).
struct TOtherColumn {
    const char* Name;
    std::string (*Value)(const TExportDevice& d);
    bool Text;
};

std::string Flag(bool value) { return value ? "true" : "false"; }

const TOtherColumn kOtherColumns[] = {
    {"TypeCode", [](const TExportDevice& d) { return std::to_string(d.Info.TypeCode); }, false},
    {"TypeName", [](const TExportDevice& d) { return d.Info.TypeName; }, true},
    {"MAC", [](const TExportDevice& d) { return d.Info.MAC; }, true},
    {"PeerIP", [](const TExportDevice& d) { return d.Info.PeerIP; }, true},
    {"FirmwareRev", [](const TExportDevice& d) { return d.Info.FirmwareRev; }, true},
    {"CanSetDefault", [](const TExportDevice& d) { return Flag(d.Info.CanSetDefault); }, false},
    {"CanRestart", [](const TExportDevice& d) { return Flag(d.Info.CanRestart); }, false},
    {"Family", [](const TExportDevice& d) { return d.Family; }, true},
    {"Line", [](const TExportDevice& d) { return d.Line; }, true},
    {"IPConflict", [](const TExportDevice& d) { return Flag(d.IPConflict); }, false},
};

// One field of an exported device, exact, and whether it is a text.
struct TField {
    const std::string* Name;
    std::string Value;
    bool Text;
};

std::vector<TField> Fields(const TExportDevice& d)
{
    std::vector<TField> fields;
    for (const std::string& name : ExportFieldNames()) {
        const auto setup = std::find_if(SetupFields().begin(), SetupFields().end(),
                                        [&](const TSetupFieldDef& f) { return name == f.Key; });
        if (setup != SetupFields().end()) {
            fields.push_back({&name, FieldValue(d.Info, setup->Id), !IsNumberField(setup->Id)});
            continue;
        }
        for (const TOtherColumn& column : kOtherColumns)
            if (name == column.Name)
                fields.push_back({&name, column.Value(d), column.Text});
    }
    return fields;
}

std::string JsonObject(const TExportDevice& device)
{
    std::string out = "{";
    for (const TField& f : Fields(device)) {
        if (out.size() > 1)
            out += ", ";
        out += JsonString(*f.Name) + ": " + (f.Text ? JsonString(f.Value) : f.Value);
    }
    return out + "}";
}

std::string CsvRecord(const std::vector<std::string>& fields)
{
    std::string out;
    for (size_t k = 0; k < fields.size(); ++k)
        out += (k ? "," : "") + CsvField(fields[k]);
    return out + "\r\n";
}

}  // namespace

const std::vector<std::string>& ExportFieldNames()
{
    static const std::vector<std::string> kNames = {
        "TypeCode", "TypeName", "MAC",        "Name",       "PeerIP",        "IP",         "Mask",
        "Gateway",  "DNS1",     "DNS2",       "Dhcp",       "FirmwareRev",   "HTTPPort",   "TelnetPort",
        "CanSetDefault", "CanRestart", "Family", "Line", "IPConflict",
    };
    return kNames;
}

std::string FamilyName(const TProduct& device)
{
    return device.Family().Name;
}

std::vector<std::string> ExportValues(const TExportDevice& device)
{
    std::vector<std::string> values;
    for (TField& f : Fields(device))
        values.push_back(std::move(f.Value));
    return values;
}

std::vector<TExportDevice> ExportDevices(const std::vector<TDeviceRow>& rows, const TDeviceRegistry& registry)
{
    std::vector<TExportDevice> devices;
    devices.reserve(rows.size());
    for (const TDeviceRow& row : rows) {
        if (!row.Device)
            continue;
        devices.push_back({row.Device->CopyInfo(), FamilyName(*row.Device), row.Line,
                           registry.IpConflicts().InConflict(row.Device)});
    }
    return devices;
}

std::vector<TExportDevice> ExportDevices(const TDeviceRegistry& registry)
{
    std::vector<TDeviceRow> rows;
    rows.reserve(registry.DeviceList().size());
    for (const TDeviceEntry& entry : registry.DeviceList())
        rows.push_back({entry.Line, entry.Device.get()});
    return ExportDevices(rows, registry);
}

std::string FormatDeviceList(const std::vector<TExportDevice>& devices, TExportFormat format)
{
    std::string out;
    if (format == TExportFormat::Csv) {
        out = CsvRecord(ExportFieldNames());
        for (const TExportDevice& device : devices) {
            std::vector<std::string> values;
            for (TField& f : Fields(device))
                values.push_back(ValidUtf8(f.Value));
            out += CsvRecord(values);
        }
        return out;
    }
    if (devices.empty())
        return "[]\n";
    out = "[\n";
    for (size_t k = 0; k < devices.size(); ++k)
        out += "  " + JsonObject(devices[k]) + (k + 1 < devices.size() ? ",\n" : "\n");
    return out + "]\n";
}

std::string JsonString(const std::string& text)
{
    const std::string utf8 = ValidUtf8(text);
    std::string out = "\"";
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (u < 0x20 || u == 0x7F) {
                static const char kHex[] = "0123456789abcdef";
                out += "\\u00";
                out += kHex[u >> 4];
                out += kHex[u & 0x0F];
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string CsvField(const std::string& text)
{
    const bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote)
        return text;
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

TExportFormat ExportFormatOfType(int fileType)
{
    return fileType == 1 ? TExportFormat::Json : TExportFormat::Csv;
}

std::string ExportFileName(const std::string& typed, TExportFormat format)
{
    if (typed.empty() || !QFileInfo(QString::fromStdString(typed)).suffix().isEmpty())
        return typed;
    return typed + (format == TExportFormat::Json ? ".json" : ".csv");
}
