// The device list as JSON and CSV.
#include "core/discovery/export.h"

#include "core/devices/utils.h"
#include "core/devices/family.h"

#include <QFileInfo>
#include <QString>

namespace {

// One field of an exported device: a text (quoted in JSON, quoted when needed in CSV) or a bare
// word (numbers and true/false, the same in both formats).
struct TField {
    const std::string* Name;
    std::string Value;
    bool Text;
};

std::vector<TField> Fields(const TExportDevice& d)
{
    const std::vector<std::string>& n = ExportFieldNames();
    const TProductInfo& i = d.Info;
    auto text = [](const std::string& value) { return ValidUtf8(value); };
    auto flag = [](bool value) { return std::string(value ? "true" : "false"); };
    const std::vector<std::pair<std::string, bool>> values = {
        {std::to_string(i.TypeCode), false}, {text(i.TypeName), true},  {text(i.MAC), true},
        {text(i.Name), true},                {text(i.PeerIP), true},    {text(i.IP), true},
        {text(i.Mask), true},                {text(i.Gateway), true},   {text(i.DNS1), true},
        {text(i.DNS2), true},                {std::to_string(i.Dhcp), false}, {text(i.FirmwareRev), true},
        {std::to_string(i.HTTPPort), false}, {std::to_string(i.TelnetPort), false},
        {flag(i.CanSetDefault), false},      {flag(i.CanRestart), false},
        {text(d.Family), true},              {text(d.Line), true},      {flag(d.IPConflict), false},
    };
    std::vector<TField> fields;
    for (size_t k = 0; k < values.size(); ++k)
        fields.push_back({&n[k], values[k].first, values[k].second});
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
                values.push_back(std::move(f.Value));
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
