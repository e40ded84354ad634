// The device families discovery drives, as one list: the only place that names them all.
#pragma once
#include "core/devices/family.h"

#include <string>
#include <string_view>
#include <vector>

// Every family, in the order a discovery cycle asks them: Orvex, then HWG.
const std::vector<const TFamily*>& Families();

// The family of that name as the export and plan files write it; none for any other text.
const TFamily* FindFamily(std::string_view name);

// The families' names joined by separator, in the order of Families(): "Orvex or HWG".
std::string FamilyNames(std::string_view separator);
