// tarnel-elf with modules that carry symbol information and debugging
// sections: the sections concatenated in link order with every relocation
// applied at its target's final address, the local symbols after their
// module's file symbol, the globals with the types and sizes of their
// objects and without the converter's aliases; and every chunk or relocation
// it cannot use refused with an error that names the module.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "driver/tarnel.hpp"
#include "elf_format.hpp"
#include "elf_writer.hpp"
#include "harness.hpp"
#include "objfmt/bytes.hpp"

namespace tarnel::test {
namespace {

using namespace tarnel::elf;

constexpr uint32_t kPart = uint32_t(DebugTarget::part) << 24, kDebug = uint32_t(DebugTarget::debugSection) << 24,
                   kName = uint32_t(DebugTarget::name) << 24;

// The sections and symbols of an ELF file, as the GNU tools read them.
struct ElfSymbol {
    std::string name;
    uint32_t value, size;
    uint8_t bind, type;
    std::string section;  // the section's name, or "ABS"
    bool operator==(const ElfSymbol&) const = default;
};
void PrintTo(const ElfSymbol& s, std::ostream* os) {
    *os << s.name << " " << std::hex << s.value << " " << s.size << " bind " << int(s.bind) << " type "
        << int(s.type) << " " << s.section;
}

struct ElfFile {
    std::map<std::string, Bytes> sections;   // by name: the bytes in the file (none for NOBITS)
    std::map<std::string, uint32_t> aligns;  // by name
    std::vector<ElfSymbol> symbols;          // the null symbol left out
    uint32_t firstGlobal = 0;                // counted with the null symbol
};

ElfFile readElf(const Bytes& b) {
    ElfFile f;
    const uint32_t shoff = readWordBE(&b[32]), shnum = readHalfBE(&b[48]), shstrndx = readHalfBE(&b[50]);
    auto sh = [&](uint32_t i, uint32_t field) { return readWordBE(&b[shoff + kShdrSize * i + 4 * field]); };
    auto name = [&](uint32_t table, uint32_t at) { return std::string(reinterpret_cast<const char*>(&b[sh(table, 4) + at])); };
    std::vector<std::string> names(shnum);
    for (uint32_t i = 0; i < shnum; ++i) {
        names[i] = name(shstrndx, sh(i, 0));
        const auto bytes = sh(i, 1) == SHT_NOBITS ? Bytes{} : Bytes(b.begin() + sh(i, 4), b.begin() + sh(i, 4) + sh(i, 5));
        f.sections[names[i]] = bytes;
        f.aligns[names[i]] = sh(i, 8);
    }
    for (uint32_t i = 0; i < shnum; ++i) {
        if (sh(i, 1) != SHT_SYMTAB) continue;
        f.firstGlobal = sh(i, 7);
        for (uint32_t at = sh(i, 4) + kSymSize; at < sh(i, 4) + sh(i, 5); at += kSymSize) {
            const uint16_t shndx = readHalfBE(&b[at + 14]);
            f.symbols.push_back({name(sh(i, 6), readWordBE(&b[at])), readWordBE(&b[at + 4]), readWordBE(&b[at + 8]),
                                 uint8_t(b[at + 12] >> 4), uint8_t(b[at + 12] & 0xF),
                                 shndx == SHN_ABS ? "ABS" : names.at(shndx)});
        }
    }
    return f;
}

// Two modules: a.c with symbols and debugging sections, whose .debug_info
// and .debug_frame are 10 bytes long, and b.c with debugging sections only,
// reaching a.c's `table` by name.
Bytes moduleA() {
    const DebugPayloadBuilder::Reloc info[] = {{0, kPart | 0, 2}, {4, kDebug | 1, 1}};
    const DebugPayloadBuilder::Reloc frame[] = {{0, kDebug | 2, 0}, {4, kPart | 2, 4}};
    return ModuleBuilder()
        .name("a.c")
        .code(Bytes(8, 0x4E))
        .data(Bytes(8, 0))
        .bss(8)
        .xdef(SectionKind::code, 0, "main")
        .xdef(SectionKind::data, 0, "table")
        .xdef(SectionKind::data, 4, "table+0x4")
        .link()
        .chunk(ChunkTag::symbol,
               SymbolPayloadBuilder("a.c")
                   .symbol(0, SymbolBinding::local, uint8_t(SymbolType::function), 4, 4, "helper")
                   .symbol(2, SymbolBinding::local, uint8_t(SymbolType::object), 4, 4, "count")
                   .symbol(kAbsoluteSymbol, SymbolBinding::local, uint8_t(SymbolType::none), 0x1234, 0, "K")
                   .symbol(0, SymbolBinding::global, uint8_t(SymbolType::function), 0, 4, "main")
                   .symbol(1, SymbolBinding::weak, uint8_t(SymbolType::object), 0, 4, "table")
                   .finish())
        .chunk(ChunkTag::debug, DebugPayloadBuilder()
                                    .section(".debug_info", 1, Bytes(10, 0xAA), info)
                                    .section(".debug_str", 1, Bytes{'a', 0}, {})
                                    .section(".debug_frame", 4, Bytes(10, 0xFF), frame)
                                    .finish())
        .end();
}

Bytes moduleB() {
    const DebugPayloadBuilder::Reloc info[] = {{0, kName | 0, 4}, {4, kPart | 0, 0}, {8, kDebug | 0, 1}};
    const DebugPayloadBuilder::Reloc frame[] = {{0, kDebug | 2, 0}};
    return ModuleBuilder()
        .name("b.c")
        .code(Bytes(4, 0x4E))
        .xdef(SectionKind::code, 0, "other")
        .link()
        .chunk(ChunkTag::debug, DebugPayloadBuilder()
                                    .name("table")
                                    .section(".debug_str", 1, Bytes{'b', 'b', 0}, {})
                                    .section(".debug_info", 1, Bytes(12, 0xBB), info)
                                    .section(".debug_frame", 4, Bytes(8, 0xFF), frame)
                                    .finish())
        .end();
}

struct Linked {
    int status;
    std::string out;
    Bytes elf;
};

Linked linkElf(const ScratchDir& dir, std::vector<std::string> options, const std::vector<std::pair<std::string, Bytes>>& modules) {
    std::vector<std::string> args{"tarnel-elf"};
    args.insert(args.end(), options.begin(), options.end());
    for (const auto& [name, bytes] : modules) args.push_back(dir.write(name, bytes));
    args.push_back("-o");
    args.push_back(dir.path("out.elf"));
    std::ostringstream out;
    const int status = runTarnelElf(args, out);
    return {status, out.str(), dir.exists("out.elf") ? dir.read("out.elf") : Bytes{}};
}

Bytes withWord(Bytes b, size_t at, uint32_t w) {
    writeWordBE(&b[at], w);
    return b;
}

struct PlacementRow {
    std::vector<std::string> options;
    uint32_t dataStart;  // where `table`, a.c's data, runs
};

// Each section name's pieces follow one another in link order, each at a
// multiple of its alignment; each field gets its target's final address:
// a.c's code plus 2, a.c's share of .debug_str plus 1, a.c's bss plus 4,
// `table` plus 4 (data where it runs), b.c's code, b.c's share of
// .debug_str plus 1, and each module's share of .debug_frame.
TEST(ElfDebug, SectionsAreConcatenatedAndEveryFieldRelocated) {
    const PlacementRow rows[] = {{{"-r1000"}, 0x100C}, {{"-r1000", "--ram=0x2000"}, 0x2000}};
    for (const PlacementRow& row : rows) {
        SCOPED_TRACE(row.options.back());
        ScratchDir dir;
        const Linked l = linkElf(dir, row.options, {{"a.o", moduleA()}, {"b.o", moduleB()}});
        ASSERT_EQ(l.status, 0) << l.out;
        const ElfFile f = readElf(l.elf);
        const uint32_t bss = row.dataStart + 8;
        Bytes info = withWord(withWord(Bytes(10, 0xAA), 0, 0x1002), 4, 1) +
                     withWord(withWord(withWord(Bytes(12, 0xBB), 0, row.dataStart + 4), 4, 0x1008), 8, 3);
        EXPECT_EQ(hexBytes(f.sections.at(".debug_info")), hexBytes(info));
        EXPECT_EQ(f.sections.at(".debug_str"), (Bytes{'a', 0, 'b', 'b', 0}));
        const Bytes aFrame = withWord(withWord(Bytes(10, 0xFF), 0, 0), 4, bss + 4);
        EXPECT_EQ(hexBytes(f.sections.at(".debug_frame")),
                  hexBytes(aFrame + Bytes{0, 0} + withWord(Bytes(8, 0xFF), 0, 12)));
        EXPECT_EQ(f.aligns.at(".debug_frame"), 4u);
        EXPECT_EQ(f.aligns.at(".debug_info"), 1u);
    }
}

// Locals follow their module's file symbol, with the types and sizes of
// their object; globals take theirs from their module's symbol chunk, or
// today's rule without one; the alias `table+0x4` is no symbol.
TEST(ElfDebug, SymbolsHaveTheTypesAndSizesOfTheirObjects) {
    ScratchDir dir;
    const Linked l = linkElf(dir, {"-r1000"}, {{"a.o", moduleA()}, {"b.o", moduleB()}});
    ASSERT_EQ(l.status, 0) << l.out;
    const ElfFile f = readElf(l.elf);
    const std::vector<ElfSymbol> expected = {
        {"a.c", 0, 0, STB_LOCAL, STT_FILE, "ABS"},
        {"helper", 0x1004, 4, STB_LOCAL, STT_FUNC, ".text"},
        {"count", 0x1018, 4, STB_LOCAL, STT_OBJECT, ".bss"},
        {"K", 0x1234, 0, STB_LOCAL, STT_NOTYPE, "ABS"},
        {"b.c", 0, 0, STB_LOCAL, STT_FILE, "ABS"},
        {"main", 0x1000, 4, STB_GLOBAL, STT_FUNC, ".text"},
        {"table", 0x100C, 4, STB_WEAK, STT_OBJECT, ".data"},
        {"other", 0x1008, 4, STB_GLOBAL, STT_FUNC, ".text"},
    };
    EXPECT_EQ(f.symbols, expected);
    EXPECT_EQ(f.firstGlobal, 6u);
}

// A module whose debug chunk has this one section and these relocations.
Bytes debugModule(std::initializer_list<DebugPayloadBuilder::Reloc> relocs, std::initializer_list<const char*> names = {}) {
    DebugPayloadBuilder d;
    for (const char* n : names) d.name(n);
    const std::vector<DebugPayloadBuilder::Reloc> list(relocs);
    return ModuleBuilder()
        .name("m.c")
        .code(Bytes(4, 0x4E))
        .chunk(ChunkTag::debug, d.section(".debug_info", 1, Bytes(8, 0), list).finish())
        .end();
}

Bytes alignedDebugModule(uint32_t align) {
    return ModuleBuilder()
        .name("m.c")
        .code(Bytes(4, 0x4E))
        .chunk(ChunkTag::debug, DebugPayloadBuilder().section(".debug_info", align, Bytes(8, 0), {}).finish())
        .end();
}

Bytes chunkModule(ChunkTag tag, const Bytes& payload) {
    return ModuleBuilder().name("m.c").code(Bytes(4, 0x4E)).chunk(tag, payload).end();
}

struct ErrorRow {
    const char* what;
    Bytes module;
    const char* message;  // after "error: ", with F for the module's file
};

// Whatever tarnel-elf cannot apply is an error naming the module; the link
// then writes no ELF.
TEST(ElfDebug, WhatCannotBeAppliedIsAnErrorNamingTheModule) {
    const ErrorRow rows[] = {
        {"a target kind of no meaning", debugModule({{0, 7u << 24, 0}}),
         "Debug relocation at $00000000 in .debug_info of F: its target, kind 7 index 0, is nothing the module has"},
        {"a section that is not one of the five", debugModule({{0, kPart | 5, 0}}),
         "Debug relocation at $00000000 in .debug_info of F: its target, kind 0 index 5, is nothing the module has"},
        {"a debugging section the module does not have", debugModule({{4, kDebug | 1, 0}}),
         "Debug relocation at $00000004 in .debug_info of F: its target, kind 1 index 1, is nothing the module has"},
        {"a name past the name table", debugModule({{0, kName | 0, 0}}),
         "Debug relocation at $00000000 in .debug_info of F: its target, kind 2 index 0, is nothing the module has"},
        {"a name no module defines", debugModule({{0, kName | 0, 0}}, {"nowhere"}),
         "Debug relocation at $00000000 in .debug_info of F: nowhere is defined by no module"},
        {"a field past the section", debugModule({{6, kPart | 0, 0}}),
         "Debug relocation at $00000006 in .debug_info of F: its field runs past the section"},
        {"an alignment that is not a power of two", alignedDebugModule(24),
         "Debugging section .debug_info in F is aligned to 24 bytes; tarnel-elf takes 0 or a power of two up to 4096"},
        {"an alignment that would fill the ELF with zeros", alignedDebugModule(0x40000000),
         "Debugging section .debug_info in F is aligned to 1073741824 bytes; tarnel-elf takes 0 or a power of two up "
         "to 4096"},
        {"a cut debug chunk", chunkModule(ChunkTag::debug, be({1, 1, 0, 4})),
         "Malformed debug chunk in F: a section runs past the payload"},
        {"a debug chunk of another version", chunkModule(ChunkTag::debug, be({2})),
         "Debug chunk of version 2 in F; tarnel-elf reads version 1"},
        {"a cut symbol chunk", chunkModule(ChunkTag::symbol, be({1, 4})),
         "Malformed symbol chunk in F: the file name field runs past the payload"},
        {"a symbol chunk of another version", chunkModule(ChunkTag::symbol, be({3, 0})),
         "Symbol chunk of version 3 in F; tarnel-elf reads version 1"},
        {"a symbol in no section", chunkModule(ChunkTag::symbol, SymbolPayloadBuilder("m.c").symbol(7, SymbolBinding::local, 0, 0, 0, "s").finish()),
         "Symbol s in F has section 7, binding 0 or type 0, which an ELF symbol cannot hold"},
    };
    for (const ErrorRow& r : rows) {
        SCOPED_TRACE(r.what);
        ScratchDir dir;
        const Linked l = linkElf(dir, {"-r1000"}, {{"m.o", r.module}});
        std::string message = r.message;
        message.replace(message.find(" F"), 2, " " + dir.path("m.o"));
        EXPECT_EQ(l.status, 1);
        EXPECT_NE(l.out.find("error: " + message + "\n"), std::string::npos) << l.out;
        EXPECT_TRUE(l.elf.empty());
    }
}

// A link that fails as tarnel's does reports as tarnel's: what tarnel-elf
// cannot use of the modules' chunks is looked at only in a link tarnel
// would write.
TEST(ElfDebug, AFailedLinkReportsAsTarnel) {
    ScratchDir dir;
    const DebugPayloadBuilder::Reloc relocs[] = {{0, kName | 0, 0}};
    const std::string path = dir.write("m.o", ModuleBuilder()
                                                  .name("m.c")
                                                  .code(Bytes(8, 0x4E))
                                                  .xref(LINK_ABS32, "nowhere", {2})
                                                  .link()
                                                  .chunk(ChunkTag::debug, DebugPayloadBuilder()
                                                                              .name("nowhere")
                                                                              .section(".debug_info", 1, Bytes(4, 0), relocs)
                                                                              .finish())
                                                  .end());
    const std::vector<std::string> args{"tarnel", "-r1000", path, "-o", dir.path("out.elf")};
    std::ostringstream elfOut, tarnelOut;
    EXPECT_EQ(runTarnelElf(args, elfOut), 1);
    EXPECT_EQ(runTarnel(args, tarnelOut), 1);
    EXPECT_EQ(elfOut.str(), tarnelOut.str());
    EXPECT_FALSE(dir.exists("out.elf"));
}

}  // namespace
}  // namespace tarnel::test
