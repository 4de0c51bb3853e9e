// The end of a tool's main(): what it printed is flushed, and a standard
// output that could not take it (a full disk, /dev/full) fails the run with a
// message on standard error, so a lost dump or help text is never a success.
#pragma once

#include <iostream>

namespace tarnel::tools {

inline int finishStandardOutput(const char* program, int status, int failure) {
    std::cout.flush();
    if (std::cout) return status;
    std::cerr << program << ": error writing standard output\n";
    return failure;
}

}  // namespace tarnel::tools
