// Build information: for each section, one line per module that has a part
// of it, with the module's name, version, address range, size and date.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "objfmt/state.hpp"

namespace tarnel {

// The name right-aligned in width columns; a longer name is returned whole.
std::string padName(std::string_view name, uint32_t width);

void printBuildInfo(LinkState& state);

}  // namespace tarnel
