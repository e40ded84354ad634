#include "core/devices/addressspec.h"

#include "core/app/i18n.h"
#include "core/devices/netinterfaces.h"
#include "core/log/format.h"

#include <optional>
#include <unordered_set>

namespace {

struct TBlock {
    uint32_t First = 0;
    uint32_t Last = 0;
};

// Addresses no search may send to: 0.x, loopback, multicast and everything above it.
bool Sendable(uint32_t address)
{
    const uint32_t first = address >> 24;
    return first != 0 && first != 127 && first < 224;
}

std::optional<TBlock> ParseSpec(const std::string& spec)
{
    if (const auto slash = spec.find('/'); slash != std::string::npos) {
        const std::optional<uint32_t> base = ParseAddress(spec.substr(0, slash));
        const std::string bits = spec.substr(slash + 1);
        if (!base || bits.empty() || bits.size() > 2 || bits.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        const int prefix = std::stoi(bits);
        if (prefix > 32)
            return std::nullopt;
        const uint32_t mask = PrefixMask(prefix);
        return TBlock{*base & mask, (*base & mask) | ~mask};
    }
    if (const auto dash = spec.find('-'); dash != std::string::npos) {
        const std::optional<uint32_t> first = ParseAddress(spec.substr(0, dash));
        const std::string rest = spec.substr(dash + 1);
        std::optional<uint32_t> last = ParseAddress(rest);
        if (!last && first && !rest.empty() && rest.size() <= 3 && rest.find_first_not_of("0123456789") == std::string::npos
            && std::stoi(rest) <= 255)
            last = (*first & 0xFFFFFF00u) | static_cast<uint32_t>(std::stoi(rest));  // 10.1.2.10-50
        if (!first || !last || *last < *first)
            return std::nullopt;
        return TBlock{*first, *last};
    }
    const std::optional<uint32_t> one = ParseAddress(spec);
    if (!one)
        return std::nullopt;
    return TBlock{*one, *one};
}

std::string Joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

} // namespace

TAddressSpecs ParseAddressSpecs(const std::string& text, uint64_t limit)
{
    TAddressSpecs result;
    std::vector<TBlock> blocks;
    std::string spec;
    auto finish = [&] {
        if (spec.empty())
            return;
        const std::optional<TBlock> block = ParseSpec(spec);
        if (!block || !Sendable(block->First) || !Sendable(block->Last))
            result.Bad.push_back(spec);
        else {
            blocks.push_back(*block);
            result.Count += uint64_t(block->Last) - block->First + 1;
        }
        spec.clear();
    };
    for (const char c : text) {
        if (c == ',' || c == ';' || static_cast<unsigned char>(c) <= ' ')
            finish();
        else
            spec += c;
    }
    finish();

    if (!result.Bad.empty()) {
        result.Error = Format(_("Not an address, range or CIDR block: %s"), Joined(result.Bad).c_str());
        return result;
    }
    // Named more than the limit even counting duplicates twice: refused without spelling them out.
    if (result.Count > limit * 4) {
        result.Error = Format(_("%s addresses in one search; at most %s are allowed."),
                              std::to_string(result.Count).c_str(), std::to_string(limit).c_str());
        return result;
    }
    std::unordered_set<uint32_t> seen;
    for (const TBlock& block : blocks) {
        for (uint64_t a = block.First; a <= block.Last; ++a) {
            const auto address = static_cast<uint32_t>(a);
            if (seen.insert(address).second)
                result.Addresses.push_back(address);
        }
    }
    result.Count = result.Addresses.size();
    if (result.Count > limit) {
        result.Error = Format(_("%s addresses in one search; at most %s are allowed."),
                              std::to_string(result.Count).c_str(), std::to_string(limit).c_str());
        result.Addresses.clear();
        return result;
    }
    if (result.Addresses.empty())
        result.Error = _("No address given.");
    return result;
}
