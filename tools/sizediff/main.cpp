#include <iostream>

#include "size_diff_tool.hpp"
#include "tool_main.hpp"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const int status = tarnel::sizediff::runSizeDiff({argv, argv + argc}, std::cout, std::cerr);
    return tarnel::tools::finishStandardOutput("tarnel-size-diff", status, tarnel::sizediff::kExitTrouble);
}
