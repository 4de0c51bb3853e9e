// The relocation chunks of an executable or embedded object.
#pragma once

#include <cstdint>

#include "objfmt/state.hpp"
#include "output/outfile.hpp"

namespace tarnel {

// Writes, for reloc16 and then reloc32, one chunk per (from, to) section pair
// that has records, in the pairs' fixed order, each with its records'
// offsets in list order (merged by then). Returns the bytes written.
uint32_t writeRelocChunks(const LinkState& state, OutputFile& file);

}  // namespace tarnel
