// The library writer: the `library` chunk holding the symbol table, one `lib`
// chunk per module that kept anything, and the end tag.
#pragma once

#include <cstdint>

#include "objfmt/state.hpp"
#include "output/outfile.hpp"

namespace tarnel {

// Writes the library and returns its size.
uint32_t writeLibrary(const LinkState& state, OutputFile& file);

}  // namespace tarnel
