#include "objfmt/symbol_sizes.hpp"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "objfmt/chunk.hpp"
#include "objfmt/symbol_chunk.hpp"

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

// Counted out by part, in the order of their places, then each part's
// definitions sorted by offset: a part holds few of them, and the loader
// mostly gives them in order already.
std::vector<uint32_t> definitionsByPart(const LinkState& state) {
    const SymbolList& xdefs = state.xdefList;
    std::vector<uint32_t> start(size_t(state.moduleCount) * kSectionCount + 1, 0);
    const size_t modulesEnd = std::min(xdefs.size(), state.linkerDefinitionsFrom);
    for (size_t i = 0; i < modulesEnd; ++i)
        if (inPart(state, xdefs[i])) ++start[partKey(xdefs[i]) + 1];
    for (size_t p = 1; p < start.size(); ++p) start[p] += start[p - 1];
    std::vector<uint32_t> order(start.back());
    std::vector<uint32_t> next(start.begin(), start.end() - 1);
    for (uint32_t i = 0; i < modulesEnd; ++i)
        if (inPart(state, xdefs[i])) order[next[partKey(xdefs[i])]++] = i;
    // each part's by offset, then place: one 64-bit key each
    std::vector<uint64_t> keys;
    for (size_t p = 0; p + 1 < start.size(); ++p) {
        keys.clear();
        for (uint32_t k = start[p]; k < start[p + 1]; ++k) keys.push_back(uint64_t(xdefs[order[k]].value) << 32 | order[k]);
        if (std::is_sorted(keys.begin(), keys.end())) continue;
        std::sort(keys.begin(), keys.end());
        for (size_t k = 0; k < keys.size(); ++k) order[start[p] + k] = uint32_t(keys[k]);
    }
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

DefinitionTable definitionTable(const LinkState& state) {
    DefinitionTable table;
    table.byPart = definitionsByPart(state);
    table.size = definitionSizes(state, table.byPart);
    table.address = definitionAddresses(state, AddressView::run);
    table.from.assign(state.xdefList.size(), SizeFrom::next);
    // the modules' globals as their objects size them
    std::vector<std::unordered_map<std::string_view, uint32_t>> objectSizes(state.moduleCount);
    for (uint32_t m = 0; m < state.moduleCount; ++m) {
        const std::span<const uint8_t> chunk = state.modules[m].symbolChunk;
        if (chunk.empty()) continue;
        const SymbolChunk symbols = readSymbolChunk(chunk);
        if (symbols.version != kSymbolChunkVersion) continue;
        for (const SymbolEntry& e : symbols.entries)
            if (e.binding != uint8_t(SymbolBinding::local) && e.section < kSectionCount)
                objectSizes[m].try_emplace(e.name.name, e.size);
    }
    for (size_t i = 0; i < state.xdefList.size(); ++i) {
        const LinkSymbol& s = state.xdefList[i];
        if (linkerMade(state, i)) {
            // where every reference to it goes
            table.address[i] = partAddress(state, uint32_t(s.module), uint32_t(uint16_t(s.section)), AddressView::program) + s.value;
            table.size[i] = 0;
            table.from[i] = SizeFrom::linker;
        } else if (s.module >= 0 && uint32_t(s.module) < state.moduleCount) {
            const auto& sizes = objectSizes[uint32_t(s.module)];
            if (auto it = sizes.find(s.name); it != sizes.end()) {
                table.size[i] = it->second;
                table.from[i] = SizeFrom::object;
            }
        }
    }
    return table;
}

}  // namespace tarnel
