#include <iostream>
#include <string>
#include <vector>

#include "elf2obj.hpp"
#include "output/outfile.hpp"
#include "tool_main.hpp"

int main(int argc, char** argv) {
    tarnel::installOutputSignalHandlers();
    std::vector<std::string> args(argv, argv + argc);
    int status = tarnel::elf2obj::runElf2obj(args, std::cout, std::cerr);
    return tarnel::tools::finishStandardOutput("tarnel-elf2obj", status, 1);
}
