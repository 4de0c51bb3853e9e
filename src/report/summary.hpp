// The two summary lines every run with arguments prints after the build
// information: the code size and the size of the file written.
#pragma once

#include <cstdint>

#include "objfmt/state.hpp"

namespace tarnel {

// What the run's output pass did, as the summary reports it.
struct WrittenOutput {
    bool created = false;  // the file was created and its writer ran
    uint32_t bytes = 0;    // its size; 0 when it could not be created or written
};

// The "Maximum code size": the sizes of the merged sections of a link, or of
// the modules a library holds (nothing when the library was not created).
uint32_t summaryCodeSize(const LinkState& state, const WrittenOutput& output);

void printSummary(LinkState& state, const WrittenOutput& output);

}  // namespace tarnel
