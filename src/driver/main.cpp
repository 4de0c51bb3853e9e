#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "driver/tarnel.hpp"
#include "output/outfile.hpp"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char** argv) {
#if defined(__GLIBC__)
    // Large heap blocks (report text, write buffers) are mapped and given
    // back when freed, instead of staying in the heap.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
    tarnel::installOutputSignalHandlers();
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv, argv + argc);
    int status = tarnel::runTarnel(args, std::cout);
    std::cout.flush();
    // the report is the run's result too: one that did not reach its end fails
    // the run, and standard error is the one place left to say so
    if (!std::cout) {
        std::cerr << "error: Error writing standard output\n";
        return 1;
    }
    return status;
}
