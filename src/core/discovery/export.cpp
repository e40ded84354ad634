// The device list as JSON and CSV.
#include "core/discovery/export.h"

#include "core/devices/utils.h"
#include "core/devices/family.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>

namespace {

// What an exported value is in JSON: a string, a number or true/false (CSV writes them alike).
enum class TKind { Text, Number, Flag };

// The exported columns besides the setup fields (which come from the setup field table), each
// with its value.
struct TOtherColumn {
    const char* Name;
    std::string (*Value)(const TExportDevice& d);
    TKind Kind;
};

std::string Flag(bool value) { return value ? "true" : "false"; }

const TOtherColumn kOtherColumns[] = {
    {"TypeCode", [](const TExportDevice& d) { return std::to_string(d.Info.TypeCode); }, TKind::Number},
    {"TypeName", [](const TExportDevice& d) { return d.Info.TypeName; }, TKind::Text},
    {"MAC", [](const TExportDevice& d) { return d.Info.MAC; }, TKind::Text},
    {"PeerIP", [](const TExportDevice& d) { return d.Info.PeerIP; }, TKind::Text},
    {"FirmwareRev", [](const TExportDevice& d) { return d.Info.FirmwareRev; }, TKind::Text},
    {"CanSetDefault", [](const TExportDevice& d) { return Flag(d.Info.CanSetDefault); }, TKind::Flag},
    {"CanRestart", [](const TExportDevice& d) { return Flag(d.Info.CanRestart); }, TKind::Flag},
    {"Family", [](const TExportDevice& d) { return d.Family; }, TKind::Text},
    {"Line", [](const TExportDevice& d) { return d.Line; }, TKind::Text},
    {"IPConflict", [](const TExportDevice& d) { return Flag(d.IPConflict); }, TKind::Flag},
};

// One field of an exported device, exact, and what it is in JSON.
struct TField {
    const std::string* Name;
    std::string Value;
    TKind Kind;
};

std::vector<TField> Fields(const TExportDevice& d)
{
    std::vector<TField> fields;
    for (const std::string& name : ExportFieldNames()) {
        const auto setup = std::find_if(SetupFields().begin(), SetupFields().end(),
                                        [&](const TSetupFieldDef& f) { return name == f.Key; });
        if (setup != SetupFields().end()) {
            fields.push_back(
                {&name, FieldValue(d.Info, setup->Id), IsNumberField(setup->Id) ? TKind::Number : TKind::Text});
            continue;
        }
        for (const TOtherColumn& column : kOtherColumns)
            if (name == column.Name)
                fields.push_back({&name, column.Value(d), column.Kind});
    }
    return fields;
}

QJsonObject JsonObject(const TExportDevice& device)
{
    QJsonObject object;
    for (const TField& f : Fields(device)) {
        const QString key = QString::fromStdString(*f.Name);
        switch (f.Kind) {
        case TKind::Text: object.insert(key, JsonText(f.Value)); break;
        case TKind::Number: object.insert(key, static_cast<qint64>(std::stoll(f.Value))); break;
        case TKind::Flag: object.insert(key, f.Value == "true"); break;
        }
    }
    return object;
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
    QJsonArray objects;
    for (const TExportDevice& device : devices)
        objects.append(JsonObject(device));
    return JsonLines(objects);
}

QJsonValue JsonText(const std::string& text)
{
    return QString::fromStdString(ValidUtf8(text));
}

std::string JsonLines(const QJsonArray& objects)
{
    if (objects.isEmpty())
        return "[]\n";
    std::string out = "[\n";
    for (qsizetype k = 0; k < objects.size(); ++k)
        out += "  " + QJsonDocument(objects[k].toObject()).toJson(QJsonDocument::Compact).toStdString()
               + (k + 1 < objects.size() ? ",\n" : "\n");
    return out + "]\n";
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
