// The link map: every xdef with its address, every xref with its place and
// access, and every relocation record, as the link left them.
#pragma once

#include "objfmt/state.hpp"

namespace tarnel {

void printLinkMap(LinkState& state);

}  // namespace tarnel
