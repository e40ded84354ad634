// Plan files: the device list as "Export Device List..." and pyxet-cli find --csv write it
// (FormatDeviceList), edited and read back as a plan. Rows are matched to the devices found by
// their MAC column; the columns Name, IP, Mask, Gateway, DNS1, DNS2, Dhcp, HTTPPort and
// TelnetPort give values, every other column is ignored. Undo files are plan files too: the
// values of the devices a plan changes, as they were before it, written before anything is sent.
#pragma once
#include "core/discovery/csvread.h"
#include "core/setup/plan.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One cell of a value column, with where it stands.
struct TPlanCell {
    std::string Text;  // exact
    int Column = 0;    // from 1
};

// One row of a plan file.
struct TPlanRow {
    int Line = 0;         // where the record starts, from 1
    std::string MacText;  // as written
    int MacColumn = 0;
    bool MacValid = false;  // MacText is six bytes ParseMac takes
    std::array<uint8_t, 6> Mac{};
    std::string Family;  // "" when the file has no Family column or the cell is empty
    std::array<std::optional<TPlanCell>, kSetupFieldCount> Cells;  // by TSetupField; none without that column
};

struct TPlanFile {
    std::vector<TPlanRow> Rows;
};

// Why a file cannot be read: CSV syntax, text that is not UTF-8, no MAC column.
using TPlanReadError = TCsvReadError;

// Reads a plan file's bytes: RFC 4180 (quoted fields with doubled quotes and line breaks,
// CRLF or LF), a UTF-8 byte order mark skipped, the separator ',' or, when the header holds ';'
// and no ',', ';'. Header names are matched without regard to letter case or blanks at their
// ends; of two columns of one name the first counts, and the other is ignored like a column of
// no known name. Blank lines are skipped. Missing cells at a row's end count as empty.
bool ReadPlanFile(std::string_view bytes, TPlanFile& file, TPlanReadError& error);
// The same for a file on disk; a file that cannot be opened is an error of line 0.
bool LoadPlanFile(const std::string& path, TPlanFile& file, TPlanReadError& error);

// A plan file of the given devices' values as they are, in the export's columns: read back, it
// changes nothing; applied as an undo file, it sets every value back. Texts are written exactly,
// except bytes that are not UTF-8 (a plan file must be UTF-8 to be read): those are mended as
// the export mends them (U+FFFD), and the planner takes the mended text for the device's own.
std::string FormatPlanFile(const std::vector<const TProduct*>& devices);
// The plan itself as a plan file (pyxet-cli plan make): every device of the plan with the values
// it will have, the fields it is not sent as they are. Read back and applied, it gives those
// devices the same values; once they have them, it changes nothing.
std::string FormatPlan(const TPlan& plan);
// The undo file of a plan: the values before it of every device it changes, in plan order.
std::string FormatUndoFile(const TPlan& plan);

// folder + "/undo-YYYYMMDD-HHMMSS.csv" of the local time given.
std::string UndoFileName(const std::string& folder, std::time_t when);

// Writes the text as a new file through TAtomicFile, whole or not at all: an existing file of
// that name (or a link's existing target) is never replaced. The folder is created (one level)
// when missing. False with a translated reason when nothing was written.
bool WriteNewFile(const std::string& path, const std::string& text, std::string& error);

// Before a plan is sent: its undo file in the folder, named by the local time given. False (and
// the caller sends nothing) when it could not be written whole.
bool WriteUndoFile(const TPlan& plan, const std::string& folder, std::time_t when, std::string& path,
                   std::string& error);

// The log line that names a plan's undo file, once it is written and before anything is sent.
void LogUndoFile(const std::string& path);
