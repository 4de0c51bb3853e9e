// Symbol resolution: every xref is looked up by name, its value computed by
// its access type, range-checked and patched into the referencing module's
// code; absolute references also leave a relocation record.
#pragma once

#include "objfmt/state.hpp"

namespace tarnel {

void resolveXrefs(LinkState& state);

}  // namespace tarnel
