// How tarnel-elf puts its tables together: big-endian halves and words
// appended to a byte string, and string tables.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnel::elf {

inline void put16(std::string& b, uint32_t v) {
    b += char(v >> 8);
    b += char(v);
}
inline void put32(std::string& b, uint32_t v) {
    put16(b, v >> 16);
    put16(b, v);
}

// A string table: offset 0 holds the empty name.
struct StringTable {
    std::string bytes = std::string(1, '\0');
    uint32_t add(std::string_view s) {
        uint32_t at = uint32_t(bytes.size());
        bytes.append(s);
        bytes += '\0';
        return at;
    }
};

}  // namespace tarnel::elf
