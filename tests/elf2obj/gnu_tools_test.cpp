// The converter on objects that the GNU m68k compiler and assembler make:
// what it refuses and accepts where that depends on what they write
// (section alignment, e_flags for each processor, unwind tables, quoted
// names), and a weak default interrupt handler overridden in another module,
// converted with -d and linked. Skipped where m68k-linux-gnu-gcc is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "elf2obj.hpp"
#include "elf_file.hpp"
#include "harness.hpp"
#include "objfmt/debug_chunk.hpp"
#include "objfmt/symbol_chunk.hpp"

namespace tarnel::test {
namespace {

class GnuTools : public testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v m68k-linux-gnu-gcc >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "m68k-linux-gnu-gcc is not installed (apt-get install gcc-m68k-linux-gnu)";
    }

    // Compiles or assembles the source `name` (.c or .s) into NAME.o in the folder.
    static void build(const ScratchDir& dir, const std::string& name, const std::string& source,
                      const std::string& flags) {
        dir.writeText(name, source);
        const std::string command = "cd '" + dir.path("") + "' && m68k-linux-gnu-gcc " + flags + " -c " + name +
                                    " -o " + name.substr(0, name.rfind('.')) + ".o 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    // Runs the converter in-process; the folder's path is left out of what it prints.
    static std::pair<int, std::string> convert(const ScratchDir& dir, std::vector<std::string> args) {
        for (std::string& a : args)
            if (a.ends_with(".o") || a == "conv") a = dir.path(a);
        args.insert(args.begin(), "tarnel-elf2obj");
        std::ostringstream out, err;
        int status = elf2obj::runElf2obj(args, out, err);
        std::string text = err.str();
        for (size_t at; (at = text.find(dir.path(""))) != std::string::npos;) text.erase(at, dir.path("").size());
        return {status, text};
    }
};

constexpr const char* kNotConverted = "tarnel-elf2obj: t.o: not converted: the object format cannot express the above\n";
constexpr const char* kAlignRemedy =
    " bytes; the linker places module parts at multiples of 4 only: align it to at most 4 (in C: drop the aligned "
    "attribute or lower it to 4)\n";

struct GccCase {
    const char* what;
    const char* name;  // t.c or t.s
    const char* source;
    const char* flags;
    std::string err;  // empty: converted
    const char* holds = nullptr;  // a section the object must hold for the row to mean anything
};

const GccCase kGccCases[] = {
    {"an array aligned to 256", "t.c", "int table[4] __attribute__((aligned(256)));\n", "-mcpu=5208 -O2 -fno-common",
     std::string("tarnel-elf2obj: t.o: .bss+0x0: '.bss': section aligned to 256") + kAlignRemedy + kNotConverted},
    {"a long long aligned to 16", "t.c", "long long big __attribute__((aligned(16))) = 5;\n", "-mcpu=5208 -O2",
     std::string("tarnel-elf2obj: t.o: .data+0x0: '.data': section aligned to 16") + kAlignRemedy + kNotConverted},
    {"code for the compiler's default processor", "t.c", "int f(int a) { return a * 3; }\n", "-O2",
     "tarnel-elf2obj: t.o: compiled for 68020, not ColdFire: add -mcpu=5208\n"},
    {"68040 code", "t.c", "int f(int a) { return a * 3; }\n", "-mcpu=68040 -O2",
     "tarnel-elf2obj: t.o: compiled for 68020, not ColdFire: add -mcpu=5208\n"},
    {"68000 code", "t.c", "int f(int a) { return a * 3; }\n", "-mcpu=68000 -O2",
     "tarnel-elf2obj: t.o: compiled for 68000, not ColdFire: add -mcpu=5208\n"},
    {"CPU32 code", "t.c", "int f(int a) { return a * 3; }\n", "-mcpu=cpu32 -O2",
     "tarnel-elf2obj: t.o: compiled for CPU32, not ColdFire: add -mcpu=5208\n"},
    {"5208 code", "t.c", "int f(int a) { return a * 3; }\n", "-mcpu=5208 -O2", ""},
    {"5206 code", "t.c", "int f(int a) { return a * 3; }\n", "-mcpu=5206 -O2", ""},
    {"5407 code", "t.c", "int f(int a) { return a * 3; }\n", "-mcpu=5407 -O2", ""},
    {"547x code", "t.c", "int f(int a) { return a * 3; }\n", "-mcpu=547x -O2", ""},
    {"data alone, which has e_flags 0 whatever the processor", "t.c", "const int t[2] = {1, 2};\n", "-O2", ""},
    {"a table in .text, assembled without an instruction", "t.s",
     "\t.text\n\t.globl hex\nhex:\t.ascii \"0123456789ABCDEF\"\n", "-mcpu=5208", ""},
    {"unwind tables", "t.c", "void g(void);\nvoid f(void) { g(); }\n",
     "-mcpu=5208 -O2 -fexceptions -fasynchronous-unwind-tables", "", ".eh_frame"},
    {"a quoted name of an alias's form", "t.s", "\t.data\n\t.globl \"tab+0x4\"\n\"tab+0x4\":\n\t.long 1\n",
     "-mcpu=5208",
     std::string("tarnel-elf2obj: t.o: .data+0x0: 'tab+0x4': name of the form of an alias, which -d gives to a "
                 "symbol plus an offset (sym+0x4); rename it\n") +
         kNotConverted},
};

TEST_F(GnuTools, WhatTheCompilerWritesIsConvertedOrRefused) {
    for (const GccCase& c : kGccCases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        build(dir, c.name, c.source, c.flags);
        if (c.holds) {
            Bytes bytes = dir.read("t.o");
            elf::File file;
            std::string error;
            ASSERT_TRUE(elf::readFile(bytes, file, error)) << error;
            bool found = false;
            for (const elf::Section& s : file.sections) found |= s.name == c.holds;
            ASSERT_TRUE(found) << "the compiler wrote no " << c.holds;
        }
        auto [status, err] = convert(dir, {"t.o", "-o", "out.o"});
        EXPECT_EQ(err, c.err);
        EXPECT_EQ(status, c.err.empty() ? 0 : 1);
        EXPECT_EQ(dir.exists("out.o"), c.err.empty());
    }
}

// A line of the link map about a name: an xdef's address and module, or an
// xref's field offset within its module's section and the whole line.
struct MapLine {
    uint32_t address;
    std::string module, line;
};

// The xdef lines (module given) or xref lines of `name` in a link map.
std::vector<MapLine> mapLines(const std::string& map, const std::string& name, bool xdefs) {
    std::vector<MapLine> lines;
    std::istringstream in(map);
    std::string line, section;
    while (std::getline(in, line)) {
        if (line.starts_with("xdef (") || line.starts_with("xref (")) section = line.substr(0, 4);
        std::istringstream words(line);
        std::string first, numbers;
        if (!(words >> first >> numbers) || first != name || section != (xdefs ? "xdef" : "xref")) continue;
        unsigned initial = 0, calculated = 0;
        if (xdefs && std::sscanf(numbers.c_str(), "%x(%x)", &initial, &calculated) == 2) {
            size_t at = line.find("in module: ");
            lines.push_back({calculated, line.substr(at + 11, line.find(' ', at + 11) - at - 11), line});
        } else if (!xdefs && std::sscanf(numbers.c_str(), "%x", &initial) == 1) {
            lines.push_back({initial, "", line});
        }
    }
    return lines;
}

// The usual weak default handler: startup.c defines a weak uart_isr, puts it
// in its vector table and calls it; uart.c overrides it. Converted with -d
// and linked at 0 (startup.c's code first), every field that refers to
// uart_isr holds uart.c's.
TEST_F(GnuTools, AWeakDefaultHandlerIsOverriddenByTheOtherModulesDefinition) {
    ScratchDir dir;
    const char* flags = "-mcpu=5208 -O2 -ffreestanding -fno-pic -fno-common";
    build(dir, "startup.c",
          "__attribute__((weak)) void uart_isr(void) {}\n"
          "void (*const vectors[])(void) = {uart_isr};\n"
          "int run(void) { uart_isr(); return 0; }\n",
          flags);
    build(dir, "uart.c", "volatile int hits;\nvoid uart_isr(void) { hits++; }\n", flags);
    auto [status, err] = convert(dir, {"-d", "conv", "startup.o", "uart.o", "--cpu", "5208"});
    ASSERT_EQ(status, 0) << err;
    RunResult link = runLinker(dir, {"-m", "-r0", "conv/startup.o", "conv/uart.o", "-o", "rom.bin"});
    ASSERT_EQ(link.status, 0) << link.out;

    const std::vector<MapLine> isr = mapLines(link.out, "uart_isr", true);
    ASSERT_EQ(isr.size(), 1u) << link.out;
    EXPECT_EQ(isr[0].module, "uart.c");
    // the vector and the call, both in startup.c, whose code starts at 0
    const std::vector<MapLine> fields = mapLines(link.out, "uart_isr", false);
    ASSERT_EQ(fields.size(), 2u) << link.out;
    const Bytes rom = dir.read("rom.bin");
    for (const MapLine& field : fields) {
        if (field.line.find("absolute   32-bit") == std::string::npos) continue;
        ASSERT_LE(field.address + 4, rom.size());
        EXPECT_EQ(readWordBE(&rom[field.address]), isr[0].address) << field.line;
    }
    const std::vector<MapLine> vectors = mapLines(link.out, "vectors", true);
    ASSERT_EQ(vectors.size(), 1u) << link.out;
    EXPECT_EQ(readWordBE(&rom[vectors[0].address]), isr[0].address);
}

// What gcc and gas write for -g converts: the module of an object compiled
// with -g is the one compiled without, plus the `symbol` and `debug` chunks
// before its end tag, which --strip-debug leaves out; they hold the
// object's debugging sections whole, every relocation expressed.
TEST_F(GnuTools, DebuggingInformationConvertsAtEveryLevel) {
    const char* source =
        "struct point { int x, y; };\n"
        "static int calls;\n"
        "int table[4] = {1, 2, 3, 4};\n"
        "extern int other(int);\n"
        "static int helper(int v) { calls += v; return calls * 3; }\n"
        "int run(void) { struct point p = {1, 2}; for (int i = 0; i < 3; i++) p.x += helper(i) + table[i + 1];\n"
        "    return other(p.x) + p.y; }\n";
    const char* assembly = "\t.text\n\t.globl f\nf:\tmoveq #1,%d0\n\trts\n";
    for (const char* level : {"-O0", "-Os", "-O2"}) {
        for (const char* name : {"t.c", "t.s"}) {
            SCOPED_TRACE(std::string(level) + " " + name);
            ScratchDir dir;
            const std::string flags = std::string("-mcpu=5208 -ffreestanding -fno-pic -fno-common ") + level;
            const char* text = std::string_view(name) == "t.c" ? source : assembly;
            build(dir, name, text, flags);
            ASSERT_EQ(convert(dir, {"t.o", "-o", "plain.o"}).first, 0);
            build(dir, name, text, flags + " -g");
            auto [status, err] = convert(dir, {"t.o", "-o", "debug.o"});
            ASSERT_EQ(status, 0) << err;
            ASSERT_EQ(convert(dir, {"t.o", "-o", "stripped.o", "--strip-debug"}).first, 0);
            const Bytes plain = dir.read("plain.o"), debug = dir.read("debug.o");
            EXPECT_EQ(hexBytes(dir.read("stripped.o")), hexBytes(plain));
            ASSERT_GT(debug.size(), plain.size());
            EXPECT_EQ(hexBytes(Bytes(debug.begin(), debug.begin() + ptrdiff_t(plain.size() - 4))),
                      hexBytes(Bytes(plain.begin(), plain.end() - 4)));
            // what follows: a symbol chunk, a debug chunk, the end tag
            std::vector<uint32_t> tags;
            std::vector<std::span<const uint8_t>> payloads;
            walkChunks(std::span<const uint8_t>(debug).subspan(plain.size() - 4), 0, [&](const Chunk& c) {
                tags.push_back(c.tag);
                payloads.push_back(c.payload);
            });
            ASSERT_EQ(tags, (std::vector<uint32_t>{tagWord(ChunkTag::symbol), tagWord(ChunkTag::debug),
                                                   tagWord(ChunkTag::end)}));
            const SymbolChunk symbols = readSymbolChunk(payloads[0]);
            ASSERT_TRUE(symbols.whole());
            // the assembly names no source file: the input's name stands for it
            EXPECT_EQ(symbols.file->name, std::string_view(name) == "t.c" ? "t.c" : "t.o");
            const DebugChunk chunk = readDebugChunk(payloads[1]);
            ASSERT_TRUE(chunk.whole());
            std::vector<std::string> sections;
            for (const DebugSection& s : chunk.sections) sections.emplace_back(s.name.name);
            EXPECT_NE(std::find(sections.begin(), sections.end(), ".debug_info"), sections.end());
            EXPECT_NE(std::find(sections.begin(), sections.end(), ".debug_line"), sections.end());
        }
    }
}

}  // namespace
}  // namespace tarnel::test
