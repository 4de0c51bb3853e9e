// The usage of the ROM and the RAM, printed after the summary lines when
// their sizes are given (--rom-size, --ram-size).
#pragma once

#include "objfmt/state.hpp"

namespace tarnel {

void printRegionUsage(LinkState& state);

}  // namespace tarnel
