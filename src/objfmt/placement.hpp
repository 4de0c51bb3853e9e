// Where a module's part of a section lies in the linked program. The loader
// gives each part its offset within its merged section (a Module's *Addr
// fields, which keep that meaning for the whole run); the layout's totals then
// decide the rest: in ROM mode data follows all code and bss all data, and
// bssb always follows all base data. Every reader of an address asks here.
#pragma once

#include <cstdint>

#include "objfmt/state.hpp"

namespace tarnel {

// A module's start in a merged section, with the placement above but without
// the base bias or romStart; 0 for a section number outside 0..4.
uint32_t sectionStart(const LinkState& state, uint32_t module, uint32_t section);
// The same with the base bias added for base and bssb.
uint32_t biasedStart(const LinkState& state, uint32_t module, uint32_t section);

// Who asks for an address: the readers differ only in how they place the
// base region.
enum class AddressView {
    program,     // resolution and the map: the biased start plus romStart
    relocation,  // a record's addend: in ROM mode the base region counts from
                 // the end of all code and data, without the bias
    buildInfo,   // the base region as biased offsets, never with romStart
};

// The final address of a module's part of a section as that reader sees it.
// A section number outside 0..4 starts at 0 (a record's addend is then 0).
uint32_t partAddress(const LinkState& state, uint32_t module, uint32_t section, AddressView view);

}  // namespace tarnel
