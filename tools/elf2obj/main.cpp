#include <iostream>
#include <string>
#include <vector>

#include "elf2obj.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv, argv + argc);
    return tarnel::elf2obj::runElf2obj(args, std::cerr);
}
