// The `symbol` and `debug` chunks: their readers take back what the builders
// write and stop, never reading outside the payload, wherever a payload is
// cut; and a link is the same, every output and report of it byte for byte,
// whether its modules carry these chunks or not.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <tuple>

#include "harness.hpp"
#include "objfmt/debug_chunk.hpp"
#include "objfmt/loader.hpp"
#include "objfmt/symbol_chunk.hpp"

namespace tarnel::test {
namespace {

using Status = PayloadWalkEnd::Status;

Bytes symbolPayload() {
    return SymbolPayloadBuilder("main.c")
        .symbol(0, SymbolBinding::local, uint8_t(SymbolType::function), 0x10, 0x2A, "sum_to")
        .symbol(2, SymbolBinding::local, uint8_t(SymbolType::object), 0, 4, "printed")
        .symbol(1, SymbolBinding::global, uint8_t(SymbolType::object), 8, 8, "lines")
        .symbol(kAbsoluteSymbol, SymbolBinding::local, uint8_t(SymbolType::none), 0xFC060000, 0, "UART0")
        .finish();
}

TEST(SymbolChunk, ReadsWhatTheBuilderWrites) {
    const Bytes payload = symbolPayload();
    const SymbolChunk chunk = readSymbolChunk(payload);
    ASSERT_TRUE(chunk.whole());
    EXPECT_EQ(chunk.end.offset, payload.size());
    EXPECT_EQ(chunk.version, 1u);
    ASSERT_TRUE(chunk.file && chunk.count);
    EXPECT_EQ(chunk.file->name, "main.c");
    EXPECT_EQ(chunk.file->fieldLength, 8u);
    EXPECT_EQ(*chunk.count, 4u);
    ASSERT_EQ(chunk.entries.size(), 4u);
    const SymbolEntry& f = chunk.entries[0];
    EXPECT_EQ(f.offset, 20u);
    EXPECT_EQ(std::tuple(f.section, f.binding, f.type, f.value, f.size, f.name.name),
              std::tuple(uint8_t(0), uint8_t(0), uint8_t(2), 0x10u, 0x2Au, std::string_view("sum_to")));
    const SymbolEntry& a = chunk.entries[3];
    EXPECT_EQ(std::tuple(a.section, a.binding, a.type, a.value, a.size, a.name.name),
              std::tuple(kAbsoluteSymbol, uint8_t(0), uint8_t(0), 0xFC060000u, 0u, std::string_view("UART0")));
}

// Cut anywhere, the payload is never read past its end, and the pieces
// before the cut stand.
struct CutRow {
    size_t length;
    const char* what;
    size_t at;       // where the bytes not read begin
    size_t entries;  // entries (or, for debug, sections) read whole
};

TEST(SymbolChunk, ACutPayloadSaysWhatRunsPast) {
    const Bytes payload = symbolPayload();
    // version 0..4, file field length 4..8, "main.c" field 8..16, count 16..20,
    // the first entry 20..44 (16 + "sum_to" in 8), the second 44..68
    const CutRow rows[] = {
        {0, "the version word", 0, 0},    {3, "the version word", 0, 0},    {4, "the file name field", 4, 0},
        {15, "the file name field", 4, 0}, {19, "the count word", 16, 0},     {20, "an entry", 20, 0},
        {35, "an entry", 20, 0},          {44, "an entry", 44, 1},          {payload.size() - 1, "an entry", 92, 3},
    };
    for (const CutRow& r : rows) {
        SCOPED_TRACE(r.length);
        const SymbolChunk chunk = readSymbolChunk(std::span(payload).first(r.length));
        EXPECT_EQ(chunk.end.status, Status::cut);
        EXPECT_STREQ(chunk.end.what, r.what);
        EXPECT_EQ(chunk.end.offset, r.at);
        EXPECT_EQ(chunk.entries.size(), r.entries);
    }
    for (size_t n = 0; n < payload.size(); ++n) EXPECT_FALSE(readSymbolChunk(std::span(payload).first(n)).whole()) << n;
}

TEST(SymbolChunk, AnotherVersionIsNotRead) {
    Bytes payload = symbolPayload();
    payload[3] = 2;
    const SymbolChunk chunk = readSymbolChunk(payload);
    EXPECT_EQ(chunk.end.status, Status::otherVersion);
    EXPECT_EQ(chunk.version, 2u);
    EXPECT_EQ(chunk.end.offset, 4u);
    EXPECT_FALSE(chunk.file);
}

Bytes debugPayload() {
    const Bytes info = {1, 2, 3, 4, 5, 6, 7, 8, 9};  // 9 bytes: three of padding follow
    const Bytes str = {'a', 0, 'b', 'c', 0, 0, 0, 0};
    const DebugPayloadBuilder::Reloc infoRelocs[] = {
        {0, debugTargetWord(DebugTarget::debugSection, 1), 2},
        {4, debugTargetWord(DebugTarget::part, 2), 0x10},
        {5, debugTargetWord(DebugTarget::name, 1), 0xFFFFFFFC},
    };
    return DebugPayloadBuilder()
        .name("table")
        .name("other_module_function")
        .section(".debug_info", 1, info, infoRelocs)
        .section(".debug_str", 1, str, {})
        .finish();
}

TEST(DebugChunk, ReadsWhatTheBuilderWrites) {
    const Bytes payload = debugPayload();
    const DebugChunk chunk = readDebugChunk(payload);
    ASSERT_TRUE(chunk.whole());
    EXPECT_EQ(chunk.end.offset, payload.size());
    ASSERT_TRUE(chunk.head);
    EXPECT_EQ(chunk.head->sectionCount, 2u);
    EXPECT_EQ(chunk.head->nameCount, 2u);
    ASSERT_EQ(chunk.names.size(), 2u);
    EXPECT_EQ(chunk.names[0].name, "table");
    EXPECT_EQ(chunk.names[1].name, "other_module_function");
    ASSERT_EQ(chunk.sections.size(), 2u);
    const DebugSection& info = chunk.sections[0];
    EXPECT_EQ(info.name.name, ".debug_info");
    EXPECT_EQ(std::tuple(info.align, info.size, info.relocCount), std::tuple(1u, 9u, 3u));
    EXPECT_EQ(Bytes(info.bytes.begin(), info.bytes.end()), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(Bytes(info.padding.begin(), info.padding.end()), (Bytes{0, 0, 0}));
    auto reloc = [](const DebugReloc& r) { return std::tuple(r.offset, r.kind, r.index, r.addend); };
    EXPECT_EQ(reloc(info.reloc(0)), std::tuple(0u, uint8_t(1), 1u, 2u));
    EXPECT_EQ(reloc(info.reloc(1)), std::tuple(4u, uint8_t(0), 2u, 0x10u));
    EXPECT_EQ(reloc(info.reloc(2)), std::tuple(5u, uint8_t(2), 1u, 0xFFFFFFFCu));
    EXPECT_EQ(chunk.sections[1].name.name, ".debug_str");
    EXPECT_TRUE(chunk.sections[1].padding.empty());
}

TEST(DebugChunk, ACutPayloadSaysWhatRunsPast) {
    const Bytes payload = debugPayload();
    // version 0..4, counts 4..12, "table" 12..24, the long name 24..52,
    // .debug_info 52..68 (name) ..80 (words) ..92 (bytes, padding) ..128 (relocations)
    const CutRow rows[] = {
        {2, "the version word", 0, 0}, {4, "the count words", 4, 0}, {11, "the count words", 4, 0},
        {12, "a name", 12, 0},         {51, "a name", 24, 0},        {52, "a section", 52, 0},
        {88, "a section", 52, 0},      {90, "a section", 52, 0},     {127, "a section", 52, 0},
        {128, "a section", 128, 1},
    };
    for (const CutRow& r : rows) {
        SCOPED_TRACE(r.length);
        const DebugChunk chunk = readDebugChunk(std::span(payload).first(r.length));
        EXPECT_EQ(chunk.end.status, Status::cut);
        EXPECT_STREQ(chunk.end.what, r.what);
        EXPECT_EQ(chunk.end.offset, r.at);
        EXPECT_EQ(chunk.sections.size(), r.entries);
    }
    for (size_t n = 0; n < payload.size(); ++n) EXPECT_FALSE(readDebugChunk(std::span(payload).first(n)).whole()) << n;
}

// The example's modules with a `symbol` and a `debug` chunk before the end
// tag: one pair well formed, the other pair anything at all.
Bytes withChunks(const Bytes& module, bool wellFormed) {
    const Bytes end(std::begin(kEndTag), std::end(kEndTag));
    EXPECT_TRUE(module.size() > 4 && Bytes(module.end() - 4, module.end()) == end);
    ByteBuilder chunks;
    chunks.chunk(ChunkTag::symbol, wellFormed ? symbolPayload() : Bytes{0xFF, 1, 2});
    chunks.chunk(ChunkTag::debug, wellFormed ? debugPayload() : be({7, 0xFFFFFFFF}));
    return Bytes(module.begin(), module.end() - 4) + chunks.bytes() + end;
}

// A link keeps the first `symbol` and `debug` payload of each module, as
// spans into the input bytes; a library being packed keeps none.
TEST(SymbolDebugChunks, TheLoaderKeepsTheFirstOfEach) {
    ScratchDir dir;
    const Bytes symbols = symbolPayload(), debug = debugPayload();
    const std::string path = dir.write("m.o", ModuleBuilder()
                                                  .code({0x4E, 0x75, 0, 0})
                                                  .chunk(ChunkTag::debug, debug)
                                                  .chunk(ChunkTag::symbol, symbols)
                                                  .chunk(ChunkTag::symbol, {1, 2, 3, 4})
                                                  .chunk(ChunkTag::debug, {5, 6, 7, 8})
                                                  .end());
    for (bool library : {false, true}) {
        std::ostringstream out;
        LinkState state(out);
        linkerStartup(state);
        state.options.libraryMode = library;
        loadObjectFile(state, path);
        const Module& m = state.modules[0];
        EXPECT_EQ(Bytes(m.symbolChunk.begin(), m.symbolChunk.end()), library ? Bytes{} : symbols);
        EXPECT_EQ(Bytes(m.debugChunk.begin(), m.debugChunk.end()), library ? Bytes{} : debug);
        EXPECT_EQ(out.str(), "");
        linkerTeardown(state);
    }
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Every output and report of a link is the same, byte for byte, with or
// without the modules' `symbol` and `debug` chunks: the link reads neither,
// and a library packs neither. (The link record, made for looking at the
// link, takes its definitions' sizes from the `symbol` chunks.)
TEST(SymbolDebugChunks, ALinkIsTheSameWithOrWithoutThem) {
    const std::string obj = std::string(TARNEL_SOURCE_DIR) + "/examples/hello/obj/";
    const std::vector<std::string> modules = {"start.o", "uart.o", "digits.o", "main.o"};
    const std::vector<std::vector<std::string>> runs = {
        {"-m", "-o", "out"},                          // executable, with the map
        {"-m", "-ehello", "-o", "out"},               // embedded object
        {"-m", "-r40000000", "-o", "out"},            // ROM image
        {"-b", "-s40000000", "-o", "out"},            // S-records
        {"-m", "-r0x40000000", "--ram=0x80000000", "--rom-size=64K", "--ram-size=16K", "-o", "out"},
        {"-g", "-o", "out"},                          // library
    };
    for (const std::vector<std::string>& run : runs) {
        SCOPED_TRACE(run.front() + " " + run[1]);
        std::vector<std::string> args(run.begin(), run.end() - 2);
        args.insert(args.end(), modules.begin(), modules.end());
        args.insert(args.end(), run.end() - 2, run.end());
        ScratchDir dir;
        struct Outcome {
            RunResult result;
            Bytes output;
        };
        auto link = [&](int variant) {
            for (size_t i = 0; i < modules.size(); ++i) {
                const Bytes plain = readFile(obj + modules[i]);
                dir.write(modules[i], variant == 0 ? plain : withChunks(plain, (i + variant) % 2 == 0));
            }
            Outcome o{runLinker(dir, args), dir.read("out")};
            EXPECT_EQ(o.result.status, 0) << o.result.out;
            return o;
        };
        const Outcome plain = link(0);
        ASSERT_FALSE(plain.output.empty());
        // both pairings of well-formed and malformed chunks with the modules
        for (int variant : {1, 2}) {
            const Outcome with = link(variant);
            EXPECT_EQ(with.result.out, plain.result.out);
            EXPECT_EQ(with.output, plain.output);
        }
    }
}

}  // namespace
}  // namespace tarnel::test
