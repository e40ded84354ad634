// The structural compare of two configuration trees and the line-by-line compare of two texts
// that are not both well-formed.
#include "core/config/compare.h"

#include "core/app/i18n.h"
#include "core/config/configcodec.h"
#include "core/config/configpath.h"
#include "core/log/format.h"

#include <QHash>
#include <QStringList>

#include <unordered_map>

namespace {

// An element present on one side only is one difference; its value is its text, or for an
// element with attributes or children the start of it written out on one line.
constexpr size_t kMostSummary = 120;

void AppendSummary(const TConfigElement& e, std::string& out)
{
    if (out.size() > kMostSummary)
        return;
    out += '<';
    out += e.Name;
    for (const TConfigAttribute& a : e.Attributes) {
        out += ' ';
        out += a.Name;
        out += "=\"";
        out += a.Value;
        out += '"';
    }
    if (e.Text.empty() && e.Children.empty()) {
        out += "/>";
        return;
    }
    out += '>';
    out += e.Text;
    for (const TConfigElement& child : e.Children)
        AppendSummary(child, out);
    if (out.size() > kMostSummary)
        return;
    out += "</";
    out += e.Name;
    out += '>';
}

std::string Summary(const TConfigElement& e)
{
    if (e.Attributes.empty() && e.Children.empty())
        return e.Text;
    std::string out;
    AppendSummary(e, out);
    if (out.size() > kMostSummary) {
        size_t cut = kMostSummary;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80)
            --cut;  // not inside a UTF-8 sequence
        out.resize(cut);
        out += "…";
    }
    return out;
}

class TTreeCompare {
public:
    std::vector<TConfigDifference> Found;

    void Roots(const TConfigElement& left, const TConfigElement& right)
    {
        if (SameConfigName(left, right)) {
            std::string path = '/' + left.Name;
            Element(left, right, path);
            return;
        }
        OnlyOne('/' + left.Name, left, TDifferenceKind::OnlyLeft);
        OnlyOne('/' + right.Name, right, TDifferenceKind::OnlyRight);
    }

private:
    void Add(const std::string& path, TDifferenceKind kind, std::string left, std::string right)
    {
        Found.push_back({path, kind, std::move(left), std::move(right), false});
    }

    void OnlyOne(const std::string& path, const TConfigElement& e, TDifferenceKind kind)
    {
        if (kind == TDifferenceKind::OnlyLeft)
            Add(path, kind, Summary(e), "");
        else
            Add(path, kind, "", Summary(e));
    }

    static const TConfigAttribute* FindAttribute(const TConfigElement& e, const TConfigAttribute& like)
    {
        for (const TConfigAttribute& a : e.Attributes)
            if (a.Name == like.Name && a.NamespaceURI == like.NamespaceURI)
                return &a;
        return nullptr;
    }

    // Children of the same names in the same order on both sides, no name twice among a few.
    static bool SameFewNames(const TConfigElement& left, const TConfigElement& right)
    {
        constexpr size_t kFew = 8;
        const size_t n = left.Children.size();
        if (n > kFew || n != right.Children.size())
            return false;
        for (size_t i = 0; i < n; ++i) {
            if (!SameConfigName(left.Children[i], right.Children[i]))
                return false;
            for (size_t j = 0; j < i; ++j)
                if (SameConfigName(left.Children[i], left.Children[j]))
                    return false;
        }
        return true;
    }

    void Element(const TConfigElement& left, const TConfigElement& right, std::string& path)
    {
        const size_t mark = path.size();
        for (const TConfigAttribute& a : left.Attributes) {
            const TConfigAttribute* other = FindAttribute(right, a);
            if (other && other->Value == a.Value)
                continue;
            path += "/@";
            path += a.Name;
            if (other)
                Add(path, TDifferenceKind::Changed, a.Value, other->Value);
            else
                Add(path, TDifferenceKind::OnlyLeft, a.Value, "");
            path.resize(mark);
        }
        for (const TConfigAttribute& a : right.Attributes) {
            if (FindAttribute(left, a))
                continue;
            path += "/@";
            path += a.Name;
            Add(path, TDifferenceKind::OnlyRight, "", a.Value);
            path.resize(mark);
        }
        if (left.Text != right.Text)
            Add(path, TDifferenceKind::Changed, left.Text, right.Text);

        if (left.Children.empty() && right.Children.empty())
            return;
        if (SameFewNames(left, right)) {  // as a rule: each child matched by its position
            for (size_t i = 0; i < left.Children.size(); ++i) {
                path += '/';
                path += left.Children[i].Name;
                Element(left.Children[i], right.Children[i], path);
                path.resize(mark);
            }
            return;
        }
        const std::vector<TConfigChildGroup> leftGroups = GroupConfigChildren(left);
        const std::vector<TConfigChildGroup> rightGroups = GroupConfigChildren(right);
        std::vector<bool> rightMatched(rightGroups.size(), false);
        for (const TConfigChildGroup& l : leftGroups) {
            const TConfigChildGroup* r = nullptr;
            for (size_t i = 0; i < rightGroups.size() && !r; ++i)
                if (!rightMatched[i] && SameConfigName(*rightGroups[i].First, *l.First)) {
                    r = &rightGroups[i];
                    rightMatched[i] = true;
                }
            Group(&l, r, path);
        }
        for (size_t i = 0; i < rightGroups.size(); ++i)
            if (!rightMatched[i])
                Group(nullptr, &rightGroups[i], path);
    }

    // The children of one name on each side (either may be absent).
    void Group(const TConfigChildGroup* left, const TConfigChildGroup* right, std::string& path)
    {
        const size_t mark = path.size();
        const size_t leftCount = left ? left->Members.size() : 0;
        const size_t rightCount = right ? right->Members.size() : 0;
        if (leftCount <= 1 && rightCount <= 1) {
            path += '/';
            path += (left ? left : right)->First->Name;
            if (left && right)
                Element(*left->First, *right->First, path);
            else if (left)
                OnlyOne(path, *left->First, TDifferenceKind::OnlyLeft);
            else
                OnlyOne(path, *right->First, TDifferenceKind::OnlyRight);
            path.resize(mark);
            return;
        }
        const std::vector<std::string> leftLabels = left ? RepeatedConfigLabels(left->Members) : std::vector<std::string>{};
        const std::vector<std::string> rightLabels =
            right ? RepeatedConfigLabels(right->Members) : std::vector<std::string>{};
        if (leftLabels == rightLabels) {  // the same elements in the same order, as a rule
            for (size_t i = 0; i < leftLabels.size(); ++i) {
                path += '/';
                path += leftLabels[i];
                Element(*left->Members[i], *right->Members[i], path);
                path.resize(mark);
            }
            return;
        }
        std::unordered_map<std::string_view, size_t> rightAt;
        rightAt.reserve(rightLabels.size());
        for (size_t i = 0; i < rightLabels.size(); ++i)
            rightAt.emplace(rightLabels[i], i);
        std::vector<bool> matched(rightLabels.size(), false);
        for (size_t i = 0; i < leftLabels.size(); ++i) {
            path += '/';
            path += leftLabels[i];
            const auto r = rightAt.find(leftLabels[i]);
            if (r != rightAt.end()) {
                matched[r->second] = true;
                Element(*left->Members[i], *right->Members[r->second], path);
            } else {
                OnlyOne(path, *left->Members[i], TDifferenceKind::OnlyLeft);
            }
            path.resize(mark);
        }
        for (size_t i = 0; i < rightLabels.size(); ++i) {
            if (matched[i])
                continue;
            path += '/';
            path += rightLabels[i];
            OnlyOne(path, *right->Members[i], TDifferenceKind::OnlyRight);
            path.resize(mark);
        }
    }
};

// The text of a file for a line compare: decoded as its declaration says where it can be, else
// as UTF-8 (bytes that are not become U+FFFD).
QStringList TextLines(const QByteArray& bytes)
{
    QString text;
    TConfigCodec codec;
    std::string error;
    if (!DetectConfigCodec(bytes, codec, error) || !DecodeConfigText(codec, bytes, text))
        text = QString::fromUtf8(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();  // the end of the last line, not a line of its own
    return lines;
}

// The longest common subsequence is computed only up to this many cells; beyond it the lines
// between the common start and end are paired by position.
constexpr size_t kMostLineCells = 4 * 1024 * 1024;

}  // namespace

std::vector<TConfigDifference> CompareConfigs(const TConfigDocument& left, const TConfigDocument& right)
{
    if (!left.Ok || !right.Ok)
        return {};
    TTreeCompare compare;
    compare.Roots(left.Root, right.Root);
    return std::move(compare.Found);
}

std::vector<TConfigDifference> CompareLines(const QByteArray& left, const QByteArray& right)
{
    const QStringList a = TextLines(left), b = TextLines(right);
    // Each distinct line as a number, so that the table compares numbers.
    QHash<QString, int> ids;
    const auto number = [&](const QStringList& lines) {
        std::vector<int> out;
        out.reserve(lines.size());
        for (const QString& line : lines) {
            auto it = ids.constFind(line);
            if (it == ids.constEnd())
                it = ids.insert(line, static_cast<int>(ids.size()));
            out.push_back(*it);
        }
        return out;
    };
    const std::vector<int> x = number(a), y = number(b);
    size_t head = 0;
    while (head < x.size() && head < y.size() && x[head] == y[head])
        ++head;
    size_t tail = 0;
    while (tail < x.size() - head && tail < y.size() - head && x[x.size() - 1 - tail] == y[y.size() - 1 - tail])
        ++tail;
    const size_t n = x.size() - head - tail, m = y.size() - head - tail;

    // The edit of the middle: for each pair of lines kept, its indexes (from `head`).
    std::vector<std::pair<size_t, size_t>> kept;
    if (n > 0 && m > 0 && (n + 1) * (m + 1) <= kMostLineCells) {
        // lcs[i][j]: the common subsequence of x[i..] and y[j..]; at most min(n, m) <= 2048.
        std::vector<uint16_t> lcs((n + 1) * (m + 1), 0);
        const auto at = [&](size_t i, size_t j) -> uint16_t& { return lcs[i * (m + 1) + j]; };
        for (size_t i = n; i-- > 0;)
            for (size_t j = m; j-- > 0;)
                at(i, j) = x[head + i] == y[head + j] ? static_cast<uint16_t>(at(i + 1, j + 1) + 1)
                                                      : std::max(at(i + 1, j), at(i, j + 1));
        size_t i = 0, j = 0;
        while (i < n && j < m) {
            if (x[head + i] == y[head + j]) {
                kept.push_back({i++, j++});
            } else if (at(i + 1, j) >= at(i, j + 1)) {
                ++i;
            } else {
                ++j;
            }
        }
    }
    kept.push_back({n, m});

    std::vector<TConfigDifference> found;
    const auto lineText = [](const QStringList& lines, size_t i) { return lines[static_cast<qsizetype>(i)].toStdString(); };
    const auto linePath = [](size_t i) { return Format(_("line %d"), static_cast<int>(i + 1)); };
    size_t i = 0, j = 0;
    for (const auto& [ki, kj] : kept) {
        // Lines removed and added between two kept ones: paired as changed, the rest on one side.
        while (i < ki && j < kj) {
            found.push_back({linePath(head + i), TDifferenceKind::Changed, lineText(a, head + i), lineText(b, head + j), false});
            ++i;
            ++j;
        }
        for (; i < ki; ++i)
            found.push_back({linePath(head + i), TDifferenceKind::OnlyLeft, lineText(a, head + i), "", false});
        for (; j < kj; ++j)
            found.push_back({linePath(head + j), TDifferenceKind::OnlyRight, "", lineText(b, head + j), false});
        i = ki + 1;
        j = kj + 1;
    }
    return found;
}

bool SameConfig(const QByteArray& left, const QByteArray& right)
{
    if (left == right)
        return true;
    const TConfigDocument a = ReadConfig(left);
    if (!a.Ok)
        return false;
    const TConfigDocument b = ReadConfig(right);
    return b.Ok && CompareConfigs(a, b).empty();
}

const char* DifferenceKindKey(TDifferenceKind kind)
{
    switch (kind) {
    case TDifferenceKind::Changed: return "changed";
    case TDifferenceKind::OnlyLeft: return "only left";
    case TDifferenceKind::OnlyRight: return "only right";
    }
    return "changed";
}

std::string DifferenceKindText(TDifferenceKind kind)
{
    switch (kind) {
    case TDifferenceKind::Changed: return _("changed");
    case TDifferenceKind::OnlyLeft: return _("only left");
    case TDifferenceKind::OnlyRight: return _("only right");
    }
    return _("changed");
}
