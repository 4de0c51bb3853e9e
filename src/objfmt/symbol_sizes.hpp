// What each definition takes: the bytes from its offset up to the next
// definition of its module's part of its section, or to the part's end.
#pragma once

#include <cstdint>
#include <vector>

#include "objfmt/placement.hpp"
#include "objfmt/state.hpp"

namespace tarnel {

// Each xdef's address as that reader sees it (the map and tarnel-elf:
// program; the record and the size report: run), by its place in the xdef
// list.
std::vector<uint32_t> definitionAddresses(const LinkState& state, AddressView view = AddressView::program);

// The places in the xdef list of the modules' definitions that lie in a
// module part, by module, section and offset (then by place): each part's
// definitions side by side, in the order of their offsets. The linker's own
// definitions are not among them: they hold no bytes.
std::vector<uint32_t> definitionsByPart(const LinkState& state);

// Each xdef's size, by its place in the xdef list, given definitionsByPart;
// 0 for a definition in no module part or past its part's end. Definitions at
// one offset each take the bytes up to the next offset. Sizes count from the
// offsets, so every reader's addresses get the same sizes.
std::vector<uint32_t> definitionSizes(const LinkState& state, const std::vector<uint32_t>& byPart);
std::vector<uint32_t> definitionSizes(const LinkState& state);

// Whether the xdef at a place of the list is one the linker made.
inline bool linkerMade(const LinkState& state, size_t place) { return place >= state.linkerDefinitionsFrom; }

// Where a definition's size comes from.
enum class SizeFrom : uint8_t {
    next,    // up to the next definition of its part, or the part's end
    object,  // the size its object gives it, from its module's `symbol` chunk
    linker,  // one the linker made: it marks an address and holds no bytes
};

// What the report files take of the definitions, made once for them all:
// each module definition where it runs, each of the linker's where the
// references to it resolve; the sizes as their objects give them where the
// module carries a `symbol` chunk.
struct DefinitionTable {
    std::vector<uint32_t> byPart;   // definitionsByPart
    std::vector<uint32_t> size;     // by place in the xdef list
    std::vector<uint32_t> address;  // by place
    std::vector<SizeFrom> from;     // by place
};
DefinitionTable definitionTable(const LinkState& state);

}  // namespace tarnel
