// Reading CSV (RFC 4180) with the line and column of what is wrong.
#include "core/discovery/csvread.h"

#include "core/app/i18n.h"
#include "core/log/format.h"

#include <algorithm>
#include <cstdint>

namespace {

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

}  // namespace

std::string CsvAt(int line, int column, const std::string& text)
{
    if (column > 0)
        return Format(_("Line %d, column %d: %s"), line, column, text.c_str());
    return Format(_("Line %d: %s"), line, text.c_str());
}

void TCsvReader::SkipLineEnd()
{
    if (Text[Pos] == '\r' && Pos + 1 < Text.size() && Text[Pos + 1] == '\n')
        ++Pos;
    ++Pos;
    ++Line;
    Column = 1;
}

void TCsvReader::Step()
{
    Pos += std::max<size_t>(1, Utf8CharLength(Text, Pos));
    ++Column;
}

bool TCsvReader::Fail(const char* translated)
{
    Error = TCsvReadError{Line, Column, CsvAt(Line, Column, translated)};
    return false;
}

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
                    Error = TCsvReadError{openLine, openColumn,
                                           CsvAt(openLine, openColumn, _("a quoted field is not closed"))};
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
std::optional<TCsvReadError> CheckCsvUtf8(std::string_view text)
{
    int line = 1;
    int column = 1;
    for (size_t at = 0; at < text.size();) {
        const size_t length = Utf8CharLength(text, at);
        if (length == 0)
            return TCsvReadError{line, column, CsvAt(line, column, _("the text is not UTF-8"))};
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
char CsvSeparatorOf(std::string_view text)
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

