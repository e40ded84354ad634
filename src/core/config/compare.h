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

// Both documents must have been read (Ok; else no differences). In document order of the left
// one, what only the right one has after its siblings on the left (attributes of an element
// first, then its text, then its children). An element present on one side only is one
// difference, its value its text, or for an element with attributes or children the start of it
// written out on one line (at most about 120 bytes, cut with "…"). Root elements of other names
// are one difference each. The paths are those of core/config/configpath.h: a name that repeats
// among its siblings in either document is spelled with its key or position in both.
std::vector<TConfigDifference> CompareConfigs(const TConfigDocument& left, const TConfigDocument& right);

// The fallback for a file that is not well-formed: a line-by-line compare of the two texts
// (decoded as their declarations say where they can be, else as UTF-8; any line end). The lines
// between those kept in common (the longest common sequence, or for very long differing middles
// the lines paired by position) are paired as Changed, the rest OnlyLeft or OnlyRight. Path
// "line N" (translated) names the left file's line, for OnlyRight the right file's.
std::vector<TConfigDifference> CompareLines(const QByteArray& left, const QByteArray& right);

// Same content: both read and no difference, else the same bytes. What the history uses to keep
// a version only when it differs.
bool SameConfig(const QByteArray& left, const QByteArray& right);

// "changed", "only left", "only right" (the JSON of pyxet-cli) and their shown, translated texts.
const char* DifferenceKindKey(TDifferenceKind kind);
std::string DifferenceKindText(TDifferenceKind kind);
