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

// Writes the records of one (from, to) section pair as one chunk with the
// given tag, converting their offsets to merged-section offsets and storing
// them back. Returns the bytes written; nothing when no record matches.
uint32_t writeRelocChunk(LinkState& state, uint32_t fromSection, uint32_t toSection, OutputFile& file,
                         uint32_t tag, RelocList& list);

// The 24 calls of writeRelocChunk in their fixed order: the twelve section
// pairs for reloc16, then the same for reloc32. Returns the bytes written.
uint32_t writeRelocChunks(LinkState& state, OutputFile& file);

}  // namespace tarnel
