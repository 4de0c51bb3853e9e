#include <iostream>
#include <string>
#include <vector>

#include "elf2obj.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv, argv + argc);
    int status = tarnel::elf2obj::runElf2obj(args, std::cout, std::cerr);
    std::cout.flush();
    return std::cout ? status : 1;
}
