// Firmware that runs from flash: data, bss, base and bssb run in RAM (--ram)
// while the image keeps the bytes of code, data and base; the symbols start-up
// code copies and clears with; the ROM and RAM sizes, their overflow errors
// and the usage table; the options' errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "golden.hpp"

namespace tarnel::test {
namespace {

using S = SectionKind;

// Every section, and three absolute references: where data's bytes lie in
// the image, a data variable, and _base.
Bytes firmware() {
    return ModuleBuilder()
        .code(Bytes(12, 0))
        .data({0x11, 0x22, 0x33, 0x44})
        .bss(8)
        .base({0xB0, 0xB1, 0xB2, 0xB3})
        .bssb(4)
        .xdef(S::data, 0, "counter")
        .xref(LINK_ABS32, "__data_load", {0})
        .xref(LINK_ABS32, "counter", {4})
        .xref(LINK_ABS32, "_base", {8})
        .end();
}

const Bytes kData = {0x11, 0x22, 0x33, 0x44}, kBase = {0xB0, 0xB1, 0xB2, 0xB3};

// One module line of the build information: a module without name, version
// or date, its part of a section with the range and size shown.
std::string part(const char* section, const std::string& range, uint32_t size) {
    char sizeText[16];
    std::snprintf(sizeText, sizeof sizeText, "%8u", size);
    return std::string("  -  0.000 ") + section + " " + range + " Size: " + sizeText + R"( (??-???-????))";
}

// The build information of the firmware: code at 0x1000 and the other parts
// at the given ranges.
std::string firmwareInfo(const std::string& data, const std::string& bss, const std::string& base,
                         const std::string& bssb, uint32_t fileSize = 32, const std::string& output = "a.out") {
    return summary({part("code", "$00001000-$0000100c", 12), part("data", data, 4), part("bss ", bss, 8),
                    part("base", base, 4), part("bssb", bssb, 4)},
                   32, fileSize, output);
}

const std::string kInRamInfo =
    firmwareInfo("$00002000-$00002004", "$00002004-$0000200c", "$0000200c-$00002010", "$00002010-$00002014");
// code (__data_load 0x100C, counter 0x2000, _base 0x200C + 0x8000), data, base
const Bytes kInRamImage = be({0x100C, 0x2000, 0xA00C}) + kData + kBase;

TEST(FlashAndRam, DataRunsInRamItsBytesStayInTheImage) {
    const GoldenCase cases[] = {
        {"code in ROM, data, bss, base and bssb in RAM; the image holds code, data and base",
         {{"m.o", firmware()}},
         {"-r1000", "--ram=2000", "m.o"},
         kInRamInfo,
         kInRamImage},
        {"the options anywhere, with or without 0x",
         {{"m.o", firmware()}},
         {"--ram=0x2000", "m.o", "-r0x1000"},
         kInRamInfo,
         kInRamImage},
        {"and in a command file",
         {{"m.o", firmware()}, {"cmd", textBytes("m.o --ram=2000\n-r1000")}},
         {"-f", "cmd"},
         kInRamInfo,
         kInRamImage},
        {"-b changes nothing: no fill is written with the data in RAM",
         {{"m.o", firmware()}},
         {"-b", "-r1000", "--ram=2000", "m.o"},
         kInRamInfo,
         kInRamImage},
        {"without --ram: the contiguous image, __data_load is __data_start",
         {{"m.o", firmware()}},
         {"-r1000", "m.o"},
         firmwareInfo("$0000100c-$00001010", "$00001010-$00001018", "$ffff8000-$ffff8004", "$ffff8004-$ffff8008"),
         be({0x100C, 0x100C, 0x9018}) + kData + Bytes(8, 0) + kBase + Bytes(4, 0)},
        {"S-records of the same image at the ROM addresses",
         {{"m.o", firmware()}},
         {"-s1000", "--ram=2000", "m.o"},
         kInRamInfo,
         textBytes("S0080000612E6F757410\n"
                   "S10F10000000100C000020000000A00CF8\n"
                   "S107100C1122334432\n"
                   "S1071010B0B1B2B312\n"
                   "S9031014D8\n")},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

// A module that reads every symbol start-up code uses, one word each, in the
// order of `names`.
Bytes startup(const std::vector<std::string>& names) {
    ModuleBuilder b;
    b.code(Bytes(4 * names.size(), 0)).data(kData).bss(8).base(kBase).bssb(4);
    for (size_t i = 0; i < names.size(); ++i) b.xref(LINK_ABS32, names[i], {uint32_t(4 * i)});
    return b.end();
}

const std::vector<std::string> kSymbols = {"_etext",       "_edata",     "__bss_start",  "_end",
                                           "__data_load",  "__data_start", "__base_load", "__base_start",
                                           "__base_end",   "__ram_end"};

// Each symbol's address, the RAM end given: start-up code copies data from
// __data_load to __data_start.._edata, clears __bss_start.._end, copies
// base from __base_load to __base_start..__base_end, and starts the stack at
// __ram_end. Without the data in RAM the same symbols describe the contiguous
// image, so one start-up file serves both.
TEST(FlashAndRam, StartupSymbols) {
    const std::vector<std::string> withoutRamEnd(kSymbols.begin(), kSymbols.end() - 1);
    const GoldenCase cases[] = {
        {"data in RAM",
         {{"s.o", startup(kSymbols)}},
         {"-r1000", "--ram=2000", "--ram-size=1K", "s.o"},
         summary({part("code", "$00001000-$00001028", 40), part("data", "$00002000-$00002004", 4),
                  part("bss ", "$00002004-$0000200c", 8), part("base", "$0000200c-$00002010", 4),
                  part("bssb", "$00002010-$00002014", 4)},
                 60, 60) +
             "\nRegion     Start         Used         Size   Used\n"
             "RAM    $00002000           20         1024   1.95%\n",
         be({0x1028, 0x2004, 0x2004, 0x200C, 0x1028, 0x2000, 0x102C, 0x200C, 0x2010, 0x2400}) + kData + kBase},
        {"a contiguous image",
         {{"s.o", startup(withoutRamEnd)}},
         {"-r1000", "s.o"},
         summary({part("code", "$00001000-$00001024", 36), part("data", "$00001024-$00001028", 4),
                  part("bss ", "$00001028-$00001030", 8), part("base", "$ffff8000-$ffff8004", 4),
                  part("bssb", "$ffff8004-$ffff8008", 4)},
                 56, 56),
         be({0x1024, 0x1028, 0x1028, 0x1030, 0x1024, 0x1024, 0x1030, 0x1030, 0x1034}) + kData + Bytes(8, 0) + kBase +
             Bytes(4, 0)},
        {"__ram_end needs --ram-size",
         {{"s.o", startup(kSymbols)}},
         {"-r1000", "--ram=2000", "s.o"},
         "error: reference __ram_end not found\n" +
             summary({part("code", "$00001000-$00001028", 40), part("data", "$00002000-$00002004", 4),
                      part("bss ", "$00002004-$0000200c", 8), part("base", "$0000200c-$00002010", 4),
                      part("bssb", "$00002010-$00002014", 4)},
                     60, 60),
         std::nullopt,
         1},
        {"a module's own definition wins",
         {{"d.o", ModuleBuilder().code(Bytes(4, 0)).xdef(S::code, 2, "__data_load").end()},
          {"s.o", startup({"__data_load"})}},
         {"-r1000", "--ram=2000", "d.o", "s.o"},
         summary({part("code", "$00001000-$00001004", 4), part("code", "$00001004-$00001008", 4),
                  part("data", "$00002000-$00002004", 4), part("bss ", "$00002004-$0000200c", 8),
                  part("base", "$0000200c-$00002010", 4), part("bssb", "$00002010-$00002014", 4)},
                 28, 28),
         Bytes(4, 0) + be({0x1002}) + kData + kBase},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

const std::string kUsageHeading = "\nRegion     Start         Used         Size   Used\n";

// The image (code, data, base: 20 bytes here) must fit the ROM and data, bss,
// base and bssb (20 bytes) the RAM: an overflow is an error naming the region,
// its size and the overflow, and nothing is written; the usage table follows
// the summary whenever a size is given.
TEST(FlashAndRam, RegionsCannotOverflowSilently) {
    const GoldenCase cases[] = {
        {"the ROM one byte short",
         {{"m.o", firmware()}},
         {"-r1000", "--ram=2000", "--rom-size=19", "m.o"},
         "error: ROM region of 19 bytes overflowed by 1 bytes\n" + kInRamInfo + kUsageHeading +
             "ROM    $00001000           20           19 105.26%\n",
         std::nullopt,
         1},
        {"the ROM exactly full",
         {{"m.o", firmware()}},
         {"-r1000", "--ram=2000", "--rom-size=20", "m.o"},
         kInRamInfo + kUsageHeading + "ROM    $00001000           20           20 100.00%\n",
         kInRamImage},
        {"the RAM one byte short",
         {{"m.o", firmware()}},
         {"-r1000", "--ram=2000", "--ram-size=19", "m.o"},
         "error: RAM region of 19 bytes overflowed by 1 bytes\n" + kInRamInfo + kUsageHeading +
             "RAM    $00002000           20           19 105.26%\n",
         std::nullopt,
         1},
        {"both, in hex and in MiB",
         {{"m.o", firmware()}},
         {"-r1000", "--ram=2000", "--rom-size=0x14", "--ram-size=1M", "m.o"},
         kInRamInfo + kUsageHeading +
             "ROM    $00001000           20           20 100.00%\n"
             "RAM    $00002000           20      1048576   0.00%\n",
         kInRamImage},
        {"without --ram the ROM holds the fills too",
         {{"m.o", firmware()}},
         {"-r1000", "--rom-size=31", "m.o"},
         "error: ROM region of 31 bytes overflowed by 1 bytes\n" +
             firmwareInfo("$0000100c-$00001010", "$00001010-$00001018", "$ffff8000-$ffff8004",
                          "$ffff8004-$ffff8008") +
             kUsageHeading + "ROM    $00001000           32           31 103.23%\n",
         std::nullopt,
         1},
        {"-b leaves them out",
         {{"m.o", firmware()}},
         {"-r1000", "-b", "--rom-size=20", "m.o"},
         firmwareInfo("$0000100c-$00001010", "$00001010-$00001018", "$ffff8000-$ffff8004", "$ffff8004-$ffff8008") +
             kUsageHeading + "ROM    $00001000           20           20 100.00%\n",
         be({0x100C, 0x100C, 0x9018}) + kData + kBase},
        {"the RAM on top of the image",
         {{"m.o", firmware()}},
         {"-r1000", "--ram=1010", "m.o"},
         "error: RAM at $00001010-$00001024 overlaps the ROM image at $00001000-$00001014\n" +
             firmwareInfo("$00001010-$00001014", "$00001014-$0000101c", "$0000101c-$00001020",
                          "$00001020-$00001024"),
         std::nullopt,
         1},
        {"the RAM past 2^32",
         {{"m.o", firmware()}},
         {"-r1000", "--ram=FFFFFFF0", "m.o"},
         "error: RAM of $00000014 bytes at $fffffff0 does not fit in 32 bits\n" +
             firmwareInfo("$fffffff0-$fffffff4", "$fffffff4-$fffffffc", "$fffffffc-$00000000",
                          "$00000000-$00000004"),
         std::nullopt,
         1},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

// The long options are checked when the link starts, wherever they stood;
// a value that is no address or size is refused where it is read.
TEST(FlashAndRam, OptionErrors) {
    const Bytes nop = ModuleBuilder().code({0x4E, 0x75}).end();
    const std::string nopInfo = summary({part("code", "$00000000-$00000002", 2)}, 2, 0);
    const std::string nopRomInfo = summary({part("code", "$00001000-$00001002", 2)}, 2, 2);
    const GoldenCase cases[] = {
        {"--ram without -r or -s", {{"m.o", nop}}, {"--ram=2000", "m.o"},
         "error: Option --ram needs -r or -s\n" + nopInfo, std::nullopt, 1},
        {"--rom-size without -r or -s", {{"m.o", nop}}, {"m.o", "--rom-size=1K"},
         "error: Option --rom-size needs -r or -s\n" + nopInfo, std::nullopt, 1},
        {"--ram-size without --ram", {{"m.o", nop}}, {"-r1000", "--ram-size=1K", "m.o"},
         "error: Option --ram-size needs --ram\n" + nopRomInfo, std::nullopt, 1},
        {"-e after -r ends ROM mode, so --ram has nothing to go with", {{"m.o", nop}},
         {"-r1000", "--ram=2000", "-etop", "m.o"}, "error: Option --ram needs -r or -s\n" + nopInfo, std::nullopt, 1},
        {"an address that is not hex", {{"m.o", nop}}, {"-r1000", "--ram=12g4", "m.o"},
         "error: Invalid address in option --ram=12g4\n" + nopRomInfo, std::nullopt, 1},
        {"an address past 32 bits", {{"m.o", nop}}, {"-r1000", "--ram=0x100000000", "m.o"},
         "error: Invalid address in option --ram=0x100000000\n" + nopRomInfo, std::nullopt, 1},
        {"no value", {{"m.o", nop}}, {"-r1000", "--ram", "m.o"},
         "error: Invalid address in option --ram\n" + nopRomInfo, std::nullopt, 1},
        {"a size of 0", {{"m.o", nop}}, {"-r1000", "--rom-size=0", "m.o"},
         "error: Invalid size in option --rom-size=0\n" + nopRomInfo, std::nullopt, 1},
        {"a size past 4 GiB", {{"m.o", nop}}, {"-r1000", "--rom-size=4194305K", "m.o"},
         "error: Invalid size in option --rom-size=4194305K\n" + nopRomInfo, std::nullopt, 1},
        {"a size with a fraction", {{"m.o", nop}}, {"-r1000", "--rom-size=1.5K", "m.o"},
         "error: Invalid size in option --rom-size=1.5K\n" + nopRomInfo, std::nullopt, 1},
        {"4 GiB exactly is a size", {{"m.o", nop}}, {"-r1000", "--rom-size=4194304K", "m.o"},
         nopRomInfo + kUsageHeading + "ROM    $00001000            2   4294967296   0.00%\n",
         Bytes{0x4E, 0x75}},
        {"a library is placed nowhere: the library is written all the same", {{"m.o", nop}},
         {"-g", "--ram=2000", "--ram-size=1K", "m.o"},
         "error: Option --ram does not go with -g\nerror: Option --ram-size does not go with -g\n" +
             summary({part("code", "$00000000-$00000006", 6)}, 6, 34),
         be({0xC0DECF02, 0, 0xC0DECF13, 14, 0xC0DECF10, 6, 0}) + Bytes{0x4E, 0x75} + be({0xC0DECF1F}), 1},
        {"a long option tarnel does not know", {{"m.o", nop}}, {"--frobnicate=1", "m.o"},
         "error: Unrecognized flag: --frobnicate=1\n" + nopInfo, std::nullopt, 1},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

}  // namespace
}  // namespace tarnel::test
