// The run proper, after every argument: the library branch or the link
// branch, then the summary that every run with arguments prints.
#pragma once

#include <cstdint>
#include <functional>

#include "objfmt/state.hpp"

namespace tarnel {

class OutputFile;

// Writes a finished link's output into the file and returns the byte count
// the summary reports.
using OutputWriter = std::function<uint32_t(LinkState&, OutputFile&)>;

// writeOutput, when given, replaces writeLinkedOutput in the link branch.
void runLink(LinkState& state, const OutputWriter& writeOutput = {});

}  // namespace tarnel
