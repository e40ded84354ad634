// The one conversion of the core's UTF-8 texts into the windows' QString.
#pragma once
#include <QString>

#include <string>

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
