// Paths of a configuration tree: grouping siblings by name and labelling those that repeat.
#include "core/config/configpath.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace {

// The attributes that tell repeated siblings apart, in the order they are looked for.
constexpr const char* kSiblingKeys[] = {"id", "name", "index", "key", "no"};

const TConfigAttribute* SiblingKey(const TConfigElement& e)
{
    for (const char* key : kSiblingKeys)
        for (const TConfigAttribute& a : e.Attributes)
            if (a.NamespaceURI.empty() && a.Name == key)
                return &a;
    return nullptr;
}

void VisitElement(const TConfigElement& e, std::string& path,
                  const std::function<void(const std::string&, const TConfigElement&, const TConfigAttribute*)>& visit)
{
    visit(path, e, nullptr);
    const size_t mark = path.size();
    for (const TConfigAttribute& a : e.Attributes) {
        path += "/@";
        path += a.Name;
        visit(path, e, &a);
        path.resize(mark);
    }
    for (const TConfigChildGroup& group : GroupConfigChildren(e)) {
        if (group.Members.size() == 1) {
            path += '/';
            path += group.First->Name;
            VisitElement(*group.First, path, visit);
            path.resize(mark);
            continue;
        }
        const std::vector<std::string> labels = RepeatedConfigLabels(group.Members);
        for (size_t i = 0; i < group.Members.size(); ++i) {
            path += '/';
            path += labels[i];
            VisitElement(*group.Members[i], path, visit);
            path.resize(mark);
        }
    }
}

}  // namespace

bool SameConfigName(const TConfigElement& a, const TConfigElement& b)
{
    return a.Name == b.Name && a.NamespaceURI == b.NamespaceURI;
}

std::vector<TConfigChildGroup> GroupConfigChildren(const TConfigElement& parent)
{
    std::vector<TConfigChildGroup> groups;
    // Few names per element as a rule: a look along the groups found so far, an index past that.
    std::unordered_map<std::string, size_t> index;
    constexpr size_t kLinear = 8;
    for (const TConfigElement& child : parent.Children) {
        size_t at = groups.size();
        if (groups.size() <= kLinear) {
            for (size_t i = 0; i < groups.size(); ++i)
                if (SameConfigName(*groups[i].First, child))
                    at = i;
        } else {
            if (index.empty())
                for (size_t i = 0; i < groups.size(); ++i)
                    index.emplace(groups[i].First->NamespaceURI + '\n' + groups[i].First->Name, i);
            const auto found = index.find(child.NamespaceURI + '\n' + child.Name);
            if (found != index.end())
                at = found->second;
            else
                index.emplace(child.NamespaceURI + '\n' + child.Name, groups.size());
        }
        if (at == groups.size())
            groups.push_back({&child, {}});
        groups[at].Members.push_back(&child);
    }
    return groups;
}

std::vector<std::string> RepeatedConfigLabels(const std::vector<const TConfigElement*>& members)
{
    std::vector<std::string> labels;
    labels.reserve(members.size());
    std::vector<size_t> keyedAt;
    int unkeyed = 0;
    for (const TConfigElement* e : members) {
        std::string label = e->Name;
        if (const TConfigAttribute* key = SiblingKey(*e)) {
            label += '[';
            label += key->Name;
            label += '=';
            label += key->Value;
            label += ']';
            keyedAt.push_back(labels.size());
        } else {
            label += '[';
            label += std::to_string(++unkeyed);
            label += ']';
        }
        labels.push_back(std::move(label));
    }
    // Keys are meant to be unique; only where one repeats is it told apart by its position.
    std::vector<std::string_view> sorted;
    sorted.reserve(keyedAt.size());
    for (size_t i : keyedAt)
        sorted.emplace_back(labels[i]);
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end())
        return labels;
    std::unordered_map<std::string, int> seen;
    for (size_t i : keyedAt) {
        const int n = ++seen[labels[i]];
        if (n > 1)
            labels[i] += '[' + std::to_string(n) + ']';
    }
    return labels;
}

void ForEachConfigPlace(const TConfigElement& root,
                        const std::function<void(const std::string&, const TConfigElement&, const TConfigAttribute*)>& visit)
{
    std::string path = '/' + root.Name;
    VisitElement(root, path, visit);
}
