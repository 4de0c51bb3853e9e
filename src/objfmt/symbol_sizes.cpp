#include "objfmt/symbol_sizes.hpp"

#include <algorithm>
#include <tuple>

#include "objfmt/placement.hpp"

namespace tarnel {

std::vector<uint32_t> definitionAddresses(const LinkState& state) {
    std::vector<uint32_t> address(state.xdefList.size());
    for (size_t i = 0; i < address.size(); ++i) {
        const LinkSymbol& s = state.xdefList[i];
        address[i] = partAddress(state, uint32_t(s.module), uint32_t(uint16_t(s.section)), AddressView::program) + s.value;
    }
    return address;
}

// The definitions are sorted once by module, section and address, so the
// next one of a part is a neighbour.
std::vector<uint32_t> definitionSizes(const LinkState& state, const std::vector<uint32_t>& address) {
    const SymbolList& xdefs = state.xdefList;
    auto inPart = [&](const LinkSymbol& s) {
        return uint32_t(uint16_t(s.section)) < 5 && s.module >= 0 && uint32_t(s.module) < state.moduleCount;
    };
    std::vector<uint32_t> order;
    for (uint32_t i = 0; i < xdefs.size(); ++i)
        if (inPart(xdefs[i])) order.push_back(i);
    auto key = [&](uint32_t i) { return std::tuple(xdefs[i].module, xdefs[i].section, address[i]); };
    std::sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) { return key(x) < key(y); });

    std::vector<uint32_t> size(xdefs.size(), 0);
    for (size_t k = 0; k < order.size(); ++k) {
        const LinkSymbol& s = xdefs[order[k]];
        const uint32_t section = uint32_t(uint16_t(s.section));
        const uint32_t from = address[order[k]];
        uint32_t end = partAddress(state, uint32_t(s.module), section, AddressView::program) +
                       state.modules[uint32_t(s.module)].*kSectionFields[section].size;
        // the first definition past this one in the same part, if it lies before the part's end
        size_t next = k + 1;
        while (next < order.size() && key(order[next]) == std::tuple(s.module, s.section, from)) ++next;
        if (next < order.size()) {
            const LinkSymbol& n = xdefs[order[next]];
            if (n.module == s.module && n.section == s.section && address[order[next]] < end)
                end = address[order[next]];
        }
        size[order[k]] = end > from ? end - from : 0;
    }
    return size;
}

}  // namespace tarnel
