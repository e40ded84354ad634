// What the device list shows.
#include "core/devices/listview.h"

#include "core/devices/utils.h"

#include <QString>

#include <algorithm>

std::optional<std::vector<TDeviceRow>> FilterRows(const std::vector<TDeviceEntry>& deviceList, int choice,
                                                  const std::string& type)
{
    if (choice <= 0)
        return std::nullopt;
    std::vector<TDeviceRow> rows;
    for (const TDeviceEntry& entry : deviceList)
        if (entry.Device->Info.TypeName == type)  // letter case counts here
            rows.push_back({entry.Line, entry.Device.get()});
    return rows;
}

std::string FiledName(const std::string& line, const TProductInfo& info)
{
    if (TDeviceRegistry::DisplayLine(info) == line)
        return info.Name;
    // The line with an empty name: where the name starts, and what follows its padding.
    TProductInfo unnamed = info;
    unnamed.Name.clear();
    const std::string blank = TDeviceRegistry::DisplayLine(unnamed);
    // After the type name padded to 20 characters and one blank.
    const size_t typeChars = Utf8Length(info.TypeName);
    const size_t start = info.TypeName.size() + (typeChars < 20 ? 20 - typeChars : 0) + 1;
    const size_t tail = blank.size() - (start + 28 + 1);                // the fields after the name
    if (line.size() < start + 1 + tail || line.compare(0, start, blank, 0, start) != 0
        || line.compare(line.size() - tail, tail, blank, blank.size() - tail, tail) != 0)
        return info.Name;
    std::string name = line.substr(start, line.size() - tail - 1 - start);
    name.erase(name.find_last_not_of(' ') + 1);  // the padding
    return name;
}

std::u16string SearchKey(const std::string& utf8)
{
    // Decomposed, a letter with an accent is the plain letter followed by combining marks:
    // dropping the marks leaves the letter. Folding afterwards also folds what the marks sat on.
    const QString decomposed =
        QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).normalized(QString::NormalizationForm_D);
    QString bare;
    bare.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            bare.append(c);
    const QString folded = bare.toCaseFolded();
    return std::u16string(reinterpret_cast<const char16_t*>(folded.utf16()), size_t(folded.size()));
}

namespace {

bool ContainsFolded(const std::string& field, const std::u16string& needle)
{
    // Most fields are plain ASCII: fold them here, without a QString per field.
    bool ascii = true;
    for (const char c : field)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (!ascii)
        return SearchKey(field).find(needle) != std::u16string::npos;
    if (field.size() < needle.size())
        return false;
    for (size_t start = 0; start + needle.size() <= field.size(); ++start) {
        size_t i = 0;
        while (i < needle.size()) {
            char c = field[start + i];
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
            if (char16_t(static_cast<unsigned char>(c)) != needle[i])
                break;
            ++i;
        }
        if (i == needle.size())
            return true;
    }
    return false;
}
} // namespace

TDeviceSearch::TDeviceSearch(const std::string& text) : Needle(SearchKey(text)) {}

bool TDeviceSearch::Matches(const TProductInfo& info) const
{
    if (Needle.empty())
        return true;
    for (const std::string* field : {&info.TypeName, &info.Name, &info.MAC, &info.PeerIP, &info.IP, &info.FirmwareRev})
        if (ContainsFolded(*field, Needle))
            return true;
    return false;
}

std::optional<std::vector<TDeviceRow>> FilterRows(const std::vector<TDeviceEntry>& deviceList, int choice,
                                                  const std::string& type, const TDeviceSearch& search)
{
    if (choice <= 0 && search.Empty())
        return std::nullopt;
    std::vector<TDeviceRow> rows;
    for (const TDeviceEntry& entry : deviceList) {
        const TProductInfo& info = entry.Device->Info;
        if ((choice <= 0 || info.TypeName == type) && search.Matches(info))
            rows.push_back({entry.Line, entry.Device.get()});
    }
    return rows;
}

bool NeedsFilterEntry(const std::vector<std::string>& entries, const std::string& type)
{
    // The same comparison as a combo box's fixed-string search: Unicode case folding.
    const QString wanted = QString::fromStdString(type);
    return std::none_of(entries.begin(), entries.end(), [&](const std::string& entry) {
        return QString::fromStdString(entry).compare(wanted, Qt::CaseInsensitive) == 0;
    });
}

TSortClick ColumnButtonClick(bool ascending, size_t deviceCount)
{
    if (deviceCount == 0)
        return {false, ascending};
    return {true, !ascending};
}

std::vector<TDeviceRow> SortedRows(const std::vector<TDeviceEntry>& deviceList, TDeviceComparator compare,
                                   bool ascending)
{
    std::vector<TDeviceRow> rows;
    rows.reserve(deviceList.size());
    for (const TDeviceEntry& entry : deviceList)
        rows.push_back({entry.Line, entry.Device.get()});
    std::stable_sort(rows.begin(), rows.end(), [&](const TDeviceRow& a, const TDeviceRow& b) {
        return compare(a.Device->Info, b.Device->Info, ascending) < 0;
    });
    return rows;
}

bool IsNewDeviceRow(const TDeviceRegistry& registry, const std::string& line)
{
    return !registry.PreviousList().empty() && !registry.InPreviousList(line);
}

TAllBoxState AllBoxState(int checked, int rows)
{
    if (checked == 0)
        return TAllBoxState::Unchecked;
    if (checked == rows)
        return TAllBoxState::Checked;
    return TAllBoxState::Partial;
}

TCheckCount RowCheckToggled(int checked, bool nowChecked, int rows)
{
    const int count = std::clamp(checked + (nowChecked ? 1 : -1), 0, std::max(rows, 0));
    return {count, AllBoxState(count, rows)};
}

std::optional<int> AllBoxChecks(TAllBoxState state, int rows)
{
    switch (state) {
    case TAllBoxState::Partial:
        return std::nullopt;
    case TAllBoxState::Checked:
        return rows;
    case TAllBoxState::Unchecked:
        break;
    }
    return 0;
}
