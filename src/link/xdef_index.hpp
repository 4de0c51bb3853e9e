// The name index of the xdefs: an open-addressing table from a name to the
// first xdef appended under it, so that the first definition of a name wins.
// Slots carry the name's hash and a view of its bytes, so a probe touches
// one slot and, on a hash match, the name itself.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "objfmt/state.hpp"

namespace tarnel {

class XdefIndex {
public:
    static constexpr uint32_t npos = UINT32_MAX;

    explicit XdefIndex(std::span<const LinkSymbol> xdefs);

    // The hash of a name, keyed afresh for every run.
    static uint64_t hash(std::string_view name);
    // The position in the xdef list of the first xdef of the name, or npos.
    uint32_t find(std::string_view name, uint64_t hash) const;
    // Starts loading the slot a lookup of this hash begins at.
    void prefetch(uint64_t hash) const { __builtin_prefetch(&slots_[hash & mask_]); }
    // Starts loading the name in the slot a lookup of this hash begins at.
    void prefetchName(uint64_t hash) const { __builtin_prefetch(slots_[hash & mask_].name); }

    // Which places of the xdef list the index was built from hold the first
    // definition of their name: those the index points at.
    std::vector<bool> firstOfName(size_t xdefCount) const;

    // The most slots one insertion looked at while the index was built.
    uint64_t longestRun() const { return longestRun_; }

private:
    struct Slot {
        const char* name = nullptr;
        uint32_t length = 0;
        uint32_t tag = 0;  // high bits of the hash
        uint32_t index = npos;
    };
    static bool matches(const Slot& slot, std::string_view name, uint64_t hash);

    std::vector<Slot, HugePageAllocator<Slot>> slots_;
    uint64_t mask_ = 0;
    uint64_t longestRun_ = 0;
};

}  // namespace tarnel
