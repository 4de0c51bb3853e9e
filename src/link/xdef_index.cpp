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

XdefIndex::XdefIndex(const std::vector<LinkSymbol>& xdefs) {
    size_t capacity = 16;
    while (capacity < xdefs.size() * 2) capacity *= 2;
    slots_.resize(capacity);
    mask_ = capacity - 1;
    for (uint32_t i = 0; i < xdefs.size(); ++i) {
        std::string_view name = xdefs[i].name;
        uint64_t h = hash(name);
        if (find(name, h) != npos) continue;  // the first definition of a name wins
        for (uint64_t at = h;; ++at) {
            Slot& slot = slots_[at & mask_];
            if (slot.index != npos) continue;
            slot = Slot{name.data(), uint32_t(name.size()), uint32_t(h >> 32), i};
            break;
        }
    }
}

uint32_t XdefIndex::find(std::string_view name, uint64_t h) const {
    const uint32_t tag = uint32_t(h >> 32);
    for (uint64_t at = h;; ++at) {
        const Slot& slot = slots_[at & mask_];
        if (slot.index == npos) return npos;
        if (slot.tag == tag && slot.length == name.size() &&
            (name.empty() || std::memcmp(slot.name, name.data(), name.size()) == 0))
            return slot.index;
    }
}

}  // namespace tarnel
