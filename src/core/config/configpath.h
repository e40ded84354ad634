// Paths of a configuration tree as the compare spells them: /setup/network/ip for an element's
// text, /setup/network/@dhcp for an attribute, local names only (the namespace counts for
// matching, not for the path). Siblings of one name that repeat are told apart by the first of
// the attributes id, name, index, key, no that they carry (sensor[id=3]), else by their position
// among those of that name that carry none (item[2]); a second sibling with the same key value
// adds its position among those (sensor[id=3][2]).
#pragma once
#include "core/config/configdoc.h"

#include <functional>
#include <string>
#include <vector>

// Children of one element grouped by namespace and local name, in the order of first appearance.
struct TConfigChildGroup {
    const TConfigElement* First = nullptr;  // gives the namespace and name
    std::vector<const TConfigElement*> Members;
};
std::vector<TConfigChildGroup> GroupConfigChildren(const TConfigElement& parent);
bool SameConfigName(const TConfigElement& a, const TConfigElement& b);

// The path segments of the members of a group that repeats: name[key=value] or name[N].
std::vector<std::string> RepeatedConfigLabels(const std::vector<const TConfigElement*>& members);

// Every place of a document that can hold a value, in document order: each element's text
// (attribute null) and each attribute, with its path. Within one document a name counts as
// repeating when it repeats there.
void ForEachConfigPlace(const TConfigElement& root,
                        const std::function<void(const std::string& path, const TConfigElement& element,
                                                 const TConfigAttribute* attribute)>& visit);
