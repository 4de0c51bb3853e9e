// The hexadecimal digits of every byte value, upper case (S-records, the text
// form) and lower case (the reports), so that a byte is one table load.
#pragma once

namespace tarnel {

struct HexTable {
    char upper[256][2];
    char lower[256][2];
    constexpr HexTable() : upper(), lower() {
        constexpr char kUpper[] = "0123456789ABCDEF", kLower[] = "0123456789abcdef";
        for (int b = 0; b < 256; ++b) {
            upper[b][0] = kUpper[b >> 4];
            upper[b][1] = kUpper[b & 0xF];
            lower[b][0] = kLower[b >> 4];
            lower[b][1] = kLower[b & 0xF];
        }
    }
};

inline constexpr HexTable kHex;

}  // namespace tarnel
