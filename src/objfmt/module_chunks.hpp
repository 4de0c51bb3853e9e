// Chunk handling shared by the link-mode and the library-mode loaders.
#pragma once

#include <optional>
#include <span>

#include "objfmt/chunk.hpp"
#include "objfmt/state.hpp"

namespace tarnel {

// The module being loaded, slot moduleCount.
inline Module& currentModule(LinkState& state) { return state.modules[state.moduleCount]; }

// Acts on a `processor`, `name`, `version` or `date` chunk, which both modes
// handle alike; false for any other tag.
bool moduleInfoChunk(LinkState& state, ChunkTag tag, std::span<const uint8_t> payload);

// The section a `code`, `data` or `bss` chunk holds, by its block type. A bad
// block type is reported; so is a second chunk for a section the module
// already has (the first one is kept). Either way the result is empty.
std::optional<SectionKind> sectionOfChunk(LinkState& state, ChunkTag tag, std::span<const uint8_t> payload);

}  // namespace tarnel
