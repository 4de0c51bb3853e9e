// The converter from m68k ELF objects: the mapping of sections, symbols and
// relocations onto a module, every refusal, the command line, and links of
// converted modules that show the linker patches what the ELF meant.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "convert.hpp"
#include "elf2obj.hpp"
#include "elf_builder.hpp"
#include "elf_file.hpp"
#include "harness.hpp"

namespace tarnel::test {
namespace {

using namespace tarnel::elf;
using elf2obj::Conversion;
using elf2obj::ConvertOptions;

Conversion convert(const ElfBuilder& e, std::optional<uint32_t> cpu = std::nullopt) {
    Bytes bytes = e.build();
    File file;
    std::string error;
    EXPECT_TRUE(readFile(bytes, file, error)) << error;
    ConvertOptions options{"fallback.o", cpu};
    return elf2obj::convertObject(file, options);
}

Bytes fill(size_t n, uint8_t first) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(first + i);
    return b;
}

TEST(Elf2objMapping, SectionsSymbolsAndNamesBecomeAModule) {
    ElfBuilder e;
    e.fileSymbol("hello.s");
    auto text = e.progbits(".text", fill(6, 0x10), SHF_ALLOC | SHF_EXECINSTR);
    auto rodata = e.progbits(".rodata", fill(3, 0x20), SHF_ALLOC, 1);
    auto strings = e.progbits(".rodata.str1.1", fill(2, 0x30), SHF_ALLOC | SHF_MERGE | SHF_STRINGS, 1);
    auto data = e.progbits(".data", fill(5, 0x40), SHF_ALLOC | SHF_WRITE);
    auto bss = e.nobits(".bss", 10);
    auto startup = e.progbits(".text.startup", fill(2, 0x50), SHF_ALLOC | SHF_EXECINSTR, 2);
    e.progbits(".comment", fill(8, 0x60), 0, 1);  // not loaded: ignored
    e.progbits(".note.GNU-stack", {}, 0, 1);
    e.symbol("local_label", text, 2, STB_LOCAL);
    e.symbol("start", text, 0, STB_GLOBAL, STT_FUNC);
    e.symbol("main", startup, 0, STB_GLOBAL, STT_FUNC);
    e.symbol("msg", rodata, 1, STB_GLOBAL, STT_OBJECT);
    e.symbol("tail", strings, 1, STB_WEAK);
    e.symbol("var", data, 4);
    e.symbol("buf", bss, 2);
    e.symbol("external", SHN_UNDEF, 0);  // never referenced: no xref

    // Code part: .text at 0, .text.startup at 8, .rodata at 12,
    // .rodata.str1.1 at 16, each at a multiple of 4, zero padded to 20.
    Bytes code = fill(6, 0x10) + Bytes{0, 0} + fill(2, 0x50) + Bytes{0, 0} + fill(3, 0x20) + Bytes{0} +
                 fill(2, 0x30) + Bytes{0, 0};
    Bytes expected = ModuleBuilder()
                         .name("hello.s")
                         .processor(0x52080000)
                         .code(code)
                         .data(fill(5, 0x40) + Bytes{0, 0, 0})
                         .bss(12)
                         .xdef(SectionKind::code, 0, "start")
                         .xdef(SectionKind::code, 8, "main")
                         .xdef(SectionKind::code, 13, "msg")
                         .xdef(SectionKind::code, 17, "tail")
                         .xdef(SectionKind::data, 4, "var")
                         .xdef(SectionKind::bss, 2, "buf")
                         .end();
    Conversion c = convert(e, 0x52080000);
    EXPECT_EQ(c.refusals, std::vector<std::string>{});
    EXPECT_EQ(hexBytes(c.object), hexBytes(expected));
}

TEST(Elf2objMapping, WithoutAFileSymbolTheModuleIsNamedAfterTheInputAndHasNoProcessor) {
    ElfBuilder e;
    e.progbits(".text", fill(4, 1));
    Conversion c = convert(e);
    EXPECT_EQ(hexBytes(c.object), hexBytes(ModuleBuilder().name("fallback.o").code(fill(4, 1)).end()));
}

// One relocation in a fixed object: 16 bytes of .text (code 0..15), 4 of
// .rodata (code 16..19), 8 of .data and 8 of .bss; `glob` is a global at
// .text+4, `gdata` one at .data+0, `lab` a local at .rodata+2.
struct RelocCase {
    const char* what;
    const char* place;  // ".text", ".rodata" or ".data"
    uint32_t offset;
    const char* symbol;  // a symbol name, or a section name for its section symbol
    uint8_t type;
    int32_t addend;
    // Expected: an xref, or a relocation record, and the field's bytes.
    int xrefType;  // -1: none
    uint32_t xrefOffset;
    int recordTag;  // -1: none, else the tag number of reloc16/reloc32
    SectionKind from, to;
    uint32_t recordOffset;
    Bytes code, data;  // the parts after conversion
};

Bytes baseCode() { return fill(16, 0x80) + Bytes{0xAA, 0xBB, 0xCC, 0xDD}; }
Bytes with(Bytes b, uint32_t at, const Bytes& field) {
    std::copy(field.begin(), field.end(), b.begin() + at);
    return b;
}
constexpr int kReloc16 = 0x16, kReloc32 = 0x15;
const Bytes kData(8, 0);

const RelocCase kRelocCases[] = {
    {"absolute 32 to another module", ".text", 2, "ext", R_68K_32, 0, LINK_ABS32, 2, -1, {}, {}, 0, baseCode(), kData},
    {"absolute 16 to another module", ".text", 2, "ext", R_68K_16, 0, LINK_ABS16, 2, -1, {}, {}, 0, baseCode(), kData},
    {"pc-relative 32", ".text", 4, "ext", R_68K_PC32, 0, LINK_PCREL32, 4, -1, {}, {}, 0, baseCode(), kData},
    {"pc-relative 16 (bsr.w)", ".text", 2, "ext", R_68K_PC16, 0, LINK_PCREL16, 2, -1, {}, {}, 0, baseCode(), kData},
    {"(d8,PC,Xn): the xref names the extension word", ".text", 7, "ext", R_68K_PC8, 1, LINK_PCREL8, 6, -1, {}, {},
     0, baseCode(), kData},
    {"a reference from .rodata is counted in the code part", ".rodata", 0, "ext", R_68K_32, 0, LINK_ABS32, 16, -1,
     {}, {}, 0, baseCode(), kData},
    {"a global defined here is still linked by name", ".text", 2, "glob", R_68K_32, 0, LINK_ABS32, 2, -1, {}, {}, 0,
     baseCode(), kData},
    {"code to data", ".text", 2, ".data", R_68K_32, 4, -1, 0, kReloc32, SectionKind::code, SectionKind::data, 2,
     with(baseCode(), 2, {0, 0, 0, 4}), kData},
    {"code to .rodata: the section's place in the code part is added", ".text", 2, ".rodata", R_68K_32, 1, -1, 0,
     kReloc32, SectionKind::code, SectionKind::code, 2, with(baseCode(), 2, {0, 0, 0, 0x11}), kData},
    {"16-bit code to bss", ".text", 2, ".bss", R_68K_16, 6, -1, 0, kReloc16, SectionKind::code, SectionKind::bss, 2,
     with(baseCode(), 2, {0, 6}), kData},
    {"data to code", ".data", 4, ".text", R_68K_32, 8, -1, 0, kReloc32, SectionKind::data, SectionKind::code, 4,
     baseCode(), with(kData, 4, {0, 0, 0, 8})},
    {"data to a local label in .rodata", ".data", 0, "lab", R_68K_32, 0, -1, 0, kReloc32, SectionKind::data,
     SectionKind::code, 0, baseCode(), with(kData, 0, {0, 0, 0, 18})},
    {"data to a global defined here is resolved here", ".data", 4, "gdata", R_68K_32, 0, -1, 0, kReloc32,
     SectionKind::data, SectionKind::data, 4, baseCode(), kData},
    {"a global defined here with an addend is resolved here", ".text", 2, "glob", R_68K_32, 2, -1, 0, kReloc32,
     SectionKind::code, SectionKind::code, 2, with(baseCode(), 2, {0, 0, 0, 6}), kData},
    {"a short branch to a global defined here is resolved here", ".text", 11, "glob", R_68K_PC8, -1, -1, 0, -1,
     {}, {}, 0, with(baseCode(), 11, {0xF8}), kData},
    {"pc-relative 16 to .rodata is resolved here", ".text", 2, ".rodata", R_68K_PC16, 0, -1, 0, -1, {}, {}, 0,
     with(baseCode(), 2, {0, 14}), kData},
    {"(d8,PC,Xn) within the module is resolved here", ".text", 9, ".text", R_68K_PC8, 1, -1, 0, -1, {}, {}, 0,
     with(baseCode(), 9, {0xF8}), kData},
    {"pc-relative 32 backwards from .rodata", ".rodata", 0, ".text", R_68K_PC32, 4, -1, 0, -1, {}, {}, 0,
     with(baseCode(), 16, {0xFF, 0xFF, 0xFF, 0xF4}), kData},
    {"R_68K_NONE is nothing", ".text", 2, "ext", R_68K_NONE, 0, -1, 0, -1, {}, {}, 0, baseCode(), kData},
};

void PrintTo(const RelocCase& c, std::ostream* os) { *os << c.what; }

class Elf2objRelocation : public testing::TestWithParam<RelocCase> {};

TEST_P(Elf2objRelocation, BecomesTheExpectedXrefRecordOrField) {
    const RelocCase& rc = GetParam();
    ElfBuilder e;
    std::map<std::string, uint16_t> sec;
    sec[".text"] = e.progbits(".text", fill(16, 0x80));
    sec[".rodata"] = e.progbits(".rodata", {0xAA, 0xBB, 0xCC, 0xDD});
    sec[".data"] = e.progbits(".data", kData);
    sec[".bss"] = e.nobits(".bss", 8);
    std::map<std::string, uint32_t> sym;
    for (auto& [name, index] : sec) sym[name] = e.sectionSymbol(index);
    sym["lab"] = e.symbol("lab", sec[".rodata"], 2, STB_LOCAL);
    sym["glob"] = e.symbol("glob", sec[".text"], 4);
    sym["gdata"] = e.symbol("gdata", sec[".data"], 0);
    sym["ext"] = e.symbol("ext", SHN_UNDEF, 0);
    e.rela(sec[rc.place], rc.offset, sym.at(rc.symbol), rc.type, rc.addend);

    ModuleBuilder expected;
    expected.name("fallback.o").code(rc.code).data(rc.data).bss(8);
    expected.xdef(SectionKind::code, 4, "glob").xdef(SectionKind::data, 0, "gdata");
    if (rc.xrefType >= 0) expected.xref(uint32_t(rc.xrefType), rc.symbol, {rc.xrefOffset});
    expected.link();
    if (rc.recordTag == kReloc32) expected.reloc32(uint32_t(rc.from), uint32_t(rc.to), {rc.recordOffset});
    if (rc.recordTag == kReloc16) expected.reloc16(uint32_t(rc.from), uint32_t(rc.to), {rc.recordOffset});
    Conversion c = convert(e);
    EXPECT_EQ(c.refusals, std::vector<std::string>{});
    EXPECT_EQ(hexBytes(c.object), hexBytes(expected.end()));
}

INSTANTIATE_TEST_SUITE_P(Cases, Elf2objRelocation, testing::ValuesIn(kRelocCases));

TEST(Elf2objRelocation, ReferencesGatherByNameAndKindAndRecordsByPair) {
    ElfBuilder e;
    auto text = e.progbits(".text", Bytes(24, 0));
    auto data = e.progbits(".data", Bytes(4, 0));
    auto dataSym = e.sectionSymbol(data);
    auto puts = e.symbol("puts", SHN_UNDEF, 0);
    e.rela(text, 14, puts, R_68K_32, 0);
    e.rela(text, 2, puts, R_68K_32, 0);
    e.rela(text, 8, puts, R_68K_PC16, 0);
    e.rela(text, 20, dataSym, R_68K_32, 0);
    e.rela(text, 10, dataSym, R_68K_32, 0);
    Bytes expected = ModuleBuilder()
                         .name("fallback.o")
                         .code(Bytes(24, 0))
                         .data(Bytes(4, 0))
                         .xref(LINK_ABS32, "puts", {2, 14})
                         .xref(LINK_PCREL16, "puts", {8})
                         .link()
                         .reloc32(0, 1, {10, 20})
                         .end();
    Conversion c = convert(e);
    EXPECT_EQ(c.refusals, std::vector<std::string>{});
    EXPECT_EQ(hexBytes(c.object), hexBytes(expected));
}

// Each thing the object format cannot express, added to an otherwise fine
// object, is refused with the section, offset and symbol it concerns.
struct RefusalCase {
    const char* what;
    void (*make)(ElfBuilder& e, uint16_t text, uint16_t data, uint32_t ext);
    const char* message;
};

const RefusalCase kRefusalCases[] = {
    {"short branch to another module",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t x) { e.rela(t, 5, x, R_68K_PC8, -1); },
     ".text+0x5: 'ext': short branch (bra.s, bsr.s) to another module; use the .w form"},
    {"addend on an absolute external reference",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t x) { e.rela(t, 2, x, R_68K_32, 4); },
     ".text+0x2: 'ext': external reference with addend +0x4; convert the module defining it together with this one "
     "(-d DIR A.o B.o ...)"},
    {"addend on a pc-relative external reference",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t x) { e.rela(t, 2, x, R_68K_PC16, -2); },
     ".text+0x2: 'ext': external reference with addend -0x2; convert the module defining it together with this one "
     "(-d DIR A.o B.o ...)"},
    {"8-bit pc-relative external reference with another addend",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t x) { e.rela(t, 3, x, R_68K_PC8, 0); },
     ".text+0x3: 'ext': external reference with addend +0x0; convert the module defining it together with this one "
     "(-d DIR A.o B.o ...)"},
    {"external reference from .data",
     [](ElfBuilder& e, uint16_t, uint16_t d, uint32_t x) { e.rela(d, 4, x, R_68K_32, 0); },
     ".data+0x4: 'ext': external reference from a data section; keep the pointer in the module that defines its "
     "target, or set it from code at run time"},
    {"pc-relative reference to data",
     [](ElfBuilder& e, uint16_t t, uint16_t d, uint32_t) { e.rela(t, 2, e.sectionSymbol(d), R_68K_PC16, 0); },
     ".text+0x2: '.data': pc-relative reference to data or bss; address data absolutely (in C: -fno-pic; in "
     "assembly: sym, not sym(%pc))"},
    {"pc-relative reference to a global in bss",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t) {
         e.rela(t, 2, e.symbol("counter", e.nobits(".bss", 4), 0), R_68K_PC16, 0);
     },
     ".text+0x2: 'counter': pc-relative reference to data or bss; address data absolutely (in C: -fno-pic; in "
     "assembly: sym, not sym(%pc))"},
    {"pc-relative reference from data",
     [](ElfBuilder& e, uint16_t t, uint16_t d, uint32_t) { e.rela(d, 0, e.sectionSymbol(t), R_68K_PC32, 0); },
     ".data+0x0: '.text': pc-relative reference from a data section; store an absolute address (.long)"},
    {"8-bit absolute reference to another module",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t x) { e.rela(t, 3, x, R_68K_8, 0); },
     ".text+0x3: 'ext': 8-bit absolute reference; use a 16- or 32-bit address (.w or .l)"},
    {"8-bit absolute reference within the module",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t) { e.rela(t, 3, e.sectionSymbol(t), R_68K_8, 0); },
     ".text+0x3: '.text': 8-bit absolute reference; use a 16- or 32-bit address (.w or .l)"},
    {"common symbol",
     [](ElfBuilder& e, uint16_t, uint16_t, uint32_t) { e.symbol("cmn", SHN_COMMON, 4, STB_GLOBAL, STT_OBJECT, 4); },
     "*COM*+0x0: 'cmn': common symbol; define it in .bss instead (in C: compile with -fno-common)"},
    {"weak undefined symbol",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t) { e.rela(t, 2, e.symbol("wk", SHN_UNDEF, 0, STB_WEAK), R_68K_32, 0); },
     ".text+0x2: 'wk': weak undefined symbol; convert this module with -d together with the one that defines it, "
     "or drop the weak"},
    {"another section with contents",
     [](ElfBuilder& e, uint16_t, uint16_t, uint32_t) { e.progbits(".sdata", Bytes(4, 0)); },
     ".sdata+0x0: '.sdata': section with contents that is not code, rodata, data or bss; put it in .text, .rodata, "
     ".data or .bss (in C: drop the section attribute or the option that makes it)"},
    {"a bss section with contents",
     [](ElfBuilder& e, uint16_t, uint16_t, uint32_t) { e.progbits(".bss", Bytes(4, 0)); },
     ".bss+0x0: '.bss': section of an unexpected type for its name; give .bss sections @nobits and the others "
     "@progbits"},
    {"relocation type without a mapping",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t x) { e.rela(t, 2, x, 13, 0); },
     ".text+0x2: 'ext': R_68K_PLT32 cannot be converted; build without -fpic/-fPIC and reach the symbol with a "
     "16- or 32-bit address"},
    {"local pc-relative displacement out of range",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t) { e.rela(t, 1, e.sectionSymbol(t), R_68K_PC8, 200); },
     ".text+0x1: '.text': pc-relative displacement +0xc7 out of range; use the .w or .l form"},
    {"field past the end of its section",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t x) { e.rela(t, 14, x, R_68K_32, 0); },
     ".text+0xe: 'ext': relocated field runs past the end of the section; the object is damaged, rebuild it"},
    {"8-bit pc-relative field as the first byte of the code",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t x) { e.rela(t, 0, x, R_68K_PC8, 1); },
     ".text+0x0: 'ext': 8-bit pc-relative field without an extension word; the object is damaged, rebuild it"},
    {"absolute global symbol",
     [](ElfBuilder& e, uint16_t, uint16_t, uint32_t) { e.symbol("konst", SHN_ABS, 0x10); },
     "*ABS*+0x10: 'konst': absolute symbol cannot be exported; keep it local, or define the value in .rodata"},
    {"reference to a local absolute symbol",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t) {
         e.rela(t, 2, e.symbol("k", SHN_ABS, 0x10, STB_LOCAL), R_68K_32, 0);
     },
     ".text+0x2: 'k': reference to a symbol outside code, data and bss; define it in .text, .rodata, .data or .bss, "
     "or use a constant as an immediate (#)"},
    {"relocations without addends",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t x) {
         e.rela(t, 2, x, R_68K_32, 0);
         e.withoutAddends(t);
     },
     ".text+0x0: '.rel.text': relocations without addends; build the object with the GNU m68k tools, which write "
     "RELA relocations"},
    {"exported name too long for the 24-bit field",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t) { e.symbol(std::string(0xFFFFFC, 'n'), t, 0); },
     ".text+0x0: 'nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn...': name of 16777212 bytes, too long for the 24-bit name field; "
     "shorten it"},
    {"referenced name too long for the 24-bit field",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t) {
         e.rela(t, 2, e.symbol(std::string(0xFFFFFC, 'u'), SHN_UNDEF, 0), R_68K_32, 0);
     },
     ".text+0x2: 'uuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuu...': name of 16777212 bytes, too long for the 24-bit name field; "
     "shorten it"},
    {"a section aligned to more than 4",
     [](ElfBuilder& e, uint16_t, uint16_t, uint32_t) { e.progbits(".data.big", Bytes(8, 0), SHF_ALLOC, 16); },
     ".data.big+0x0: '.data.big': section aligned to 16 bytes; the linker places module parts at multiples of 4 "
     "only: align it to at most 4 (in C: drop the aligned attribute or lower it to 4)"},
    {"a bss section aligned to 256, its symbol checked all the same",
     [](ElfBuilder& e, uint16_t, uint16_t, uint32_t) { e.symbol("table", e.nobits(".bss", 16, 256), 0); },
     ".bss+0x0: '.bss': section aligned to 256 bytes; the linker places module parts at multiples of 4 only: "
     "align it to at most 4 (in C: drop the aligned attribute or lower it to 4)"},
    {"a defined name of an alias's form",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t) { e.symbol("tab+0x4", t, 4); },
     ".text+0x4: 'tab+0x4': name of the form of an alias, which -d gives to a symbol plus an offset (sym+0x4); "
     "rename it"},
    {"a weak definition of an alias's form",
     [](ElfBuilder& e, uint16_t, uint16_t d, uint32_t) { e.symbol("tab-0x1f", d, 0, STB_WEAK); },
     ".data+0x0: 'tab-0x1f': name of the form of an alias, which -d gives to a symbol plus an offset (sym+0x4); "
     "rename it"},
    {"an undefined name of an alias's form",
     [](ElfBuilder& e, uint16_t t, uint16_t, uint32_t) { e.rela(t, 2, e.symbol("tab+0x0", SHN_UNDEF, 0), R_68K_32, 0); },
     "*UND*+0x0: 'tab+0x0': name of the form of an alias, which -d gives to a symbol plus an offset (sym+0x4); "
     "rename it"},
    {"bss part of 4 GiB",
     [](ElfBuilder& e, uint16_t, uint16_t, uint32_t) {
         e.nobits(".bss", 0x80000000);
         e.nobits(".bss.more", 0x80000000);
     },
     ".bss.more+0x0: '.bss.more': section makes its part 4 GiB or larger; make the program smaller"},
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.what; }

class Elf2objRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(Elf2objRefusal, IsReportedWithSectionOffsetAndSymbol) {
    ElfBuilder e;
    auto text = e.progbits(".text", Bytes(16, 0));
    auto data = e.progbits(".data", Bytes(8, 0));
    auto ext = e.symbol("ext", SHN_UNDEF, 0);
    GetParam().make(e, text, data, ext);
    EXPECT_EQ(convert(e).refusals, std::vector<std::string>{GetParam().message}) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Cases, Elf2objRefusal, testing::ValuesIn(kRefusalCases));

// Two converted modules linked into a ROM image at 0x1000: the fields hold
// what the 68k instructions need, worked out from the instruction set alone.
TEST(Elf2objLink, ConvertedReferencesLinkToTheAddressesTheInstructionsNeed) {
    ElfBuilder a;
    auto aText = a.progbits(".text", {0x61, 0x00, 0x00, 0x00,                 // 0: bsr.w far
                                      0x10, 0x3B, 0x08, 0x00,                 // 4: move.b (table,pc,d0.l),d0
                                      0x4E, 0xB9, 0x00, 0x00, 0x00, 0x00,     // 8: jsr far
                                      0x4E, 0x75});                           // 14: rts
    auto far = a.symbol("far", SHN_UNDEF, 0);
    a.rela(aText, 2, far, R_68K_PC16, 0);
    a.rela(aText, 7, a.symbol("table", SHN_UNDEF, 0), R_68K_PC8, 1);
    a.rela(aText, 10, far, R_68K_32, 0);
    ElfBuilder b;
    Bytes table = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
    auto bText = b.progbits(".text", table + Bytes{0x4E, 0x75});
    b.symbol("table", bText, 0);
    b.symbol("far", bText, 16);

    ScratchDir dir;
    dir.write("a.o", convert(a).object);
    dir.write("b.o", convert(b).object);
    RunResult r = runLinker(dir, {"-r1000", "a.o", "b.o", "-o", "image"});
    ASSERT_EQ(r.status, 0) << r.out;
    // bsr.w: far (0x1020) less the extension word's address (0x1002);
    // (d8,PC,Xn): table (0x1010) less the extension word's address (0x1006),
    // in the extension word's second byte; jsr: far's address.
    Bytes expected = Bytes{0x61, 0x00, 0x00, 0x1E, 0x10, 0x3B, 0x08, 0x0A, 0x4E, 0xB9, 0x00, 0x00, 0x10, 0x20,
                           0x4E, 0x75} +
                     table + Bytes{0x4E, 0x75, 0x00, 0x00};
    EXPECT_EQ(hexBytes(dir.read("image")), hexBytes(expected));
}

// Whole-program conversion. `owner` defines fn at .text+4, msg at
// .rodata+1 (code 9), table at .data+4 and buf at .bss+0, and has 8 bytes of
// bss; `user` refers to them with addends.
struct Use {
    uint32_t offset;
    const char* symbol;
    uint8_t type;
    int32_t addend;
};
struct ExpectedXref {
    uint32_t type;
    const char* name;
    std::vector<uint32_t> offsets;
};
struct ExpectedAlias {
    SectionKind part;
    uint32_t value;
    const char* name;
};
struct ProgramCase {
    const char* what;
    std::vector<Use> uses;
    std::vector<ExpectedXref> xrefs;    // in user, in the order first met
    std::vector<ExpectedAlias> aliases;  // in owner, after its own xdefs
};

const ProgramCase kProgramCases[] = {
    {"absolute 32 to data + 4", {{2, "table", R_68K_32, 4}}, {{LINK_ABS32, "table+0x4", {2}}},
     {{SectionKind::data, 8, "table+0x4"}}},
    {"pc-relative 16 to code + 2", {{2, "fn", R_68K_PC16, 2}}, {{LINK_PCREL16, "fn+0x2", {2}}},
     {{SectionKind::code, 6, "fn+0x2"}}},
    {"into .rodata: the section's place in the code part is counted", {{2, "msg", R_68K_16, 3}},
     {{LINK_ABS16, "msg+0x3", {2}}}, {{SectionKind::code, 12, "msg+0x3"}}},
    {"(d8,PC,Xn): the +1 of the xref is not part of the alias", {{7, "msg", R_68K_PC8, 6}},
     {{LINK_PCREL8, "msg+0x5", {6}}}, {{SectionKind::code, 14, "msg+0x5"}}},
    {"negative addend: the value wraps below the part", {{2, "table", R_68K_32, -8}},
     {{LINK_ABS32, "table-0x8", {2}}}, {{SectionKind::data, 0xFFFFFFFC, "table-0x8"}}},
    {"past the end of the part", {{2, "buf", R_68K_32, 0x20}}, {{LINK_ABS32, "buf+0x20", {2}}},
     {{SectionKind::bss, 0x20, "buf+0x20"}}},
    {"two uses of one sym+addend share the xref and the alias",
     {{10, "table", R_68K_32, 4}, {2, "table", R_68K_32, 4}}, {{LINK_ABS32, "table+0x4", {2, 10}}},
     {{SectionKind::data, 8, "table+0x4"}}},
    {"distinct addends make distinct aliases, sorted by symbol then addend",
     {{2, "table", R_68K_32, 8}, {6, "table", R_68K_32, -4}, {10, "buf", R_68K_32, 4}},
     {{LINK_ABS32, "table+0x8", {2}}, {LINK_ABS32, "table-0x4", {6}}, {LINK_ABS32, "buf+0x4", {10}}},
     {{SectionKind::bss, 4, "buf+0x4"}, {SectionKind::data, 0, "table-0x4"}, {SectionKind::data, 12, "table+0x8"}}},
    {"without an addend the reference names the symbol", {{2, "table", R_68K_32, 0}},
     {{LINK_ABS32, "table", {2}}}, {}},
};

void PrintTo(const ProgramCase& c, std::ostream* os) { *os << c.what; }

ElfBuilder ownerObject() {
    ElfBuilder e;
    auto text = e.progbits(".text", fill(8, 0x10));
    auto rodata = e.progbits(".rodata", fill(4, 0x20));
    auto data = e.progbits(".data", fill(16, 0x30));
    auto bss = e.nobits(".bss", 8);
    e.symbol("fn", text, 4);
    e.symbol("msg", rodata, 1);
    e.symbol("table", data, 4);
    e.symbol("buf", bss, 0);
    return e;
}
ModuleBuilder ownerModule(std::string_view name = "owner.o") {
    ModuleBuilder m;
    m.name(name).code(fill(8, 0x10) + fill(4, 0x20)).data(fill(16, 0x30)).bss(8);
    m.xdef(SectionKind::code, 4, "fn").xdef(SectionKind::code, 9, "msg");
    m.xdef(SectionKind::data, 4, "table").xdef(SectionKind::bss, 0, "buf");
    return m;
}

std::vector<Conversion> convertTogether(const std::vector<std::pair<std::string, ElfBuilder>>& objects) {
    std::vector<Bytes> bytes;
    for (const auto& o : objects) bytes.push_back(o.second.build());
    std::vector<File> files(objects.size());
    std::vector<ConvertOptions> options;
    for (size_t i = 0; i < objects.size(); ++i) {
        std::string error;
        EXPECT_TRUE(readFile(bytes[i], files[i], error)) << error;
        options.push_back({objects[i].first, std::nullopt});
    }
    return elf2obj::convertProgram(files, options);
}

class Elf2objProgram : public testing::TestWithParam<ProgramCase> {};

TEST_P(Elf2objProgram, AnAddendToAnotherModulesSymbolBecomesAnAliasThere) {
    const ProgramCase& pc = GetParam();
    ElfBuilder user;
    auto text = user.progbits(".text", Bytes(16, 0));
    std::map<std::string, uint32_t> sym;
    for (const char* name : {"fn", "msg", "table", "buf"}) sym[name] = user.symbol(name, SHN_UNDEF, 0);
    for (const Use& u : pc.uses) user.rela(text, u.offset, sym.at(u.symbol), u.type, u.addend);

    std::vector<Conversion> c = convertTogether({{"user.o", user}, {"owner.o", ownerObject()}});
    ASSERT_EQ(c.size(), 2u);
    ModuleBuilder expectedUser;
    expectedUser.name("user.o").code(Bytes(16, 0));
    for (const ExpectedXref& x : pc.xrefs) expectedUser.xref(x.type, x.name, x.offsets);
    ModuleBuilder expectedOwner = ownerModule();
    for (const ExpectedAlias& a : pc.aliases) expectedOwner.xdef(a.part, a.value, a.name);
    EXPECT_EQ(c[0].refusals, std::vector<std::string>{});
    EXPECT_EQ(c[1].refusals, std::vector<std::string>{});
    EXPECT_EQ(hexBytes(c[0].object), hexBytes(expectedUser.end()));
    EXPECT_EQ(hexBytes(c[1].object), hexBytes(expectedOwner.end()));
}

INSTANTIATE_TEST_SUITE_P(Cases, Elf2objProgram, testing::ValuesIn(kProgramCases));

ElfBuilder userOf(std::vector<Use> uses) {
    ElfBuilder e;
    auto text = e.progbits(".text", Bytes(16, 0));
    for (const Use& u : uses) e.rela(text, u.offset, e.symbol(u.symbol, SHN_UNDEF, 0), u.type, u.addend);
    return e;
}

// The aliases of a module do not depend on the order of the objects, nor
// on which object met which alias first.
TEST(Elf2objProgram, TheOutputDoesNotDependOnTheOrderOfTheObjects) {
    ElfBuilder first = userOf({{2, "table", R_68K_32, 8}, {6, "fn", R_68K_32, 2}});
    ElfBuilder second = userOf({{2, "fn", R_68K_32, 2}, {6, "table", R_68K_32, 4}});
    std::vector<Conversion> a = convertTogether({{"a.o", first}, {"b.o", second}, {"owner.o", ownerObject()}});
    std::vector<Conversion> b = convertTogether({{"owner.o", ownerObject()}, {"b.o", second}, {"a.o", first}});
    EXPECT_EQ(hexBytes(a[0].object), hexBytes(b[2].object));
    EXPECT_EQ(hexBytes(a[1].object), hexBytes(b[1].object));
    EXPECT_EQ(hexBytes(a[2].object), hexBytes(ownerModule()
                                                  .xdef(SectionKind::code, 6, "fn+0x2")
                                                  .xdef(SectionKind::data, 8, "table+0x4")
                                                  .xdef(SectionKind::data, 12, "table+0x8")
                                                  .end()));
    EXPECT_EQ(hexBytes(b[0].object), hexBytes(a[2].object));
}

// Two objects that both define the symbol both define its aliases, so that
// the linker's first definition of the symbol is also that of its aliases.
TEST(Elf2objProgram, EveryModuleThatDefinesTheSymbolDefinesItsAliases) {
    std::vector<Conversion> c = convertTogether(
        {{"user.o", userOf({{2, "table", R_68K_32, 4}})}, {"owner.o", ownerObject()}, {"again.o", ownerObject()}});
    for (size_t i : {1, 2})
        EXPECT_EQ(hexBytes(c[i].object),
                  hexBytes(ownerModule(i == 1 ? "owner.o" : "again.o").xdef(SectionKind::data, 8, "table+0x4").end()));
}

// Weak definitions in a whole program. a.o defines `isr` at .text+4 and
// refers to it three ways: bsr.w at .text+2, `isr+2` at .text+8 and a vector
// in .rodata (code 16); b.o defines `isr` at .text+0 or not at all and
// refers to it at .text+4.
constexpr int kNone = -1;  // b.o does not define isr
struct WeakCase {
    const char* what;
    uint8_t aBind;
    int bBind;
    bool aKept, bKept;  // whose definition is exported
};

const WeakCase kWeakCases[] = {
    {"weak here, strong there: the strong one wins", STB_WEAK, STB_GLOBAL, false, true},
    {"weak with no strong twin: an ordinary definition", STB_WEAK, kNone, true, false},
    {"weak in both: the first object's wins", STB_WEAK, STB_WEAK, true, false},
    {"strong here, weak there: the strong one wins", STB_GLOBAL, STB_WEAK, true, false},
    {"strong in both: both are exported, as ever", STB_GLOBAL, STB_GLOBAL, true, true},
};

void PrintTo(const WeakCase& c, std::ostream* os) { *os << c.what; }

std::pair<ElfBuilder, ElfBuilder> weakObjects(uint8_t aBind, int bBind) {
    ElfBuilder a;
    auto text = a.progbits(".text", Bytes(16, 0));
    auto rodata = a.progbits(".rodata", Bytes(4, 0));
    auto isr = a.symbol("isr", text, 4, aBind, STT_FUNC);
    a.rela(text, 2, isr, R_68K_PC16, 0);
    a.rela(text, 8, isr, R_68K_32, 2);
    a.rela(rodata, 0, isr, R_68K_32, 0);
    ElfBuilder b;
    auto bText = b.progbits(".text", Bytes(8, 0));
    auto bIsr = bBind == kNone ? b.symbol("isr", SHN_UNDEF, 0) : b.symbol("isr", bText, 0, uint8_t(bBind), STT_FUNC);
    b.rela(bText, 4, bIsr, R_68K_32, 0);
    return {a, b};
}

// a.o's module: with isr exported, `isr+2` is resolved within the module.
Bytes weakModuleA(std::string_view name, bool kept) {
    ModuleBuilder m;
    if (kept) {
        m.name(name).code(with(Bytes(20, 0), 8, {0, 0, 0, 6}));
        m.xdef(SectionKind::code, 4, "isr").xref(LINK_PCREL16, "isr", {2}).xref(LINK_ABS32, "isr", {16});
        m.link().reloc32(0, 0, {8});
    } else {
        m.name(name).code(Bytes(20, 0));
        m.xref(LINK_PCREL16, "isr", {2}).xref(LINK_ABS32, "isr+0x2", {8}).xref(LINK_ABS32, "isr", {16});
    }
    return m.end();
}

class Elf2objWeak : public testing::TestWithParam<WeakCase> {};

// The module that loses keeps the weak body in its code, exports nothing for
// it, and reaches the winner by name: with an xref where it would have
// resolved the reference itself, through an alias for `isr+2`.
TEST_P(Elf2objWeak, OnlyTheWinningDefinitionIsExportedAndTheLosersReferencesReachIt) {
    const WeakCase& wc = GetParam();
    auto [a, b] = weakObjects(wc.aBind, wc.bBind);
    std::vector<Conversion> c = convertTogether({{"a.o", a}, {"b.o", b}});
    ModuleBuilder expectedB;
    expectedB.name("b.o").code(Bytes(8, 0));
    if (wc.bKept) expectedB.xdef(SectionKind::code, 0, "isr");
    if (wc.bKept && !wc.aKept) expectedB.xdef(SectionKind::code, 2, "isr+0x2");
    expectedB.xref(LINK_ABS32, "isr", {4});
    EXPECT_EQ(c[0].refusals, std::vector<std::string>{});
    EXPECT_EQ(c[1].refusals, std::vector<std::string>{});
    EXPECT_EQ(hexBytes(c[0].object), hexBytes(weakModuleA("a.o", wc.aKept)));
    EXPECT_EQ(hexBytes(c[1].object), hexBytes(expectedB.end()));
}

INSTANTIATE_TEST_SUITE_P(Cases, Elf2objWeak, testing::ValuesIn(kWeakCases));

// The single-file form cannot know of another definition: a weak one is
// exported as an ordinary one.
TEST(Elf2objWeak, AloneAWeakDefinitionIsAnOrdinaryOne) {
    Conversion c = convert(weakObjects(STB_WEAK, STB_GLOBAL).first);
    EXPECT_EQ(c.refusals, std::vector<std::string>{});
    EXPECT_EQ(hexBytes(c.object), hexBytes(weakModuleA("fallback.o", true)));
}

// Linked at 0x1000, every reference of the losing module reaches the
// winner's isr at 0x1014, just past a.o's 20 bytes of code.
TEST(Elf2objWeak, TheLinkedReferencesOfTheLosingModuleReachTheWinner) {
    auto [a, b] = weakObjects(STB_WEAK, STB_GLOBAL);
    std::vector<Conversion> c = convertTogether({{"a.o", a}, {"b.o", b}});
    ScratchDir dir;
    dir.write("a.o", c[0].object);
    dir.write("b.o", c[1].object);
    RunResult r = runLinker(dir, {"-r1000", "a.o", "b.o", "-o", "image"});
    ASSERT_EQ(r.status, 0) << r.out;
    Bytes aCode = with(with(with(Bytes(20, 0), 2, {0, 0x12}), 8, {0, 0, 0x10, 0x16}), 16, {0, 0, 0x10, 0x14});
    Bytes bCode = with(Bytes(8, 0), 4, {0, 0, 0x10, 0x14});
    EXPECT_EQ(hexBytes(dir.read("image")), hexBytes(aCode + bCode));
}

// A weak reference is an ordinary one where a given object defines the name,
// weakly or not, and refused where none does: a missing symbol has no
// address 0 in a tarnel link. A losing weak definition is reached from data
// as any other module's symbol would be: not at all.
TEST(Elf2objWeak, WeakReferencesAndReferencesFromDataToALosingDefinition) {
    struct Row {
        const char* what;
        int definition;  // of `hook` in b.o: kNone, STB_GLOBAL or STB_WEAK
        bool fromData;    // a.o refers to hook from .data, and defines it weakly itself
        std::string refusal;
    };
    const Row rows[] = {
        {"defined by another object", STB_GLOBAL, false, ""},
        {"defined weakly by another object", STB_WEAK, false, ""},
        {"defined nowhere", kNone, false,
         ".text+0x2: 'hook': weak undefined symbol that no given object defines; define it in one of the program's "
         "modules or drop the weak"},
        {"a losing weak definition referred to from data", STB_GLOBAL, true,
         ".data+0x0: 'hook': external reference from a data section; keep the pointer in the module that defines "
         "its target, or set it from code at run time"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ElfBuilder a;
        auto text = a.progbits(".text", Bytes(8, 0));
        if (row.fromData)
            a.rela(a.progbits(".data", Bytes(4, 0)), 0, a.symbol("hook", text, 4, STB_WEAK), R_68K_32, 0);
        else
            a.rela(text, 2, a.symbol("hook", SHN_UNDEF, 0, STB_WEAK), R_68K_32, 0);
        ElfBuilder b;
        auto bText = b.progbits(".text", Bytes(4, 0));
        if (row.definition != kNone) b.symbol("hook", bText, 0, uint8_t(row.definition));
        std::vector<Conversion> c = convertTogether({{"a.o", a}, {"b.o", b}});
        if (!row.refusal.empty()) {
            EXPECT_EQ(c[0].refusals, std::vector<std::string>{row.refusal});
            continue;
        }
        EXPECT_EQ(c[0].refusals, std::vector<std::string>{});
        EXPECT_EQ(hexBytes(c[0].object),
                  hexBytes(ModuleBuilder().name("a.o").code(Bytes(8, 0)).xref(LINK_ABS32, "hook", {2}).end()));
    }
}

// Names that only resemble an alias convert: an alias ends in `+0x` or
// `-0x` and lower-case hex digits.
TEST(Elf2objMapping, NamesThatOnlyResembleAnAliasAreKept) {
    ElfBuilder e;
    auto text = e.progbits(".text", Bytes(4, 0));
    const char* names[] = {"tab+4", "tab+0x", "tab+0X4", "tab+0x4g", "a+b", "0x4", "tab_0x4", "tab+0xG"};
    ModuleBuilder expected;
    expected.name("fallback.o").code(Bytes(4, 0));
    for (const char* name : names) {
        e.symbol(name, text, 0);
        expected.xdef(SectionKind::code, 0, name);
    }
    Conversion c = convert(e);
    EXPECT_EQ(c.refusals, std::vector<std::string>{});
    EXPECT_EQ(hexBytes(c.object), hexBytes(expected.end()));
}

// Unwind tables are dropped, with their relocations, and so is debugging
// information with --strip-debug.
TEST(Elf2objMapping, UnwindTablesAndStrippedDebuggingInformationAreDropped) {
    auto object = [](bool withExtras) {
        ElfBuilder e;
        auto text = e.progbits(".text", Bytes(8, 0x4E), SHF_ALLOC | SHF_EXECINSTR);
        e.symbol("f", text, 0, STB_GLOBAL, STT_FUNC);
        if (!withExtras) return e;
        auto textSymbol = e.sectionSymbol(text);
        for (const char* name : {".eh_frame", ".gcc_except_table", ".gcc_except_table.f", ".eh_frame_hdr"})
            e.rela(e.progbits(name, Bytes(8, 0x11)), 4, textSymbol, R_68K_PC32, 0);
        e.rela(e.progbits(".debug_info", Bytes(8, 0x22), 0, 1), 0, textSymbol, R_68K_32, 0);
        return e;
    };
    Conversion plain = convert(object(false));
    Bytes bytes = object(true).build();
    File file;
    std::string error;
    ASSERT_TRUE(readFile(bytes, file, error)) << error;
    Conversion extras = elf2obj::convertObject(file, ConvertOptions{"fallback.o", std::nullopt, false});
    EXPECT_EQ(extras.refusals, std::vector<std::string>{});
    EXPECT_EQ(hexBytes(extras.object), hexBytes(plain.object));
    EXPECT_EQ(hexBytes(plain.object), hexBytes(ModuleBuilder()
                                                   .name("fallback.o")
                                                   .code(Bytes(8, 0x4E))
                                                   .xdef(SectionKind::code, 0, "f")
                                                   .end()));
}

TEST(Elf2objProcessor, ModelNumbersAreFourHexDigits) {
    EXPECT_EQ(elf2obj::processorIdFor("5208"), 0x52080000u);
    EXPECT_EQ(elf2obj::processorIdFor("547f"), 0x547F0000u);
    EXPECT_EQ(elf2obj::processorIdFor("52"), std::nullopt);
    EXPECT_EQ(elf2obj::processorIdFor("52084"), std::nullopt);
    EXPECT_EQ(elf2obj::processorIdFor("52G8"), std::nullopt);
}

// The command line, in-process, in a scratch folder.
struct CliResult {
    int status;
    std::string err;
};
CliResult runCli(const ScratchDir& dir, std::vector<std::string> args) {
    for (std::string& a : args)
        if (a.ends_with(".o")) a = dir.path(a);
    args.insert(args.begin(), "tarnel-elf2obj");
    std::ostringstream out, err;
    int status = elf2obj::runElf2obj(args, out, err);
    EXPECT_EQ(out.str(), "");
    std::string text = err.str();
    for (size_t at; (at = text.find(dir.path(""))) != std::string::npos;) text.erase(at, dir.path("").size());
    return {status, text};
}

TEST(Elf2objCommandLine, WritesTheModuleWithTheGivenCpu) {
    ScratchDir dir;
    ElfBuilder e;
    e.progbits(".text", fill(4, 1));
    dir.write("in.o", e.build());
    CliResult r = runCli(dir, {"in.o", "-o", "out.o", "--cpu", "5208"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(hexBytes(dir.read("out.o")),
              hexBytes(ModuleBuilder().name("in.o").processor(0x52080000).code(fill(4, 1)).end()));
}

TEST(Elf2objCommandLine, RefusalsExitWithStatusOneAndWriteNothing) {
    ScratchDir dir;
    ElfBuilder e;
    auto text = e.progbits(".text", Bytes(8, 0));
    e.rela(text, 1, e.symbol("far", SHN_UNDEF, 0), R_68K_PC8, -1);
    e.rela(text, 2, e.symbol("far2", SHN_UNDEF, 0), R_68K_32, 8);
    dir.write("in.o", e.build());
    CliResult r = runCli(dir, {"in.o", "-o", "out.o"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "tarnel-elf2obj: in.o: .text+0x1: 'far': short branch (bra.s, bsr.s) to another module; use the .w form\n"
              "tarnel-elf2obj: in.o: .text+0x2: 'far2': external reference with addend +0x8; convert the module "
              "defining it together with this one (-d DIR A.o B.o ...)\n"
              "tarnel-elf2obj: in.o: not converted: the object format cannot express the above\n");
    EXPECT_FALSE(dir.exists("out.o"));
}

// -d converts the objects together into the folder; linked at 0x1000, the
// aliases give the addresses the instructions need.
TEST(Elf2objCommandLine, DashDConvertsAProgramWhoseAliasesLinkToTheRightAddresses) {
    ScratchDir dir;
    ElfBuilder user;
    auto text = user.progbits(".text", {0x41, 0xF9, 0x00, 0x00, 0x00, 0x00,  // 0: lea table+4,a0
                                        0x10, 0x3B, 0x08, 0x00,              // 6: move.b (msg+2,pc,d0.l),d0
                                        0x4E, 0x75});                        // 10: rts
    user.rela(text, 2, user.symbol("table", SHN_UNDEF, 0), R_68K_32, 4);
    user.rela(text, 9, user.symbol("msg", SHN_UNDEF, 0), R_68K_PC8, 1 + 2);
    dir.write("user.o", user.build());
    dir.write("owner.o", ownerObject().build());
    CliResult r = runCli(dir, {"-d", dir.path("out"), "user.o", "owner.o", "--cpu", "5208"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    RunResult link = runLinker(dir, {"-r1000", "-b", "out/user.o", "out/owner.o", "-o", "image"});
    ASSERT_EQ(link.status, 0) << link.out;
    EXPECT_NE(link.out.find("Build information for image (cpu: 5208)"), std::string::npos) << link.out;
    // user's code at 0x1000, owner's at 0x100C (msg at 0x1015), the data at
    // 0x1018 (table at 0x101C): lea gets 0x1020; the index's displacement is
    // msg+2 (0x1017) less the extension word's address (0x1008).
    Bytes expected = Bytes{0x41, 0xF9, 0x00, 0x00, 0x10, 0x20, 0x10, 0x3B, 0x08, 0x0F, 0x4E, 0x75} +
                     fill(8, 0x10) + fill(4, 0x20) + fill(16, 0x30);
    EXPECT_EQ(hexBytes(dir.read("image")), hexBytes(expected));
}

TEST(Elf2objCommandLine, DashDWritesNothingWhenAnInputIsRefusedOrTwoShareAName) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"user.o", "owner.o"},
         "tarnel-elf2obj: user.o: .text+0x2: 'missing': external reference with addend +0x4 to a symbol that no "
         "given object defines; convert the module defining it in the same -d run\n"
         "tarnel-elf2obj: user.o: not converted: the object format cannot express the above\n"},
        {{"user.o", "sub/owner.o", "owner.o"},
         "tarnel-elf2obj: sub/owner.o and owner.o would both be written to out/owner.o; rename one of them\n"},
    };
    for (const auto& [inputs, message] : cases) {
        ScratchDir dir;
        dir.write("user.o", userOf({{2, "missing", R_68K_32, 4}}).build());
        dir.write("owner.o", ownerObject().build());
        std::vector<std::string> args = {"-d", dir.path("out")};
        args.insert(args.end(), inputs.begin(), inputs.end());
        CliResult r = runCli(dir, args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, message);
        EXPECT_FALSE(dir.exists("out"));
    }
}

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

// -d writes every module or none: the modules go to temporary files that are
// renamed over their names only once all were written. a.o converts to a
// small module, b.o to one of 64 KiB.
TEST(Elf2objCommandLine, DashDWritesEveryModuleOrNone) {
    const std::string earlier = "left by an earlier run";
    const Bytes old(earlier.begin(), earlier.end());
    struct Row {
        const char* what;
        void (*before)(const ScratchDir& dir, const Bytes& old);  // what out/ holds before the run
        rlim_t fileSizeLimit;
        const char* message;
        std::set<std::string> after;  // what out/ holds after it, each old file as it was
    };
    const Row rows[] = {
        {"the second module does not fit the file-size limit",
         [](const ScratchDir& dir, const Bytes& o) {
             std::filesystem::create_directory(dir.path("out"));
             dir.write("out/a.o", o);
             dir.write("out/b.o", o);
         },
         4096, "tarnel-elf2obj: out/b.o: cannot be written: File too large\n", {"a.o", "b.o"}},
        {"a folder made for the run is removed again",
         [](const ScratchDir&, const Bytes&) {}, 4096,
         "tarnel-elf2obj: out/b.o: cannot be written: File too large\n", {}},
        {"a folder at the second module's name",
         [](const ScratchDir& dir, const Bytes& o) {
             std::filesystem::create_directories(dir.path("out/b.o"));
             dir.write("out/a.o", o);
         },
         RLIM_INFINITY, "tarnel-elf2obj: out/b.o: cannot be created: Is a directory\n", {"a.o", "b.o"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ScratchDir dir;
        ElfBuilder small, large;
        small.progbits(".text", Bytes(8, 0x4E));
        large.progbits(".text", Bytes(64 << 10, 0x4E));
        dir.write("a.o", small.build());
        dir.write("b.o", large.build());
        row.before(dir, old);
        CliResult r;
        {
            FileSizeLimit limit(row.fileSizeLimit);
            r = runCli(dir, {"-d", dir.path("out"), "a.o", "b.o"});
        }
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, row.message);
        if (row.after.empty()) {
            EXPECT_FALSE(dir.exists("out"));
            continue;
        }
        EXPECT_EQ(namesIn(dir.path("out")), row.after);
        EXPECT_EQ(dir.read("out/a.o"), old);
        if (std::filesystem::is_directory(dir.path("out/b.o"))) continue;
        EXPECT_EQ(dir.read("out/b.o"), old);
    }
}

// An output of -d that is one of the inputs, by name or through a link, is
// refused before anything is written.
TEST(Elf2objCommandLine, DashDRefusesToReplaceAnInput) {
    ScratchDir dir;
    ElfBuilder e;
    e.progbits(".text", Bytes(8, 0x4E));
    const Bytes in = e.build();
    dir.write("in.o", in);
    dir.write("other.o", in);
    CliResult r = runCli(dir, {"-d", dir.path(""), "other.o", "in.o"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tarnel-elf2obj: other.o is the input other.o itself; name another folder\n");
    std::filesystem::create_directory(dir.path("out"));
    std::filesystem::create_symlink("../in.o", dir.path("out/in.o"));
    r = runCli(dir, {"-d", dir.path("out"), "other.o", "in.o"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tarnel-elf2obj: out/in.o is the input in.o itself; name another folder\n");
    EXPECT_EQ(dir.read("in.o"), in);
    EXPECT_EQ(dir.read("other.o"), in);
    EXPECT_EQ(namesIn(dir.path("out")), std::set<std::string>{"in.o"});
}

// Each name runs from its offset in the name table to the next NUL, whatever
// other names start at, inside or after it.
TEST(Elf2objReader, NamesThatShareBytesOfTheNameTableEachRunToTheirNul) {
    struct Case {
        int32_t fromFirstName;  // offset of the second symbol's name, from the first's
        const char* name;
    };
    const Case cases[] = {{0, "abcdef"}, {3, "def"}, {5, "f"}, {6, ""}};
    for (const Case& c : cases) {
        ElfBuilder e;
        auto text = e.progbits(".text", Bytes(4, 0));
        e.symbol("abcdef", text, 0);
        e.symbol("x", text, 1);
        e.symbol("abcdef", text, 2);
        Bytes b = e.build();
        File file;
        std::string error;
        ASSERT_TRUE(readFile(b, file, error)) << error;
        const Section* symtab = nullptr;
        for (const Section& s : file.sections)
            if (s.type == SHT_SYMTAB) symtab = &s;
        ASSERT_NE(symtab, nullptr);
        const size_t at = size_t(symtab->bytes.data() - b.data());
        const uint32_t first = readWordBE(&b[at + 16]);
        writeWordBE(&b[at + 32], first + uint32_t(c.fromFirstName));
        writeWordBE(&b[at + 48], first);
        ASSERT_TRUE(readFile(b, file, error)) << error;
        ASSERT_EQ(file.symbols.size(), 4u);
        EXPECT_EQ(file.symbols[1].name, "abcdef");
        EXPECT_EQ(file.symbols[2].name, c.name) << c.fromFirstName;
        EXPECT_EQ(file.symbols[3].name, "abcdef");
    }
}

// Places in a built ELF file, found before it is spoilt: a section's index,
// the offset of its header and of its contents, a symbol's entry.
struct Layout {
    const Bytes& b;
    uint32_t index(std::string_view name) const {
        File file;
        std::string error;
        EXPECT_TRUE(readFile(b, file, error)) << error;
        for (uint32_t i = 0; i < file.sections.size(); ++i)
            if (file.sections[i].name == name) return i;
        ADD_FAILURE() << "no section " << name;
        return 0;
    }
    size_t header(std::string_view name) const { return readWordBE(&b[32]) + kShdrSize * index(name); }
    size_t contents(std::string_view name) const { return readWordBE(&b[header(name) + 16]); }
    size_t symbol(uint32_t i) const { return contents(".symtab") + kSymSize * i; }
};
// Byte offsets of section header fields.
constexpr size_t kName = 0, kType = 4, kLink = 24, kInfo = 28;

void setWord(Bytes& b, size_t at, uint32_t v) { writeWordBE(&b[at], v); }

// A file the reader cannot trust is refused with what is damaged. The file:
// .text (16 bytes) and .data (8), .text+2 patched with `ext` and .data+0
// with .text; symbols: 0 none, 1 `start` at .text+0, 2 `ext`, 3 .text's.
TEST(Elf2objReader, DamagedFilesAreRefusedWithWhatIsDamaged) {
    struct Row {
        const char* what;
        void (*spoil)(Bytes& b, const Layout& at);
        const char* error;  // before "; the object is damaged, rebuild it"; empty: accepted
    };
    const Row rows[] = {
        {"a symbol's name outside the string table",
         [](Bytes& b, const Layout& at) { setWord(b, at.symbol(2), 0x10000); },
         "the name of symbol 2 lies outside the string table .strtab"},
        {"a section's name outside the section name table",
         [](Bytes& b, const Layout& at) { setWord(b, at.header(".data") + kName, 0x10000); },
         "the name of section 2 lies outside the section name table"},
        {"a string table without its last NUL",
         [](Bytes& b, const Layout& at) { b[at.contents(".strtab") + readWordBE(&b[at.header(".strtab") + 20]) - 1] = 'x'; },
         "the string table .strtab does not end with a NUL"},
        {"a section name table without its last NUL",
         [](Bytes& b, const Layout& at) {
             b[at.contents(".shstrtab") + readWordBE(&b[at.header(".shstrtab") + 20]) - 1] = 'x';
         },
         "the section name table does not end with a NUL"},
        {"a section name table that is not a string table",
         [](Bytes& b, const Layout& at) { writeHalfBE(&b[50], uint16_t(at.index(".text"))); },
         "the section name table, section 1, is not a string table"},
        {"a symbol table whose names are not in a string table",
         [](Bytes& b, const Layout& at) { setWord(b, at.header(".symtab") + kLink, at.index(".data")); },
         "the symbol table takes its names from section 2, which is not a string table"},
        {"two symbol tables",
         [](Bytes& b, const Layout& at) { setWord(b, at.header(".data") + kType, SHT_SYMTAB); },
         "more than one symbol table"},
        {"a symbol past the end of its section",
         [](Bytes& b, const Layout& at) { setWord(b, at.symbol(1) + 4, 0xFFFFFFF0); },
         "symbol 1 'start' at 0xfffffff0 lies past the end of .text (16 bytes)"},
        {"a symbol at the end of its section", [](Bytes& b, const Layout& at) { setWord(b, at.symbol(1) + 4, 16); },
         ""},
        {"a symbol in a section that does not exist",
         [](Bytes& b, const Layout& at) { writeHalfBE(&b[at.symbol(1) + 14], 80); },
         "symbol 1 'start' lies in section 80, which does not exist"},
        {"a relocation section that applies to itself",
         [](Bytes& b, const Layout& at) { setWord(b, at.header(".rela.text") + kInfo, at.index(".rela.text")); },
         "relocation section .rela.text applies to itself"},
        {"a relocation section that applies to the symbol table",
         [](Bytes& b, const Layout& at) { setWord(b, at.header(".rela.text") + kInfo, at.index(".symtab")); },
         "relocation section .rela.text applies to .symtab, which holds no contents"},
        {"a relocation section that applies to a string table",
         [](Bytes& b, const Layout& at) { setWord(b, at.header(".rela.text") + kInfo, at.index(".strtab")); },
         "relocation section .rela.text applies to .strtab, which holds no contents"},
        {"a relocation section that applies to another relocation section",
         [](Bytes& b, const Layout& at) { setWord(b, at.header(".rela.text") + kInfo, at.index(".rela.data")); },
         "relocation section .rela.text applies to .rela.data, which holds no contents"},
        {"a relocation section that applies to section 0",
         [](Bytes& b, const Layout& at) { setWord(b, at.header(".rela.data") + kInfo, 0); },
         "relocation section .rela.data applies to section 0, which holds no contents"},
        {"a relocation section that applies to a section that does not exist",
         [](Bytes& b, const Layout& at) { setWord(b, at.header(".rela.data") + kInfo, 99); },
         "relocation section .rela.data applies to section 99, which does not exist"},
        {"a relocation section whose symbols are not the symbol table",
         [](Bytes& b, const Layout& at) { setWord(b, at.header(".rela.text") + kLink, at.index(".strtab")); },
         "relocation section .rela.text takes its symbols from section 6, not from the symbol table"},
        {"a relocation that names a symbol past the symbol table",
         [](Bytes& b, const Layout& at) { setWord(b, at.contents(".rela.text") + 4, 40 << 8 | R_68K_32); },
         "the relocation at .text+0x2 names symbol 40, past the end of the symbol table (4 symbols)"},
        {"a relocation that names symbol 0",
         [](Bytes& b, const Layout& at) { setWord(b, at.contents(".rela.text") + 4, R_68K_32); },
         "the relocation at .text+0x2 names no symbol"},
        {"R_68K_NONE with symbol 0", [](Bytes& b, const Layout& at) { setWord(b, at.contents(".rela.text") + 4, 0); },
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ElfBuilder e;
        auto text = e.progbits(".text", Bytes(16, 0x4E));
        auto data = e.progbits(".data", Bytes(8, 0));
        e.symbol("start", text, 0);
        e.rela(text, 2, e.symbol("ext", SHN_UNDEF, 0), R_68K_32, 0);
        e.rela(data, 0, e.sectionSymbol(text), R_68K_32, 0);
        Bytes b = e.build();
        const Bytes intact = b;
        row.spoil(b, Layout{intact});
        File file;
        std::string error;
        const bool read = readFile(b, file, error);
        if (*row.error == 0) {
            EXPECT_TRUE(read) << error;
            continue;
        }
        EXPECT_FALSE(read);
        EXPECT_EQ(error, std::string(row.error) + "; the object is damaged, rebuild it");
    }
}

// Code for another m68k family is refused; e_flags 0 is that of 68020 code,
// or of an object without instructions (data alone, even in .text), which a
// function symbol in loaded code tells apart.
TEST(Elf2objReader, CodeForAnotherProcessorFamilyIsRefused) {
    struct Row {
        uint32_t flags;
        bool function;  // a function symbol in .text
        const char* family;  // nullptr: accepted
    };
    const Row rows[] = {
        {0x23, true, nullptr},      // -mcpu=5208: ISA A+, EMAC
        {0x01, true, nullptr},      // 5206: ISA A without divide
        {0x12, true, nullptr},      // 5307: ISA A, MAC
        {0x14, true, nullptr},      // 5407: ISA B without USP, MAC
        {0x8065, true, nullptr},    // 547x: ISA B, FPU, EMAC
        {0, false, nullptr},        // data alone: a table in .text
        {0, true, "68020"},         // 68020 to 68060
        {0x01000000, true, "68000"},
        {0x01000000, false, "68000"},  // the assembler sets it only for instructions
        {0x00810000, true, "CPU32"},
        {0x02000000, true, "Fido"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << row.flags << (row.function ? " with" : " without")
                                        << " a function");
        ElfBuilder e;
        e.flags = row.flags;
        auto text = e.progbits(".text", Bytes(8, 0x4E), SHF_ALLOC | SHF_EXECINSTR);
        e.symbol("entry", text, 0, STB_GLOBAL, row.function ? STT_FUNC : STT_OBJECT);
        Bytes b = e.build();
        File file;
        std::string error;
        EXPECT_EQ(readFile(b, file, error), row.family == nullptr) << error;
        if (!row.family) continue;
        EXPECT_EQ(error, std::string("compiled for ") + row.family + ", not ColdFire: add -mcpu=5208");
    }
}

TEST(Elf2objCommandLine, FilesThatAreNotM68kRelocatableObjectsAreRejected) {
    struct Case {
        void (*spoil)(ElfBuilder&, Bytes&);
        const char* message;
    };
    const Case cases[] = {
        {[](ElfBuilder&, Bytes& b) { b[1] = 'X'; }, "not an ELF file"},
        {[](ElfBuilder&, Bytes& b) { b.resize(40); }, "not an ELF file"},
        {[](ElfBuilder& e, Bytes& b) { e.elfClass = 2, b = e.build(); }, "not a 32-bit big-endian ELF file"},
        {[](ElfBuilder& e, Bytes& b) { e.dataEncoding = 1, b = e.build(); }, "not a 32-bit big-endian ELF file"},
        {[](ElfBuilder& e, Bytes& b) { e.fileType = 2, b = e.build(); }, "not a relocatable object"},
        {[](ElfBuilder& e, Bytes& b) { e.machine = 3, b = e.build(); }, "not an m68k object"},
        {[](ElfBuilder&, Bytes& b) { b.pop_back(); }, "section headers run past the end of the file"},
        {[](ElfBuilder&, Bytes& b) {
             // .text and the section after it both claim every byte after the ELF header
             for (uint32_t i = 1; i <= 2; ++i) {
                 const uint32_t header = readWordBE(&b[32]) + 40 * i;
                 writeWordBE(&b[header + 16], 52);
                 writeWordBE(&b[header + 20], uint32_t(b.size() - 52));
             }
         },
         "sections overlap: their contents add up to more than the file holds"},
        {[](ElfBuilder& e, Bytes& b) {
             e.flags = 0;
             e.symbol("main", e.progbits(".text.main", {0x4E, 0x75}, SHF_ALLOC | SHF_EXECINSTR), 0, STB_GLOBAL,
                      STT_FUNC);
             b = e.build();
         },
         "compiled for 68020, not ColdFire: add -mcpu=5208"},
        {[](ElfBuilder&, Bytes& b) { writeWordBE(&b[Layout{b}.symbol(0)], 0x1000); },
         "the name of symbol 0 lies outside the string table .strtab; the object is damaged, rebuild it"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        ElfBuilder e;
        e.progbits(".text", Bytes(4, 0));
        Bytes b = e.build();
        c.spoil(e, b);
        dir.write("in.o", b);
        CliResult r = runCli(dir, {"in.o", "-o", "out.o"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, std::string("tarnel-elf2obj: in.o: ") + c.message + "\n");
        EXPECT_FALSE(dir.exists("out.o"));
    }
}

TEST(Elf2objCommandLine, MistakesInTheArgumentsPrintTheUsage) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"in.o"}, "an input file and -o OUT are needed"},
        {{"in.o", "-o"}, "-o needs a file name"},
        {{"in.o", "-o", "out.o", "--cpu", "52"}, "--cpu takes a model number of four hex digits, such as 5208"},
        {{"in.o", "-o", "out.o", "--cpu"}, "--cpu needs a model number"},
        {{"in.o", "-x", "-o", "out.o"}, "unknown option -x"},
        {{"in.o", "in2.o", "-o", "out.o"}, "more than one input file; convert several with -d DIR"},
        {{"-d", "dir", "in.o", "-o", "out.o"}, "-o and -d do not go together; -d writes DIR/IN.o for each IN.o"},
        {{"-d", "dir"}, "-d DIR needs the input files"},
        {{"in.o", "-d"}, "-d needs a folder name"},
    };
    for (const auto& [args, message] : cases) {
        ScratchDir dir;
        CliResult r = runCli(dir, args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, std::string("tarnel-elf2obj: ") + message +
                             "\nusage: tarnel-elf2obj IN.o -o OUT.o [--cpu MODEL] [--strip-debug]\n"
                             "       tarnel-elf2obj -d DIR A.o B.o ... [--cpu MODEL] [--strip-debug]\n");
    }
    ScratchDir dir;
    CliResult r = runCli(dir, {"missing.o", "-o", "out.o"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tarnel-elf2obj: missing.o: cannot be opened\n");
}

}  // namespace
}  // namespace tarnel::test
