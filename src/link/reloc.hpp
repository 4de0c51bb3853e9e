// Relocation records: the reloc16/reloc32 passes and the drel16 pass, which
// turn module-relative fields into merged-section offsets (or ROM addresses),
// and the writer of the relocation chunks an executable carries.
#pragma once

#include <cstdint>
#include <vector>

#include "objfmt/state.hpp"
#include "output/outfile.hpp"

namespace tarnel {

void applyReloc16(LinkState& state, RelocList& list);
void applyReloc32(LinkState& state, RelocList& list);
void applyDrel16(LinkState& state);

// Writes the relocation chunks of an executable in their fixed order: for
// reloc16 and then reloc32, one chunk per (from, to) section pair that has
// records, the pairs from code, data and base, each to code, data, base and
// bss. Each record's offset is converted to a merged-section offset and
// stored back. Returns the bytes written.
uint32_t writeRelocChunks(LinkState& state, OutputFile& file);

}  // namespace tarnel
