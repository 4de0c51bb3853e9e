// How tarnel-elf puts its tables together: big-endian halves and words
// appended to a byte string or stored in place, and string tables.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "objfmt/hugepages.hpp"

namespace tarnel::elf {

// The bytes of a table; one of a megabyte or more (the symbols of a large
// link) is backed by huge pages, as the linker's own big buffers are.
using TableBytes = std::basic_string<char, std::char_traits<char>, HugePageAllocator<char>>;

inline void put16(TableBytes& b, uint32_t v) {
    b += char(v >> 8);
    b += char(v);
}
inline void put32(TableBytes& b, uint32_t v) {
    put16(b, v >> 16);
    put16(b, v);
}

inline void store16(char* p, uint32_t v) {
    p[0] = char(v >> 8);
    p[1] = char(v);
}
inline void store32(char* p, uint32_t v) {
    store16(p, v >> 16);
    store16(p + 2, v);
}

// A string table: offset 0 holds the empty name.
struct StringTable {
    TableBytes bytes = TableBytes(1, '\0');
    uint32_t add(std::string_view s) {
        uint32_t at = uint32_t(bytes.size());
        bytes.append(s);
        bytes += '\0';
        return at;
    }
};

}  // namespace tarnel::elf
