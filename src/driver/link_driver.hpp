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

// Computes and checks, after resolution, what an output writer of its own
// needs; an error it reports keeps the output from being written.
using OutputCheck = std::function<void(LinkState&)>;

// writeOutput, when given, replaces writeLinkedOutput in the link branch;
// checkOutput, when given, runs right before the output file is created.
void runLink(LinkState& state, const OutputWriter& writeOutput = {}, const OutputCheck& checkOutput = {});

}  // namespace tarnel
