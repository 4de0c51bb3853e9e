// The whole linker as one call: the process entry adapts argv and stdout to it,
// and the tests run complete links in-process through it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tarnel {

// args[0] is the program path. Everything the run prints goes to out.
// Returns the exit status: 1 when any error was reported, else 0.
int runTarnel(const std::vector<std::string>& args, std::ostream& out);

}  // namespace tarnel
