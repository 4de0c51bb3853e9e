// Big-endian byte-order primitives. Every integer in a chunk file and every
// patched field in section bytes is big-endian, whatever the host's order;
// none of these needs aligned bytes.
#pragma once

#include <cstdint>

namespace tarnel {

inline uint32_t readWordBE(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

inline void writeWordBE(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

inline uint16_t readHalfBE(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

// Stores the low 16 bits of v.
inline void writeHalfBE(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

}  // namespace tarnel
