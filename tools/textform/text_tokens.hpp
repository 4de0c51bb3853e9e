// The words of the text form that both directions share: how a tag, a
// section, an access type, a number and a quoted text are written, and how
// each is read back. Both programs go through these, so what the dump prints
// is exactly what the builder reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnel::textform {

// A tag's name when the name stands for that tag alone ("code", "end"),
// otherwise the tag word in hex ("0xC0DECF0B" for a reserved tag).
std::string tagToken(uint32_t tagWord);
// The tag word of a name or of 0x and eight hex digits; nothing for
// "reserved" (it names several tags) or an unknown name.
std::optional<uint32_t> tagFromToken(std::string_view token);

// "code" .. "bssb" for sections 0..4, else the number in hex.
std::string sectionToken(uint32_t section);
// A section name or a number.
std::optional<uint32_t> sectionFromToken(std::string_view token);

// The access type as one word, from the map's text: "absolute-16-bit".
std::string accessToken(uint32_t type);
std::optional<uint32_t> accessFromToken(std::string_view token);

// The fields of `symbol` entries and `debug` relocations by name, the
// others as numbers: a symbol's binding ("local", "global", "weak"), its type
// ("none", "object", "function"), its section (a section, or "absolute" for
// 0xFF), and a relocation's target kind ("part", "debug", "name").
enum class ByteField { binding, symbolType, symbolSection, targetKind };
std::string byteFieldToken(ByteField field, uint32_t value);
// A name of the field, or a number up to 255.
std::optional<uint32_t> byteFieldFromToken(ByteField field, std::string_view token);

// printf into a string as long as the text needs (names can be long).
[[gnu::format(printf, 1, 2)]] std::string format(const char* fmt, ...);
// "1 byte", "6 bytes".
std::string byteCount(uint64_t n);

// "0x0000ABCD".
std::string hexWord(uint32_t value);
// A decimal number or a 0x hexadecimal one that fits in 32 bits.
std::optional<uint32_t> numberFromToken(std::string_view token);

// The bytes as a double-quoted text: printable ASCII stays itself, '"' and
// '\' are escaped with '\', every other byte is written \xHH.
std::string quoted(std::string_view bytes);

// One line of the text form cut into tokens. A quoted text is one token
// holding its decoded bytes; '#' outside quotes starts a comment.
struct Token {
    std::string text;
    bool quoted;
};
struct LineTokens {
    std::vector<Token> tokens;
    uint32_t indent;    // columns before the first token, a tab reaching the next multiple of 8
    std::string error;  // set when the line cannot be cut (an open quote, a bad escape)
};
LineTokens tokenizeLine(std::string_view line);

}  // namespace tarnel::textform
