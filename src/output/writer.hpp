// The output pass of a link: the executable or the embedded object as chunks,
// or the ROM image, raw or as S-records, by the option fields.
#pragma once

#include <cstdint>

#include "objfmt/state.hpp"
#include "output/outfile.hpp"

namespace tarnel {

// Writes the linked result and returns the number of bytes written (for a ROM
// image, the image's size).
uint32_t writeLinkedOutput(LinkState& state, OutputFile& file);

// The ROM image alone, raw or as S-records by srecMode; returns its size.
uint32_t writeImage(LinkState& state, OutputFile& file);

}  // namespace tarnel
