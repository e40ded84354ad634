// The device list as data for other programs: `pyxet-cli find --json` and `--csv` print it, and
// Utilities -> "Export Device List..." writes it to a file, all through FormatDeviceList. Each
// device is one JSON object or one CSV record with the same fields (in JSON in alphabetical order
// of their keys, in CSV in the order of ExportFieldNames).
#pragma once
#include "core/devices/listview.h"
#include "core/devices/product.h"
#include "core/devices/registry.h"

#include <QJsonArray>
#include <QJsonValue>

#include <string>
#include <vector>

// One device as it is exported: its record, its family ("Orvex", "HWG"), its display line and
// whether it shares its configured address with a device of another MAC.
struct TExportDevice {
    TProductInfo Info;
    std::string Family;
    std::string Line;
    bool IPConflict = false;
};

enum class TExportFormat {
    Json,  // an array of objects, one a line (JsonLines): "[\n  {...},\n  {...}\n]\n"; "[]\n" when empty
    Csv,   // RFC 4180: a header row of the field names, one record a device, CRLF after each
};

// The names of the exported fields, in their order: the JSON keys and the CSV header.
const std::vector<std::string>& ExportFieldNames();

// A device's values in the order of ExportFieldNames(), exact: device texts as they are held
// (FormatDeviceList mends the ones that are not UTF-8), numbers in decimal, flags true or false.
std::vector<std::string> ExportValues(const TExportDevice& device);

// The name of the device's family (TFamily::Name): "Orvex", "HWG"; "" for a device of none.
std::string FamilyName(const TProduct& device);

// The rows given (a view's rows, or DeviceList), in their order, with the registry's conflict marks.
std::vector<TExportDevice> ExportDevices(const std::vector<TDeviceRow>& rows, const TDeviceRegistry& registry);
// Every device of DeviceList, in list order.
std::vector<TExportDevice> ExportDevices(const TDeviceRegistry& registry);

// The devices in the format. Texts that are not UTF-8 are mended (U+FFFD), so the output is
// always valid UTF-8, valid JSON and one CSV record per device.
std::string FormatDeviceList(const std::vector<TExportDevice>& devices, TExportFormat format);

// A device text as a JSON string: bytes that are not UTF-8 turned into U+FFFD.
QJsonValue JsonText(const std::string& text);

// A JSON array of objects, one object a line: "[\n  {...},\n  {...}\n]\n"; "[]\n" when empty.
// Each object is written compact, its keys in alphabetical order (as QJsonObject keeps them).
std::string JsonLines(const QJsonArray& objects);

// One CSV field (RFC 4180): quoted, with its quotes doubled, when it holds a comma, a quote, a
// line break or blanks at either end (which some readers would trim); bare otherwise.
std::string CsvField(const std::string& text);

// The file type chosen in the export dialog ("CSV file|*.csv|JSON file|*.json": 0 or 1).
TExportFormat ExportFormatOfType(int fileType);
// The name to write: as typed, with the chosen type's extension added when it has none.
std::string ExportFileName(const std::string& typed, TExportFormat format);
