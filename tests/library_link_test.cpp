// Libraries as link inputs: which members a link pulls, in which order, and
// that a link from a library writes exactly what naming the pulled modules
// in pull order writes; and the section-boundary symbols.
#include "golden.hpp"
#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"

namespace tarnel::test {
namespace {

using S = SectionKind;

// A module of 4 code bytes, recognisable by its fill byte, defining `def`
// and referencing each of `refs` at offset 0.
Bytes unit(uint8_t fillByte, std::vector<std::string> defs, std::vector<std::string> refs) {
    ModuleBuilder m;
    m.code(fill(4, fillByte));
    for (const std::string& d : defs) m.xdef(S::code, 0, d);
    for (const std::string& r : refs) m.xref(LINK_ABS32, r, {0});
    return m.end();
}

struct PullCase {
    std::string what;
    std::vector<InputFile> inputs;
    std::vector<std::vector<std::string>> libraries;  // lib0.a, lib1.a, ...: the files each packs
    std::vector<std::string> link;                    // the link's inputs
    std::vector<std::string> same;  // the same link with the pulled modules named; empty: the link fails
    std::vector<std::string> printed;  // texts the link prints, {D} for the folder
};

TEST(LibraryLink, PullsWhatIsReferencedAndUndefined) {
    const std::vector<InputFile> chain = {
        {"main.o", unit(0x11, {"main"}, {"a"})}, {"a.o", unit(0xAA, {"a"}, {"b"})},
        {"b.o", unit(0xBB, {"b"}, {})},          {"c.o", unit(0xCC, {"c"}, {})},
        {"x.o", unit(0x55, {"x"}, {"y"})},       {"y.o", unit(0x66, {"y"}, {"x2"})},
        {"x2.o", unit(0x77, {"x2"}, {})},        {"dup.o", unit(0x99, {"a"}, {})},
    };
    const PullCase cases[] = {
        {"a chain: a then b, c not",
         chain, {{"c.o", "b.o", "a.o"}}, {"main.o", "lib0.a"}, {"main.o", "a.o", "b.o"},
         {"library members included", " lib0.a(2) to satisfy a (referenced in main.o)",
          " lib0.a(1) to satisfy b (referenced in lib0.a(2))"}},
        {"named before the module that needs it: nothing pulled",
         chain, {{"a.o", "b.o"}}, {"lib0.a", "main.o"}, {}, {"reference a not found"}},
        {"the same library twice: the second pulls what the first left",
         chain, {{"b.o"}, {"a.o"}}, {"main.o", "lib0.a", "lib1.a", "lib0.a"}, {"main.o", "a.o", "b.o"},
         {" lib0.a(0) to satisfy b (referenced in lib1.a(0))"}},
        {"two libraries needing each other, resolved by naming the first again",
         {{"main.o", unit(0x11, {"main"}, {"x"})}, chain[4], chain[5], chain[6]},
         {{"x.o", "x2.o"}, {"y.o"}}, {"main.o", "lib0.a", "lib1.a", "lib0.a"}, {"main.o", "x.o", "y.o", "x2.o"},
         {}},
        {"a name a loaded module defines: its member is not pulled",
         chain, {{"a.o", "b.o"}}, {"main.o", "dup.o", "lib0.a"}, {"main.o", "dup.o"}, {}},
        {"module numbers with gaps: a missing file and a module with no xdef",
         chain, {{"missing.o", "c.o", "none.o", "a.o", "b.o"}}, {"main.o", "lib0.a"}, {"main.o", "a.o", "b.o"},
         {" lib0.a(3) to satisfy a"}},
    };
    for (const PullCase& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        for (const InputFile& f : c.inputs) dir.write(f.name, f.bytes);
        dir.write("none.o", ModuleBuilder().data(fill(4, 0x44)).end());
        for (size_t i = 0; i < c.libraries.size(); ++i) {
            std::vector<std::string> args = {"-g"};
            args.insert(args.end(), c.libraries[i].begin(), c.libraries[i].end());
            args.insert(args.end(), {"-o", "lib" + std::to_string(i) + ".a"});
            runLinker(dir, args);
        }
        std::vector<std::string> args = {"-m"};
        args.insert(args.end(), c.link.begin(), c.link.end());
        args.insert(args.end(), {"-o", "lib.out"});
        const RunResult linked = runLinker(dir, args);
        for (const std::string& text : c.printed) EXPECT_NE(linked.out.find(text), std::string::npos) << linked.out;
        if (c.same.empty()) {
            EXPECT_EQ(linked.status, 1);
            continue;
        }
        std::vector<std::string> named = c.same;
        named.insert(named.end(), {"-o", "named.out"});
        ASSERT_EQ(linked.status, 0) << linked.out;
        ASSERT_EQ(runLinker(dir, named).status, 0);
        EXPECT_EQ(dir.read("lib.out"), dir.read("named.out"));
    }
}

TEST(LibraryLink, RefusedAndMalformedLibraries) {
    const Bytes aLib = be({tagWord(ChunkTag::lib), 8 + 8 + 4, tagWord(ChunkTag::code), 8, 0}) + fill(4, 0xAA);
    const Bytes aTable = be({tagWord(ChunkTag::library), 12, 4, 0x61000000, 0});
    struct Case {
        std::string what;
        Bytes library;
        std::vector<std::string> args;
        std::string message;  // {L}: the library's path
    };
    const Case cases[] = {
        {"a library under -g", aTable + be({tagWord(ChunkTag::end)}), {"-g", "rt.lib", "-o", "x.a"},
         "error: File {L} is a library; -g packs object files only\n"},
        {"a number with no matching member", aTable + aLib + be({tagWord(ChunkTag::end)}), {"main.o", "rt.lib"},
         "error: Library {L} is malformed\n"},
        {"a member cut short", aTable + be({tagWord(ChunkTag::lib), 12, tagWord(ChunkTag::code), 8, 0}),
         {"main.o", "rt.lib"}, "error: Library {L} is malformed\n"},
        {"a symbol table past its chunk", be({tagWord(ChunkTag::library), 8, 4, 0x61000000, 0}),
         {"main.o", "rt.lib"}, "error: Library {L} is malformed\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        dir.write("main.o", unit(0x11, {"main"}, {"a"}));
        dir.write("rt.lib", c.library);
        const RunResult r = runLinker(dir, c.args);
        std::string message = c.message;
        message.replace(message.find("{L}"), 3, "rt.lib");
        EXPECT_NE(r.out.find(message), std::string::npos) << r.out;
        EXPECT_EQ(r.status, 1);
    }
}

TEST(LibraryLink, SlotsRunOutWhilePulling) {
    ScratchDir dir;
    std::vector<std::string> args;
    for (int i = 0; i < 510; ++i) args.push_back(dir.write("m" + std::to_string(i) + ".o", unit(1, {}, {})));
    dir.write("main.o", unit(0x11, {}, {"a", "b"}));
    dir.write("a.o", unit(0xAA, {"a"}, {}));
    dir.write("b.o", unit(0xBB, {"b"}, {}));
    runLinker(dir, {"-g", "a.o", "b.o", "-o", "rt.lib"});
    args.insert(args.end(), {"main.o", "rt.lib"});
    const RunResult r = runLinker(dir, args);
    EXPECT_NE(r.out.find("error: Too many object files, rt.lib(1) ignored\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("rt.lib(0) ignored"), std::string::npos);
    EXPECT_EQ(r.status, 1);
}

TEST(BoundarySymbols, ExecutableFieldAndRelocation) {
    // code 4 + 6, data 4 + 8, bss 0x10 + 0x20; the field is at 2 in b.o's
    // code, 6 in the merged code, and holds the offset in the symbol's section
    struct Case {
        std::string symbol;
        uint32_t value;
        uint32_t toSection;
    };
    const Case cases[] = {
        {"_etext", 10, 0}, {"_edata", 12, 1}, {"__bss_start", 0, 2}, {"_end", 0x30, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.symbol);
        ScratchDir dir;
        dir.write("a.o", ModuleBuilder().code(fill(4, 0x4E)).data(fill(4, 1)).bss(0x10).end());
        dir.write("b.o", ModuleBuilder().code(Bytes{0x4E, 0xB9, 0, 0, 0, 0}).data(fill(8, 2)).bss(0x20)
                             .xref(LINK_ABS32, c.symbol, {2}).end());
        const RunResult r = runLinker(dir, {"a.o", "b.o", "-o", "out"});
        ASSERT_EQ(r.status, 0) << r.out;
        const Bytes out = dir.read("out");
        Bytes field;
        std::vector<Bytes> relocs;
        walkChunks(out, 0, [&](const Chunk& chunk) {
            if (chunk.tag == tagWord(ChunkTag::code) && chunk.length >= 14)
                field.assign(chunk.payload.begin() + 4 + 6, chunk.payload.begin() + 4 + 10);
            if (chunk.tag == tagWord(ChunkTag::reloc32)) relocs.emplace_back(chunk.payload.begin(), chunk.payload.end());
        });
        EXPECT_EQ(field, be({c.value}));
        EXPECT_EQ(relocs, std::vector<Bytes>{be({0, c.toSection, 6})});
    }
}

TEST(BoundarySymbols, EachNamesItsSectionEdge) {
    // code 6, data 8, bss 0x20; each symbol read through a 32-bit field in data
    struct Case {
        std::string symbol;
        bool rom;
        uint32_t value;
    };
    const Case cases[] = {
        {"_etext", true, 0x1006}, {"_edata", true, 0x100E}, {"__bss_start", true, 0x100E},
        {"_end", true, 0x102E},   {"_etext", false, 6},     {"_edata", false, 8},
        {"__bss_start", false, 0}, {"_end", false, 0x20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.symbol + (c.rom ? " rom" : " executable"));
        ScratchDir dir;
        dir.write("m.o", ModuleBuilder().code(fill(6, 0x4E)).data(fill(8, 0)).bss(0x20).xref(LINK_ABS32, c.symbol, {2})
                              .end());
        std::vector<std::string> args = {"-m", "m.o", "-o", "out"};
        if (c.rom) args.insert(args.begin(), "-r1000");
        const RunResult r = runLinker(dir, args);
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find(" " + c.symbol + " "), std::string::npos) << r.out;
        const Bytes out = dir.read("out");
        if (c.rom) {
            ASSERT_GE(out.size(), 6u);
            EXPECT_EQ(Bytes(out.begin() + 2, out.begin() + 6), be({c.value}));
        }
    }
    // a module's own definition wins
    ScratchDir dir;
    dir.write("m.o", ModuleBuilder().code(fill(8, 0x4E)).xdef(S::code, 4, "_end").xref(LINK_ABS32, "_end", {0}).end());
    const RunResult r = runLinker(dir, {"-r0", "m.o", "-o", "out"});
    ASSERT_EQ(r.status, 0) << r.out;
    const Bytes out = dir.read("out");
    ASSERT_GE(out.size(), 4u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), be({4}));
}

}  // namespace
}  // namespace tarnel::test
