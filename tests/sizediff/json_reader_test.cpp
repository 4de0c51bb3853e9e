// The JSON reader: what it accepts, what it refuses and where, what strings
// and integers it gives back, and its depth and number bounds.
#include <gtest/gtest.h>

#include <string>

#include "json_reader.hpp"

namespace tarnel::json {
namespace {

// Skips the whole text as one value; "" when it was accepted, else
// "LINE:COLUMN: MESSAGE".
std::string verdict(std::string_view text, uint32_t depth = kDefaultDepth) {
    try {
        Reader r(text, depth);
        r.skipValue();
        r.finish();
        return "";
    } catch (const Error& e) {
        const Position at = positionOf(text, e.offset());
        return std::to_string(at.line) + ":" + std::to_string(at.column) + ": " + e.what();
    }
}

struct TextCase {
    const char* what;
    std::string text;
    std::string verdict;  // "" when accepted
};

TEST(JsonReader, AcceptsJsonAndRefusesTheRestWhereItIs) {
    const TextCase cases[] = {
        {"every kind of value", R"( {"a": [1, -2, 0, 3.25, -0.5e-3, 1E+9, true, false, null, "s", {}, []]} )", ""},
        {"white space of all four kinds", "\t[\r\n1 ,\n2 ]\n", ""},
        {"every escape", R"("\" \\ \/ \b \f \n \r \t \u00e9 \ud83d\ude00")", ""},
        {"UTF-8 of two, three and four bytes", "\"\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\"", ""},
        {"nothing", "", "1:1: expected a value, found the end of the text"},
        {"only white space", " \n ", "2:2: expected a value, found the end of the text"},
        {"a second value", "1 2", "1:3: expected the end of the text, found '2'"},
        {"a byte order mark", "\xEF\xBB\xBF{}", "1:1: expected a value, found byte 0xef"},
        {"a comment", "[1 /* one */]", "1:4: expected ',' or ']', found '/'"},
        {"a trailing comma in an array", "[1,]", "1:4: expected a value, found ']'"},
        {"a trailing comma in an object", "{\"a\": 1,}", "1:9: expected a string key, found '}'"},
        {"a key that is no string", "{a: 1}", "1:2: expected a string key, found 'a'"},
        {"no colon", "{\"a\" 1}", "1:6: expected ':', found '1'"},
        {"an object closed by a bracket", "{\"a\": 1]", "1:8: expected ',' or '}', found ']'"},
        {"an array never closed", "[1, 2", "1:6: expected ',' or ']', found the end of the text"},
        {"a leading zero", "[012]", "1:2: a number with a leading zero"},
        {"a minus alone", "-", "1:2: expected a digit, found the end of the text"},
        {"a point without digits", "1.", "1:3: expected a digit after '.', found the end of the text"},
        {"an exponent without digits", "1e+", "1:4: expected a digit in the exponent, found the end of the text"},
        {"a plus sign", "+1", "1:1: expected a value, found '+'"},
        {"a literal cut short", "[tru]", "1:2: expected true, found 't'"},
        {"a literal in capitals", "Null", "1:1: expected a value, found 'N'"},
        {"a string never ended", "[\"abc", "1:2: a string that does not end"},
        {"a raw line feed in a string", "\"a\nb\"", "1:3: a control byte in a string (it must be escaped)"},
        {"a raw tab in a string", "\"a\tb\"", "1:3: a control byte in a string (it must be escaped)"},
        {"an unknown escape", R"("a\x")", "1:3: an unknown escape \\'x'"},
        {"a short \\u", R"("\u12")", "1:2: \\u without four hex digits"},
        {"a lone low surrogate", R"("\udc00")", "1:2: a low surrogate without a high one before it"},
        {"a high surrogate alone", R"("\ud800x")", "1:2: a high surrogate without a low one after it"},
        {"two high surrogates", R"("\ud800\ud800")", "1:2: a high surrogate without a low one after it"},
        {"a continuation byte first", "\"\x80\"", "1:2: a byte that is not UTF-8 in a string"},
        {"an overlong slash", "\"\xC0\xAF\"", "1:2: a byte that is not UTF-8 in a string"},
        {"an encoded surrogate", "\"\xED\xA0\x80\"", "1:2: a byte that is not UTF-8 in a string"},
        {"past U+10FFFF", "\"\xF4\x90\x80\x80\"", "1:2: a byte that is not UTF-8 in a string"},
        {"a sequence cut by the end", "\"\xE2\x82", "1:2: a byte that is not UTF-8 in a string"},
        // the eight-byte scan: a quote, a backslash, a control byte and a
        // multi-byte sequence at each place of a word
        {"a control byte after seven plain ones", "\"abcdefg\x01xyz\"", "1:9: a control byte in a string (it must be escaped)"},
        {"a control byte after fifteen", "\"abcdefghijklmno\x1F\"", "1:17: a control byte in a string (it must be escaped)"},
        {"a bad byte at the eighth place", "\"abcdefg\xFF\"", "1:9: a byte that is not UTF-8 in a string"},
        {"a quote at each place", "[\"a\", \"ab\", \"abcdefg\", \"abcdefgh\", \"abcdefghi\"]", ""},
        {"an escape after eight plain bytes", R"("abcdefgh\n")", ""},
        {"an error on a later line", "[\n  1,\n  2,\n  x\n]", "4:3: expected a value, found 'x'"},
        {"a NUL byte", std::string("[1,\0]", 5), "1:4: expected a value, found byte 0x00"},
    };
    for (const TextCase& c : cases) EXPECT_EQ(verdict(c.text), c.verdict) << c.what;
}

TEST(JsonReader, DepthIsBounded) {
    const std::string deepest = std::string(64, '[') + std::string(64, ']');
    EXPECT_EQ(verdict(deepest), "");
    const std::string tooDeep = std::string(65, '[') + std::string(65, ']');
    EXPECT_EQ(verdict(tooDeep), "1:65: values nested deeper than 64 levels");
    EXPECT_EQ(verdict("{\"a\": {\"b\": [1]}}", 2), "1:13: values nested deeper than 2 levels");
    // far deeper than any stack would take if the reader recursed
    const std::string hostile(1000000, '[');
    EXPECT_EQ(verdict(hostile), "1:65: values nested deeper than 64 levels");
}

// A string's content: a view of the text without escapes, else decoded.
TEST(JsonReader, StringsAreDecoded) {
    const struct {
        std::string text, content;
    } cases[] = {
        {R"("plain")", "plain"},
        {R"("")", ""},
        {R"("a\"b\\c\/d")", "a\"b\\c/d"},
        {R"("\b\f\n\r\t")", "\b\f\n\r\t"},
        {R"("\u0041\u00e9\u20AC")", "A\xC3\xA9\xE2\x82\xAC"},
        {R"("\ud83d\ude00!")", "\xF0\x9F\x98\x80!"},
        {R"("nul \u0000 inside")", std::string("nul \0 inside", 12)},
        {"\"\xC3\xA9t\xC3\xA9 as it is\"", "\xC3\xA9t\xC3\xA9 as it is"},
        {R"("a long plain run before an escape: \t and after it")", "a long plain run before an escape: \t and after it"},
    };
    for (const auto& c : cases) {
        Reader r(c.text);
        EXPECT_EQ(r.string(), c.content) << c.text;
    }
    const std::string text = R"(["view"])";
    Reader r(text);
    r.beginArray();
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(r.string().data(), text.data() + 2) << "a string without escapes is a view of the text";
}

TEST(JsonReader, IntegersInRange) {
    const struct {
        const char* text;
        uint64_t max;
        std::string result;  // the value, or the message
    } cases[] = {
        {"0", 1, "0"},
        {"-0", 1, "0"},
        {"4294967295", UINT32_MAX, "4294967295"},
        {"4294967296", UINT32_MAX, "expected an integer from 0 to 4294967295, found 4294967296"},
        {"18446744073709551615", UINT64_MAX, "18446744073709551615"},
        {"18446744073709551616", UINT64_MAX, "expected an integer from 0 to 18446744073709551615, found 18446744073709551616"},
        {"99999999999999999999", UINT64_MAX, "expected an integer from 0 to 18446744073709551615, found 99999999999999999999"},
        {"123456789012345678901234567890", UINT64_MAX,
         "expected an integer from 0 to 18446744073709551615, found 123456789012345678901234..."},
        {"-1", 10, "expected an integer from 0 to 10, found -1"},
        {"1.0", 10, "expected an integer from 0 to 10, found 1.0"},
        {"1e1", 100, "expected an integer from 0 to 100, found 1e1"},
        {"\"1\"", 10, "expected an integer from 0 to 10, found '\"'"},
        {"null", 10, "expected an integer from 0 to 10, found 'n'"},
    };
    for (const auto& c : cases) {
        std::string result;
        try {
            Reader r(c.text);
            result = std::to_string(r.unsignedInteger(c.max));
            r.finish();
        } catch (const Error& e) {
            result = e.what();
        }
        EXPECT_EQ(result, c.result) << c.text;
    }
}

// Objects and arrays walked member by member, with the types peeked and
// null taken only where it is.
TEST(JsonReader, WalksObjectsAndArrays) {
    const std::string text = R"({"a": [1, 2], "b\u0063": null, "d": {"e": true}, "f": "x"})";
    Reader r(text);
    std::string seen;
    r.beginObject();
    for (std::string_view key; r.nextMember(key);) {
        seen += std::string(key) + "@" + std::to_string(r.keyOffset()) + "=";
        if (r.null()) {
            seen += "null ";
        } else if (r.peek() == Reader::Type::array) {
            r.beginArray();
            while (r.nextElement()) seen += std::to_string(r.unsignedInteger(9));
            seen += " ";
        } else if (r.peek() == Reader::Type::string) {
            seen += std::string(r.string()) + " ";
        } else {
            r.skipValue();
            seen += "skipped ";
        }
    }
    r.finish();
    EXPECT_EQ(seen, "a@1=12 bc@14=null d@31=skipped f@49=x ");
}

TEST(JsonReader, PositionsCountLinesAndBytes) {
    const std::string text = "ab\ncd\n\nef";
    const struct {
        size_t offset, line, column;
    } cases[] = {{0, 1, 1}, {1, 1, 2}, {2, 1, 3}, {3, 2, 1}, {6, 3, 1}, {7, 4, 1}, {9, 4, 3}, {100, 4, 3}};
    for (const auto& c : cases) {
        const Position p = positionOf(text, c.offset);
        EXPECT_EQ(p.line, c.line) << c.offset;
        EXPECT_EQ(p.column, c.column) << c.offset;
    }
}

}  // namespace
}  // namespace tarnel::json
