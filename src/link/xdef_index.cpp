#include "link/xdef_index.hpp"

#include <cstring>

namespace tarnel {

uint64_t XdefIndex::hash(std::string_view name) {
    // eight bytes at a time, each multiplied in; names sharing long prefixes
    // still differ by their tails and their lengths
    constexpr uint64_t k = 0x9E3779B97F4A7C15ull;
    uint64_t h = name.size() * k;
    const char* p = name.data();
    size_t n = name.size();
    while (n >= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * k;
        h ^= h >> 29;
        p += 8;
        n -= 8;
    }
    uint64_t w = 0;
    if (n != 0) std::memcpy(&w, p, n);  // an empty name may have no bytes at all
    h = (h ^ w) * k;
    return h ^ (h >> 32);
}

XdefIndex::XdefIndex(std::span<const LinkSymbol> xdefs) {
    // a table at most four fifths full keeps probe runs short (the slots of
    // a run share cache lines) and the table small enough to stay in cache
    size_t capacity = 16;
    while (capacity * 4 < xdefs.size() * 5) capacity *= 2;
    slots_.resize(capacity);
    mask_ = capacity - 1;
    const size_t n = xdefs.size();
    std::vector<uint64_t, HugePageAllocator<uint64_t>> hashes(n);
    for (size_t i = 0; i < n; ++i) hashes[i] = hash(xdefs[i].name);
    constexpr size_t kAhead = 16;
    for (uint32_t i = 0; i < n; ++i) {
        if (i + kAhead < n) prefetch(hashes[i + kAhead]);
        std::string_view name = xdefs[i].name;
        const uint64_t h = hashes[i];
        for (uint64_t at = h;; ++at) {
            Slot& slot = slots_[at & mask_];
            if (slot.index == npos) {
                slot = Slot{name.data(), uint32_t(name.size()), uint32_t(h >> 32), i};
                break;
            }
            if (matches(slot, name, h)) break;  // the first definition of a name wins
        }
    }
}

bool XdefIndex::matches(const Slot& slot, std::string_view name, uint64_t h) {
    return slot.tag == uint32_t(h >> 32) && slot.length == name.size() &&
           (name.empty() || std::memcmp(slot.name, name.data(), name.size()) == 0);
}

uint32_t XdefIndex::find(std::string_view name, uint64_t h) const {
    for (uint64_t at = h;; ++at) {
        const Slot& slot = slots_[at & mask_];
        if (slot.index == npos) return npos;
        if (matches(slot, name, h)) return slot.index;
    }
}

}  // namespace tarnel
