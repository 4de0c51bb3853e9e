// The text form itself: whole dumps compared line for line, hand-written
// texts built into the bytes the builder code gives, every error the builder
// reports with its line, and the two programs' command lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "harness.hpp"
#include "text_fixture.hpp"

namespace tarnel::test {
namespace {

using namespace std::string_literals;

Bytes exampleModule() {
    return ModuleBuilder().code({0x4E, 0x75, 0x4E, 0x71}).xdef(SectionKind::code, 0, "entry").end();
}

// A module whose xref claims more offsets than its link chunk holds, with
// two stray bytes after the end tag.
Bytes damagedModule() {
    return ModuleBuilder()
               .name("m")
               .code({1, 2, 3, 4, 5})
               .chunk(ChunkTag::link, be({0x01000004, 3, 0x61626300, 8}))
               .end() +
           Bytes{0xAA, 0xBB};
}

TEST(DumpGolden, ExampleModule) {
    DumpedText d = dumpText(exampleModule());
    EXPECT_TRUE(d.wellFormed);
    EXPECT_EQ(d.text,
              "# f: object module laid out as an embedded object, 56 bytes\n"
              "00000000 object length 0\n"
              "00000008 code length 8\n"
              "    block code\n"
              "    0000: 4E 75 4E 71\n"
              "00000018 link length 20\n"
              "    xdef code 0x00000000 \"entry\"\n"
              "    terminator\n"
              "00000034 end  # the tag alone, no length word\n");
}

// A module converted from an object compiled with -g: its symbols and its
// debugging sections decoded, each relocation with what its index names.
TEST(DumpGolden, SymbolAndDebugChunks) {
    const Bytes info = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const DebugPayloadBuilder::Reloc relocs[] = {
        {0, debugTargetWord(DebugTarget::debugSection, 1), 4},
        {4, debugTargetWord(DebugTarget::part, 2), 0},
        {5, debugTargetWord(DebugTarget::name, 0), 0xFFFFFFF8},
    };
    const Bytes module =
        ModuleBuilder()
            .code({0x4E, 0x75, 0, 0})
            .chunk(ChunkTag::symbol,
                   SymbolPayloadBuilder("main.c")
                       .symbol(0, SymbolBinding::local, uint8_t(SymbolType::function), 0, 2, "sum_to")
                       .symbol(kAbsoluteSymbol, SymbolBinding::local, 0, 0xFC060000, 0, "UART0")
                       .symbol(1, SymbolBinding::weak, 7, 4, 4, "odd")
                       .finish())
            .chunk(ChunkTag::debug, DebugPayloadBuilder()
                                        .name("table")
                                        .section(".debug_info", 1, info, relocs)
                                        .section(".debug_str", 1, Bytes{'a', 0}, {})
                                        .finish())
            .end();
    DumpedText d = dumpText(module);
    EXPECT_TRUE(d.wellFormed);
    EXPECT_EQ(d.text,
              "# f: object module, 264 bytes\n"
              "00000000 object length 0\n"
              "00000008 code length 8\n"
              "    block code\n"
              "    0000: 4E 75 00 00\n"
              "00000018 symbol length 88\n"
              "    payload-version 1\n"
              "    file \"main.c\"\n"
              "    count 3\n"
              "    entry local function code 0x00000000 size 2 \"sum_to\"\n"
              "    entry local none absolute 0xFC060000 size 0 \"UART0\"\n"
              "    entry weak 0x07 data 0x00000004 size 4 \"odd\"\n"
              "00000078 debug length 132\n"
              "    payload-version 1\n"
              "    sections 2\n"
              "    names 1\n"
              "    symbol-name \"table\"\n"
              "    section \".debug_info\" align 1 size 9 relocs 3\n"
              "        0000: 01 02 03 04 05 06 07 08 09 00 00 00\n"
              "        reloc 0x00000000 debug 1 0x00000004  # \".debug_str\"\n"
              "        reloc 0x00000004 part bss 0x00000000\n"
              "        reloc 0x00000005 name 0 0xFFFFFFF8  # \"table\"\n"
              "    section \".debug_str\" align 1 size 2 relocs 0\n"
              "        0000: 61 00 00 00\n"
              "00000104 end  # the tag alone, no length word\n");
    EXPECT_EQ(chunkFileFromText(d.text), module);
}

TEST(DumpGolden, DamagedModuleShowsEachFaultWhereItIs) {
    DumpedText d = dumpText(damagedModule());
    EXPECT_FALSE(d.wellFormed);
    EXPECT_EQ(d.text,
              "# f: object module, 65 bytes\n"
              "00000000 object length 0\n"
              "00000008 name length 2\n"
              "    text \"m\"\n"
              "00000012 code length 9\n"
              "    block code\n"
              "    0000: 01 02 03 04 05\n"
              "00000023 link length 16\n"
              "    # malformed: the xref entry's 3 offsets run past the payload\n"
              "    0000: 01 00 00 04 00 00 00 03 61 62 63 00 00 00 00 08\n"
              "0000003B end  # the tag alone, no length word\n"
              "# malformed: 2 bytes after the end chunk\n"
              "0000003F raw\n"
              "    0000: AA BB\n");
}

TEST(DumpGolden, SectionBytesBySizeOnly) {
    Bytes lib = ByteBuilder()
                    .chunk(ChunkTag::library, ByteBuilder().word(4).nameField("go").word(0).bytes())
                    .chunk(ChunkTag::lib, ByteBuilder().chunk(ChunkTag::code, be({0, 0x4E754E75, 0x4E75})).bytes())
                    .endTag()
                    .bytes();
    DumpedText d = dumpText(lib, false);
    EXPECT_TRUE(d.wellFormed);
    EXPECT_EQ(d.text,
              "# f: library, 52 bytes\n"
              "# section bytes shown by their size only: tarnel-mkobj cannot build this text\n"
              "00000000 library length 12\n"
              "    export \"go\" module 0\n"
              "00000014 lib length 20\n"
              "    0000001C code length 12\n"
              "        block code\n"
              "        bytes 8\n"
              "00000030 end  # the tag alone, no length word\n");
}

// Written by hand: no offsets, no lengths, comments, tabs, escapes, offsets
// of one xref over several lines, and a lib chunk holding its member.
TEST(MkobjText, HandWrittenTextGivesTheBuilderBytes) {
    Bytes built = chunkFileFromText(
        "# a module written by hand\n"
        "object\n"
        "name\n"
        "\ttext \"a\\\"b\\\\c\\x00\\xfF\"   # quote, backslash, NUL, 0xFF\n"
        "code\n"
        "    block code\n"
        "    0: 4E 71\n"
        "    2: 4E 75\n"
        "bss\n"
        "    block bssb\n"
        "    size 0x40\n"
        "link\n"
        "    xref absolute-16-bit printf at 2 6\n"
        "    at 10\n"
        "    xref relative-8-bit \"x\"\n"
        "    xdef 3 16 \"base label\"\n"
        "    terminator\n"
        "reloc32\n"
        "    from code\n"
        "    to data\n"
        "    at 0x4 0x8\n"
        "0xC0DECF20 length 12\n"
        "    word 0\n"
        "        0xC0DECF20\n"
        "end length 0\n");
    Bytes expected = ModuleBuilder()
                         .chunk(ChunkTag::name, Bytes{'a', '"', 'b', '\\', 'c', 0, 0xFF, 0})
                         .code({0x4E, 0x71, 0x4E, 0x75})
                         .bssb(0x40)
                         .xref(LINK_ABS16, "printf", {2, 6, 10})
                         .xref(LINK_REL8, "x", {})
                         .xdef(SectionKind::base, 16, "base label")
                         .link()
                         .reloc32(0, 1, {4, 8})
                         .unfinished();
    expected = expected + be({0xC0DECF20, 12, 0, 0xC0DECF20, 0, tagWord(ChunkTag::end), 0});
    EXPECT_EQ(hexBytes(built), hexBytes(expected));
}

TEST(MkobjText, ErrorsNameTheLineAndWhatWasExpected) {
    struct Case {
        const char* text;
        std::string errors;  // "line: message" per error
    };
    const Case cases[] = {
        {"code\n    block cod\n", "2: expected a section (code, data, bss, base, bssb) or a number, found 'cod'"},
        {"block code\n", "1: a 'block' line belongs to a chunk: indent it under a chunk line"},
        {"cdoe\n", "1: expected a chunk line (an offset, a tag name or number, 'raw'), found 'cdoe'"},
        {"00000000 cdoe\n",
         "1: expected a tag name (object, code, link, end, ...) or a tag word such as 0xC0DECF20, found 'cdoe'"},
        {"reserved\n",
         "1: 'reserved' names several tags: write the tag word (0xC0DECF0A to 0xC0DECF0F, 0xC0DECF1D, 0xC0DECF1E)"},
        {"code length\n", "1: expected a byte count after 'length'"},
        {"code size 4\n", "1: expected 'length' after the tag, found 'size'"},
        {"code truncated\n    0000: 00\n", "1: 'truncated' needs 'length N' before it"},
        {"code length 8\n    block code\n",
         "1: the chunk line says length 8 but the lines below give 4 bytes of payload (leave 'length' out to have it "
         "counted)"},
        {"code length 4 truncated\n    word 1\n",
         "1: 'truncated' needs less payload than its length 4; the lines below give 4 bytes"},
        {"object\n    0000: 00\n",
         "1: the file's first object chunk is its 8 header bytes alone: readers go straight on to the next chunk, so "
         "it takes no payload lines"},
        {"end\ncode\n",
         "2: a chunk after the end chunk: reading stops at the end chunk, so bytes after it go in a raw block"},
        {"code length 9 truncated\n    0000: 01\nend\n",
         "3: nothing can follow the truncated chunk of line 1: its payload runs to the end of the file"},
        {"link\n    xref absolute-16 \"x\"\n",
         "2: expected an access type (absolute-8-bit, pcrelative-16-bit, relative-32-bit, ...), found 'absolute-16'"},
        {"link\n    xref absolute-16-bit \"x\" 4\n", "2: expected 'at' and offsets after the name, found '4'"},
        {"link\n    xdef code 0 \"a\" extra\n", "2: unexpected 'extra' after a section, a value and a name"},
        {"link\n    xdef bssc 0 \"a\"\n",
         "2: expected a section (code, data, bss, base, bssb) or a number, found 'bssc'"},
        {"link\n    xdef 5 0 \"a\"\n", "2: an xdef's section is one of the five, not 5"},
        {"link\n    xdef code 0 \"a\\x00b\"\n",
         "2: a name cannot hold a NUL byte (write such an entry with word and hex lines)"},
        {"name\n    text \"abc\n", "2: the quoted text has no closing '\"'"},
        {"name\n    text \"a\\tb\"\n",
         "2: a '\\' in quoted text must be followed by '\"', '\\' or xHH (two hex digits)"},
        {"name\n    text abc\n", "2: expected a quoted text, found 'abc'"},
        {"code\n    0000: 4E 7\n", "2: expected a byte as two hex digits, found '7'"},
        {"code\n    0000:\n", "2: expected hex bytes after '0000:'"},
        {"code\n    word 0x100000000\n",
         "2: expected a number (decimal or 0x hex, at most 32 bits), found '0x100000000'"},
        {"code\n    word\n", "2: expected one or more numbers after 'word'"},
        {"code\n    blok code\n",
         "2: expected an item (word, block, text, xdef, xref, terminator, a hex line, ...) or an indented chunk line, "
         "found 'blok'"},
        {"raw\n    word 1\n", "2: a raw block holds hex lines (\"0000: 4E 75\") only, found 'word'"},
        {"raw\n    code\n", "2: a raw block holds hex lines only, not chunks"},
        {"library\n    export \"a\" 3\n", "2: expected a name, 'module' and a number after 'export'"},
        {"code\n    bytes 8\n",
         "2: section bytes shown by their size only cannot be built; dump the file again with its bytes in full"},
        {"symbol\n    entry local func code 0 size 2 \"f\"\n",
         "2: expected a type (none, object, function) or a number up to 255, found 'func'"},
        {"symbol\n    entry local none text 0 size 2 \"f\"\n",
         "2: expected a section (code, data, bss, base, bssb, absolute) or a number up to 255, found 'text'"},
        {"symbol\n    entry local none code 0 2 \"f\"\n",
         "2: expected a binding, a type, a section, a value, 'size', a size and a name after 'entry'"},
        {"symbol\n    entry local none code 0 length 2 \"f\"\n",
         "2: expected 'size' after the value, found 'length'"},
        {"debug\n    section \".debug_info\" align 1 size 4 reloc 0\n",
         "2: expected 'relocs' after the size, found 'reloc'"},
        {"debug\n    reloc 0 part text 0\n",
         "2: expected a section (code, data, bss, base, bssb) or a number, found 'text'"},
        {"debug\n    reloc 0 debug 0x1000000 0\n", "2: an index fits in 24 bits; 16777216 does not"},
        // several errors, in line order, and none repeated by the chunk's length check
        {"code length 12\n    block cod\n    0000: 4E 75\nlink\n    terminator 1\n",
         "2: expected a section (code, data, bss, base, bssb) or a number, found 'cod'\n"
         "5: unexpected '1' after 'terminator'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Bytes out;
        std::vector<textform::TextError> errors;
        EXPECT_FALSE(textform::buildFromText(c.text, out, errors));
        std::string got;
        for (const textform::TextError& e : errors)
            got += (got.empty() ? "" : "\n") + std::to_string(e.line) + ": " + e.message;
        EXPECT_EQ(got, c.errors);
    }
}

struct ToolRun {
    int status;
    std::string out, err;
};

ToolRun dumpTool(std::vector<std::string> args) {
    args.insert(args.begin(), "tarnel-dump");
    std::ostringstream out, err;
    int status = textform::runDumpTool(args, out, err);
    return {status, out.str(), err.str()};
}

ToolRun mkobjTool(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), "tarnel-mkobj");
    std::istringstream in(input);
    std::ostringstream out, err;
    int status = textform::runMkobjTool(args, in, out, err);
    return {status, out.str(), err.str()};
}

TEST(DumpTool, ExitStatusSaysWellFormedMalformedOrUnreadable) {
    ScratchDir dir;
    const std::string good = dir.write("good.o", exampleModule());
    const std::string bad = dir.write("bad.o", damagedModule());
    const std::string missing = dir.path("missing.o");
    struct Case {
        std::vector<std::string> files;
        int status;
    };
    const Case cases[] = {
        {{good}, 0}, {{bad}, 1}, {{good, bad}, 1}, {{missing}, 2}, {{bad, missing, good}, 2}, {{dir.path("")}, 2},
    };
    for (const Case& c : cases) {
        ToolRun r = dumpTool(c.files);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
    }
    ToolRun r = dumpTool({missing, good});
    EXPECT_EQ(r.err, "tarnel-dump: cannot open " + missing + ": No such file or directory\n");
    EXPECT_TRUE(r.out.starts_with("# " + good + ": object module")) << r.out;
}

TEST(DumpTool, SeveralFilesAreSeparatedByAnEmptyLine) {
    ScratchDir dir;
    const std::string a = dir.write("a.o", exampleModule());
    ToolRun r = dumpTool({a, a});
    std::string one = dumpTool({a}).out;
    EXPECT_EQ(r.out, one + "\n" + one);
}

TEST(DumpTool, Options) {
    ScratchDir dir;
    const std::string f = dir.write("f.o", exampleModule());
    EXPECT_NE(dumpTool({"--bytes=size", f}).out.find("    bytes 4\n"), std::string::npos);
    EXPECT_NE(dumpTool({"-s", f}).out.find("    bytes 4\n"), std::string::npos);
    EXPECT_NE(dumpTool({"-s", "--bytes=full", f}).out.find("    0000: 4E 75 4E 71\n"), std::string::npos);
    ToolRun help = dumpTool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: tarnel-dump [options] FILE...\n"));
    EXPECT_NE(help.out.find("cannot be built back"), std::string::npos);
    EXPECT_EQ(dumpTool({"-h"}).out, help.out);
    ToolRun none = dumpTool({});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "tarnel-dump: no file named\nTry 'tarnel-dump --help'.\n");
    EXPECT_EQ(dumpTool({"-x", f}).err, "tarnel-dump: unknown option '-x'\nTry 'tarnel-dump --help'.\n");
}

// The dump written to a stream as it is made is the dump made whole, with
// the same verdict: a text over the flush size, every kind, malformed files.
TEST(DumpStream, WritesTheSameTextAndVerdictAsTheWholeDump) {
    const Bytes files[] = {
        exampleModule(),
        damagedModule(),
        {},
        be({0x12345678, 0}),
        ModuleBuilder().code(Bytes(400000, 0xAB)).data({1, 2, 3, 4}).end(),
    };
    for (const Bytes& file : files) {
        for (bool full : {true, false}) {
            textform::DumpOptions options;
            options.sectionBytesInFull = full;
            std::string whole;
            const bool wholeWellFormed = textform::dumpChunkFile(file, "f", options, whole);
            std::ostringstream streamed;
            EXPECT_EQ(textform::dumpChunkFile(file, "f", options, streamed), wholeWellFormed);
            EXPECT_EQ(streamed.str(), whole);
        }
    }
}

// A file of 4.125 GiB, sparse on disk: five code chunks, the first four of
// 1 GiB each. Its size alone is shown without reading the bytes into memory.
TEST(DumpTool, AFileLargerThan4GiBIsShownBySizeWithoutCopyingIt) {
    ScratchDir dir;
    const uint64_t kGiB = uint64_t(1) << 30;
    const std::string path = dir.write("big.o", be({tagWord(ChunkTag::object), 0}));
    std::vector<uint64_t> lengths = {kGiB, kGiB, kGiB, kGiB, kGiB / 8};
    uint64_t at = 8;
    {
        std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
        for (uint64_t length : lengths) {
            f.seekp(std::streamoff(at));
            f.write(reinterpret_cast<const char*>(be({tagWord(ChunkTag::code), uint32_t(length)}).data()), 8);
            at += 8 + length;
        }
        f.seekp(std::streamoff(at));
        f.write(reinterpret_cast<const char*>(be({tagWord(ChunkTag::end)}).data()), 4);
    }
    ASSERT_EQ(std::filesystem::file_size(path), 33 * kGiB / 8 + 8 + 5 * 8 + 4);
    ToolRun r = dumpTool({"-s", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    size_t count = 0;
    for (size_t p = r.out.find("    bytes 1073741820\n"); p != std::string::npos;
         p = r.out.find("    bytes 1073741820\n", p + 1))
        ++count;
    EXPECT_EQ(count, 4u) << r.out;
    EXPECT_NE(r.out.find("    bytes 134217724\n"), std::string::npos) << r.out;
    EXPECT_TRUE(r.out.ends_with(" end  # the tag alone, no length word\n")) << r.out;
}

TEST(MkobjTool, BuildsTheDumpedFileBack) {
    ScratchDir dir;
    const std::string text = dir.writeText("m.txt", dumpText(damagedModule()).text);
    ToolRun r = mkobjTool({text, "-o", dir.path("m.o")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(hexBytes(dir.read("m.o")), hexBytes(damagedModule()));
    r = mkobjTool({"-o" + dir.path("stdin.o"), "-"}, dumpText(exampleModule()).text);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(hexBytes(dir.read("stdin.o")), hexBytes(exampleModule()));
}

// The empty file dumps to a text that builds the empty file again, written
// over what the name held; the empty text builds it too.
TEST(MkobjTool, TheEmptyFileComesBack) {
    ScratchDir dir;
    ToolRun dumped = dumpTool({dir.write("empty.o", {})});
    const std::string texts[] = {dumped.out, ""};
    for (const std::string& text : texts) {
        for (bool fromStandardInput : {false, true}) {
            dir.writeText("copy.o", "left by an earlier run");
            const std::string source = fromStandardInput ? "-" : dir.writeText("t.txt", text);
            ToolRun r = mkobjTool({source, "-o", dir.path("copy.o")}, text);
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(dir.read("copy.o"), Bytes{}) << text;
        }
    }
}

TEST(MkobjTool, TextErrorsShowFileLineAndTheLineItself) {
    ScratchDir dir;
    const std::string text = dir.writeText("bad.txt", "object\ncode\n    block cod\nend\n");
    ToolRun r = mkobjTool({text, "-o", dir.path("bad.o")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, text +
                         ":3: expected a section (code, data, bss, base, bssb) or a number, found 'cod'\n"
                         "        block cod\n");
    EXPECT_FALSE(dir.exists("bad.o"));
}

TEST(MkobjTool, EachErrorShowsItsOwnLineWhenSeveralShareOrSkipLines) {
    ScratchDir dir;
    const std::string text = dir.writeText("bad.txt", "object\ncode\n    block cod\n    size\nend\n    word x\n");
    ToolRun r = mkobjTool({text, "-o", dir.path("bad.o")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, text + ":3: expected a section (code, data, bss, base, bssb) or a number, found 'cod'\n"
                            "        block cod\n" +
                         text + ":4: expected a byte count after 'size'\n"
                                "        size\n" +
                         text + ":6: expected a number (decimal or 0x hex, at most 32 bits), found 'x'\n"
                                "        word x\n");
}

// Standard input that fails with an exception: the tool reports it and exits 1.
TEST(MkobjTool, AnExceptionWhileReadingIsReportedNotThrown) {
    struct FailingInput : std::streambuf {
        int_type underflow() override { throw std::runtime_error("standard input failed"); }
    } failing;
    std::istream in(&failing);
    std::ostringstream out, err;
    ScratchDir dir;
    int status = textform::runMkobjTool({"tarnel-mkobj", "-", "-o", dir.path("x.o")}, in, out, err);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err.str(), "tarnel-mkobj: standard input failed\n");
    EXPECT_FALSE(dir.exists("x.o"));
}

TEST(MkobjTool, CommandLineAndFileTrouble) {
    ScratchDir dir;
    const std::string text = dir.writeText("t.txt", "object\nend\n");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {{text}, 2, "tarnel-mkobj: no output file named (-o FILE)\nTry 'tarnel-mkobj --help'.\n"},
        {{"-o", dir.path("x.o")}, 2, "tarnel-mkobj: no text named\nTry 'tarnel-mkobj --help'.\n"},
        {{text, "-o"}, 2, "tarnel-mkobj: -o needs a file name\nTry 'tarnel-mkobj --help'.\n"},
        {{text, text, "-o", "x"}, 2, "tarnel-mkobj: more than one text named\nTry 'tarnel-mkobj --help'.\n"},
        {{dir.path("none.txt"), "-o", dir.path("x.o")},
         2,
         "tarnel-mkobj: cannot open " + dir.path("none.txt") + ": No such file or directory\n"},
        {{text, "-o", dir.path("no/such/dir.o")},
         2,
         "tarnel-mkobj: cannot create " + dir.path("no/such/dir.o") + ": No such file or directory\n"},
    };
    for (const Case& c : cases) {
        ToolRun r = mkobjTool(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_TRUE(mkobjTool({"--help"}).out.starts_with("Usage: tarnel-mkobj TEXT -o FILE\n"));
}

}  // namespace
}  // namespace tarnel::test
