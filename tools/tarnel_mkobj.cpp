#include <iostream>

#include "output/outfile.hpp"
#include "textform/textform.hpp"
#include "tool_main.hpp"

int main(int argc, char** argv) {
    tarnel::installOutputSignalHandlers();
    std::ios::sync_with_stdio(false);
    int status = tarnel::textform::runMkobjTool({argv, argv + argc}, std::cin, std::cout, std::cerr);
    return tarnel::tools::finishStandardOutput("tarnel-mkobj", status, 2);
}
