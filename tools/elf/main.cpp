#include <iostream>
#include <string>
#include <vector>

#include "elf_writer.hpp"
#include "output/outfile.hpp"

int main(int argc, char** argv) {
    tarnel::installOutputSignalHandlers();
    std::vector<std::string> args(argv, argv + argc);
    int status = tarnel::elf::runTarnelElf(args, std::cout);
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "error: Error writing standard output\n";
        return 1;
    }
    return status;
}
