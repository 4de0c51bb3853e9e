// What every tool but tarnel shares on its command line and at the end of
// its main().
#pragma once

#include <iostream>

namespace tarnel::tools {

// --version: the tool's name and the version of tarnel it comes with, the
// one tarnel's banner shows
inline void printVersion(std::ostream& out, const char* program) {
    out << program << " (tarnel) " << TARNEL_VERSION << "\n";
}

// What the tool printed is flushed, and a standard output that could not take
// it (a full disk, /dev/full) fails the run with a message on standard error,
// so a lost dump or help text is never a success.
inline int finishStandardOutput(const char* program, int status, int failure) {
    std::cout.flush();
    if (std::cout) return status;
    std::cerr << program << ": error writing standard output\n";
    return failure;
}

}  // namespace tarnel::tools
