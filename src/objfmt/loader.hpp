// The object loader: reads one object module file into the next module slot,
// handing each chunk to the link-mode or the library-mode handler.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "objfmt/state.hpp"

namespace tarnel {

// Loads the file at path into slot state.moduleCount. Failures are reported
// and the run goes on; the caller advances moduleCount whatever happened.
void loadObjectFile(LinkState& state, const std::string& path);

// Acts on one chunk of the module in slot moduleCount, in a link. The payload
// is not empty and has been checked against its layout.
void linkModeChunk(LinkState& state, uint32_t tag, std::span<uint8_t> payload);

// The same while packing a library (-g).
void libraryModeChunk(LinkState& state, uint32_t tag, std::span<uint8_t> payload);

}  // namespace tarnel
