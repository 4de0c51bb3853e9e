// Memory for the run's big buffers (input files, symbol and relocation lists,
// the name index) in blocks the system can back with 2 MiB pages: a link of
// hundreds of thousands of symbols would otherwise spend much of its time
// taking a fault for each fresh 4 KiB page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace tarnel {

inline constexpr size_t kHugePage = size_t(2) << 20;

// size bytes (a multiple of kHugePage) aligned to a huge page; throws
// std::bad_alloc when the system has no room.
uint8_t* mapHugePageBlock(size_t size);
void unmapHugePageBlock(void* block, size_t size);

// An allocator that maps buffers of a megabyte or more as huge-page blocks
// and takes smaller ones from the heap.
template <class T>
struct HugePageAllocator {
    using value_type = T;

    HugePageAllocator() = default;
    template <class U>
    HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

    static constexpr size_t kMapFrom = size_t(1) << 20;

    static bool mapped(size_t n) { return n * sizeof(T) >= kMapFrom; }
    static size_t blockSize(size_t n) { return (n * sizeof(T) + kHugePage - 1) & ~(kHugePage - 1); }

    T* allocate(size_t n) {
        // the rounding to whole huge pages must not wrap around
        if (n > (SIZE_MAX - 2 * kHugePage) / sizeof(T)) throw std::bad_alloc();
        if (mapped(n)) return reinterpret_cast<T*>(mapHugePageBlock(blockSize(n)));
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, size_t n) noexcept {
        if (mapped(n))
            unmapHugePageBlock(p, blockSize(n));
        else
            std::allocator<T>().deallocate(p, n);
    }

    template <class U>
    bool operator==(const HugePageAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace tarnel
