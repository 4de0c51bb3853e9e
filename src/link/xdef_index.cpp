#include "link/xdef_index.hpp"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <random>

namespace tarnel {

namespace {

// The per-run key of the name hash: names cannot be chosen to collide
// without knowing it. Only slot positions depend on it, never a result.
struct HashKey {
    uint64_t a, b;
};

HashKey makeKey() {
    uint64_t a = 0, b = 0;
    try {
        std::random_device device;
        a = (uint64_t(device()) << 32) ^ device();
        b = (uint64_t(device()) << 32) ^ device();
    } catch (const std::exception&) {
        // no entropy source: the time and the addresses of this run
        int local = 0;
        a = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
        b = uint64_t(reinterpret_cast<uintptr_t>(&local)) ^ uint64_t(reinterpret_cast<uintptr_t>(&makeKey));
    }
    // odd multipliers, so that no key word can zero a product by itself
    return HashKey{a | 1, b | 1};
}

const HashKey kKey = makeKey();

// The 128-bit product of a and b, its halves folded together.
inline uint64_t foldedProduct(uint64_t a, uint64_t b) {
    unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
    return uint64_t(p) ^ uint64_t(p >> 64);
}

}  // namespace

uint64_t XdefIndex::hash(std::string_view name) {
    // eight bytes at a time, each folded in with the run's key; the length
    // goes in first, so names that differ only by trailing NULs differ
    uint64_t h = foldedProduct(kKey.a ^ name.size(), kKey.b);
    const char* p = name.data();
    size_t n = name.size();
    while (n >= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        h = foldedProduct(w ^ kKey.a, h ^ kKey.b);
        p += 8;
        n -= 8;
    }
    uint64_t w = 0;
    if (n != 0) std::memcpy(&w, p, n);  // an empty name may have no bytes at all
    return foldedProduct(w ^ kKey.a, h ^ kKey.b);
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
        uint64_t at = h;
        for (;; ++at) {
            Slot& slot = slots_[at & mask_];
            if (slot.index == npos) {
                slot = Slot{name.data(), uint32_t(name.size()), uint32_t(h >> 32), i};
                break;
            }
            if (matches(slot, name, h)) break;  // the first definition of a name wins
        }
        longestRun_ = std::max(longestRun_, at - h + 1);
    }
}

std::vector<bool> XdefIndex::firstOfName(size_t xdefCount) const {
    std::vector<bool> first(xdefCount, false);
    for (const Slot& slot : slots_)
        if (slot.index != npos) first[slot.index] = true;
    return first;
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
