// The converter on objects with debugging information: the `symbol` and
// `debug` chunks it writes, each relocation re-expressed against the module's
// parts, its other debugging sections or a name; what it refuses, always
// convertible with --strip-debug; and -d, whose aliases and weak symbols
// leave the debugging information's names alone.
#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "convert.hpp"
#include "elf2obj.hpp"
#include "elf_builder.hpp"
#include "elf_file.hpp"
#include "harness.hpp"
#include "objfmt/bytes.hpp"
#include "objfmt/debug_chunk.hpp"

namespace tarnel::test {
namespace {

using namespace tarnel::elf;
using elf2obj::Conversion;
using elf2obj::ConvertOptions;

Conversion convert(const ElfBuilder& e, bool keepDebug = true) {
    Bytes bytes = e.build();
    File file;
    std::string error;
    EXPECT_TRUE(readFile(bytes, file, error)) << error;
    ConvertOptions options{"fallback.o", std::nullopt, keepDebug};
    return elf2obj::convertObject(file, options);
}

constexpr uint32_t kDebugFlags = 0;
constexpr uint32_t kText = SHF_ALLOC | SHF_EXECINSTR;

// An object as gcc -g lays one out: code, rodata, data and bss, four
// debugging sections, local, absolute, global and undefined symbols, and
// debugging relocations against each kind of target.
struct DebugObject {
    ElfBuilder e;
    uint16_t text, rodata, data, bss, info, abbrev, str, frame;
    uint32_t helper, count, k, main, table, ext;

    DebugObject() {
        e.fileSymbol("main.c");
        text = e.progbits(".text", Bytes(8, 0x4E), kText);
        rodata = e.progbits(".rodata", {'h', 'i', 0}, SHF_ALLOC, 1);
        data = e.progbits(".data", Bytes(4, 1), SHF_ALLOC | SHF_WRITE);
        bss = e.nobits(".bss", 8);
        info = e.progbits(".debug_info", Bytes(32, 0xDD), kDebugFlags, 1);
        abbrev = e.progbits(".debug_abbrev", {1, 2, 3}, kDebugFlags, 1);
        str = e.progbits(".debug_str", {'m', 0, 'x', 0}, SHF_MERGE | SHF_STRINGS, 1);
        frame = e.progbits(".debug_frame", Bytes(8, 0xFF), kDebugFlags, 4);
        helper = e.symbol("helper", text, 4, STB_LOCAL, STT_FUNC, 4);
        count = e.symbol("count", bss, 4, STB_LOCAL, STT_OBJECT, 4);
        k = e.symbol("K", SHN_ABS, 0x1234, STB_LOCAL);
        main = e.symbol("main", text, 0, STB_GLOBAL, STT_FUNC, 4);
        table = e.symbol("table", data, 0, STB_GLOBAL, STT_OBJECT, 4);
        ext = e.symbol("ext", SHN_UNDEF, 0);
    }
    void relocate() {
        e.rela(info, 0, e.sectionSymbol(abbrev), R_68K_32, 0);
        e.rela(info, 4, e.sectionSymbol(str), R_68K_32, 2);
        e.rela(info, 8, e.sectionSymbol(text), R_68K_32, 4);
        e.rela(info, 12, e.sectionSymbol(rodata), R_68K_32, 1);
        e.rela(info, 16, count, R_68K_32, 0);
        e.rela(info, 20, table, R_68K_32, 4);
        e.rela(info, 24, ext, R_68K_32, 0);
        e.rela(info, 28, k, R_68K_32, 2);
        e.rela(info, 26, 0, R_68K_NONE, 0);
        e.rela(frame, 0, e.sectionSymbol(frame), R_68K_32, 0);
        e.rela(frame, 4, helper, R_68K_32, 0);
    }
};

Bytes plainModule() {
    return ModuleBuilder()
        .name("main.c")
        .code(Bytes(8, 0x4E) + Bytes{'h', 'i', 0, 0})
        .data(Bytes(4, 1))
        .bss(8)
        .xdef(SectionKind::code, 0, "main")
        .xdef(SectionKind::data, 0, "table")
        .unfinished();
}

// Every debugging relocation names what it reaches as the link sees it: a
// section symbol plus its addend is a place in the module's part (.rodata
// counts from its place in code) or in a debugging section; a local symbol
// likewise; a global or undefined one its name; an absolute one is written
// in and leaves no relocation. The symbols are those of the object.
TEST(Elf2objDebug, RelocationsAreReExpressedAgainstPartsSectionsAndNames) {
    DebugObject o;
    o.relocate();
    Conversion c = convert(o.e);
    ASSERT_EQ(c.refusals, std::vector<std::string>{});

    const uint32_t part = uint32_t(DebugTarget::part) << 24, debug = uint32_t(DebugTarget::debugSection) << 24,
                   name = uint32_t(DebugTarget::name) << 24;
    const DebugPayloadBuilder::Reloc infoRelocs[] = {
        {0, debug | 1, 0},  {4, debug | 2, 2},  {8, part | 0, 4}, {12, part | 0, 9},
        {16, part | 2, 4},  {20, name | 0, 4},  {24, name | 1, 0},
    };
    const DebugPayloadBuilder::Reloc frameRelocs[] = {{0, debug | 3, 0}, {4, part | 0, 4}};
    Bytes info(32, 0xDD);
    info[28] = 0x00, info[29] = 0x00, info[30] = 0x12, info[31] = 0x36;  // K + 2
    const Bytes expected =
        plainModule() +
        ModuleBuilder(false)
            .chunk(ChunkTag::symbol,
                   SymbolPayloadBuilder("main.c")
                       .symbol(0, SymbolBinding::local, STT_FUNC, 4, 4, "helper")
                       .symbol(2, SymbolBinding::local, STT_OBJECT, 4, 4, "count")
                       .symbol(kAbsoluteSymbol, SymbolBinding::local, STT_NOTYPE, 0x1234, 0, "K")
                       .symbol(0, SymbolBinding::global, STT_FUNC, 0, 4, "main")
                       .symbol(1, SymbolBinding::global, STT_OBJECT, 0, 4, "table")
                       .finish())
            .chunk(ChunkTag::debug, DebugPayloadBuilder()
                                        .name("table")
                                        .name("ext")
                                        .section(".debug_info", 1, info, infoRelocs)
                                        .section(".debug_abbrev", 1, Bytes{1, 2, 3}, {})
                                        .section(".debug_str", 1, Bytes{'m', 0, 'x', 0}, {})
                                        .section(".debug_frame", 4, Bytes(8, 0xFF), frameRelocs)
                                        .finish())
            .end();
    EXPECT_EQ(hexBytes(c.object), hexBytes(expected));
}

// --strip-debug leaves both chunks out: the module is the one of the object
// without its debugging sections.
TEST(Elf2objDebug, StripDebugLeavesBothChunksOut) {
    DebugObject o;
    o.relocate();
    Conversion c = convert(o.e, false);
    EXPECT_EQ(c.refusals, std::vector<std::string>{});
    EXPECT_EQ(hexBytes(c.object), hexBytes(plainModule() + ModuleBuilder(false).end()));
}

struct DebugRefusal {
    const char* what;
    void (*make)(DebugObject& o);
    std::string message;
};

constexpr const char* kRemedy = "; compile without -g, or convert with --strip-debug";

const DebugRefusal kDebugRefusals[] = {
    {"a pc-relative relocation", [](DebugObject& o) { o.e.rela(o.info, 4, o.e.sectionSymbol(o.text), R_68K_PC32, 0); },
     std::string(".debug_info+0x4: '.text': R_68K_PC32 in debugging information, where the object format keeps "
                 "32-bit addresses only") + kRemedy},
    {"a 16-bit relocation", [](DebugObject& o) { o.e.rela(o.frame, 2, o.main, R_68K_16, 0); },
     std::string(".debug_frame+0x2: 'main': R_68K_16 in debugging information, where the object format keeps "
                 "32-bit addresses only") + kRemedy},
    {"a section the module does not hold",
     [](DebugObject& o) { o.e.rela(o.info, 0, o.e.sectionSymbol(o.e.progbits(".comment", {'x', 0}, 0, 1)), R_68K_32, 0); },
     std::string(".debug_info+0x0: '.comment': reference from debugging information to .comment, which the module "
                 "does not hold") + kRemedy},
    {"the unwind tables the module drops",
     [](DebugObject& o) { o.e.rela(o.info, 8, o.e.sectionSymbol(o.e.progbits(".eh_frame", Bytes(8, 0))), R_68K_32, 0); },
     std::string(".debug_info+0x8: '.eh_frame': reference from debugging information to .eh_frame, which the module "
                 "does not hold") + kRemedy},
    {"a field past the section's end", [](DebugObject& o) { o.e.rela(o.abbrev, 0, o.main, R_68K_32, 0); },
     ".debug_abbrev+0x0: 'main': relocated field runs past the end of the section; the object is damaged, rebuild it"},
    {"a compressed section", [](DebugObject& o) { o.e.progbits(".debug_ranges", Bytes(12, 0), SHF_COMPRESSED, 4); },
     ".debug_ranges+0x0: '.debug_ranges': compressed debugging section; compile without -gz, or convert with "
     "--strip-debug"},
    {"a section of the older compressed form", [](DebugObject& o) { o.e.progbits(".zdebug_line", Bytes(12, 0), 0, 1); },
     ".zdebug_line+0x0: '.zdebug_line': compressed debugging section; compile without -gz, or convert with "
     "--strip-debug"},
    {"a section without contents, its relocation not applied",
     [](DebugObject& o) { o.e.rela(o.e.nobits(".debug_ranges", 32, 1, 0), 16, o.k, R_68K_32, 0); },
     ".debug_ranges+0x0: '.debug_ranges': debugging section without contents; the object is damaged, rebuild it"},
    {"a compressed section, its relocation not applied",
     [](DebugObject& o) { o.e.rela(o.e.progbits(".debug_ranges", Bytes(8, 0), SHF_COMPRESSED, 4), 4, o.main, R_68K_32, 0); },
     ".debug_ranges+0x0: '.debug_ranges': compressed debugging section; compile without -gz, or convert with "
     "--strip-debug"},
    {"an alignment that is not a power of two", [](DebugObject& o) { o.e.progbits(".debug_ranges", Bytes(12, 0), 0, 12); },
     ".debug_ranges+0x0: '.debug_ranges': debugging section aligned to 12 bytes; the linker takes 0 or a power of two "
     "up to 4096; compile without -g, or convert with --strip-debug"},
    {"an alignment past 4096", [](DebugObject& o) { o.e.progbits(".debug_ranges", Bytes(12, 0), 0, 1u << 30); },
     ".debug_ranges+0x0: '.debug_ranges': debugging section aligned to 1073741824 bytes; the linker takes 0 or a "
     "power of two up to 4096; compile without -g, or convert with --strip-debug"},
    {"relocations without addends",
     [](DebugObject& o) {
         o.e.rela(o.info, 8, o.main, R_68K_32, 0);
         o.e.withoutAddends(o.info);
     },
     ".debug_info+0x0: '.rel.debug_info': relocations without addends; build the object with the GNU m68k tools, "
     "which write RELA relocations, or convert with --strip-debug"},
};

void PrintTo(const DebugRefusal& c, std::ostream* os) { *os << c.what; }

class Elf2objDebugRefusal : public testing::TestWithParam<DebugRefusal> {};

// What a debugging section holds that the format cannot express is refused
// with the remedy; the same object converts with --strip-debug.
TEST_P(Elf2objDebugRefusal, IsRefusedAndConvertsWithStripDebug) {
    DebugObject o;
    GetParam().make(o);
    EXPECT_EQ(convert(o.e).refusals, std::vector<std::string>{GetParam().message});
    Conversion stripped = convert(o.e, false);
    EXPECT_EQ(stripped.refusals, std::vector<std::string>{});
    EXPECT_FALSE(stripped.object.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, Elf2objDebugRefusal, testing::ValuesIn(kDebugRefusals));

// The payload of a converted module's chunk of a kind.
std::span<const uint8_t> payloadOf(const Bytes& module, ChunkTag tag) {
    std::span<const uint8_t> payload;
    walkChunks(module, kChunkHeaderSize, [&](const Chunk& chunk) {
        if (chunk.tag == tagWord(tag)) payload = chunk.payload;
    });
    return payload;
}

// The entries of a module's `link` chunk: "xdef NAME VALUE", "xref NAME FIRST-OFFSET".
std::vector<std::string> linkEntries(const Bytes& module) {
    std::vector<std::string> entries;
    walkLinkChunk(payloadOf(module, ChunkTag::link), [&](const LinkEntry& e) {
        const bool xdef = e.kind == LinkEntry::Kind::xdef;
        const uint32_t value = xdef ? e.value : readWordBE(e.offsets);
        entries.push_back(std::string(xdef ? "xdef " : "xref ") + std::string(e.name) + " " + std::to_string(value));
    });
    return entries;
}

// With -d, code reaching `table+8` in another module goes through the alias,
// while the debugging information keeps the name and its addend; a weak
// definition that another object's wins over is reached by name from the
// debugging information too, so that it describes the winner.
TEST(Elf2objDebug, DashDKeepsNamesAndAddendsInDebuggingInformation) {
    ElfBuilder a;
    auto aText = a.progbits(".text", Bytes(8, 0x4E), kText);
    auto aInfo = a.progbits(".debug_info", Bytes(8, 0), kDebugFlags, 1);
    a.symbol("table", a.progbits(".data", Bytes(16, 0), SHF_ALLOC | SHF_WRITE), 0, STB_GLOBAL, STT_OBJECT, 16);
    auto aIsr = a.symbol("isr", aText, 4, STB_WEAK, STT_FUNC, 4);
    a.rela(aInfo, 0, aIsr, R_68K_32, 0);
    ElfBuilder b;
    auto bText = b.progbits(".text", Bytes(8, 0x4E), kText);
    auto bInfo = b.progbits(".debug_info", Bytes(8, 0), kDebugFlags, 1);
    b.symbol("isr", bText, 0, STB_GLOBAL, STT_FUNC, 8);
    auto bTable = b.symbol("table", SHN_UNDEF, 0);
    b.rela(bText, 2, bTable, R_68K_32, 8);
    b.rela(bInfo, 4, bTable, R_68K_32, 8);
    const Bytes aBytes = a.build(), bBytes = b.build();
    File files[2];
    std::string error;
    ASSERT_TRUE(readFile(aBytes, files[0], error) && readFile(bBytes, files[1], error)) << error;
    const ConvertOptions options[2] = {{"a.o", std::nullopt, true}, {"b.o", std::nullopt, true}};
    std::vector<Conversion> c = elf2obj::convertProgram(files, options);
    ASSERT_EQ(c[0].refusals, std::vector<std::string>{});
    ASSERT_EQ(c[1].refusals, std::vector<std::string>{});

    EXPECT_EQ(linkEntries(c[0].object), (std::vector<std::string>{"xdef table 0", "xdef table+0x8 8"}));
    EXPECT_EQ(linkEntries(c[1].object), (std::vector<std::string>{"xdef isr 0", "xref table+0x8 2"}));
    const DebugChunk aDebug = readDebugChunk(payloadOf(c[0].object, ChunkTag::debug));
    const DebugChunk bDebug = readDebugChunk(payloadOf(c[1].object, ChunkTag::debug));
    ASSERT_TRUE(aDebug.whole() && bDebug.whole());
    ASSERT_EQ(aDebug.names.size(), 1u);
    EXPECT_EQ(aDebug.names[0].name, "isr");
    const DebugReloc aReloc = aDebug.sections.at(0).reloc(0);
    EXPECT_EQ(std::tuple(aReloc.offset, aReloc.kind, aReloc.index, aReloc.addend), std::tuple(0u, uint8_t(2), 0u, 0u));
    ASSERT_EQ(bDebug.names.size(), 1u);
    EXPECT_EQ(bDebug.names[0].name, "table");
    const DebugReloc bReloc = bDebug.sections.at(0).reloc(0);
    EXPECT_EQ(std::tuple(bReloc.offset, bReloc.kind, bReloc.index, bReloc.addend), std::tuple(4u, uint8_t(2), 0u, 8u));
}

// The command line takes --strip-debug in either form.
TEST(Elf2objDebug, StripDebugOnTheCommandLine) {
    ScratchDir dir;
    DebugObject o;
    o.relocate();
    dir.write("in.o", o.e.build());
    auto run = [&](std::vector<std::string> args) {
        for (std::string& a : args)
            if (a.ends_with(".o") || a == "out") a = dir.path(a);
        args.insert(args.begin(), "tarnel-elf2obj");
        std::ostringstream out, err;
        EXPECT_EQ(elf2obj::runElf2obj(args, out, err), 0) << err.str();
    };
    run({"in.o", "-o", "kept.o"});
    run({"in.o", "-o", "stripped.o", "--strip-debug"});
    run({"--strip-debug", "-d", "out", "in.o"});
    const Bytes plain = plainModule() + ModuleBuilder(false).end();
    const Bytes kept = dir.read("kept.o");
    EXPECT_EQ(hexBytes(dir.read("stripped.o")), hexBytes(plain));
    EXPECT_EQ(hexBytes(dir.read("out/in.o")), hexBytes(plain));
    // the kept module is the stripped one with the two chunks before its end tag
    ASSERT_GT(kept.size(), plain.size());
    EXPECT_EQ(hexBytes(Bytes(kept.begin(), kept.begin() + ptrdiff_t(plain.size() - 4))),
              hexBytes(Bytes(plain.begin(), plain.end() - 4)));
    EXPECT_FALSE(payloadOf(kept, ChunkTag::symbol).empty());
    EXPECT_FALSE(payloadOf(kept, ChunkTag::debug).empty());
}

}  // namespace
}  // namespace tarnel::test
