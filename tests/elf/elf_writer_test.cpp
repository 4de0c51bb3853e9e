#include <gtest/gtest.h>

#include "elf_writer.hpp"

namespace tarnel::elf {
namespace {

struct FlagsRow {
    uint32_t processorId, flags;
};

// e_flags as m68k-linux-gnu-as -mcpu=MODEL writes them
TEST(ElfFlags, PerProcessorModel) {
    const FlagsRow rows[] = {
        {0x52060020, 0x01}, {0x52080000, 0x23}, {0x52490000, 0x22}, {0x53070000, 0x12},
        {0x54070000, 0x14}, {0x54750000, 0x8065}, {0x52110000, 0x13}, {0x12340000, 0x01},
    };
    for (const FlagsRow& r : rows) EXPECT_EQ(elfFlagsFor(r.processorId), r.flags) << std::hex << r.processorId;
}

}  // namespace
}  // namespace tarnel::elf

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "driver/tarnel.hpp"
#include "module_builder.hpp"
#include "objfmt/chunk.hpp"

namespace tarnel::elf {
namespace {

const std::string kObj = std::string(TARNEL_SOURCE_DIR) + "/examples/hello/obj/";

std::vector<std::string> helloArgs(const std::string& option, const std::string& out) {
    std::vector<std::string> a{"tarnel-elf"};
    if (!option.empty()) a.push_back(option);
    for (const char* m : {"start.o", "uart.o", "digits.o", "main.o"}) a.push_back(kObj + m);
    a.push_back("-o");
    a.push_back(out);
    return a;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

uint32_t be32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 | uint32_t(uint8_t(b[at + 2])) << 8 |
           uint32_t(uint8_t(b[at + 3]));
}
uint32_t be16(const std::string& b, size_t at) { return uint32_t(uint8_t(b[at])) << 8 | uint8_t(b[at + 1]); }

struct HeaderRow {
    std::string option;
    uint32_t entry;
    uint32_t dataAddress;  // the second program header's address
};

TEST(ElfWriter, HeaderAndSegmentsAtTheImageStart) {
    const HeaderRow rows[] = {{"", 0, 0x1a8}, {"-r0", 0, 0x1a8}, {"-r40000000", 0x40000000, 0x400001a8},
                              {"-b", 0, 0x1a8}, {"-s1000", 0x1000, 0x11a8}};
    const std::string out = ::testing::TempDir() + "elf_header_test.elf";
    for (const HeaderRow& r : rows) {
        std::ostringstream log;
        ASSERT_EQ(runTarnelElf(helloArgs(r.option, out), log), 0) << log.str();
        const std::string b = readAll(out);
        ASSERT_GE(b.size(), 52u + 64u);
        EXPECT_EQ(b.substr(0, 6), std::string("\x7f" "ELF\x01\x02", 6)) << r.option;
        EXPECT_EQ(be16(b, 16), 2u) << r.option;     // ET_EXEC
        EXPECT_EQ(be16(b, 18), 4u) << r.option;     // EM_68K
        EXPECT_EQ(be32(b, 24), r.entry) << r.option;
        EXPECT_EQ(be32(b, 36), 0x23u) << r.option;  // the example is for the 5208
        EXPECT_EQ(be32(b, 52 + 8), r.entry) << r.option;
        EXPECT_EQ(be32(b, 52 + 32 + 8), r.dataAddress) << r.option;
        // the code segment's bytes start with the image's first code byte
        EXPECT_EQ(be32(b, 52 + 16), 0x1a8u) << r.option;
    }
    std::remove(out.c_str());
}

TEST(ElfWriter, LibraryAndEmbeddedOutputsAreRefused) {
    for (const char* option : {"-g", "-elabel"}) {
        std::ostringstream log;
        EXPECT_EQ(runTarnelElf(helloArgs(option, ::testing::TempDir() + "refused.elf"), log), 1) << option;
        EXPECT_NE(log.str().find(std::string("-") + option[1] + " is refused"), std::string::npos) << log.str();
    }
}

// without -r the ELF is a ROM image at 0, so the report is that of -r0
TEST(ElfWriter, FailingLinkReportsAsTarnel) {
    std::vector<std::string> args{"tarnel", "-r0", kObj + "main.o", "-o", ::testing::TempDir() + "unresolved.elf"};
    std::ostringstream elfLog, tarnelLog;
    const int elfStatus = runTarnelElf(args, elfLog);
    EXPECT_EQ(elfStatus, runTarnel(args, tarnelLog));
    EXPECT_EQ(elfStatus, 1);
    EXPECT_EQ(elfLog.str(), tarnelLog.str());
}

// The symbols of an ELF as the GNU tools read them: name, value, size, type.
struct ElfSymbol {
    std::string name;
    uint32_t value, size;
    uint8_t type;
    bool operator==(const ElfSymbol&) const = default;
};

struct ElfTables {
    std::vector<std::string> stringTables;  // every SHT_STRTAB section's bytes
    std::vector<ElfSymbol> globals;
};

ElfTables readTables(const std::string& b) {
    ElfTables t;
    const uint32_t shoff = be32(b, 32), shnum = be16(b, 48);
    auto sh = [&](uint32_t i, uint32_t field) { return be32(b, shoff + 40 * i + 4 * field); };
    for (uint32_t i = 0; i < shnum; ++i)
        if (sh(i, 1) == 3) t.stringTables.push_back(b.substr(sh(i, 4), sh(i, 5)));
    for (uint32_t i = 0; i < shnum; ++i) {
        if (sh(i, 1) != 2) continue;  // SHT_SYMTAB
        const uint32_t names = sh(sh(i, 6), 4);
        for (uint32_t at = sh(i, 4) + 16 * sh(i, 7); at < sh(i, 4) + sh(i, 5); at += 16)
            t.globals.push_back({std::string(b.c_str() + names + be32(b, at)), be32(b, at + 4), be32(b, at + 8),
                                 uint8_t(uint8_t(b[at + 12]) & 0xF)});
    }
    return t;
}

// Each symbol reaches up to the next definition of its module's part, or the
// part's end; a second definition of a name is no symbol of its own but still
// ends the one before it; every string table begins with its NUL byte.
TEST(ElfWriter, SymbolSizesAndStringTables) {
    const std::string dir = ::testing::TempDir();
    auto write = [&](const std::string& name, const test::Bytes& bytes) {
        std::ofstream(dir + name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                          std::streamsize(bytes.size()));
        return dir + name;
    };
    const std::string a = write("elf_sizes_a.o", test::ModuleBuilder()
                                                     .code(test::Bytes(0x20, 0x4E))
                                                     .data(test::Bytes(8, 1))
                                                     .xdef(SectionKind::code, 0x10, "late")
                                                     .xdef(SectionKind::code, 0, "first")
                                                     .xdef(SectionKind::code, 0, "alias")
                                                     .xdef(SectionKind::data, 4, "table")
                                                     .end());
    const std::string b = write("elf_sizes_b.o", test::ModuleBuilder()
                                                     .code(test::Bytes(0xC, 0x4E))
                                                     .xdef(SectionKind::code, 0, "other")
                                                     .xdef(SectionKind::code, 6, "first")
                                                     .end());
    const std::string out = dir + "elf_sizes.elf";
    std::ostringstream log;
    ASSERT_EQ(runTarnelElf({"tarnel-elf", "-r1000", a, b, "-o", out}, log), 0) << log.str();
    const ElfTables t = readTables(readAll(out));
    ASSERT_EQ(t.stringTables.size(), 2u);
    for (const std::string& table : t.stringTables) EXPECT_EQ(table.substr(0, 1), std::string(1, '\0'));
    const std::vector<ElfSymbol> expected = {
        {"late", 0x1010, 0x10, 2}, {"first", 0x1000, 0x10, 2}, {"alias", 0x1000, 0x10, 2},
        {"table", 0x102C + 4, 4, 1}, {"other", 0x1020, 6, 2},
    };
    EXPECT_EQ(t.globals, expected);
    for (const std::string& f : {a, b, out}) std::remove(f.c_str());
}

// A link of many definitions (enough for a second thread to size them) keeps
// the first definition of each name only, at its own address and size.
TEST(ElfWriter, ManyDefinitionsKeepTheFirstOfEachName) {
    const std::string dir = ::testing::TempDir();
    constexpr uint32_t kNames = 20000;
    auto write = [&](const std::string& name, uint32_t from, uint32_t to) {
        test::ModuleBuilder b;
        b.code(test::Bytes(2 * (to - from), 0x4E));
        for (uint32_t i = from; i < to; ++i) b.xdef(SectionKind::code, 2 * (i - from), "n" + std::to_string(i));
        const test::Bytes bytes = b.end();
        std::ofstream(dir + name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                          std::streamsize(bytes.size()));
        return dir + name;
    };
    // b defines a's names again, and as many of its own
    const std::string a = write("elf_many_a.o", 0, kNames), b = write("elf_many_b.o", kNames / 2, 2 * kNames);
    const std::string out = dir + "elf_many.elf";
    std::ostringstream log;
    ASSERT_EQ(runTarnelElf({"tarnel-elf", a, b, "-o", out}, log), 0) << log.str();
    const ElfTables t = readTables(readAll(out));
    ASSERT_EQ(t.globals.size(), 2 * kNames);
    for (uint32_t i = 0; i < 2 * kNames; ++i) {
        // a's names from a, b's own names from b, which starts after a's code
        const uint32_t address = i < kNames ? 2 * i : 2 * kNames + 2 * (i - kNames / 2);
        const ElfSymbol expected{"n" + std::to_string(i), address, 2, 2};
        ASSERT_EQ(t.globals[i], expected) << i;
    }
    for (const std::string& f : {a, b, out}) std::remove(f.c_str());
}

// With the data in RAM each segment runs at its RAM address and loads from
// where the image holds its bytes, so a binary of the load addresses is the
// ROM image; bss and bssb load nothing.
TEST(ElfWriter, DataInRamLoadsFromTheImage) {
    const std::string dir = ::testing::TempDir();
    const std::string in = dir + "elf_ram.o", out = dir + "elf_ram.elf";
    const test::Bytes module = test::ModuleBuilder()
                                   .code(test::Bytes(12, 0x4E))
                                   .data({1, 2, 3, 4})
                                   .bss(8)
                                   .base({5, 6, 7, 8})
                                   .bssb(4)
                                   .end();
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(module.data()), std::streamsize(module.size()));
    std::ostringstream log;
    ASSERT_EQ(runTarnelElf({"tarnel-elf", "-r1000", "--ram=0x2000", in, "-o", out}, log), 0) << log.str();
    const std::string b = readAll(out);
    struct Segment {
        uint32_t offset, vaddr, paddr, filesz, memsz;
        bool operator==(const Segment&) const = default;
    };
    std::vector<Segment> segments;
    for (uint32_t i = 0; i < be16(b, 44); ++i) {
        const uint32_t at = be32(b, 28) + 32 * i;
        segments.push_back({be32(b, at + 4), be32(b, at + 8), be32(b, at + 12), be32(b, at + 16), be32(b, at + 20)});
    }
    const uint32_t image = 52 + 5 * 32;  // the image follows the headers
    const std::vector<Segment> expected = {
        {image, 0x1000, 0x1000, 12, 12},         {image + 12, 0x2000, 0x100C, 4, 4},
        {image + 16, 0x2004, 0x2004, 0, 8},      {image + 16, 0x200C, 0x1010, 4, 4},
        {image + 20, 0x2010, 0x2010, 0, 4},
    };
    EXPECT_EQ(segments, expected);
    EXPECT_EQ(b.substr(image + 12, 8), std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
    for (const std::string& f : {in, out}) std::remove(f.c_str());
}

}  // namespace
}  // namespace tarnel::elf
