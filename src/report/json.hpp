// JSON text for the link record: strings escaped, numbers in decimal,
// appended to a buffer.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnel {

// A number, as JSON writes it.
inline void appendJsonNumber(std::string& out, uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, size_t(end - digits));
}

// A string in quotes. Valid UTF-8 passes unchanged; a byte that is not part
// of a valid UTF-8 sequence is written as the code point of its value, so a
// name of any bytes gives valid JSON.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace tarnel
