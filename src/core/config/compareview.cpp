#include "core/config/compareview.h"

#include "core/app/i18n.h"
#include "core/log/format.h"

#include <map>
#include <set>

namespace {

// Each text and attribute value of a document by a readable path, in document order. A repeated
// sibling is told apart by the first key attribute it carries, else by its place; the compare
// spells its own paths, so a value counts as held alike only where both documents hold it here.
struct TValueWalk {
    std::vector<std::pair<std::string, std::string>> Values;

    void Element(const TConfigElement& element, const std::string& path)
    {
        if (!element.Text.empty())
            Values.emplace_back(path, element.Text);
        for (const TConfigAttribute& attribute : element.Attributes)
            Values.emplace_back(path + "/@" + attribute.Name, attribute.Value);
        std::map<std::string, int> count, seen;
        for (const TConfigElement& child : element.Children)
            ++count[child.Name];
        for (const TConfigElement& child : element.Children) {
            const int place = ++seen[child.Name];
            std::string step = path + "/" + child.Name;
            if (count[child.Name] > 1)
                step += Qualifier(child, place);
            Element(child, step);
        }
    }

    static std::string Qualifier(const TConfigElement& element, int place)
    {
        for (const char* key : {"id", "name", "index", "key", "no"})
            for (const TConfigAttribute& attribute : element.Attributes)
                if (attribute.Name == key)
                    return "[" + attribute.Name + "=" + attribute.Value + "]";
        return "[" + std::to_string(place) + "]";
    }
};

std::vector<std::pair<std::string, std::string>> Values(const TConfigDocument& doc)
{
    TValueWalk walk;
    if (doc.Ok)
        walk.Element(doc.Root, "/" + doc.Root.Name);
    return walk.Values;
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
