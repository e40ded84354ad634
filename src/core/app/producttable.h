// A family's product table as the settings file keeps it.
#pragma once
#include <string>
#include <vector>

// Entries "code=name" with "+" standing for a blank in the name.
using TProductTable = std::vector<std::string>;
