// The whole linker as one call: the process entry adapts argv and stdout to it,
// and the tests run complete links in-process through it.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace tarnel {

struct LinkState;
class OutputFile;

// What a program built on the linker may change about a run; empty members
// keep tarnel's own behaviour.
struct LinkHooks {
    // After every argument, before the run proper; false ends the run with
    // exit status 1 (the hook reports why).
    std::function<bool(LinkState&)> afterArguments;
    // Replaces writeLinkedOutput in the link branch; returns the byte count
    // the summary reports.
    std::function<uint32_t(LinkState&, OutputFile&)> writeOutput;
    // In the link branch, after resolution and before the output file is
    // created: what writeOutput needs computed and checked. An error it
    // reports keeps the output from being written, as any link error does.
    std::function<void(LinkState&)> beforeOutput;
};

// args[0] is the program path. Everything the run prints goes to out.
// Returns the exit status: 1 when any error was reported, else 0.
int runTarnel(const std::vector<std::string>& args, std::ostream& out, const LinkHooks& hooks = {});

}  // namespace tarnel
