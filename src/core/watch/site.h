// A site file: the units that should be at a site, kept as CSV in the device list export's
// format (core/discovery/export.h) plus the columns Expected and Note. Actions -> "Save Site..."
// writes one, "Open Site..." and `pyxet-cli watch --site` / `check --site` read one back.
#pragma once
#include "core/discovery/export.h"
#include "core/watch/watch.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

// The largest site file read, and the most rows.
constexpr int64_t kMaxSiteBytes = 16 * 1024 * 1024;
constexpr int kMaxSiteRows = 100000;

// One unit of a site file.
struct TSiteUnit {
    TWatchAnswer Unit;      // MAC, family, name, address, firmware, type name as exported
    bool Expected = true;
    std::string Note;
    std::vector<std::string> Values;  // the record's export fields (ExportFieldNames' order; "" where none)
};

// Expected's value: "1", "0", "yes"/"no", "true"/"false" (any case, blanks aside); none otherwise.
std::optional<bool> ParseExpected(const std::string& text);

// The CSV of a site: the export's header and fields (ExportFieldNames, ExportValues), then
// Expected ("1" or "0") and Note; one record per unit, CRLF after each. `open`: the site open
// (none: empty). A device it lists keeps its Expected and Note ("1" and "" otherwise); a unit of
// it that is not among `devices` (it did not answer) stays as the site had it, after them.
// `records`: how many units were written.
std::string SiteCsv(const std::vector<TExportDevice>& devices, const std::vector<TSiteUnit>& open,
                    size_t* records = nullptr);

// Reads a site file: at most kMaxSiteBytes and kMaxSiteRows, RFC 4180 CSV with a header that
// names at least MAC and the family; refused (none) naming the line and why (translated)
// otherwise. A unit without a MAC that parses is refused naming its line.
std::optional<std::vector<TSiteUnit>> ReadSite(const std::string& path, std::string& error);

// The expected units of a site as the watch takes them.
std::vector<TWatchUnit> ExpectedUnits(const std::vector<TSiteUnit>& site);
