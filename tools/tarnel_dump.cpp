#include <iostream>

#include "textform/textform.hpp"
#include "tool_main.hpp"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    int status = tarnel::textform::runDumpTool({argv, argv + argc}, std::cout, std::cerr);
    return tarnel::tools::finishStandardOutput("tarnel-dump", status, 2);
}
