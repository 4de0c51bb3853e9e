// The loader's inside: the slot being loaded and the chunk handlers of link
// mode and library mode, which loader.cpp and library_input.cpp hand chunks to.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "objfmt/chunk.hpp"
#include "objfmt/state.hpp"

namespace tarnel {

// The module being loaded, slot moduleCount.
inline Module& currentModule(LinkState& state) { return state.modules[state.moduleCount]; }

// Takes slot moduleCount for the next module: its parts start where the last
// module's parts ended until it brings its own. False, with the file refused,
// when every slot is taken.
bool beginSlot(LinkState& state, const std::string& path);
// Closes the slot begun last; the next module goes to the one after it.
void endSlot(LinkState& state);

// Hands one chunk of the module in slot moduleCount, read from path, to the
// handler of the mode, once its payload is checked against its layout. An
// empty payload is passed over.
void loadModuleChunk(LinkState& state, const std::string& path, uint32_t tag, std::span<uint8_t> payload);

// Loads the members of a library, its bytes read from path, that define names
// the modules loaded so far reference and nothing defines; under -g refuses
// it, taking a slot.
void loadLibraryFile(LinkState& state, const std::string& path, std::span<uint8_t> bytes);

// Act on one chunk of the module in slot moduleCount, in a link and while
// packing a library (-g). The payload is not empty and fits its layout.
void linkModeChunk(LinkState& state, uint32_t tag, std::span<uint8_t> payload);
void libraryModeChunk(LinkState& state, uint32_t tag, std::span<uint8_t> payload);

// Acts on a `processor`, `name`, `version` or `date` chunk, which both modes
// handle alike; false for any other tag.
bool moduleInfoChunk(LinkState& state, ChunkTag tag, std::span<const uint8_t> payload);

// The section a `code`, `data` or `bss` chunk holds, by its block type. A bad
// block type is reported; so is a second chunk for a section the module
// already has (the first one is kept). Either way the result is empty.
std::optional<SectionKind> sectionOfChunk(LinkState& state, ChunkTag tag, std::span<const uint8_t> payload);

}  // namespace tarnel
