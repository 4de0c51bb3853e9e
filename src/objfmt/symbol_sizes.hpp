// What each definition takes: the bytes from its address up to the next
// definition of its module's part of its section, or to the part's end.
#pragma once

#include <cstdint>
#include <vector>

#include "objfmt/state.hpp"

namespace tarnel {

// Each xdef's address as the map shows it, by its place in the xdef list.
std::vector<uint32_t> definitionAddresses(const LinkState& state);

// Each xdef's size, by its place in the xdef list, given their addresses; 0
// for a definition in no module part (such as one the linker made).
std::vector<uint32_t> definitionSizes(const LinkState& state, const std::vector<uint32_t>& address);

}  // namespace tarnel
