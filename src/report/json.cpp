#include "report/json.hpp"

#include <array>
#include <cstring>

#include "objfmt/hex.hpp"
#include "objfmt/utf8.hpp"

namespace tarnel {

namespace {

// The most bytes any form writes for one byte of text: \u00XX or &#xXX;.
constexpr size_t kMostPerByte = 6;

// How each form treats a byte value: as itself, escaped, or, from 0x80 on,
// as itself when it begins a valid UTF-8 sequence.
enum Kind : uint8_t { kPlain, kEscaped, kHigh };
enum Form { kJsonFile, kJsonScript, kHtml };

constexpr std::array<Kind, 256> kinds(Form form) {
    std::array<Kind, 256> kind{};
    for (int c = 0; c < 256; ++c) {
        const bool markup = c == '<' || c == '>' || c == '&';
        const bool escaped = c < 0x20 || (form != kHtml && (c == '"' || c == '\\')) ||
                             (form != kJsonFile && markup) || (form == kHtml && (c == '"' || c == '\''));
        kind[c] = c >= 0x80 ? kHigh : escaped ? kEscaped : kPlain;
    }
    return kind;
}
constexpr std::array<Kind, 256> kKinds[] = {kinds(kJsonFile), kinds(kJsonScript), kinds(kHtml)};

// Eight bytes at a time: whether any of them is one the form does not write
// as itself (or a byte from 0x80 on). Exact for "none"; the byte loop then
// finds which.
constexpr uint64_t kOnes = 0x0101010101010101, kHighs = 0x8080808080808080;
constexpr uint64_t anyZero(uint64_t v) { return (v - kOnes) & ~v & kHighs; }
constexpr uint64_t anyByte(uint64_t x, uint8_t c) { return anyZero(x ^ (kOnes * c)); }
template <Form form>
inline bool anyNotPlain(uint64_t x) {
    // bytes from 0x80 on, then those below 0x20, once no byte is that high
    uint64_t found = (x & kHighs) | ((x - kOnes * 0x20) & ~x & kHighs);
    if constexpr (form == kHtml)
        found |= anyByte(x, '"') | anyByte(x, '\'') | anyByte(x, '&') | anyByte(x, '<') | anyByte(x, '>');
    else
        found |= anyByte(x, '"') | anyByte(x, '\\');
    if constexpr (form == kJsonScript) found |= anyByte(x, '&') | anyByte(x, '<') | anyByte(x, '>');
    return found != 0;
}

char* put(char* p, std::string_view s) {
    std::memcpy(p, s.data(), s.size());
    return p + s.size();
}

// A byte the form does not write as itself: JSON's \" \\ or \u00XX, HTML's
// named or numeric character reference.
template <Form form>
char* escape(char* p, uint8_t c) {
    if constexpr (form == kHtml) {
        switch (c) {
        case '&': return put(p, "&amp;");
        case '<': return put(p, "&lt;");
        case '>': return put(p, "&gt;");
        case '"': return put(p, "&quot;");
        case '\'': return put(p, "&#39;");
        default: return put(put(put(p, "&#x"), {kHex.lower[c], 2}), ";");
        }
    }
    if (c == '"' || c == '\\') {
        *p++ = '\\';
        *p++ = char(c);
        return p;
    }
    return put(put(p, "\\u00"), {kHex.lower[c], 2});
}

// Writes text in the form at p, which has kMostPerByte bytes of room for
// each of its bytes; returns the end. Plain runs go out whole.
template <Form form>
char* putText(char* p, std::string_view text) {
    // most names are plain throughout: eight bytes at a time, the last eight
    // overlapping, then copied whole
    if (text.size() >= 8) {
        uint64_t x;
        size_t at = 0;
        for (; at + 8 < text.size(); at += 8) {
            std::memcpy(&x, text.data() + at, 8);
            if (anyNotPlain<form>(x)) break;
        }
        std::memcpy(&x, text.data() + text.size() - 8, 8);
        if (at + 8 >= text.size() && !anyNotPlain<form>(x)) return put(p, text);
    }
    const std::array<Kind, 256>& kind = kKinds[form];
    size_t i = 0;
    while (i < text.size()) {
        size_t run = i;
        for (uint64_t x; run + 8 <= text.size(); run += 8) {
            std::memcpy(&x, text.data() + run, 8);
            if (anyNotPlain<form>(x)) break;
        }
        while (run < text.size() && kind[uint8_t(text[run])] == kPlain) ++run;
        p = put(p, text.substr(i, run - i));
        i = run;
        if (i == text.size()) break;
        const uint8_t c = uint8_t(text[i]);
        if (kind[c] == kHigh) {
            if (const size_t n = utf8Sequence(text.substr(i)); n != 0) {
                p = put(p, text.substr(i, n));
                i += n;
                continue;
            }
        }
        p = escape<form>(p, c);
        ++i;
    }
    return p;
}

// Writes text in the form, in slices that fit a piece. A slice ends before
// a byte that is no UTF-8 continuation byte, so that no valid sequence is
// cut; four continuation bytes in a row belong to no valid sequence.
template <Form form>
void putSliced(PieceWriter& w, std::string_view text) {
    constexpr size_t kSlice = PieceWriter::kPiece / kMostPerByte;
    while (!text.empty()) {
        size_t n = text.size() < kSlice ? text.size() : kSlice;
        if (n < text.size()) {
            size_t cut = n;
            while (cut + 3 > n && (uint8_t(text[cut]) & 0xC0) == 0x80) --cut;
            if ((uint8_t(text[cut]) & 0xC0) != 0x80) n = cut;
        }
        w.commit(putText<form>(w.room(kMostPerByte * n), text.substr(0, n)));
        text.remove_prefix(n);
    }
}

}  // namespace

void appendJsonString(std::string& out, std::string_view text, JsonIn in) {
    const size_t at = out.size();
    out.resize(at + kMostPerByte * text.size() + 2);
    char* p = out.data() + at;
    *p++ = '"';
    p = in == JsonIn::script ? putText<kJsonScript>(p, text) : putText<kJsonFile>(p, text);
    *p++ = '"';
    out.resize(size_t(p - out.data()));
}

void appendJsonString(PieceWriter& w, std::string_view text, JsonIn in) {
    w << '"';
    if (in == JsonIn::script)
        putSliced<kJsonScript>(w, text);
    else
        putSliced<kJsonFile>(w, text);
    w << '"';
}

void appendHtmlText(PieceWriter& w, std::string_view text) { putSliced<kHtml>(w, text); }

}  // namespace tarnel
