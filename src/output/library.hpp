// The library writer: the symbol table, one `lib` chunk per module that kept
// anything, and the end tag.
#pragma once

#include <cstdint>

#include "objfmt/state.hpp"
#include "output/outfile.hpp"

namespace tarnel {

// Size of the symbol table writeLibrary writes: each entry is 8 bytes plus
// its name field rounded up to a multiple of 4.
uint32_t librarySymbolTableSize(const LinkState& state);

// Writes everything after the `library` header chunk and returns its size.
uint32_t writeLibrary(const LinkState& state, OutputFile& file);

}  // namespace tarnel
