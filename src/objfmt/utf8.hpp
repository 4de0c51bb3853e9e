// UTF-8 as the reports write names and as the size diff reads them back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarnel {

// The length of the valid UTF-8 sequence of two to four bytes at the start
// of text, or 0: no overlong form, no surrogate, nothing past U+10FFFF.
inline size_t utf8Sequence(std::string_view text) {
    if (text.empty()) return 0;
    const auto byte = [&](size_t i) { return uint8_t(text[i]); };
    const uint8_t lead = byte(0);
    size_t length;
    uint32_t lowest;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, lowest = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, lowest = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, lowest = 0x10000;
    else return 0;
    if (text.size() < length) return 0;
    uint32_t code = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(i) & 0x3F);
    }
    if (code < lowest || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
    return length;
}

}  // namespace tarnel
