// The object loader on its own: files are written to a scratch folder and
// loaded into a fresh LinkState the way the command line loads them (one
// slot per file, taken whatever happens), then the state and the messages
// printed are checked.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "harness.hpp"
#include "objfmt/loader.hpp"
#include "objfmt/state.hpp"
#include "text_fixture.hpp"

namespace tarnel::test {
namespace {

const Bytes kCode4{0x4E, 0x71, 0x4E, 0x75};

// One run's link state with a scratch folder for its input files.
struct Session {
    ScratchDir dir;
    std::ostringstream out;
    LinkState state{out};

    Session() { linkerStartup(state); }
    ~Session() { linkerTeardown(state); }

    // Writes the file and loads it into the next slot.
    std::string load(const std::string& name, const Bytes& bytes) {
        // every file the loader is tested on also survives the text form of
        // tarnel-dump and tarnel-mkobj, byte for byte
        EXPECT_EQ(chunkFileFromText(dumpText(bytes).text), bytes) << name;
        std::string path = dir.write(name, bytes);
        loadPath(path);
        return path;
    }
    void loadPath(const std::string& path) { loadObjectFile(state, path); }
    const Module& module(uint32_t i) const { return state.modules[i]; }
};

// A message as printed: "error: " and the text with the path in place of %s.
std::string errorLine(const std::string& format, const std::string& path) {
    std::string text = format;
    text.replace(text.find("%s"), 2, path);
    return "error: " + text;
}

Bytes spanBytes(std::span<const uint8_t> s) { return Bytes(s.begin(), s.end()); }

std::vector<std::string> names(const SymbolList& list) {
    std::vector<std::string> result;
    for (const LinkSymbol& s : list) result.emplace_back(s.name);
    return result;
}

// The payload of a `link` chunk without its terminator.
Bytes linkEntries(LinkPayloadBuilder b) {
    Bytes p = b.finish();
    p.resize(p.size() - 4);
    return p;
}

// ---------------------------------------------------------------------------
// Well-formed modules

TEST(LoaderWellFormed, ModuleWithEveryChunkKindFillsItsSlotAndTheLists) {
    Session s;
    s.load("first.o", ModuleBuilder().code(Bytes(8, 0)).end());
    Bytes code{1, 2, 3, 4, 5, 6};
    std::string path = s.load("all.o", ModuleBuilder()
                                           .processor(0x54070003, 0x1234)
                                           .name("widget")
                                           .version("1.02")
                                           .date("31-May-2004")
                                           .code(code)
                                           .data({7, 8})
                                           .base({9, 10, 11})
                                           .bss(0x20)
                                           .bssb(0x30)
                                           .xdef(SectionKind::bssb, 0x10, "counter")
                                           .xref(LINK_REL16, "table", {2})
                                           .reloc16(0, 1, {4})
                                           .reloc32(1, 3, {0, 8})
                                           .drel16(3, {0, 2})
                                           .end());
    EXPECT_EQ(s.out.str(), "");
    EXPECT_EQ(s.state.errorStatus, 0);

    const Module& m = s.module(1);
    EXPECT_EQ(m.fileName, path);
    EXPECT_EQ(m.moduleName, "widget");
    EXPECT_EQ(m.version, "1.02");
    EXPECT_EQ(m.date, "31-May-2004");
    EXPECT_EQ(s.state.processorId, 0x54070003u);
    EXPECT_EQ(s.state.processorWord, 0x1234u);

    // kept payloads are the chunk payloads byte for byte, block type included
    EXPECT_EQ(spanBytes(m.codeChunk), be({0}) + code);
    EXPECT_EQ(spanBytes(m.dataChunk), be({1}) + Bytes({7, 8}));
    EXPECT_EQ(spanBytes(m.baseChunk), be({3}) + Bytes({9, 10, 11}));
    EXPECT_EQ(spanBytes(m.bssChunk), be({2, 0x20}));
    EXPECT_EQ(spanBytes(m.bssbChunk), be({4, 0x30}));
    EXPECT_EQ((std::vector<uint32_t>{m.codeSize, m.dataSize, m.baseSize, m.bssSize, m.bssbSize}),
              (std::vector<uint32_t>{6, 2, 3, 0x20, 0x30}));
    // the code part follows module 0's eight bytes; the others start at 0
    EXPECT_EQ((std::vector<uint32_t>{m.codeAddr, m.dataAddr, m.baseAddr, m.bssAddr, m.bssbAddr}),
              (std::vector<uint32_t>{8, 0, 0, 0, 0}));

    ASSERT_EQ(s.state.xdefList.size(), 1u);
    const LinkSymbol& def = s.state.xdefList[0];
    EXPECT_EQ(def.name, "counter");
    EXPECT_EQ(def.value, 0x10u);
    EXPECT_EQ(def.module, 1);
    EXPECT_EQ(def.section, int16_t(SectionKind::bssb));
    EXPECT_EQ(def.type, 0x84);
    EXPECT_EQ(def.useCount, 0u);

    ASSERT_EQ(s.state.xrefList.size(), 1u);
    const LinkSymbol& ref = s.state.xrefList[0];
    EXPECT_EQ(ref.name, "table");
    EXPECT_EQ(ref.value, 2u);
    EXPECT_EQ(ref.module, 1);
    EXPECT_EQ(ref.section, 0);
    EXPECT_EQ(ref.type, LINK_REL16);

    ASSERT_EQ(s.state.reloc16List.size(), 1u);
    const RelocEntry& r16 = s.state.reloc16List[0];
    EXPECT_EQ((std::vector<uint32_t>{r16.offset, r16.value, r16.fromSection, r16.toSection, r16.fromModule,
                                     r16.toModule}),
              (std::vector<uint32_t>{4, 0, 0, 1, 1, 1}));
    ASSERT_EQ(s.state.reloc32List.size(), 2u);
    EXPECT_EQ(s.state.reloc32List[0].offset, 0u);
    EXPECT_EQ(s.state.reloc32List[1].offset, 8u);
    EXPECT_EQ(s.state.reloc32List[1].fromSection, 1u);
    EXPECT_EQ(s.state.reloc32List[1].toSection, 3u);

    // a drel16 chunk is held whole on its module until it is applied
    ASSERT_EQ(m.drel16List.size(), 1u);
    EXPECT_EQ(spanBytes(m.drel16List[0]), be({3, 0, 2}));

    // library-mode fields stay untouched in a link
    EXPECT_TRUE(m.linkChunk.empty());
    EXPECT_TRUE(m.reloc16Chunks.empty());
    EXPECT_TRUE(s.state.librarySymbols.empty());
}

TEST(LoaderWellFormed, BothEndForms) {
    const Bytes moduleStart = ModuleBuilder().code(kCode4).unfinished();
    const Bytes dataChunk = ModuleBuilder(false).data({1, 2}).unfinished();
    struct Case {
        const char* what;
        Bytes file;
        bool dataLoaded;
    };
    const Case cases[] = {
        {"end tag without a length word", ModuleBuilder().code(kCode4).end(), false},
        {"end tag with length 0", ModuleBuilder().code(kCode4).end(true), false},
        {"end tag alone after the data", moduleStart + dataChunk + be({tagWord(ChunkTag::end)}), true},
        {"end chunk with a payload, which is dropped",
         moduleStart + be({tagWord(ChunkTag::end), 8, tagWord(ChunkTag::data), 0}), false},
        {"nothing after an end chunk is read", moduleStart + be({tagWord(ChunkTag::end), 0}) + dataChunk, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session s;
        s.load("m.o", c.file);
        EXPECT_EQ(s.out.str(), "");
        EXPECT_EQ(s.state.errorStatus, 0);
        EXPECT_EQ(s.module(0).codeSize, 4u);
        EXPECT_EQ(s.module(0).dataChunk.empty(), !c.dataLoaded);
    }
}

TEST(LoaderWellFormed, ObjectChunkLengthWordIsNotUsed) {
    Session s;
    Bytes file = be({tagWord(ChunkTag::object), 0x100}) + ModuleBuilder(false).code(kCode4).end();
    s.load("m.o", file);
    EXPECT_EQ(s.out.str(), "");
    EXPECT_EQ(s.module(0).codeSize, 4u);
}

TEST(LoaderWellFormed, DroppedAndUnknownTagsAreSteppedOver) {
    // a payload that would define a symbol, or be a section, if it were read
    const Bytes tempting = LinkPayloadBuilder().xdef(SectionKind::code, 0, "dropped").finish();
    const uint32_t tags[] = {
        tagWord(ChunkTag::header), tagWord(ChunkTag::object), tagWord(ChunkTag::library),
        tagWord(ChunkTag::company), tagWord(ChunkTag::author), tagWord(ChunkTag::comment),
        0xC0DECF0A, 0xC0DECF0F, tagWord(ChunkTag::lib), tagWord(ChunkTag::reloc8),
        tagWord(ChunkTag::drel32), tagWord(ChunkTag::drel8), tagWord(ChunkTag::symbol),
        tagWord(ChunkTag::debug), 0xC0DECF1D, 0xC0DECF1E,
        0xC0DECF20, 0xC0DECEFF, 0x00000000, 0xFFFFFFFF, 0xC0DECF14 + 0x100,
    };
    for (uint32_t tag : tags) {
        SCOPED_TRACE(testing::Message() << std::hex << tag);
        Session s;
        s.load("m.o", ModuleBuilder().code(kCode4).chunk(tag, tempting).data({1, 2}).end());
        EXPECT_EQ(s.out.str(), "");
        EXPECT_EQ(s.state.errorStatus, 0);
        EXPECT_TRUE(s.state.xdefList.empty());
        EXPECT_TRUE(s.state.xrefList.empty());
        EXPECT_TRUE(s.state.reloc16List.empty() && s.state.reloc32List.empty());
        EXPECT_TRUE(s.module(0).drel16List.empty());
        EXPECT_EQ(s.module(0).codeSize, 4u);
        EXPECT_EQ(s.module(0).dataSize, 2u);
        EXPECT_TRUE(s.module(0).bssChunk.empty());
        EXPECT_EQ(s.state.processorId, 0x52060020u);
    }
}

TEST(LoaderWellFormed, ChunkOfLengthZeroCarriesNothing) {
    Session s;
    s.load("m.o", ModuleBuilder()
                      .chunk(ChunkTag::code, {})
                      .chunk(ChunkTag::data, {})
                      .chunk(ChunkTag::bss, {})
                      .chunk(ChunkTag::processor, {})
                      .chunk(ChunkTag::name, {})
                      .chunk(ChunkTag::link, {})
                      .chunk(ChunkTag::reloc16, {})
                      .chunk(ChunkTag::drel16, {})
                      .end());
    EXPECT_EQ(s.out.str(), "");
    const Module& m = s.module(0);
    EXPECT_TRUE(m.codeChunk.empty() && m.dataChunk.empty() && m.bssChunk.empty());
    EXPECT_FALSE(m.moduleName.has_value());
    EXPECT_TRUE(m.drel16List.empty());
    EXPECT_TRUE(s.state.reloc16List.empty());
    EXPECT_EQ(s.state.loading.running[0], 0u);

    // the block type word alone is a code part of 0 bytes
    Session t;
    t.load("m.o", ModuleBuilder().code({}).end());
    EXPECT_FALSE(t.module(0).codeChunk.empty());
    EXPECT_EQ(t.module(0).codeSize, 0u);
}

// Each section's running offset: parts are laid one behind the other, a
// module without a part keeps the start preset by the module before it.
TEST(LoaderLayout, RunningOffsetsAndNextSlotPresets) {
    struct Case {
        SectionKind section;
        std::function<ModuleBuilder&(ModuleBuilder&, uint32_t)> add;
    };
    const Case cases[] = {
        {SectionKind::code, [](ModuleBuilder& b, uint32_t n) -> ModuleBuilder& { return b.code(Bytes(n, 0xAA)); }},
        {SectionKind::data, [](ModuleBuilder& b, uint32_t n) -> ModuleBuilder& { return b.data(Bytes(n, 0xBB)); }},
        {SectionKind::base, [](ModuleBuilder& b, uint32_t n) -> ModuleBuilder& { return b.base(Bytes(n, 0xCC)); }},
        {SectionKind::bss, [](ModuleBuilder& b, uint32_t n) -> ModuleBuilder& { return b.bss(n); }},
        {SectionKind::bssb, [](ModuleBuilder& b, uint32_t n) -> ModuleBuilder& { return b.bssb(n); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(sectionName(uint32_t(c.section)));
        const SectionFields& f = kSectionFields[uint32_t(c.section)];
        Session s;
        // sizes 0x100, none, 0x40: starts 0, 0x100, 0x100
        ModuleBuilder m0, m1, m2;
        s.load("m0.o", c.add(m0, 0x100).end());
        s.load("m1.o", m1.name("nothing").end());
        s.load("m2.o", c.add(m2, 0x40).end());
        EXPECT_EQ(s.out.str(), "");
        EXPECT_EQ(s.module(0).*f.addr, 0u);
        EXPECT_EQ(s.module(1).*f.addr, 0x100u);
        EXPECT_EQ(s.module(1).*f.size, 0u);
        EXPECT_EQ(s.module(2).*f.addr, 0x100u);
        EXPECT_EQ(s.module(2).*f.size, 0x40u);
        EXPECT_EQ(s.state.loading.running[uint32_t(c.section)], 0x140u);
        EXPECT_EQ(s.state.loading.nextStart[uint32_t(c.section)], 0x140u);  // for the next file
        // no other section moved
        for (uint32_t other = 0; other < kSectionCount; ++other) {
            if (other == uint32_t(c.section)) continue;
            EXPECT_EQ(s.state.loading.running[other], 0u) << sectionName(other);
            EXPECT_EQ(s.state.loading.nextStart[other], 0u) << sectionName(other);
        }
    }
}

TEST(LoaderLayout, LastSlotHasNoNextSlotToPreset) {
    Session s;
    s.state.moduleCount = kModuleSlots - 1;
    s.load("last.o", ModuleBuilder().code(Bytes(0x10, 0)).data({1}).base({2}).bss(3).bssb(4).end());
    EXPECT_EQ(s.out.str(), "");
    EXPECT_EQ(s.module(kModuleSlots - 1).codeSize, 0x10u);
    EXPECT_EQ(s.state.loading.running[0], 0x10u);
    EXPECT_EQ(s.state.modules.size(), size_t(kModuleSlots));
}

TEST(LoaderLink, XrefMakesOneNodePerOffsetAndCountZeroMakesNone) {
    Session s;
    s.load("a.o", ModuleBuilder().code(Bytes(16, 0)).end());
    s.load("b.o", ModuleBuilder()
                      .code(Bytes(16, 0))
                      .xref(LINK_ABS32, "target", {4, 8, 0x10})
                      .xref(LINK_PCREL16, "a_rather_long_unused_name", {})
                      .xref(LINK_ABS8, "x", {1})
                      .end());
    EXPECT_EQ(s.out.str(), "");
    ASSERT_EQ(s.state.xrefList.size(), 4u);
    EXPECT_EQ(names(s.state.xrefList), (std::vector<std::string>{"target", "target", "target", "x"}));
    const uint32_t offsets[] = {4, 8, 0x10};
    for (size_t i = 0; i < 3; ++i) {
        const LinkSymbol& r = s.state.xrefList[i];
        EXPECT_EQ(r.value, offsets[i]);
        EXPECT_EQ(r.module, 1);
        EXPECT_EQ(r.section, 0);
        EXPECT_EQ(r.type, LINK_ABS32);
        EXPECT_EQ(r.useCount, 0u);
    }
    // the count-0 entry's 28-byte name field does not widen the column
    EXPECT_EQ(s.state.widths.widestXrefName, 8u);
}

TEST(LoaderLink, EntriesAreWalkedByTheirTypeByte) {
    struct Case {
        const char* what;
        Bytes payload;
        std::vector<std::string> xdefs;
        std::vector<std::string> xrefs;
    };
    const Bytes after = LinkPayloadBuilder().xdef(SectionKind::data, 4, "after").finish();
    const Case cases[] = {
        {"terminator only", be({kLinkTerminator}), {}, {}},
        // entry words of other type bytes stand alone, whatever their low 24 bits say
        {"type byte 3", be({0x03000008}) + after, {"after"}, {}},
        {"type byte 7", be({0x07000008}) + after, {"after"}, {}},
        {"type byte 0x0B", be({0x0B000004}) + after, {"after"}, {}},
        {"type byte 0x7F", be({0x7F000008}) + after, {"after"}, {}},
        {"type byte 0x85", be({0x85000008}) + after, {"after"}, {}},
        {"0xFF with low bits set is not the terminator", be({0xFF000001}) + after, {"after"}, {}},
        {"xdefs and xrefs in order",
         LinkPayloadBuilder()
             .xdef(SectionKind::code, 0, "one")
             .xref(LINK_REL32, "ext", std::vector<uint32_t>{6})
             .xdef(SectionKind::bss, 2, "two")
             .finish(),
         {"one", "two"},
         {"ext"}},
        // a name field of N bytes with no NUL is all of its bytes
        {"name field without NUL", be({0x80000004, 0}) + Bytes{'a', 'b', 'c', 'd'} + after, {"abcd", "after"}, {}},
        // N is passed over rounded down to a multiple of 4
        {"name field length not a multiple of 4", be({0x80000006, 0}) + Bytes{'a', 'b', 0, 0} + after,
         {"ab", "after"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session s;
        s.load("m.o", ModuleBuilder().code(Bytes(8, 0)).chunk(ChunkTag::link, c.payload).end());
        EXPECT_EQ(s.out.str(), "");
        EXPECT_EQ(s.state.errorStatus, 0);
        EXPECT_EQ(names(s.state.xdefList), c.xdefs);
        EXPECT_EQ(names(s.state.xrefList), c.xrefs);
    }
}

TEST(LoaderLink, SeveralLinkChunksAppendInLoadOrder) {
    Session s;
    s.load("a.o", ModuleBuilder().xdef(SectionKind::code, 0, "dup").link().xdef(SectionKind::data, 0, "a2").end());
    s.load("b.o", ModuleBuilder().xdef(SectionKind::code, 4, "dup").end());
    EXPECT_EQ(names(s.state.xdefList), (std::vector<std::string>{"dup", "a2", "dup"}));
    EXPECT_EQ(s.state.xdefList[0].module, 0);
    EXPECT_EQ(s.state.xdefList[1].section, int16_t(SectionKind::data));
    EXPECT_EQ(s.state.xdefList[2].module, 1);
    EXPECT_EQ(s.state.xdefList[2].value, 4u);
}

TEST(LoaderLink, WidestNamesOnlyGrow) {
    struct Case {
        const char* what;
        std::function<void(ModuleBuilder&)> build;
        uint32_t module, xdef, xref;
    };
    const Case cases[] = {
        {"nothing", [](ModuleBuilder&) {}, 2, 6, 6},
        {"short names leave the start widths", [](ModuleBuilder& b) {
             b.name("a").xdef(SectionKind::code, 0, "ab").xref(LINK_ABS16, "cd", {0});
         }, 2, 6, 6},
        {"12-character module name", [](ModuleBuilder& b) { b.name("twelve_chars"); }, 12, 6, 6},
        {"module name without NUL counts every byte",
         [](ModuleBuilder& b) { b.chunk(ChunkTag::name, Bytes{'a', 'b', 'c', 'd', 'e', 'f', 'g'}); }, 7, 6, 6},
        {"xdef name field of 16 bytes",
         [](ModuleBuilder& b) { b.xdef(SectionKind::code, 0, "fifteen_chars__"); }, 2, 16, 6},
        {"xref name field of 20 bytes",
         [](ModuleBuilder& b) { b.xref(LINK_ABS32, "nineteen_characters", {0}); }, 2, 6, 20},
        {"the widest of several",
         [](ModuleBuilder& b) {
             b.name("longer_name").name("short");
             b.xdef(SectionKind::code, 0, "eleven_char").xdef(SectionKind::code, 0, "xy");
         },
         11, 12, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session s;
        ModuleBuilder b;
        c.build(b);
        s.load("m.o", b.end());
        EXPECT_EQ(s.out.str(), "");
        EXPECT_EQ(s.state.widths.widestModuleName, c.module);
        EXPECT_EQ(s.state.widths.widestXdefName, c.xdef);
        EXPECT_EQ(s.state.widths.widestXrefName, c.xref);
    }
}

TEST(LoaderLink, LargestProcessorIdWinsWithItsWord) {
    struct Chunk {
        uint32_t id, word;
    };
    struct Case {
        std::vector<Chunk> chunks;
        uint32_t id, word;
    };
    const Case cases[] = {
        {{}, 0x52060020, 0},
        {{{0x52060020, 7}}, 0x52060020, 0},  // equal changes nothing
        {{{0x52060010, 7}}, 0x52060020, 0},
        {{{0x54070000, 7}}, 0x54070000, 7},
        {{{0x54070000, 7}, {0x53000000, 9}}, 0x54070000, 7},
        {{{0x54070000, 1}, {0x54070001, 2}}, 0x54070001, 2},
        {{{0x80000000, 3}}, 0x80000000, 3},  // compared unsigned
    };
    for (const Case& c : cases) {
        Session s;
        ModuleBuilder b;
        for (const Chunk& ch : c.chunks) b.processor(ch.id, ch.word);
        s.load("m.o", b.end());
        EXPECT_EQ(s.state.processorId, c.id) << c.chunks.size();
        EXPECT_EQ(s.state.processorWord, c.word) << c.chunks.size();
    }
}

TEST(LoaderLink, ModuleTextsRunToTheirNul) {
    Session s;
    s.load("m.o", ModuleBuilder()
                      .chunk(ChunkTag::name, Bytes{'a', 'b', 0, 'c', 'd', 0})
                      .chunk(ChunkTag::version, Bytes{'v', '2'})  // no NUL: the whole payload
                      .chunk(ChunkTag::date, Bytes{0, 'x'})
                      .end());
    EXPECT_EQ(s.out.str(), "");
    EXPECT_EQ(s.module(0).moduleName, "ab");
    EXPECT_EQ(s.module(0).version, "v2");
    EXPECT_EQ(s.module(0).date, "");
    EXPECT_EQ(s.state.widths.widestModuleName, 2u);
}

TEST(LoaderLink, RelocationAndDrel16ChunksOfEveryModule) {
    Session s;
    s.load("a.o", ModuleBuilder().code(Bytes(8, 0)).reloc16(0, 0, {}).reloc16(0, 1, {2, 6}).drel16(1, {}).end());
    s.load("b.o", ModuleBuilder()
                      .code(Bytes(8, 0))
                      .reloc32(0, 2, {4})
                      .drel16(4, {0})
                      .drel16(2, {2, 4})
                      .reloc16(3, 4, {0})
                      .end());
    EXPECT_EQ(s.out.str(), "");
    // a reloc16 chunk of length 8 has no offsets
    ASSERT_EQ(s.state.reloc16List.size(), 3u);
    const RelocEntry& a = s.state.reloc16List[1];
    EXPECT_EQ((std::vector<uint32_t>{a.offset, a.value, a.fromSection, a.toSection, a.fromModule, a.toModule}),
              (std::vector<uint32_t>{6, 0, 0, 1, 0, 0}));
    const RelocEntry& b = s.state.reloc16List[2];
    EXPECT_EQ((std::vector<uint32_t>{b.offset, b.fromSection, b.toSection, b.fromModule, b.toModule}),
              (std::vector<uint32_t>{0, 3, 4, 1, 1}));
    ASSERT_EQ(s.state.reloc32List.size(), 1u);
    EXPECT_EQ(s.state.reloc32List[0].toSection, 2u);
    EXPECT_EQ(s.state.reloc32List[0].fromModule, 1u);

    ASSERT_EQ(s.module(0).drel16List.size(), 1u);
    EXPECT_EQ(spanBytes(s.module(0).drel16List[0]), be({1}));
    ASSERT_EQ(s.module(1).drel16List.size(), 2u);
    EXPECT_EQ(spanBytes(s.module(1).drel16List[0]), be({4, 0}));
    EXPECT_EQ(spanBytes(s.module(1).drel16List[1]), be({2, 2, 4}));
}

// ---------------------------------------------------------------------------
// Files that are not object modules

TEST(LoaderRejects, FilesThatAreNotObjectModules) {
    struct Case {
        const char* what;
        Bytes file;
    };
    const Case cases[] = {
        {"empty file", {}},
        {"too short for a tag", {0xC0, 0xDE, 0xCF}},
        {"executable", be({tagWord(ChunkTag::header), 8, 0, 0, tagWord(ChunkTag::end)})},
        {"end tag first", be({tagWord(ChunkTag::end)})},
        {"text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session s;
        std::string path = s.load("bad.o", c.file);
        EXPECT_EQ(s.out.str(), errorLine("File %s is not a valid object file\n", path));
        EXPECT_EQ(s.state.errorStatus, -1);
        EXPECT_FALSE(s.module(0).fileName.has_value());
    }
}

TEST(LoaderRejects, MissingFileTakesItsSlot) {
    Session s;
    std::string missing = s.dir.path("missing.o");
    s.loadPath(missing);
    s.load("b.o", ModuleBuilder().code(kCode4).xdef(SectionKind::code, 0, "entry").end());
    EXPECT_EQ(s.out.str(), errorLine("File %s not found\n", missing));
    EXPECT_EQ(s.state.errorStatus, -1);
    EXPECT_FALSE(s.module(0).fileName.has_value());
    EXPECT_TRUE(s.module(0).codeChunk.empty());
    ASSERT_EQ(s.state.xdefList.size(), 1u);
    EXPECT_EQ(s.state.xdefList[0].module, 1);
    EXPECT_EQ(s.module(1).codeAddr, 0u);
}

TEST(LoaderRejects, DirectoryIsAnErrorWithAnEmptySlot) {
    Session s;
    std::filesystem::create_directory(s.dir.path("folder.o"));
    s.loadPath(s.dir.path("folder.o"));
    EXPECT_EQ(s.state.errorStatus, -1);
    EXPECT_EQ(s.out.str().rfind("error: ", 0), 0u);
    EXPECT_FALSE(s.module(0).fileName.has_value());
}

// ---------------------------------------------------------------------------
// Malformed modules: the message, the error status, and what stays

TEST(LoaderMalformed, TruncatedFilesKeepTheChunksBeforeTheCut) {
    const Bytes withCode = ModuleBuilder().name("cut").code(kCode4).unfinished();
    struct Case {
        const char* what;
        Bytes file;
        bool codeKept;
    };
    const Case cases[] = {
        {"inside a tag", withCode + Bytes{0xC0, 0xDE}, true},
        {"inside a length word", withCode + be({tagWord(ChunkTag::data)}) + Bytes{0, 0}, true},
        {"a tag other than end without its length word", withCode + be({tagWord(ChunkTag::data)}), true},
        {"inside a payload", withCode + be({tagWord(ChunkTag::data), 12, 1}) + Bytes{1, 2}, true},
        {"length word one byte past the file", withCode + be({tagWord(ChunkTag::data), 9, 1, 0}), true},
        {"before the end chunk", withCode, true},
        {"end chunk payload past the file", withCode + be({tagWord(ChunkTag::end), 8, 0}), true},
        {"unknown tag payload past the file", withCode + be({0x12345678, 100, 0}), true},
        {"object chunk alone", ModuleBuilder().name("cut").unfinished(), false},
        {"the code chunk itself cut", ModuleBuilder().name("cut").unfinished() + be({tagWord(ChunkTag::code), 8, 0}),
         false},
        // a 16-byte file that claims a payload of nearly 4 GB
        {"huge length word", be({tagWord(ChunkTag::object), 0, tagWord(ChunkTag::code), 0xFFFFFFF0}), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session s;
        std::string path = s.load("cut.o", c.file);
        EXPECT_EQ(s.out.str(), errorLine("Unexpected end of file in %s\n", path));
        EXPECT_EQ(s.state.errorStatus, -1);
        EXPECT_EQ(s.module(0).fileName, path);
        EXPECT_EQ(s.module(0).codeSize, c.codeKept ? 4u : 0u);
        EXPECT_EQ(s.module(0).codeChunk.empty(), !c.codeKept);
        EXPECT_TRUE(s.module(0).dataChunk.empty());
        EXPECT_EQ(s.state.loading.running[0], c.codeKept ? 4u : 0u);
    }
    // a file holding only the object tag ends inside the object chunk's header
    Session s;
    std::string path = s.load("tag.o", be({tagWord(ChunkTag::object)}));
    EXPECT_EQ(s.out.str(), errorLine("Unexpected end of file in %s\n", path));
}

TEST(LoaderMalformed, TruncationStopsOnlyThatFile) {
    Session s;
    std::string cut = s.load("cut.o", ModuleBuilder().code(kCode4).unfinished());
    s.load("next.o", ModuleBuilder().code(kCode4).end());
    EXPECT_EQ(s.out.str(), errorLine("Unexpected end of file in %s\n", cut));
    EXPECT_EQ(s.module(1).codeAddr, 4u);
    EXPECT_EQ(s.state.loading.running[0], 8u);
}

// Payloads one byte (or one word) short of their layout, and the shortest
// ones that fit.
TEST(LoaderMalformed, PayloadsTooShortForTheirLayout) {
    struct Case {
        ChunkTag tag;
        uint32_t firstWord;  // a valid block type or section number
        size_t length;
        bool fits;
    };
    const Case cases[] = {
        {ChunkTag::processor, 0x54070000, 4, false}, {ChunkTag::processor, 0x54070000, 7, false},
        {ChunkTag::processor, 0x54070000, 8, true},  {ChunkTag::bss, 2, 4, false},
        {ChunkTag::bss, 2, 7, false},                {ChunkTag::bss, 2, 8, true},
        {ChunkTag::code, 0, 3, false},               {ChunkTag::code, 0, 4, true},
        {ChunkTag::code, 0, 5, true},                {ChunkTag::data, 1, 2, false},
        {ChunkTag::data, 1, 4, true},                {ChunkTag::reloc16, 0, 4, false},
        {ChunkTag::reloc16, 0, 7, false},            {ChunkTag::reloc16, 0, 10, false},
        {ChunkTag::reloc16, 0, 8, true},             {ChunkTag::reloc16, 0, 12, true},
        {ChunkTag::reloc32, 0, 6, false},            {ChunkTag::reloc32, 0, 13, false},
        {ChunkTag::reloc32, 0, 16, true},            {ChunkTag::drel16, 1, 2, false},
        {ChunkTag::drel16, 1, 6, false},             {ChunkTag::drel16, 1, 4, true},
        {ChunkTag::drel16, 1, 8, true},
    };
    for (const Case& c : cases) {
        const char* tagName = chunkTagName(uint32_t(c.tag));
        SCOPED_TRACE(testing::Message() << tagName << " of " << c.length << " bytes");
        Bytes payload = be({c.firstWord, 0, 0, 0, 0});
        payload.resize(c.length);
        Session s;
        std::string path = s.load("short.o", ModuleBuilder().chunk(c.tag, payload).name("after").end());
        const Module& m = s.module(0);
        EXPECT_EQ(m.moduleName, "after");  // loading went on
        bool kept = !m.codeChunk.empty() || !m.dataChunk.empty() || !m.bssChunk.empty() ||
                    !s.state.reloc16List.empty() || !s.state.reloc32List.empty() || !m.drel16List.empty() ||
                    s.state.processorId != 0x52060020;
        bool emptyReloc = c.length == 8 && (c.tag == ChunkTag::reloc16);
        if (c.fits) {
            EXPECT_EQ(s.out.str(), "");
            EXPECT_EQ(s.state.errorStatus, 0);
            EXPECT_TRUE(kept || emptyReloc);
        } else {
            EXPECT_EQ(s.out.str(), errorLine(std::string("Malformed ") + tagName + " chunk in %s\n", path));
            EXPECT_EQ(s.state.errorStatus, -1);
            EXPECT_FALSE(kept);
        }
    }
}

TEST(LoaderMalformed, LinkChunksThatRunPastTheirPayload) {
    const Bytes first = linkEntries(LinkPayloadBuilder().xdef(SectionKind::code, 0, "first"));
    struct Case {
        const char* what;
        Bytes payload;
    };
    const Case cases[] = {
        {"no terminator", first},
        {"half a terminator", first + Bytes{0xFF, 0}},
        {"xref without its count", first + be({0x02000004})},
        {"xref offsets run past", first + be({0x02000004, 3}) + Bytes{'r', 'e', 'f', 0} + be({0, 4})},
        {"xref count of 0xFFFFFFFF", first + be({0x01000004, 0xFFFFFFFF}) + Bytes{'r', 0, 0, 0} + be({0, kLinkTerminator})},
        {"xref name field runs past", first + be({0x09000010, 1}) + Bytes{'r', 'e', 'f', 0}},
        {"xdef without its value", first + be({0x80000008})},
        {"xdef name field runs past", first + be({0x81000010, 0}) + Bytes{'l', 'o', 'n', 'g', 'e', 'r', 0, 0}},
        {"xdef name field of 0xFFFFFF bytes", first + be({0x82FFFFFF, 0, kLinkTerminator})},
        {"ends inside an entry word", first + Bytes{0x80, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session s;
        std::string path = s.load("link.o", ModuleBuilder()
                                                .code(Bytes(8, 0))
                                                .chunk(ChunkTag::link, c.payload)
                                                .xdef(SectionKind::code, 4, "later")
                                                .end());
        EXPECT_EQ(s.out.str(), errorLine("Malformed link chunk in %s\n", path));
        EXPECT_EQ(s.state.errorStatus, -1);
        // the entries before the fault stay; the next link chunk still loads
        EXPECT_EQ(names(s.state.xdefList), (std::vector<std::string>{"first", "later"}));
        EXPECT_TRUE(s.state.xrefList.empty());
    }
}

TEST(LoaderMalformed, BadBlockTypesAreReportedAndTheRestLoads) {
    struct Case {
        ChunkTag tag;
        uint32_t blockType;
        const char* message;
    };
    const Case cases[] = {
        {ChunkTag::data, 0, "Unknown data block type in %s\n"},
        {ChunkTag::data, 2, "Unknown data block type in %s\n"},
        {ChunkTag::data, 4, "Unknown data block type in %s\n"},
        {ChunkTag::data, 0x101, "Unknown data block type in %s\n"},
        {ChunkTag::bss, 0, "Unknown bss block type in %s\n"},
        {ChunkTag::bss, 1, "Unknown bss block type in %s\n"},
        {ChunkTag::bss, 3, "Unknown bss block type in %s\n"},
        {ChunkTag::bss, 0x102, "Unknown bss block type in %s\n"},
    };
    for (bool libraryMode : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << chunkTagName(uint32_t(c.tag)) << " block type " << c.blockType
                                            << (libraryMode ? " in library mode" : ""));
            Session s;
            s.state.options.libraryMode = libraryMode;
            std::string path = s.load("m.o", ModuleBuilder()
                                                 .words(c.tag, {c.blockType, 0x10})
                                                 .code(kCode4)
                                                 .xdef(SectionKind::code, 0, "entry")
                                                 .end());
            EXPECT_EQ(s.out.str(), errorLine(c.message, path));
            EXPECT_EQ(s.state.errorStatus, -1);
            const Module& m = s.module(0);
            EXPECT_TRUE(m.dataChunk.empty() && m.baseChunk.empty() && m.bssChunk.empty() && m.bssbChunk.empty());
            EXPECT_FALSE(m.codeChunk.empty());
            for (uint32_t section = 1; section < kSectionCount; ++section) EXPECT_EQ(s.state.loading.running[section], 0u);
            EXPECT_EQ(names(libraryMode ? s.state.librarySymbols : s.state.xdefList),
                      std::vector<std::string>{"entry"});
        }
    }
    // code's block type is not examined
    Session s;
    s.load("m.o", ModuleBuilder().section(ChunkTag::code, 7, kCode4).end());
    EXPECT_EQ(s.out.str(), "");
    EXPECT_EQ(s.module(0).codeSize, 4u);
}

TEST(LoaderMalformed, SecondChunkForASectionIsDropped) {
    struct Case {
        const char* section;
        ChunkTag tag;
        uint32_t blockType;
        SectionKind kind;
    };
    const Case cases[] = {
        {"code", ChunkTag::code, 0, SectionKind::code},
        {"data", ChunkTag::data, 1, SectionKind::data},
        {"base", ChunkTag::data, 3, SectionKind::base},
        {"bss", ChunkTag::bss, 2, SectionKind::bss},
        {"bssb", ChunkTag::bss, 4, SectionKind::bssb},
    };
    for (bool libraryMode : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.section << (libraryMode ? " in library mode" : ""));
            const SectionFields& f = kSectionFields[uint32_t(c.kind)];
            Session s;
            s.state.options.libraryMode = libraryMode;
            // payloads of 12 and 20 bytes; for bss the size words 0x10 and 0x20
            std::string path = s.load("dup.o", ModuleBuilder()
                                                   .words(c.tag, {c.blockType, 0x10, 0x11})
                                                   .words(c.tag, {c.blockType, 0x20, 0x21, 0x22, 0x23})
                                                   .end());
            EXPECT_EQ(s.out.str(), errorLine(std::string("Duplicate ") + c.section + " section in %s\n", path));
            EXPECT_EQ(s.state.errorStatus, -1);
            const Module& m = s.module(0);
            EXPECT_EQ(spanBytes(m.*f.chunk), be({c.blockType, 0x10, 0x11}));
            bool isBss = c.tag == ChunkTag::bss;
            uint32_t keptSize = isBss ? 0x10 : libraryMode ? 12 : 8;
            EXPECT_EQ(m.*f.size, keptSize);
            EXPECT_EQ(s.state.loading.running[uint32_t(c.kind)], libraryMode ? 0u : keptSize);
            EXPECT_EQ(s.state.loading.nextStart[uint32_t(c.kind)], libraryMode ? 0u : keptSize);
        }
    }
}

// ---------------------------------------------------------------------------
// Library mode

TEST(LoaderLibrary, KeepsPayloadsWholeAndLaysNothingOut) {
    Session s;
    s.state.options.libraryMode = true;
    Bytes code(100, 0x4E);
    Bytes reloc16 = be({0, 1, 4, 8});
    ModuleBuilder b;
    b.processor(0x54070000, 5)
        .name("libmod")
        .version("3")
        .code(code)
        .data({1, 2, 3, 4, 5, 6})
        .base({7, 8})
        .bss(0x40)
        .bssb(0x50)
        .chunk(ChunkTag::reloc16, reloc16)
        .chunk(ChunkTag::reloc16, reloc16)
        .chunk(ChunkTag::reloc16, reloc16)
        .reloc32(1, 1, {0})
        .drel16(3, {2})
        .xdef(SectionKind::code, 0, "alpha")
        .xref(LINK_ABS32, "beta", {1, 2})
        .xdef(SectionKind::data, 4, "gamma_long_name");
    std::string path = s.load("lib.o", b.end());
    EXPECT_EQ(s.out.str(), "");
    const Module& m = s.module(0);
    EXPECT_EQ(m.fileName, path);
    EXPECT_EQ(m.moduleName, "libmod");
    EXPECT_EQ(m.version, "3");
    EXPECT_EQ(s.state.processorId, 0x54070000u);
    EXPECT_EQ(s.state.processorWord, 5u);
    EXPECT_EQ(s.state.widths.widestModuleName, 6u);

    // sections with bytes count their whole payload; bss counts its size word
    EXPECT_EQ((std::vector<uint32_t>{m.codeSize, m.dataSize, m.baseSize, m.bssSize, m.bssbSize}),
              (std::vector<uint32_t>{104, 10, 6, 0x40, 0x50}));
    EXPECT_EQ(spanBytes(m.codeChunk), be({0}) + code);
    EXPECT_EQ(spanBytes(m.bssbChunk), be({4, 0x50}));
    for (uint32_t section = 0; section < kSectionCount; ++section) {
        EXPECT_EQ(s.state.loading.running[section], 0u);
        EXPECT_EQ(s.state.loading.nextStart[section], 0u);
    }

    ASSERT_EQ(m.reloc16Chunks.size(), 3u);
    EXPECT_EQ(spanBytes(m.reloc16Chunks[2]), reloc16);
    ASSERT_EQ(m.reloc32Chunks.size(), 1u);
    ASSERT_EQ(m.drel16Chunks.size(), 1u);
    EXPECT_EQ(spanBytes(m.drel16Chunks[0]), be({3, 2}));
    EXPECT_TRUE(m.drel16List.empty());

    // the link chunk is kept whole; only its xdefs become library symbols
    Bytes link = LinkPayloadBuilder()
                     .xdef(SectionKind::code, 0, "alpha")
                     .xref(LINK_ABS32, "beta", std::vector<uint32_t>{1, 2})
                     .xdef(SectionKind::data, 4, "gamma_long_name")
                     .finish();
    EXPECT_EQ(spanBytes(m.linkChunk), link);
    EXPECT_EQ(names(s.state.librarySymbols), (std::vector<std::string>{"alpha", "gamma_long_name"}));
    const LinkSymbol& gamma = s.state.librarySymbols[1];
    EXPECT_EQ(gamma.value, 16u);
    EXPECT_EQ(gamma.module, 0);
    EXPECT_EQ(gamma.section, 0);
    EXPECT_EQ(gamma.type, 0x81);

    EXPECT_TRUE(s.state.xdefList.empty());
    EXPECT_TRUE(s.state.xrefList.empty());
    EXPECT_TRUE(s.state.reloc16List.empty() && s.state.reloc32List.empty());
    EXPECT_EQ(s.state.widths.widestXdefName, 6u);
    EXPECT_EQ(s.state.widths.widestXrefName, 6u);
}

TEST(LoaderLibrary, XdefScanGoesEntryByEntry) {
    struct Case {
        const char* what;
        Bytes payload;
        std::vector<std::string> symbols;
        bool malformed;
    };
    const Case cases[] = {
        {"xrefs between xdefs",
         LinkPayloadBuilder()
             .xref(LINK_PCREL16, "before", std::vector<uint32_t>{0, 4, 8})
             .xdef(SectionKind::code, 0, "one")
             .xref(LINK_REL8, "middle", std::vector<uint32_t>{})
             .xref(LINK_ABS16, "mid2", std::vector<uint32_t>{2})
             .xdef(SectionKind::bssb, 0, "two")
             .xref(LINK_ABS32, "after", std::vector<uint32_t>{6})
             .finish(),
         {"one", "two"},
         false},
        {"terminator only", be({kLinkTerminator}), {}, false},
        // words of other kinds are passed over one at a time
        {"one-word entries", be({0x03000008, 0x7F000004, 0xFF000001}) +
                                 LinkPayloadBuilder().xdef(SectionKind::data, 0, "three").finish(),
         {"three"},
         false},
        {"no terminator", linkEntries(LinkPayloadBuilder().xdef(SectionKind::code, 0, "kept")), {"kept"}, true},
        {"xdef name field runs past",
         linkEntries(LinkPayloadBuilder().xdef(SectionKind::code, 0, "kept")) + be({0x80000010, 0}) +
             Bytes{'a', 0, 0, 0},
         {"kept"},
         true},
        {"xdef value runs past", linkEntries(LinkPayloadBuilder().xdef(SectionKind::code, 0, "kept")) + be({0x80000004}),
         {"kept"},
         true},
        // an xref offset word that would read as an xdef entry word with a huge name field
        {"xref offset like an xdef word", LinkPayloadBuilder()
                                              .xdef(SectionKind::code, 0, "kept")
                                              .xref(LINK_ABS32, "odd", std::vector<uint32_t>{0x80FFFFFC})
                                              .finish(),
         {"kept"},
         false},
        // UTF-8 em dashes put 0x80 at the top of the name's second word
        {"xref name with bytes of 0x80 and above",
         LinkPayloadBuilder().xref(LINK_ABS32, "abc\u2014\u2014", std::vector<uint32_t>{0}).finish(), {}, false},
        // offsets that spell an xdef of "zzz" add no phantom symbol
        {"xref offsets spelling an xdef",
         LinkPayloadBuilder().xref(LINK_ABS32, "e", std::vector<uint32_t>{0x80000004, 0, 0x7A7A7A00}).finish(),
         {},
         false},
        {"xref count past the payload", be({0x02000004, 1000, 0x61000000, 0, kLinkTerminator}), {}, true},
        {"xref offsets past the payload after an xdef",
         linkEntries(LinkPayloadBuilder().xdef(SectionKind::code, 0, "kept")) + be({0x02000004, 2, 0x61000000, 0}),
         {"kept"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session s;
        s.state.options.libraryMode = true;
        std::string path = s.load("lib.o", ModuleBuilder().chunk(ChunkTag::link, c.payload).end());
        EXPECT_EQ(s.out.str(), c.malformed ? errorLine("Malformed link chunk in %s\n", path) : "");
        EXPECT_EQ(names(s.state.librarySymbols), c.symbols);
        EXPECT_EQ(spanBytes(s.module(0).linkChunk), c.payload);  // kept whole all the same
    }
}

TEST(LoaderLibrary, ModeIsTestedForEveryFile) {
    Session s;
    s.load("linked.o", ModuleBuilder().code(kCode4).xdef(SectionKind::code, 0, "inlink").end());
    s.state.options.libraryMode = true;
    s.load("packed.o", ModuleBuilder().code(kCode4).xdef(SectionKind::code, 0, "inlib").end());
    s.load("plain.o", ModuleBuilder().code(kCode4).end());
    EXPECT_EQ(s.out.str(), "");
    EXPECT_EQ(names(s.state.xdefList), std::vector<std::string>{"inlink"});
    EXPECT_EQ(names(s.state.librarySymbols), std::vector<std::string>{"inlib"});
    EXPECT_EQ(s.state.librarySymbols[0].module, 1);
    EXPECT_EQ(s.module(0).codeSize, 4u);
    EXPECT_EQ(s.module(1).codeSize, 8u);
    EXPECT_EQ(s.state.loading.running[0], 4u);
    // a module without a link chunk adds no symbols
    EXPECT_TRUE(s.module(2).linkChunk.empty());
}

TEST(LoaderLibrary, ShortPayloadsAreMalformedAsInALink) {
    Session s;
    s.state.options.libraryMode = true;
    std::string path = s.load("lib.o", ModuleBuilder()
                                           .chunk(ChunkTag::code, Bytes{0, 0})
                                           .chunk(ChunkTag::reloc32, Bytes(6, 0))
                                           .data({1})
                                           .end());
    EXPECT_EQ(s.out.str(), errorLine("Malformed code chunk in %s\n", path) +
                               errorLine("Malformed reloc32 chunk in %s\n", path));
    EXPECT_TRUE(s.module(0).codeChunk.empty());
    EXPECT_TRUE(s.module(0).reloc32Chunks.empty());
    EXPECT_EQ(s.module(0).dataSize, 5u);
}

}  // namespace
}  // namespace tarnel::test
