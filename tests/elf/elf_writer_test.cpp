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

}  // namespace
}  // namespace tarnel::elf
