#include "objfmt/symbol_sizes.hpp"

#include <algorithm>
#include <utility>

#include "objfmt/chunk.hpp"

namespace tarnel {

std::vector<uint32_t> definitionAddresses(const LinkState& state, AddressView view) {
    std::vector<uint32_t> address(state.xdefList.size());
    for (size_t i = 0; i < address.size(); ++i) {
        const LinkSymbol& s = state.xdefList[i];
        address[i] = partAddress(state, uint32_t(s.module), uint32_t(uint16_t(s.section)), view) + s.value;
    }
    return address;
}

namespace {

bool inPart(const LinkState& state, const LinkSymbol& s) {
    return uint32_t(uint16_t(s.section)) < kSectionCount && s.module >= 0 && uint32_t(s.module) < state.moduleCount;
}

// A part's number, module by module and section by section.
uint64_t partKey(const LinkSymbol& s) { return uint64_t(s.module) * kSectionCount + uint64_t(s.section); }

}  // namespace

// Sorted once on one key of part and offset, so that the next definition of
// a part is a neighbour.
std::vector<uint32_t> definitionsByPart(const LinkState& state) {
    const SymbolList& xdefs = state.xdefList;
    std::vector<std::pair<uint64_t, uint32_t>> keyed;
    keyed.reserve(xdefs.size());
    for (uint32_t i = 0; i < xdefs.size(); ++i)
        if (inPart(state, xdefs[i])) keyed.emplace_back(partKey(xdefs[i]) << 32 | xdefs[i].value, i);
    std::sort(keyed.begin(), keyed.end());
    std::vector<uint32_t> order(keyed.size());
    for (size_t k = 0; k < keyed.size(); ++k) order[k] = keyed[k].second;
    return order;
}

std::vector<uint32_t> definitionSizes(const LinkState& state, const std::vector<uint32_t>& byPart) {
    const SymbolList& xdefs = state.xdefList;
    std::vector<uint32_t> size(xdefs.size(), 0);
    for (size_t k = 0; k < byPart.size();) {
        const LinkSymbol& s = xdefs[byPart[k]];
        // the definitions at this offset, then the first one past it in the same part
        size_t next = k + 1;
        while (next < byPart.size() && partKey(xdefs[byPart[next]]) == partKey(s) && xdefs[byPart[next]].value == s.value)
            ++next;
        uint32_t end = state.modules[uint32_t(s.module)].*kSectionFields[uint32_t(s.section)].size;
        if (next < byPart.size() && partKey(xdefs[byPart[next]]) == partKey(s) && xdefs[byPart[next]].value < end)
            end = xdefs[byPart[next]].value;
        for (; k < next; ++k) size[byPart[k]] = end > s.value ? end - s.value : 0;
    }
    return size;
}

std::vector<uint32_t> definitionSizes(const LinkState& state) { return definitionSizes(state, definitionsByPart(state)); }

}  // namespace tarnel
