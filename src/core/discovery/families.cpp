#include "core/discovery/families.h"

#include "core/protocols/hwg/family.h"
#include "core/protocols/orvex/family.h"

const std::vector<const TFamily*>& Families()
{
    static const std::vector<const TFamily*> kFamilies = {&OrvexFamily(), &HwgFamily()};
    return kFamilies;
}

const TFamily* FindFamily(std::string_view name)
{
    for (const TFamily* family : Families())
        if (family->Name == name)
            return family;
    return nullptr;
}

std::string FamilyNames(std::string_view separator)
{
    std::string names;
    for (const TFamily* family : Families())
        names += (names.empty() ? std::string() : std::string(separator)) + family->Name;
    return names;
}
