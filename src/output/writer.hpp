// The output pass of a link: the executable, the embedded object, the raw
// ROM image or its S-records, by the option fields.
#pragma once

#include <cstdint>

#include "objfmt/state.hpp"
#include "output/outfile.hpp"

namespace tarnel {

// Writes the linked result and returns the number of bytes written.
uint32_t writeLinkedOutput(LinkState& state, OutputFile& file);

}  // namespace tarnel
