#include "objfmt/hugepages.hpp"

#include <sys/mman.h>

#include <new>

namespace tarnel {

uint8_t* mapHugePageBlock(size_t size) {
    // map one huge page more, then trim the ends to an aligned block
    void* p = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    auto raw = reinterpret_cast<uintptr_t>(p);
    uintptr_t aligned = (raw + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
    if (aligned > raw) ::munmap(p, aligned - raw);
    ::munmap(reinterpret_cast<void*>(aligned + size), raw + kHugePage - aligned);
#ifdef MADV_HUGEPAGE
    ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<uint8_t*>(aligned);
}

void unmapHugePageBlock(void* block, size_t size) { ::munmap(block, size); }

}  // namespace tarnel
