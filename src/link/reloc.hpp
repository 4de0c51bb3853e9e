// Relocation records: the reloc16/reloc32 passes and the drel16 pass, which
// turn module-relative fields into merged-section offsets (or ROM addresses),
// and the pass that gives the records an executable carries their merged
// offsets.
#pragma once

#include "objfmt/state.hpp"

namespace tarnel {

void applyReloc16(LinkState& state, RelocList& list);
void applyReloc32(LinkState& state, RelocList& list);
void applyDrel16(LinkState& state);

// Turns the offset of every record a relocation chunk carries into an offset
// from the start of the merged from-section. Run once, just before a
// relocatable output is written.
void mergeRelocOffsets(LinkState& state);

}  // namespace tarnel
