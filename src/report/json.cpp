#include "report/json.hpp"

#include "objfmt/hex.hpp"

namespace tarnel {

namespace {

// The length of the valid UTF-8 sequence at the start of text, or 0.
size_t utf8Sequence(std::string_view text) {
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
    // no overlong form, no surrogate, nothing past U+10FFFF
    if (code < lowest || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
    return length;
}

void appendEscape(std::string& out, uint8_t value) {
    out += "\\u00";
    out.append(kHex.lower[value], 2);
}

}  // namespace

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    size_t i = 0;
    while (i < text.size()) {
        // plain runs go out whole
        size_t run = i;
        while (run < text.size() && uint8_t(text[run]) >= 0x20 && uint8_t(text[run]) < 0x80 && text[run] != '"' &&
               text[run] != '\\')
            ++run;
        out.append(text.data() + i, run - i);
        i = run;
        if (i == text.size()) break;
        const uint8_t c = uint8_t(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
            ++i;
        } else if (c < 0x20) {
            appendEscape(out, c);
            ++i;
        } else if (const size_t n = utf8Sequence(text.substr(i)); n != 0) {
            out.append(text.data() + i, n);
            i += n;
        } else {
            appendEscape(out, c);
            ++i;
        }
    }
    out += '"';
}

}  // namespace tarnel
