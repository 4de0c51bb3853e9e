// Section layout: where each module's part of each merged section starts,
// the five totals, ROM placement, the 64 KB base limit and `_base`.
#pragma once

#include <cstdint>

#include "objfmt/state.hpp"

namespace tarnel {

// Totals the five sections over all slots. In ROM mode data follows all code
// and bss follows all data; bssb always follows all base data.
void layoutSections(LinkState& state);
// The merged base section must fit the 64 KB a base register reaches.
void checkBaseSize(LinkState& state);
// Each merged section, all five together and, in ROM mode, the image placed
// at romStart must fit below 2^32; each that does not is reported.
void checkAddressSpace(LinkState& state);
// Defines `_base` after every loaded xdef when there is base data.
void defineBaseSymbol(LinkState& state);

// A module's start in a section; 0 for a section number outside 0..4.
uint32_t sectionStart(const LinkState& state, uint32_t module, uint32_t section);
// The same with the base bias added for base and bssb.
uint32_t biasedStart(const LinkState& state, uint32_t module, uint32_t section);

}  // namespace tarnel
