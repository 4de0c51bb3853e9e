// The text forms of the report files: JSON strings in a file and in a page's
// script element, and HTML text. Each byte that a form escapes, at every
// place of a short name (the fast scan reads eight bytes at a time, the last
// eight overlapping); names longer than a piece of the file; bytes that are
// not UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "report/json.hpp"

namespace tarnel::test {
namespace {

// What a writer hands on, collected.
struct Collected {
    std::string text;
    PieceWriter writer{[this](std::string_view piece) { text += piece; }};
};

enum class Form { jsonFile, jsonScript, html };

std::string written(Form form, std::string_view name) {
    Collected out;
    if (form == Form::html)
        appendHtmlText(out.writer, name);
    else
        appendJsonString(out.writer, name, form == Form::jsonScript ? JsonIn::script : JsonIn::file);
    out.writer.flush();
    return out.text;
}

struct Escape {
    char byte;
    const char* json;    // in a file, and in a script unless `script` says otherwise
    const char* script;  // nullptr: as in a file
    const char* html;
};

const Escape kEscapes[] = {
    {'"', "\\\"", nullptr, "&quot;"},
    {'\\', "\\\\", nullptr, "\\"},
    {'\x01', "\\u0001", nullptr, "&#x01;"},
    {'\x1f', "\\u001f", nullptr, "&#x1f;"},
    {'\x80', "\\u0080", nullptr, "&#x80;"},  // a continuation byte with no lead
    {'\xff', "\\u00ff", nullptr, "&#xff;"},
    {'<', "<", "\\u003c", "&lt;"},
    {'>', ">", "\\u003e", "&gt;"},
    {'&', "&", "\\u0026", "&amp;"},
    {'\'', "'", nullptr, "&#39;"},
    {'\x7f', "\x7f", nullptr, "\x7f"},
    {' ', " ", nullptr, " "},
};

TEST(TextForms, EachEscapedByteAtEveryPlace) {
    for (const Escape& e : kEscapes) {
        for (size_t length = 1; length <= 19; ++length) {
            for (size_t at = 0; at < length; ++at) {
                std::string name(length, 'a');
                for (size_t i = 0; i < length; ++i) name[i] = char('a' + i);
                name[at] = e.byte;
                const std::string before = name.substr(0, at), after = name.substr(at + 1);
                SCOPED_TRACE(testing::Message() << "byte " << int(uint8_t(e.byte)) << " at " << at << " of " << length);
                EXPECT_EQ(written(Form::jsonFile, name), "\"" + before + e.json + after + "\"");
                EXPECT_EQ(written(Form::jsonScript, name), "\"" + before + (e.script ? e.script : e.json) + after + "\"");
                EXPECT_EQ(written(Form::html, name), before + e.html + after);
            }
        }
    }
}

TEST(TextForms, Utf8PassesAndOtherBytesAreCodePoints) {
    struct Row {
        const char* name;
        const char* json;
        const char* html;
    };
    const Row rows[] = {
        {"caf\xC3\xA9", "\"caf\xC3\xA9\"", "caf\xC3\xA9"},
        {"\xE2\x82\xAC and \xF0\x9F\x98\x80", "\"\xE2\x82\xAC and \xF0\x9F\x98\x80\"", "\xE2\x82\xAC and \xF0\x9F\x98\x80"},
        {"\xE9\xC3", "\"\\u00e9\\u00c3\"", "&#xe9;&#xc3;"},              // a lead byte cut short, at the end
        {"\xC0\xAF", "\"\\u00c0\\u00af\"", "&#xc0;&#xaf;"},              // an overlong '/'
        {"\xED\xA0\x80", "\"\\u00ed\\u00a0\\u0080\"", "&#xed;&#xa0;&#x80;"},  // a surrogate
        {"</script><script>", "\"</script><script>\"", "&lt;/script&gt;&lt;script&gt;"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(written(Form::jsonFile, r.name), r.json);
        EXPECT_EQ(written(Form::html, r.name), r.html);
    }
    EXPECT_EQ(written(Form::jsonScript, "</script><!--"), "\"\\u003c/script\\u003e\\u003c!--\"");
}

// A name longer than a piece is written in slices; no slice cuts a UTF-8
// sequence, wherever the slices fall.
TEST(TextForms, NamesLongerThanAPiece) {
    for (size_t shift = 0; shift < 4; ++shift) {
        SCOPED_TRACE(shift);
        std::string name(shift, 'x');
        while (name.size() < PieceWriter::kPiece + 10) name += "\xF0\x9F\x98\x80\xC3\xA9";
        EXPECT_EQ(written(Form::html, name), name);
        EXPECT_EQ(written(Form::jsonFile, name), "\"" + name + "\"");
    }
    // stray continuation bytes stay escaped one by one across slices
    const std::string stray(PieceWriter::kPiece, '\x80');
    std::string expected;
    for (size_t i = 0; i < stray.size(); ++i) expected += "&#x80;";
    EXPECT_EQ(written(Form::html, stray), expected);
}

}  // namespace
}  // namespace tarnel::test
