// The link record (--record=FILE): the whole record of a link byte for byte,
// a failed link's record with its errors, the same bytes for the same link,
// and the record's own file faults.
#include <gtest/gtest.h>

#include <string>

#include "golden.hpp"
#include "objfmt/symbol_chunk.hpp"

namespace tarnel::test {
namespace {

using S = SectionKind;

std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// main.o, which needs util from lib.lib; the library also holds spare.
void writeInputs(const ScratchDir& dir) {
    dir.write("main.o", ModuleBuilder()
                            .name("main")
                            .code(Bytes(8, 0))
                            .data({1, 2, 3, 4})
                            .bss(4)
                            .xdef(S::code, 0, "main")
                            .xdef(S::data, 0, "value")
                            .xref(LINK_ABS32, "util", {0})
                            .xref(LINK_PCREL16, "main", {6})
                            .end());
    dir.write("util.o", ModuleBuilder().name("util").code(Bytes(4, 0x4E)).xdef(S::code, 0, "util").end());
    dir.write("spare.o", ModuleBuilder().code({0x4E, 0x75}).xdef(S::code, 0, "spare").end());
    ASSERT_EQ(runLinker(dir, {"-g", "util.o", "spare.o", "-o", "lib.lib"}).status, 0);
}

TEST(LinkRecord, AWholeLinkByteForByte) {
    ScratchDir dir;
    writeInputs(dir);
    const RunResult r =
        runLinker(dir, {"-r1000", "--ram=2000", "--rom-size=1K", "main.o", "lib.lib", "-o", "out.rom", "--record=out.json"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(text(dir.read("out.json")), R"json({
"format": "tarnel link record",
"version": 1,
"status": 0,
"errors": [],
"options": {"output": "out.rom", "mode": "rom", "rom_start": 4096, "ram_start": 8192, "rom_size": 1024, "ram_size": null, "bss_in_rom": true, "embedded_label": null},
"processor": "5206",
"sections": [
  {"name": "code", "address": 4096, "size": 12, "load_address": 4096},
  {"name": "data", "address": 8192, "size": 4, "load_address": 4108},
  {"name": "bss", "address": 8196, "size": 4, "load_address": null},
  {"name": "base", "address": 8200, "size": 0, "load_address": 4112},
  {"name": "bssb", "address": 8200, "size": 0, "load_address": null}
],
"regions": [
  {"name": "ROM", "start": 4096, "size": 1024, "used": 16},
  {"name": "RAM", "start": 8192, "size": null, "used": 8}
],
"totals": {"code": 12, "data": 4, "bss": 4, "base": 0, "bssb": 0, "code_size": 20, "file_size": 20},
"modules": [
  {"file": "main.o", "name": "main", "version": null, "date": null, "processor": null, "library": null, "parts": [{"section": "code", "address": 4096, "size": 8}, {"section": "data", "address": 8192, "size": 4}, {"section": "bss", "address": 8196, "size": 4}]},
  {"file": "lib.lib(0)", "name": "lib.lib(0)", "version": null, "date": null, "processor": null, "library": {"file": "lib.lib", "number": 0}, "parts": [{"section": "code", "address": 4104, "size": 4}]}
],
"library_pulls": [
  {"module": 1, "member": "lib.lib(0)", "symbol": "util", "referenced_by": "main.o"}
],
"definitions": [
  {"name": "main", "module": 0, "section": "code", "offset": 0, "address": 4096, "size": 8, "size_from": "next"},
  {"name": "value", "module": 0, "section": "data", "offset": 0, "address": 8192, "size": 4, "size_from": "next"},
  {"name": "util", "module": 1, "section": "code", "offset": 0, "address": 4104, "size": 4, "size_from": "next"}
],
"references": [
  {"name": "util", "module": 0, "offset": 0, "access": "absolute 32-bit", "definition": 2},
  {"name": "main", "module": 0, "offset": 6, "access": "pcrelative 16-bit", "definition": 0}
]
}
)json");
    // the same link gives the same bytes
    const Bytes first = dir.read("out.json");
    ASSERT_EQ(runLinker(dir, {"-r1000", "--ram=2000", "--rom-size=1K", "main.o", "lib.lib", "-o", "out.rom",
                              "--record=out.json"})
                  .status,
              0);
    EXPECT_EQ(dir.read("out.json"), first);
}

// A failed link writes no output but its record, errors listed, so that it
// can be looked at; a name no definition answers has none.
TEST(LinkRecord, AFailedLinkIsRecordedWithItsErrors) {
    ScratchDir dir;
    dir.write("m.o", ModuleBuilder()
                         .code(Bytes(8, 0))
                         .xref(LINK_ABS32, "missing", {0})
                         .xref(LINK_ABS8, "ignored", {4})
                         .xref(LINK_PCREL8, "far", {5})
                         .xdef(S::code, 0x200, "far")
                         .end());
    const RunResult r = runLinker(dir, {"m.o", "notthere.o", "--record=r.json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(dir.exists("a.out"));
    const std::string record = text(dir.read("r.json"));
    EXPECT_NE(record.find("\"status\": 1,\n\"errors\": [\n"
                          "  \"File notthere.o not found\",\n"
                          "  \"reference missing not found\",\n"
                          "  \"Byte relative out of range for reference far in m.o\"\n]"),
              std::string::npos)
        << record;
    EXPECT_NE(record.find(R"({"name": "missing", "module": 0, "offset": 0, "access": "absolute 32-bit", "definition": null})"),
              std::string::npos)
        << record;
    EXPECT_NE(record.find(R"({"name": "ignored", "module": 0, "offset": 4, "access": "absolute 8-bit", "definition": null})"),
              std::string::npos)
        << record;
    EXPECT_NE(record.find(R"({"file": null, "name": null, "version": null, "date": null, "processor": null, "library": null, "parts": []})"),
              std::string::npos)
        << record;
}

// Names of any bytes give valid JSON: quotes, backslashes and control bytes
// escaped, UTF-8 as it is, other bytes as the code point of their value.
TEST(LinkRecord, NamesOfAnyBytes) {
    ScratchDir dir;
    dir.write("m.o", ModuleBuilder()
                         .code(Bytes(4, 0))
                         .xdef(S::code, 0, "q\"b\\c\x01")
                         .xdef(S::code, 1, "\xC3\xA9t\xC3\xA9")
                         .xdef(S::code, 2, "\xE9\xC3")
                         .end());
    ASSERT_EQ(runLinker(dir, {"m.o", "--record=r.json"}).status, 0);
    const std::string record = text(dir.read("r.json"));
    for (const char* name : {R"("q\"b\\c\u0001")", "\"\xC3\xA9t\xC3\xA9\"", R"("\u00e9\u00c3")"})
        EXPECT_NE(record.find(std::string("{\"name\": ") + name), std::string::npos) << name << "\n" << record;
}

// A definition takes the bytes up to the next one of its part, in the base
// region as in every other section, whatever addresses the mode gives it.
TEST(LinkRecord, DefinitionsInTheBaseRegionTakeTheBytesUpToTheNext) {
    struct Mode {
        std::vector<std::string> args;
        const char* bvar;  // where base's first byte runs
        const char* last;
    };
    const Mode modes[] = {
        {{}, R"("offset": 0, "address": 0, "size": 2)", R"("offset": 2, "address": 2, "size": 2)"},
        {{"-r1000"}, R"("offset": 0, "address": 4100, "size": 2)", R"("offset": 2, "address": 4102, "size": 2)"},
        {{"-r1000", "--ram=8000"}, R"("offset": 0, "address": 32768, "size": 2)",
         R"("offset": 2, "address": 32770, "size": 2)"},
    };
    for (const Mode& mode : modes) {
        SCOPED_TRACE(mode.args.empty() ? "executable" : mode.args.back());
        ScratchDir dir;
        dir.write("b.o", ModuleBuilder()
                             .code(Bytes(4, 0))
                             .base({1, 2, 3, 4})
                             .xdef(S::base, 0, "bvar")
                             .xdef(S::base, 2, "last")
                             .end());
        std::vector<std::string> args = mode.args;
        args.insert(args.end(), {"b.o", "-o", "out", "--record=r.json"});
        ASSERT_EQ(runLinker(dir, args).status, 0);
        const std::string record = text(dir.read("r.json"));
        EXPECT_NE(record.find(std::string(R"({"name": "bvar", "module": 0, "section": "base", )") + mode.bvar),
                  std::string::npos)
            << record;
        EXPECT_NE(record.find(std::string(R"({"name": "last", "module": 0, "section": "base", )") + mode.last),
                  std::string::npos)
            << record;
    }
}

// A module carrying its object's symbols gives its definitions their own
// sizes (a function followed by a constant it does not span, an object with
// padding after it); one without keeps the rule of the next definition. The
// linker's own definitions hold no bytes, at the address references take.
TEST(LinkRecord, SizesFromTheObjectAndTheLinkersOwn) {
    ScratchDir dir;
    const Bytes symbols = SymbolPayloadBuilder("f.c")
                              .symbol(0, SymbolBinding::global, 2, 0, 6, "f")
                              .symbol(0, SymbolBinding::local, 1, 8, 4, "table")
                              .symbol(1, SymbolBinding::global, 1, 0, 2, "flag")
                              .finish();
    dir.write("f.o", ModuleBuilder()
                         .code(Bytes(12, 0))
                         .data({1, 2, 3, 4})
                         .base({5, 6})
                         .xdef(S::code, 0, "f")
                         .xdef(S::code, 8, "g")
                         .xdef(S::data, 0, "flag")
                         .xref(LINK_ABS32, "_base", {0})
                         .xref(LINK_ABS32, "_end", {4})
                         .chunk(ChunkTag::symbol, symbols)
                         .end());
    ASSERT_EQ(runLinker(dir, {"f.o", "--record=r.json"}).status, 0);
    const std::string record = text(dir.read("r.json"));
    for (const char* line : {
             R"({"name": "f", "module": 0, "section": "code", "offset": 0, "address": 0, "size": 6, "size_from": "object"})",
             R"({"name": "g", "module": 0, "section": "code", "offset": 8, "address": 8, "size": 4, "size_from": "next"})",
             R"({"name": "flag", "module": 0, "section": "data", "offset": 0, "address": 0, "size": 2, "size_from": "object"})",
             // _base resolves to 0x8000 in an executable; _end to the end of bss, which is 0
             R"({"name": "_base", "module": 0, "section": "base", "offset": 65536, "address": 32768, "size": 0, "size_from": "linker"})",
             R"({"name": "_end", "module": 0, "section": "bss", "offset": 0, "address": 0, "size": 0, "size_from": "linker"})",
         })
        EXPECT_NE(record.find(line), std::string::npos) << line << "\n" << record;
}

struct RecordFault {
    const char* what;
    std::vector<std::string> args;
    const char* message;
};

// The record's file is written like the output; one that cannot be, or that
// would take another output's name, is an error.
TEST(LinkRecord, FileFaults) {
    const RecordFault faults[] = {
        {"inside a missing folder", {"m.o", "--record=nodir/r.json"}, "error: File nodir/r.json could not be created\n"},
        {"the output's name", {"m.o", "-o", "out", "--record=out"}, "error: File out is named for two outputs\n"},
        {"no name", {"m.o", "--record="}, "error: No file name in option --record=\n"},
    };
    for (const RecordFault& f : faults) {
        SCOPED_TRACE(f.what);
        ScratchDir dir;
        dir.write("m.o", ModuleBuilder().code({0x4E, 0x75}).end());
        const RunResult r = runLinker(dir, f.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find(f.message), std::string::npos) << r.out;
    }
}

}  // namespace
}  // namespace tarnel::test
