// Section layout: the five merged-section totals (which place every module's
// parts, see objfmt/placement.hpp), the 64 KB base limit, the 32-bit address
// space, `_base` and the other symbols the linker defines.
#pragma once

#include <cstdint>

#include "objfmt/state.hpp"

namespace tarnel {

// Totals the five sections over all slots; the totals place each part (see
// objfmt/placement.hpp).
void layoutSections(LinkState& state);
// The merged base section must fit the 64 KB a base register reaches.
void checkBaseSize(LinkState& state);
// Each merged section, all five together and, in ROM mode, the image placed
// at romStart and the RAM the data runs in must fit below 2^32; each that
// does not is reported.
void checkAddressSpace(LinkState& state);
// Defines `_base` after every loaded xdef when there is base data.
void defineBaseSymbol(LinkState& state);
// Defines the section ends and the start-up code's symbols (`_etext`,
// `_edata`, `__bss_start`, `_end`, `__data_load`, `__data_start`,
// `__base_load`, `__base_start`, `__base_end`, `__ram_end`) after `_base`,
// each only when a module references it and none defines it.
void defineBoundarySymbols(LinkState& state);

}  // namespace tarnel
