// JSON text for the link record and the size report, and HTML text for the
// size report's page: strings escaped, numbers in decimal. Every form takes
// names of any bytes: valid UTF-8 passes unchanged, and a byte that is not
// part of a valid UTF-8 sequence is written as the code point of its value.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include "report/text.hpp"

namespace tarnel {

// Where a JSON string goes: a file of its own, or a page's script element,
// where <, > and & are escaped too so that no name can end the element.
enum class JsonIn { file, script };

// A number, as JSON writes it.
inline void appendJsonNumber(std::string& out, uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, size_t(end - digits));
}
inline void appendJsonNumber(PieceWriter& w, uint64_t value) {
    char* p = w.room(20);
    w.commit(std::to_chars(p, p + 20, value).ptr);
}

// A string in quotes: quotes, backslashes and control bytes escaped.
void appendJsonString(std::string& out, std::string_view text, JsonIn in = JsonIn::file);
void appendJsonString(PieceWriter& w, std::string_view text, JsonIn in = JsonIn::file);

// Text for an HTML element or a quoted attribute: &, <, >, " and ' as
// character references, as are control bytes.
void appendHtmlText(PieceWriter& w, std::string_view text);

}  // namespace tarnel
