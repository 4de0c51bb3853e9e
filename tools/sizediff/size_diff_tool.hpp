// tarnel-size-diff as one call, so that the tests run it in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tarnel::sizediff {

constexpr int kExitGrowth = 1;   // a region grew by more than --max-growth
constexpr int kExitTrouble = 2;  // a wrong command line, or a record that cannot be read or is not valid

// args[0] is the program path: tarnel-size-diff [options] OLD.json NEW.json.
// The diff, -h, --help and --version go to out, messages to err.
int runSizeDiff(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tarnel::sizediff
