#include "json_reader.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "objfmt/utf8.hpp"

namespace tarnel::json {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The first byte from p that a string cannot pass over as it is: a quote, a
// backslash, a control byte or the first byte of a multi-byte sequence. Eight
// bytes at a time where the byte order allows: in each test a byte's flag can
// only be wrong above a byte whose flag is right, so the lowest flag is right.
inline const char* findSpecial(const char* p, const char* end) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t kOnes = 0x0101010101010101, kHighs = 0x8080808080808080;
        while (end - p >= 8) {
            uint64_t v;
            std::memcpy(&v, p, 8);
            const uint64_t quote = v ^ (kOnes * '"'), backslash = v ^ (kOnes * '\\');
            const uint64_t flags = (((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) |
                                    ((v - kOnes * 0x20) & ~v) | v) &
                                   kHighs;
            if (flags != 0) return p + std::countr_zero(flags) / 8;
            p += 8;
        }
    }
    for (; p != end; ++p) {
        const uint8_t c = uint8_t(*p);
        if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) return p;
    }
    return p;
}

void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | code >> 6);
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | code >> 12);
        out += char(0x80 | (code >> 6 & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | code >> 18);
        out += char(0x80 | (code >> 12 & 0x3F));
        out += char(0x80 | (code >> 6 & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// Four hex digits at p, or -1.
int32_t hex4(const char* p, const char* end) {
    if (end - p < 4) return -1;
    int32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = p[i];
        int digit;
        if (isDigit(c)) digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return -1;
        value = value << 4 | digit;
    }
    return value;
}

}  // namespace

Position positionOf(std::string_view text, size_t offset) {
    offset = std::min(offset, text.size());
    const std::string_view before = text.substr(0, offset);
    const size_t lineStart = before.rfind('\n');
    const size_t line = 1 + size_t(std::count(before.begin(), before.end(), '\n'));
    return {line, lineStart == std::string_view::npos ? offset + 1 : offset - lineStart};
}

Reader::Reader(std::string_view text, uint32_t maxDepth)
    : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()), maxDepth_(maxDepth) {}

void Reader::fail(size_t offset, const std::string& message) const { throw Error(offset, message); }

std::string Reader::found(const char* p) const {
    if (p == end_) return "the end of the text";
    const uint8_t c = uint8_t(*p);
    if (c > 0x20 && c < 0x7F) return std::string("'") + char(c) + "'";
    static constexpr char kHex[] = "0123456789abcdef";
    return std::string("byte 0x") + kHex[c >> 4] + kHex[c & 0xF];
}

void Reader::skipSpace() {
    while (p_ != end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
}

size_t Reader::offset() {
    skipSpace();
    return size_t(p_ - begin_);
}

void Reader::expect(char c, const char* what) {
    if (p_ != end_ && *p_ == c) {
        ++p_;
        return;
    }
    skipSpace();
    if (p_ == end_ || *p_ != c) fail(size_t(p_ - begin_), std::string("expected ") + what + ", found " + found(p_));
    ++p_;
}

void Reader::push(bool object) {
    if (levels_.size() >= maxDepth_)
        fail(size_t(p_ - begin_), "values nested deeper than " + std::to_string(maxDepth_) + " levels");
    levels_.push_back({object, true});
}

Reader::Type Reader::peek() {
    skipSpace();
    if (p_ != end_) {
        switch (*p_) {
        case '{': return Type::object;
        case '[': return Type::array;
        case '"': return Type::string;
        case 't':
        case 'f': return Type::boolean;
        case 'n': return Type::null;
        default:
            if (*p_ == '-' || isDigit(*p_)) return Type::number;
        }
    }
    fail(size_t(p_ - begin_), "expected a value, found " + found(p_));
}

void Reader::beginObject() {
    skipSpace();
    if (p_ == end_ || *p_ != '{') fail(size_t(p_ - begin_), "expected an object, found " + found(p_));
    push(true);
    ++p_;
}

bool Reader::nextMember(std::string_view& key) {
    Level& level = levels_.back();
    skipSpace();
    if (p_ != end_ && *p_ == '}') {
        ++p_;
        levels_.pop_back();
        return false;
    }
    if (!level.first) expect(',', "',' or '}'");
    level.first = false;
    skipSpace();
    if (p_ == end_ || *p_ != '"') fail(size_t(p_ - begin_), "expected a string key, found " + found(p_));
    keyOffset_ = size_t(p_ - begin_);
    key = scanString<true>();
    expect(':', "':'");
    return true;
}

void Reader::beginArray() {
    skipSpace();
    if (p_ == end_ || *p_ != '[') fail(size_t(p_ - begin_), "expected an array, found " + found(p_));
    push(false);
    ++p_;
}

bool Reader::nextElement() {
    Level& level = levels_.back();
    skipSpace();
    if (p_ != end_ && *p_ == ']') {
        ++p_;
        levels_.pop_back();
        return false;
    }
    if (!level.first) expect(',', "',' or ']'");
    level.first = false;
    return true;
}

std::string_view Reader::string() {
    skipSpace();
    if (p_ == end_ || *p_ != '"') fail(size_t(p_ - begin_), "expected a string, found " + found(p_));
    return scanString<true>();
}

template <bool Decode>
std::string_view Reader::scanString() {
    const char* const open = p_;
    const char* p = p_ + 1;
    const char* run = p;  // the bytes from here to p go out as they are
    bool escaped = false;
    for (;;) {
        p = findSpecial(p, end_);
        if (p == end_) fail(size_t(open - begin_), "a string that does not end");
        const uint8_t c = uint8_t(*p);
        if (c == '"') break;
        if (c == '\\') {
            if constexpr (Decode) {
                if (!escaped) scratch_.clear();
                scratch_.append(run, p);
            }
            escaped = true;
            scanEscape(p, Decode ? &scratch_ : nullptr);
            run = p;
        } else if (c < 0x20) {
            fail(size_t(p - begin_), "a control byte in a string (it must be escaped)");
        } else {
            const size_t n = utf8Sequence(std::string_view(p, size_t(end_ - p)));
            if (n == 0) fail(size_t(p - begin_), "a byte that is not UTF-8 in a string");
            p += n;
        }
    }
    p_ = p + 1;
    if (Decode && escaped) {
        scratch_.append(run, p);
        return scratch_;
    }
    return {open + 1, size_t(p - open - 1)};
}

void Reader::scanEscape(const char*& p, std::string* into) {
    const char* const at = p;
    if (end_ - p < 2) fail(size_t(at - begin_), "a string that does not end");
    const char e = p[1];
    p += 2;
    static constexpr std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
    if (const size_t i = kFrom.find(e); i != std::string_view::npos) {
        if (into) *into += kTo[i];
        return;
    }
    if (e != 'u') fail(size_t(at - begin_), "an unknown escape \\" + found(at + 1));
    int32_t code = hex4(p, end_);
    if (code < 0) fail(size_t(at - begin_), "\\u without four hex digits");
    p += 4;
    if (code >= 0xDC00 && code <= 0xDFFF) fail(size_t(at - begin_), "a low surrogate without a high one before it");
    if (code >= 0xD800 && code <= 0xDBFF) {
        const int32_t low = end_ - p >= 2 && p[0] == '\\' && p[1] == 'u' ? hex4(p + 2, end_) : -1;
        if (low < 0xDC00 || low > 0xDFFF) fail(size_t(at - begin_), "a high surrogate without a low one after it");
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        p += 6;
    }
    if (into) appendUtf8(*into, uint32_t(code));
}

Reader::Number Reader::scanNumber() {
    const char* p = p_;
    Number n{false, true, true, 0};
    if (*p == '-') {
        n.negative = true;
        ++p;
    }
    if (p == end_ || !isDigit(*p)) fail(size_t(p - begin_), "expected a digit, found " + found(p));
    if (*p == '0') {
        ++p;
        if (p != end_ && isDigit(*p)) fail(size_t(p_ - begin_), "a number with a leading zero");
    } else {
        const char* const digits = p;
        while (p != end_ && isDigit(*p)) ++p;
        // 19 digits always fit in 64 bits, 20 only up to 18446744073709551615
        constexpr std::string_view kMax = "18446744073709551615";
        const std::string_view all(digits, size_t(p - digits));
        n.fits = all.size() < kMax.size() || (all.size() == kMax.size() && all <= kMax);
        if (n.fits)
            for (char c : all) n.value = n.value * 10 + uint64_t(c - '0');
    }
    if (p != end_ && *p == '.') {
        n.integral = false;
        ++p;
        if (p == end_ || !isDigit(*p)) fail(size_t(p - begin_), "expected a digit after '.', found " + found(p));
        while (p != end_ && isDigit(*p)) ++p;
    }
    if (p != end_ && (*p == 'e' || *p == 'E')) {
        n.integral = false;
        ++p;
        if (p != end_ && (*p == '+' || *p == '-')) ++p;
        if (p == end_ || !isDigit(*p)) fail(size_t(p - begin_), "expected a digit in the exponent, found " + found(p));
        while (p != end_ && isDigit(*p)) ++p;
    }
    p_ = p;
    return n;
}

uint64_t Reader::unsignedInteger(uint64_t max) {
    skipSpace();
    const char* const start = p_;
    auto wanted = [&] { return "expected an integer from 0 to " + std::to_string(max) + ", found "; };
    if (p_ == end_ || (*p_ != '-' && !isDigit(*p_))) fail(size_t(start - begin_), wanted() + found(p_));
    const Number n = scanNumber();
    if (!n.integral || !n.fits || (n.negative && n.value != 0) || n.value > max) {
        std::string token(start, std::min<size_t>(size_t(p_ - start), 24));
        if (p_ - start > 24) token += "...";
        fail(size_t(start - begin_), wanted() + token);
    }
    return n.value;
}

void Reader::scanLiteral(std::string_view word) {
    if (size_t(end_ - p_) < word.size() || std::memcmp(p_, word.data(), word.size()) != 0)
        fail(size_t(p_ - begin_), "expected " + std::string(word) + ", found " + found(p_));
    p_ += word.size();
}

bool Reader::boolean() {
    skipSpace();
    if (p_ != end_ && *p_ == 't') {
        scanLiteral("true");
        return true;
    }
    if (p_ != end_ && *p_ == 'f') {
        scanLiteral("false");
        return false;
    }
    fail(size_t(p_ - begin_), "expected true or false, found " + found(p_));
}

bool Reader::null() {
    skipSpace();
    if (p_ == end_ || *p_ != 'n') return false;
    scanLiteral("null");
    return true;
}

void Reader::skipValue() {
    const size_t base = levels_.size();
    auto memberKey = [&] {
        skipSpace();
        if (p_ == end_ || *p_ != '"') fail(size_t(p_ - begin_), "expected a string key, found " + found(p_));
        scanString<false>();
        expect(':', "':'");
    };
    for (;;) {
        // a value begins here
        skipSpace();
        const char c = p_ == end_ ? '\0' : *p_;
        if (c == '{' || c == '[') {
            push(c == '{');
            ++p_;
            skipSpace();
            if (p_ == end_ || *p_ != (c == '{' ? '}' : ']')) {
                if (c == '{') memberKey();
                continue;
            }
            ++p_;
            levels_.pop_back();
        } else if (c == '"') {
            scanString<false>();
        } else if (c == '-' || isDigit(c)) {
            scanNumber();
        } else if (c == 't') {
            scanLiteral("true");
        } else if (c == 'f') {
            scanLiteral("false");
        } else if (c == 'n') {
            scanLiteral("null");
        } else {
            fail(size_t(p_ - begin_), "expected a value, found " + found(p_));
        }
        // a value ends here: close the containers that end with it, then
        // go on at the next element or member
        for (;;) {
            if (levels_.size() == base) return;
            const bool object = levels_.back().object;
            skipSpace();
            if (p_ != end_ && *p_ == ',') {
                ++p_;
                if (object) memberKey();
                break;
            }
            if (p_ == end_ || *p_ != (object ? '}' : ']'))
                fail(size_t(p_ - begin_), std::string(object ? "expected ',' or '}'" : "expected ',' or ']'") +
                                              ", found " + found(p_));
            ++p_;
            levels_.pop_back();
        }
    }
}

void Reader::finish() {
    skipSpace();
    if (p_ != end_) fail(size_t(p_ - begin_), "expected the end of the text, found " + found(p_));
}

}  // namespace tarnel::json
