// The object loader: reads one object module file into the next module slot,
// handing each chunk to the link-mode or the library-mode handler.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "objfmt/state.hpp"

namespace tarnel {

// Loads the file at path into slot state.moduleCount. Failures are reported
// and the run goes on. Returns the slots the file takes, by which the caller
// advances moduleCount: 1 for an object file, loaded or not; for a library
// in a link, the members it pulled into the slots from moduleCount on.
uint32_t loadObjectFile(LinkState& state, const std::string& path);

// Hands one chunk of the module in slot moduleCount, read from path, to the
// handler of the mode, once its payload is checked against its layout. An
// empty payload is passed over.
void loadModuleChunk(LinkState& state, const std::string& path, uint32_t tag, std::span<uint8_t> payload);

// Loads the members of a library, its bytes read from path, that define names
// the modules loaded so far reference and nothing defines; under -g refuses
// it. Returns the slots taken, as loadObjectFile does.
uint32_t loadLibraryFile(LinkState& state, const std::string& path, std::span<uint8_t> bytes);

// Acts on one chunk of the module in slot moduleCount, in a link. The payload
// is not empty and has been checked against its layout.
void linkModeChunk(LinkState& state, uint32_t tag, std::span<uint8_t> payload);

// The same while packing a library (-g).
void libraryModeChunk(LinkState& state, uint32_t tag, std::span<uint8_t> payload);

}  // namespace tarnel
