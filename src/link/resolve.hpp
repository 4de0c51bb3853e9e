// Symbol resolution: every xref is looked up by name, its value computed by
// its access type, range-checked and patched into the referencing module's
// code; absolute references also leave a relocation record.
#pragma once

#include <string_view>
#include <unordered_map>

#include "objfmt/state.hpp"

namespace tarnel {

// Index from a name to the first xdef appended under it.
using XdefIndex = std::unordered_map<std::string_view, uint32_t>;

XdefIndex buildXdefIndex(const LinkState& state);

// The first xdef of the name, with its use counted; reports the name and
// returns nullptr when there is none.
LinkSymbol* findXdef(LinkState& state, const XdefIndex& index, std::string_view name);

void resolveXrefs(LinkState& state);

}  // namespace tarnel
