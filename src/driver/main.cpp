#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "driver/tarnel.hpp"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char** argv) {
#if defined(__GLIBC__)
    // Large heap blocks (report text, write buffers) are mapped and given
    // back when freed, instead of staying in the heap.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv, argv + argc);
    int status = tarnel::runTarnel(args, std::cout);
    std::cout.flush();
    return status;
}
