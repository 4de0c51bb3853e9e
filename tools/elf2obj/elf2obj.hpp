// The whole converter as one call, so that the tests run it in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tarnel::elf2obj {

// args[0] is the program path: tarnel-elf2obj IN.o -o OUT.o [--cpu MODEL],
// or tarnel-elf2obj -d DIR A.o B.o ... [--cpu MODEL] for a whole program.
// -h, --help and --version answer on out. Messages go to err. Returns 0
// when the output was written (or help or version shown), else 1.
int runElf2obj(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tarnel::elf2obj
