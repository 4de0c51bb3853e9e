// The ROM and the RAM as regions: the long options that give them are
// checked when the link starts, and what the link puts in each must fit.
#pragma once

#include "objfmt/state.hpp"

namespace tarnel {

// --ram and --rom-size need -r or -s, --ram-size needs --ram, and none of
// them goes with -g; each that does not is reported.
void checkMemoryOptions(LinkState& state);

// The ROM image must fit the ROM's size and the sections that run in RAM the
// RAM's size; with the data in RAM, the RAM must not overlap the image.
void checkRegions(LinkState& state);

}  // namespace tarnel
