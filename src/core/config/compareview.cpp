#include "core/config/compareview.h"

#include "core/app/i18n.h"
#include "core/config/configpath.h"
#include "core/log/format.h"

#include <map>
#include <set>

namespace {

// Each text and attribute value of a document by its path, in document order.
std::vector<std::pair<std::string, std::string>> Values(const TConfigDocument& doc)
{
    std::vector<std::pair<std::string, std::string>> values;
    if (doc.Ok)
        ForEachConfigPlace(doc.Root, [&](const std::string& path, const TConfigElement& element,
                                         const TConfigAttribute* attribute) {
            if (attribute)
                values.emplace_back(path, attribute->Value);
            else if (!element.Text.empty())
                values.emplace_back(path, element.Text);
        });
    return values;
}

}  // namespace

std::vector<TCompareRow> CompareRows(const TConfigDocument& left, const TConfigDocument& right,
                                     const std::vector<TConfigDifference>& differences, bool all)
{
    std::vector<TCompareRow> rows;
    if (all) {
        std::set<std::string> differing;
        for (const TConfigDifference& d : differences)
            differing.insert(d.Path);
        std::map<std::string, std::string> theirs;
        for (auto& [path, value] : Values(right))
            theirs.emplace(path, value);
        for (auto& [path, value] : Values(left)) {
            const auto other = theirs.find(path);
            if (other == theirs.end() || other->second != value || differing.count(path))
                continue;
            rows.push_back({{path, TDifferenceKind::Changed, value, value}, true});
        }
    }
    for (const TConfigDifference& d : differences)
        rows.push_back({d, false});
    return rows;
}

std::string CompareRowsText(const std::vector<TCompareRow>& rows)
{
    std::string text = std::string(_("Path")) + "\t" + _("Left") + "\t" + _("Right") + "\t" + _("Difference") + "\n";
    for (const TCompareRow& row : rows) {
        std::string what = row.Equal ? _("equal") : DifferenceKindText(row.Difference.Kind);
        if (row.Difference.Identity)
            what = Format(_("%s, identity"), what.c_str());
        text += row.Difference.Path + "\t" + row.Difference.Left + "\t" + row.Difference.Right + "\t" + what + "\n";
    }
    return text;
}

std::string DriftGroupTitle(const TDriftGroup& group)
{
    const unsigned long n = group.Devices.size();
    if (group.Differences.empty())
        return Format(_n("%lu matches", "%lu match", n), n);
    std::string paths;
    std::set<std::string> named;
    for (const TConfigDifference& d : group.Differences) {
        if (!named.insert(d.Path).second)
            continue;
        if (!paths.empty())
            paths += ", ";
        paths += d.Path;
    }
    return Format(_n("%lu differs in %s", "%lu differ in %s", n), n, paths.c_str());
}

std::string UnreadableTitle(size_t count)
{
    const unsigned long n = count;
    return Format(_n("%lu could not be read", "%lu could not be read", n), n);
}
