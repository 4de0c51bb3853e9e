#include <iostream>
#include <string>
#include <vector>

#include "driver/tarnel.hpp"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv, argv + argc);
    int status = tarnel::runTarnel(args, std::cout);
    std::cout.flush();
    return status;
}
