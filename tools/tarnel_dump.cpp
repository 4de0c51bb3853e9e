#include <iostream>

#include "textform/textform.hpp"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    int status = tarnel::textform::runDumpTool({argv, argv + argc}, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
