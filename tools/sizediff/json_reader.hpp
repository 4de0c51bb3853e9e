// A strict JSON reader (RFC 8259) that walks a text in place. The caller
// asks for the value it expects next; anything else is an error at that
// place. Nothing is built but what the caller keeps: a string without escapes
// is a view of the text itself.
//
//   json::Reader r(text);
//   r.beginObject();
//   for (std::string_view key; r.nextMember(key);)
//       if (key == "size") size = r.unsignedInteger(UINT32_MAX); else r.skipValue();
//   r.finish();
//
// Bounded: nesting deeper than the reader's depth is an error, and so is an
// integer asked for that does not fit in its range. Strict: no comments, no
// trailing commas, no leading zeros, no byte order mark, only valid UTF-8,
// every escape well formed (a surrogate pair whole), nothing after the value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarnel::json {

// Why a text was refused, and the offset of the byte where it was seen.
class Error : public std::runtime_error {
public:
    Error(size_t offset, const std::string& message) : std::runtime_error(message), offset_(offset) {}
    size_t offset() const { return offset_; }

private:
    size_t offset_;
};

// A place in a text, both counted from 1; the column in bytes.
struct Position {
    size_t line, column;
};
Position positionOf(std::string_view text, size_t offset);

constexpr uint32_t kDefaultDepth = 64;

class Reader {
public:
    explicit Reader(std::string_view text, uint32_t maxDepth = kDefaultDepth);

    enum class Type { object, array, string, number, boolean, null };
    // The type of the next value; an error when none begins here.
    Type peek();

    // An object: beginObject, then nextMember until it returns false. The key
    // is valid until the next call; keyOffset() is where it begins.
    void beginObject();
    bool nextMember(std::string_view& key);
    size_t keyOffset() const { return keyOffset_; }
    // An array: beginArray, then nextElement until it returns false.
    void beginArray();
    bool nextElement();

    // A string's content, unescaped: a view of the text, or of the reader's
    // own buffer (valid until the next call) when the string holds escapes.
    std::string_view string();
    // An integer from 0 to max, written without a fraction or an exponent.
    uint64_t unsignedInteger(uint64_t max);
    bool boolean();
    // Takes a null and says so; leaves any other value where it is.
    bool null();
    // Any value, checked as strictly as the rest.
    void skipValue();
    // The end of the text: nothing but white space may follow the value.
    void finish();

    // The offset of the next value (after white space).
    size_t offset();
    [[noreturn]] void fail(size_t offset, const std::string& message) const;

private:
    struct Level {
        bool object;
        bool first;
    };
    void skipSpace();
    char next();
    void expect(char c, const char* what);
    void push(bool object);
    template <bool Decode>
    std::string_view scanString();
    void scanEscape(const char*& p, std::string* into);
    struct Number {
        bool negative, integral, fits;
        uint64_t value;
    };
    Number scanNumber();
    void scanLiteral(std::string_view word);
    std::string found(const char* p) const;

    const char* begin_;
    const char* p_;
    const char* end_;
    uint32_t maxDepth_;
    size_t keyOffset_ = 0;
    std::vector<Level> levels_;
    std::string scratch_;
};

}  // namespace tarnel::json
