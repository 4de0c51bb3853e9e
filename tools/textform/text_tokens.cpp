#include "textform/text_tokens.hpp"

#include <cstdarg>
#include <cstdio>

#include "objfmt/chunk.hpp"
#include "objfmt/symbol_chunk.hpp"

namespace tarnel::textform {

namespace {

// A tag name stands for its tag only when no other tag shares it: the
// reserved tags are written by number.
bool nameIsUnique(uint32_t tagNumber) {
    const char* name = chunkTagName(tagNumber);
    if (!name) return false;
    for (uint32_t other = 0; other < kTagCount; ++other)
        if (other != tagNumber && std::string_view(chunkTagName(other)) == name) return false;
    return true;
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

uint32_t hexValue(char c) {
    if (c <= '9') return uint32_t(c - '0');
    return uint32_t((c | 0x20) - 'a' + 10);
}

}  // namespace

std::string tagToken(uint32_t tagWord) {
    if (isKnownTag(tagWord) && nameIsUnique(tagWord - kTagBase)) return chunkTagName(tagWord - kTagBase);
    return hexWord(tagWord);
}

std::optional<uint32_t> tagFromToken(std::string_view token) {
    // a tag word is written in full, 0x and eight hex digits
    if (token.starts_with("0x") || token.starts_with("0X"))
        return token.size() == 10 ? numberFromToken(token) : std::nullopt;
    int number = chunkTagByName(token);
    if (number < 0 || !nameIsUnique(uint32_t(number))) return std::nullopt;
    return kTagBase + uint32_t(number);
}

std::string sectionToken(uint32_t section) { return section < kSectionCount ? sectionName(section) : hexWord(section); }

std::optional<uint32_t> sectionFromToken(std::string_view token) {
    for (uint32_t s = 0; s < kSectionCount; ++s)
        if (token == sectionName(s)) return s;
    return numberFromToken(token);
}

namespace {

// The names of each byte field's values, by value, indexed by ByteField;
// a value without a name is written as a number.
constexpr uint32_t kNamedValues = 5;
constexpr const char* kByteFieldNames[][kNamedValues] = {
    {"local", "global", "weak"},                // binding
    {"none", "object", "function"},             // symbolType
    {"code", "data", "bss", "base", "bssb"},    // symbolSection
    {"part", "debug", "name"},                  // targetKind
};

const char* byteFieldName(ByteField field, uint32_t value) {
    return value < kNamedValues ? kByteFieldNames[uint32_t(field)][value] : nullptr;
}

constexpr std::string_view kAbsolute = "absolute";

}  // namespace

std::string byteFieldToken(ByteField field, uint32_t value) {
    if (field == ByteField::symbolSection && value == kAbsoluteSymbol) return std::string(kAbsolute);
    if (const char* name = byteFieldName(field, value)) return name;
    return format("0x%02X", value);
}

std::optional<uint32_t> byteFieldFromToken(ByteField field, std::string_view token) {
    if (field == ByteField::symbolSection && token == kAbsolute) return kAbsoluteSymbol;
    for (uint32_t v = 0; v < kNamedValues; ++v)
        if (const char* name = byteFieldName(field, v); name && token == name) return v;
    std::optional<uint32_t> number = numberFromToken(token);
    if (number && *number > 0xFF) return std::nullopt;
    return number;
}

std::string accessToken(uint32_t type) {
    // the map's column text with each run of spaces made one '-'
    std::string token;
    for (const char* p = accessDisplay(type); *p; ++p) {
        if (*p != ' ')
            token += *p;
        else if (token.back() != '-')
            token += '-';
    }
    return token;
}

std::optional<uint32_t> accessFromToken(std::string_view token) {
    for (uint32_t type = 0; type <= LINK_REL32; ++type)
        if (isXrefType(type) && token == accessToken(type)) return type;
    return std::nullopt;
}

[[gnu::format(printf, 1, 2)]] std::string format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string s(size_t(length > 0 ? length : 0), '\0');
    std::vsnprintf(s.data(), s.size() + 1, fmt, again);
    va_end(again);
    return s;
}

std::string byteCount(uint64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

std::string hexWord(uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", value);
    return buf;
}

std::optional<uint32_t> numberFromToken(std::string_view token) {
    uint64_t value = 0;
    if (token.starts_with("0x") || token.starts_with("0X")) {
        token.remove_prefix(2);
        if (token.empty()) return std::nullopt;
        for (char c : token) {
            if (!isHexDigit(c)) return std::nullopt;
            value = value * 16 + hexValue(c);
            if (value > UINT32_MAX) return std::nullopt;
        }
        return uint32_t(value);
    }
    if (token.empty()) return std::nullopt;
    for (char c : token) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + uint32_t(c - '0');
        if (value > UINT32_MAX) return std::nullopt;
    }
    return uint32_t(value);
}

std::string quoted(std::string_view bytes) {
    std::string text = "\"";
    char buf[8];
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text += '\\';
            text += c;
        } else if (b >= 0x20 && b < 0x7F) {
            text += c;
        } else {
            std::snprintf(buf, sizeof buf, "\\x%02X", b);
            text += buf;
        }
    }
    return text + '"';
}

LineTokens tokenizeLine(std::string_view line) {
    LineTokens result{{}, 0, {}};
    size_t pos = 0;
    for (; pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'); ++pos)
        result.indent = line[pos] == '\t' ? (result.indent / 8 + 1) * 8 : result.indent + 1;
    while (pos < line.size()) {
        char c = line[pos];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++pos;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            Token token{{}, true};
            ++pos;
            for (;;) {
                if (pos >= line.size()) {
                    result.error = "the quoted text has no closing '\"'";
                    return result;
                }
                char q = line[pos++];
                if (q == '"') break;
                if (q != '\\') {
                    token.text += q;
                    continue;
                }
                if (pos < line.size() && (line[pos] == '"' || line[pos] == '\\')) {
                    token.text += line[pos++];
                } else if (pos + 2 < line.size() && line[pos] == 'x' && isHexDigit(line[pos + 1]) &&
                           isHexDigit(line[pos + 2])) {
                    token.text += char(hexValue(line[pos + 1]) * 16 + hexValue(line[pos + 2]));
                    pos += 3;
                } else {
                    result.error = "a '\\' in quoted text must be followed by '\"', '\\' or xHH (two hex digits)";
                    return result;
                }
            }
            result.tokens.push_back(std::move(token));
        } else {
            size_t start = pos;
            while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t' && line[pos] != '\r' &&
                   line[pos] != '#' && line[pos] != '"')
                ++pos;
            result.tokens.push_back(Token{std::string(line.substr(start, pos - start)), false});
        }
    }
    return result;
}

}  // namespace tarnel::textform
