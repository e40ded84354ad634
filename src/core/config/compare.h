// The structural compare of two configurations: elements by their path (namespace and local
// name, not prefix), repeated siblings of one name matched by the first of the attributes id,
// name, index, key, no that they carry (else by position), attributes as a set, texts trimmed.
// Indentation, attribute order, comments, processing instructions, line ends and namespace
// prefixes make no difference.
#pragma once
#include "core/config/configdoc.h"

#include <string>
#include <vector>

enum class TDifferenceKind { Changed, OnlyLeft, OnlyRight };

struct TConfigDifference {
    // Readable: /setup/sensors/sensor[id=3]/@high, /setup/name (text), "line 12" for a line compare.
    std::string Path;
    TDifferenceKind Kind = TDifferenceKind::Changed;
    std::string Left;   // UTF-8; "" for OnlyRight
    std::string Right;  // UTF-8; "" for OnlyLeft
    bool Identity = false;  // an identity place of the device (core/config/identity.h)
    bool operator==(const TConfigDifference&) const = default;
};

// Both documents must have been read (Ok). In document order of the left one, then what only
// the right one has.
std::vector<TConfigDifference> CompareConfigs(const TConfigDocument& left, const TConfigDocument& right);

// The fallback for a file that is not well-formed: a line-by-line compare of the two texts.
std::vector<TConfigDifference> CompareLines(const QByteArray& left, const QByteArray& right);

// Same content: both read and no difference, else the same bytes.
bool SameConfig(const QByteArray& left, const QByteArray& right);

// "changed", "only left", "only right" (the JSON of pyxet-cli) and their shown, translated texts.
const char* DifferenceKindKey(TDifferenceKind kind);
std::string DifferenceKindText(TDifferenceKind kind);
