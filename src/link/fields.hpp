// Locating the fields that relocation and resolution patch. Every write into
// section bytes goes through fieldAt's bounds check first.
#pragma once

#include <cstdint>
#include <span>

#include "objfmt/state.hpp"

namespace tarnel {

// The field of `width` bytes at `offset`, or nullptr when it does not lie
// wholly inside the bytes.
inline uint8_t* fieldAt(std::span<uint8_t> bytes, uint32_t offset, uint32_t width) {
    if (offset > bytes.size() || bytes.size() - offset < width) return nullptr;
    return bytes.data() + offset;
}

// Reports a fix-up whose field lies outside its module's section bytes.
void reportFieldOutside(LinkState& state, uint32_t offset, uint32_t section, uint32_t module);

}  // namespace tarnel
