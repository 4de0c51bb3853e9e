// The size report (--size-report=FILE): the data its script reads, byte for
// byte, for a link with an alias and unnamed bytes; what each mode puts in
// ROM and RAM; the plain tables the page shows without JavaScript; names that
// would be markup; a failed link's page; a library's; and the file's faults.
// tests/e2e/size_report_e2e.py loads such pages in a browser.
#include <gtest/gtest.h>

#include <string>

#include "golden.hpp"

namespace tarnel::test {
namespace {

using S = SectionKind;

std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The text between the first `open` and the `close` after it.
std::string between(const std::string& page, const std::string& open, const std::string& close) {
    const size_t from = page.find(open);
    if (from == std::string::npos) return "(no " + open + ")";
    const size_t to = page.find(close, from + open.size());
    return page.substr(from + open.size(), to == std::string::npos ? std::string::npos : to - from - open.size());
}

// A plain table from its body on.
std::string tableBody(const std::string& page, const std::string& id) {
    const std::string table = between(page, "<table id=\"" + id + "\">", "</table>");
    return table.substr(std::min(table.find("<tbody>"), table.size()));
}

std::string data(const std::string& page) {
    return between(page, "<script type=\"application/json\" id=\"size-data\">", "</script>");
}

// main.o's code holds main, its alias main_alias and helper; its bss no name.
void writeInputs(const ScratchDir& dir) {
    dir.write("main.o", ModuleBuilder()
                            .name("main")
                            .code(Bytes(8, 0))
                            .data({1, 2, 3, 4})
                            .bss(4)
                            .xdef(S::code, 0, "main")
                            .xdef(S::code, 6, "helper")
                            .xdef(S::code, 0, "main_alias")
                            .xdef(S::data, 0, "value")
                            .end());
    dir.write("util.o", ModuleBuilder().name("util").code(Bytes(4, 0x4E)).xdef(S::code, 0, "util").end());
}

TEST(SizeReport, TheDataOfALinkByteForByte) {
    ScratchDir dir;
    writeInputs(dir);
    const RunResult r = runLinker(dir, {"-r1000", "--ram=2000", "--rom-size=1K", "main.o", "util.o", "-o", "out.rom",
                                        "--size-report=out.html"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(data(text(dir.read("out.html"))),
              "{\"output\":\"out.rom\",\"status\":0,\"errors\":[],\n"
              "\"totals\":{\"code\":12,\"data\":4,\"bss\":4,\"base\":0,\"bssb\":0,\"code_size\":20,\"file_size\":20},\n"
              "\"sections\":[[\"code\",4096,12,4096],[\"data\",8192,4,4108],[\"bss\",8196,4,null],"
              "[\"base\",8200,0,4112],[\"bssb\",8200,0,null]],\n"
              "\"regions\":[[\"ROM\",4096,1024,16],[\"RAM\",8192,null,8]],\n"
              "\"memories\":[{\"name\":\"ROM\",\"start\":4096,\"pieces\":[[0,4096,12,0],[1,4108,4,0],[3,4112,0,0]]},"
              "{\"name\":\"RAM\",\"start\":8192,\"pieces\":[[1,8192,4,0],[2,8196,4,1],[3,8200,0,0],[4,8200,0,1]]}],\n"
              "\"modules\":[[\"main.o\",\"main\"],[\"util.o\",\"util\"]],\n"
              // main's code: three definitions, all its bytes; its bss: 4 bytes of no name
              "\"parts\":[[0,0,0,8,0,3],[0,1,0,4,0,1],[0,2,0,4,4,0],[1,0,8,4,0,1]],\n"
              "\"names\":[\"main\",\"helper\",\"main_alias\",\"value\",\"util\"],\n"
              "\"offsets\":[0,6,0,0,0],\n"
              "\"sizes\":[6,2,6,4,4],\n"
              // main_alias shares main's bytes
              "\"aliases\":[[2,0]]}");
}

// The plain tables: every part, the sections with where the image holds
// them, the largest definitions with an alias once; the totals.
TEST(SizeReport, ThePlainTables) {
    ScratchDir dir;
    writeInputs(dir);
    ASSERT_EQ(runLinker(dir, {"-r1000", "--ram=2000", "main.o", "util.o", "-o", "out.rom", "--size-report=out.html"})
                  .status,
              0);
    const std::string page = text(dir.read("out.html"));
    EXPECT_EQ(tableBody(page, "plain-sections"),
              "<tbody>\n"
              "<tr><td>code</td><td class=\"addr\">$00001000</td><td class=\"addr\">$00001000</td><td class=\"n\">12</td></tr>\n"
              "<tr><td>data</td><td class=\"addr\">$00002000</td><td class=\"addr\">$0000100c</td><td class=\"n\">4</td></tr>\n"
              "<tr><td>bss</td><td class=\"addr\">$00002004</td><td class=\"addr\">-</td><td class=\"n\">4</td></tr>\n"
              "<tr><td>base</td><td class=\"addr\">$00002008</td><td class=\"addr\">$00001010</td><td class=\"n\">0</td></tr>\n"
              "<tr><td>bssb</td><td class=\"addr\">$00002008</td><td class=\"addr\">-</td><td class=\"n\">0</td></tr>\n"
              "\n</tbody>\n"
              "<tfoot><tr><th colspan=\"3\">All sections</th><td class=\"n\" id=\"plain-sections-total\">20</td></tr></tfoot>\n");
    EXPECT_EQ(tableBody(page, "plain-parts"),
              "<tbody>\n"
              "<tr><td>main</td><td>main.o</td><td>code</td><td class=\"addr\">$00001000</td><td class=\"n\">8</td></tr>\n"
              "<tr><td>main</td><td>main.o</td><td>data</td><td class=\"addr\">$00002000</td><td class=\"n\">4</td></tr>\n"
              "<tr><td>main</td><td>main.o</td><td>bss</td><td class=\"addr\">$00002004</td><td class=\"n\">4</td></tr>\n"
              "<tr><td>util</td><td>util.o</td><td>code</td><td class=\"addr\">$00001008</td><td class=\"n\">4</td></tr>\n"
              "\n</tbody>\n"
              "<tfoot><tr><th colspan=\"4\">All parts</th><td class=\"n\" id=\"plain-parts-total\">20</td></tr></tfoot>\n");
    EXPECT_EQ(tableBody(page, "plain-symbols"),
              "<tbody>\n"
              "<tr><td>main</td><td>main</td><td>code</td><td class=\"addr\">$00001000</td><td class=\"n\">6</td></tr>\n"
              "<tr><td>value</td><td>main</td><td>data</td><td class=\"addr\">$00002000</td><td class=\"n\">4</td></tr>\n"
              "<tr><td>util</td><td>util</td><td>code</td><td class=\"addr\">$00001008</td><td class=\"n\">4</td></tr>\n"
              "<tr><td>helper</td><td>main</td><td>code</td><td class=\"addr\">$00001006</td><td class=\"n\">2</td></tr>\n"
              "\n</tbody>\n");
    EXPECT_NE(page.find("(the 4 largest of 5 definitions)"), std::string::npos);
    EXPECT_NE(page.find("Maximum code size <b id=\"summary-code-size\">20</b> bytes &middot; Maximum file size "
                        "<b id=\"summary-file-size\">20</b> bytes"),
              std::string::npos);
}

// What each memory holds, section by section: the ROM what the image holds,
// the RAM what runs there; without ROM, the five sections.
TEST(SizeReport, WhatEachModePutsInWhichMemory) {
    struct Mode {
        const char* what;
        std::vector<std::string> args;
        const char* memories;
    };
    const Mode modes[] = {
        {"executable", {},
         R"([{"name":"Sections","start":0,"pieces":[[0,0,12,0],[1,0,4,0],[2,0,4,1],[3,0,0,0],[4,0,0,1]]}])"},
        {"ROM with the bss fill", {"-r1000"},
         R"([{"name":"ROM","start":4096,"pieces":[[0,4096,12,0],[1,4108,4,0],[2,4112,4,1],[3,4116,0,0],[4,4116,0,1]]}])"},
        {"ROM without bss (-b)", {"-b", "-s1000"},
         R"([{"name":"ROM","start":4096,"pieces":[[0,4096,12,0],[1,4108,4,0],[3,4112,0,0]]}])"},
        {"data in RAM", {"-r0", "--ram=8000"},
         R"([{"name":"ROM","start":0,"pieces":[[0,0,12,0],[1,12,4,0],[3,16,0,0]]},)"
         R"({"name":"RAM","start":32768,"pieces":[[1,32768,4,0],[2,32772,4,1],[3,32776,0,0],[4,32776,0,1]]}])"},
        {"embedded object", {"-elabel"},
         R"([{"name":"Sections","start":0,"pieces":[[0,0,12,0],[1,0,4,0],[2,0,4,1],[3,0,0,0],[4,0,0,1]]}])"},
    };
    for (const Mode& mode : modes) {
        SCOPED_TRACE(mode.what);
        ScratchDir dir;
        writeInputs(dir);
        std::vector<std::string> args = mode.args;
        args.insert(args.end(), {"main.o", "util.o", "-o", "out", "--size-report=out.html"});
        ASSERT_EQ(runLinker(dir, args).status, 0);
        EXPECT_EQ(between(data(text(dir.read("out.html"))), "\"memories\":", ",\n\"modules\""), mode.memories);
    }
}

// Whether `text` is valid UTF-8 throughout.
bool validUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const uint8_t lead = uint8_t(text[i]);
        const size_t n = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                      : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
        if (n == 0 || i + n > text.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((uint8_t(text[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

// No name can end the data's script element or open markup of its own: in
// the data <, > and & are escaped, in the page's text every markup
// character; bytes that are not UTF-8 become the code points of their values.
TEST(SizeReport, NamesThatWouldBeMarkup) {
    struct Name {
        const char* name;
        const char* inData;
        const char* inHtml;
    };
    const Name names[] = {
        {"</script><script>alert(1)</script>", R"("\u003c/script\u003e\u003cscript\u003ealert(1)\u003c/script\u003e")",
         "&lt;/script&gt;&lt;script&gt;alert(1)&lt;/script&gt;"},
        {"<!--a", R"("\u003c!--a")", "&lt;!--a"},
        {"q\"uo'te&amp", R"("q\"uo'te\u0026amp")", "q&quot;uo&#39;te&amp;amp"},
        {"\xE9t\xC3", R"("\u00e9t\u00c3")", "&#xe9;t&#xc3;"},
        {"tab\there", R"("tab\u0009here")", "tab&#x09;here"},
    };
    ScratchDir dir;
    ModuleBuilder module;
    module.name("<b>mod</b>").code(Bytes(64, 0));
    for (size_t i = 0; i < std::size(names); ++i) module.xdef(S::code, uint32_t(8 * i), names[i].name);
    dir.write("m.o", module.end());
    ASSERT_EQ(runLinker(dir, {"m.o", "-o", "<out>", "--size-report=out.html"}).status, 0);
    const std::string page = text(dir.read("out.html"));
    const std::string json = data(page);
    EXPECT_TRUE(validUtf8(page));
    EXPECT_EQ(json.find_first_of("<>&"), std::string::npos) << json;
    // the data's and the script's own: no other element ends
    size_t closings = 0;
    for (size_t at = 0; (at = page.find("</script", at)) != std::string::npos; ++at) ++closings;
    EXPECT_EQ(closings, 2u);
    for (const Name& n : names) {
        SCOPED_TRACE(n.name);
        EXPECT_NE(json.find(n.inData), std::string::npos) << json;
        EXPECT_NE(page.find(std::string("<tr><td>") + n.inHtml + "</td><td>&lt;b&gt;mod&lt;/b&gt;</td>"),
                  std::string::npos);
    }
    EXPECT_NE(page.find("<title>Size report: &lt;out&gt;</title>"), std::string::npos);
}

// A failed link writes no output but its page, errors listed, so that it can
// be looked at.
TEST(SizeReport, AFailedLinkIsShownWithItsErrors) {
    ScratchDir dir;
    dir.write("m.o", ModuleBuilder().code(Bytes(8, 0)).xref(LINK_ABS32, "missing", {0}).end());
    const RunResult r = runLinker(dir, {"m.o", "--size-report=s.html"});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(dir.exists("a.out"));
    const std::string page = text(dir.read("s.html"));
    EXPECT_NE(page.find("<b class=\"failed\">1 error, no output written</b>"), std::string::npos);
    EXPECT_NE(page.find("<li>error: reference missing not found</li>"), std::string::npos);
    EXPECT_NE(data(page).find("\"status\":1,\"errors\":[\"reference missing not found\"]"), std::string::npos);
}

// A library is not placed: its modules' parts have sizes but no addresses,
// and it has no memory.
TEST(SizeReport, ALibraryHasPartsButNoMemories) {
    ScratchDir dir;
    writeInputs(dir);
    ASSERT_EQ(runLinker(dir, {"-g", "main.o", "util.o", "-o", "lib.lib", "--size-report=s.html"}).status, 0);
    const std::string json = data(text(dir.read("s.html")));
    EXPECT_NE(json.find("\"sections\":[],\n\"regions\":[],\n\"memories\":[],\n"), std::string::npos) << json;
    EXPECT_NE(json.find("\"parts\":[[0,0,null,12,12,0],[0,1,null,8,8,0],[0,2,null,4,4,0],[1,0,null,8,8,0]]"),
              std::string::npos)
        << json;
}

struct ReportFault {
    const char* what;
    std::vector<std::string> args;
    const char* message;
};

// The page is written like the output; one that cannot be, or that would
// take another output's name, is an error.
TEST(SizeReport, FileFaults) {
    const ReportFault faults[] = {
        {"inside a missing folder", {"m.o", "--size-report=nodir/s.html"}, "error: File nodir/s.html could not be created\n"},
        {"the output's name", {"m.o", "-o", "out", "--size-report=out"}, "error: File out is named for two outputs\n"},
        {"the record's name", {"m.o", "--record=r", "--size-report=r"}, "error: File r is named for two outputs\n"},
        {"no name", {"m.o", "--size-report="}, "error: No file name in option --size-report=\n"},
    };
    for (const ReportFault& f : faults) {
        SCOPED_TRACE(f.what);
        ScratchDir dir;
        dir.write("m.o", ModuleBuilder().code({0x4E, 0x75}).end());
        const RunResult r = runLinker(dir, f.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find(f.message), std::string::npos) << r.out;
    }
    // of a record and a page of one name, the record is written
    ScratchDir dir;
    dir.write("m.o", ModuleBuilder().code({0x4E, 0x75}).end());
    EXPECT_EQ(runLinker(dir, {"m.o", "--record=r", "--size-report=r"}).status, 1);
    EXPECT_EQ(text(dir.read("r")).substr(0, 32), "{\n\"format\": \"tarnel link record\"");
}

}  // namespace
}  // namespace tarnel::test
