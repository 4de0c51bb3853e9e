// The embedded object's export: one `link` chunk defining the label at the
// first byte of the code section.
#pragma once

#include <cstdint>
#include <string_view>

#include "output/outfile.hpp"

namespace tarnel {

// Writes the label's `link` chunk and returns its size, P + 20 bytes.
uint32_t writeEntryLink(OutputFile& file, std::string_view label);

}  // namespace tarnel
