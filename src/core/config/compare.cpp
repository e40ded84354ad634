#include "core/config/compare.h"

#include "core/app/i18n.h"

// Placeholders until the compare lands.
std::vector<TConfigDifference> CompareConfigs(const TConfigDocument& left, const TConfigDocument& right)
{
    if (left.Decoded == right.Decoded)
        return {};
    return {{"/", TDifferenceKind::Changed, left.Decoded.toStdString(), right.Decoded.toStdString()}};
}

std::vector<TConfigDifference> CompareLines(const QByteArray& left, const QByteArray& right)
{
    if (left == right)
        return {};
    return {{"line 1", TDifferenceKind::Changed, left.toStdString(), right.toStdString()}};
}

bool SameConfig(const QByteArray& left, const QByteArray& right) { return left == right; }

const char* DifferenceKindKey(TDifferenceKind kind)
{
    switch (kind) {
    case TDifferenceKind::Changed: return "changed";
    case TDifferenceKind::OnlyLeft: return "only left";
    case TDifferenceKind::OnlyRight: return "only right";
    }
    return "changed";
}

std::string DifferenceKindText(TDifferenceKind kind) { return DifferenceKindKey(kind); }
