// The run proper, after every argument: the library branch or the link
// branch, then the summary that every run with arguments prints.
#pragma once

#include "objfmt/state.hpp"

namespace tarnel {

void runLink(LinkState& state);

}  // namespace tarnel
