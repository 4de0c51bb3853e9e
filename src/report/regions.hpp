// The usage of the ROM and the RAM, printed after the summary lines when
// their sizes are given (--rom-size, --ram-size).
#pragma once

#include <cstdint>

#include "objfmt/placement.hpp"
#include "objfmt/state.hpp"

namespace tarnel {

// What a region of given size has used, in hundredths of a percent rounded
// half up; past 10000 when it overflowed.
inline uint64_t usedHundredths(const RegionUsage& r) { return (r.used * 10000 + *r.size / 2) / *r.size; }

void printRegionUsage(LinkState& state);

}  // namespace tarnel
