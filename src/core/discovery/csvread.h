// Reading CSV files that people edit (plan files, site files): RFC 4180 records, kept with the
// line and column (in characters) of each, and errors that name where the text is wrong.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Why a CSV text cannot be read.
struct TCsvReadError {
    int Line = 0;
    int Column = 0;       // character of the line (from 1), 0 when the whole line is meant
    std::string Message;  // translated, with the position
};

// "Line %d, column %d: %s" (column 0: "Line %d: %s"), translated.
std::string CsvAt(int line, int column, const std::string& text);

// A CSV reader over the whole text (quoted fields with doubled quotes and line breaks, CRLF or
// LF), keeping the line and the column (in characters).
class TCsvReader {
public:
    TCsvReader(std::string_view text, char separator) : Text(text), Separator(separator) {}

    // The next record into fields and its first line; false at the end of the text or on an
    // error (then Error is set).
    bool Next(std::vector<std::string>& fields, int& line);
    std::optional<TCsvReadError> Error;

private:
    bool AtLineEnd() const { return Pos < Text.size() && (Text[Pos] == '\n' || Text[Pos] == '\r'); }
    void SkipLineEnd();
    void Step();
    bool Fail(const char* translated);

    std::string_view Text;
    char Separator;
    size_t Pos = 0;
    int Line = 1;
    int Column = 1;
};

// The first byte that is not UTF-8 as a read error, or none.
std::optional<TCsvReadError> CheckCsvUtf8(std::string_view text);

// ',' unless the header holds ';' and no ',' outside quotes.
char CsvSeparatorOf(std::string_view text);
