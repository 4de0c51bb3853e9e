// The reports, byte for byte: the build information of every run and the
// link map of relocatable, ROM and failed links.
#include <cstdio>
#include <sstream>

#include "golden.hpp"
#include "report/text.hpp"

namespace tarnel::test {
namespace {

using S = SectionKind;

TEST(BuildInformation, NamesVersionsDatesAndTheProcessor) {
    const std::string longName(300, 'n');
    const GoldenCase cases[] = {
        {"no module: the title with the output name and default processor",
         {},
         {"-o", "prog"},
         R"(
Build information for prog (cpu: 5206)

tarnel complete - Maximum code size = 0 ($00000000) bytes

Maximum file size = 20 ($00000014) bytes
)",
         be({0xC0DECF00, 8, 0, 0, 0xC0DECF1F}), 0, "prog"},
        {"names right-aligned to the widest, defaults for missing texts, a variant digit",
         {{"a.o", ModuleBuilder()
                      .name("a")
                      .version("1.20")
                      .date("(01-Jan-2024)")
                      .processor(0x52070021)
                      .code(fill(4, 0xA0))
                      .data({0xD0, 0xD1})
                      .end()},
          {"long.o", ModuleBuilder().name("long").code({0x4E, 0x75}).end()},
          {"anon.o", ModuleBuilder().version("12.345678").code({}).end()}},
         {"a.o", "long.o", "anon.o"},
         R"(
Build information for a.out (cpu: 52071)
    a   1.20 code $00000000-$00000004 Size:        4 (01-Jan-2024)
 long  0.000 code $00000004-$00000006 Size:        2 (??-???-????)
    - 12.345678 code $00000006-$00000006 Size:        0 (??-???-????)
    a   1.20 data $00000000-$00000002 Size:        2 (01-Jan-2024)

tarnel complete - Maximum code size = 8 ($00000008) bytes

Maximum file size = 68 ($00000044) bytes
)",
         be({0xC0DECF00, 8, 8, 0, 0xC0DECF03, 8, 0x52070021, 0, 0xC0DECF10, 10, 0}) + fill(4, 0xA0) +
             Bytes{0x4E, 0x75} + be({0xC0DECF11, 6, 1}) + Bytes{0xD0, 0xD1} + be({0xC0DECF1F})},
        {"bits 4 to 15 of the processor id are never shown",
         {{"m.o", ModuleBuilder().processor(0x5407FFF0).code({0x4E, 0x75}).end()}},
         {"m.o"},
         R"(
Build information for a.out (cpu: 5407)
  -  0.000 code $00000000-$00000002 Size:        2 (??-???-????)

tarnel complete - Maximum code size = 2 ($00000002) bytes

Maximum file size = 50 ($00000032) bytes
)",
         be({0xC0DECF00, 8, 2, 0, 0xC0DECF03, 8, 0x5407FFF0, 0, 0xC0DECF10, 6, 0}) + Bytes{0x4E, 0x75} +
             be({0xC0DECF1F})},
        {"the variant digit is lower-case hex",
         {{"m.o", ModuleBuilder().processor(0x5407000F).code({0x4E, 0x75}).end()}},
         {"m.o"},
         R"(
Build information for a.out (cpu: 5407f)
  -  0.000 code $00000000-$00000002 Size:        2 (??-???-????)

tarnel complete - Maximum code size = 2 ($00000002) bytes

Maximum file size = 50 ($00000032) bytes
)",
         be({0xC0DECF00, 8, 2, 0, 0xC0DECF03, 8, 0x5407000F, 0, 0xC0DECF10, 6, 0}) + Bytes{0x4E, 0x75} +
             be({0xC0DECF1F})},
        {"a module that failed to load keeps its number but prints no line",
         {{"b.o", ModuleBuilder().name("b").code({0x4E, 0x75}).end()}},
         {"missing.o", "b.o"},
         R"(error: File missing.o not found

Build information for a.out (cpu: 5206)
  b  0.000 code $00000000-$00000002 Size:        2 (??-???-????)

tarnel complete - Maximum code size = 2 ($00000002) bytes

Maximum file size = 0 ($00000000) bytes
)",
         std::nullopt, 1},
        {"a name of 300 characters is printed whole and widens the column",
         {{"long.o", ModuleBuilder().name(longName).code({0x4E, 0x75}).end()},
          {"x.o", ModuleBuilder().name("x").code({0x4E, 0x71}).end()}},
         {"long.o", "x.o"},
         "\nBuild information for a.out (cpu: 5206)\n"
         " " + longName + R"(  0.000 code $00000000-$00000002 Size:        2 (??-???-????))" "\n"
         " " + std::string(299, ' ') + R"(x  0.000 code $00000002-$00000004 Size:        2 (??-???-????))" "\n"
         "\n"
         "tarnel complete - Maximum code size = 4 ($00000004) bytes\n\n"
         "Maximum file size = 52 ($00000034) bytes\n",
         be({0xC0DECF00, 8, 4, 0, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 8, 0, 0x4E754E71, 0xC0DECF1F})},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

// ---------------------------------------------------------------------------
// Link map

// startup calls into hardware; hardware reaches its base word relatively,
// _start pc-relatively and its counter absolutely, and its data holds a
// code address. Names of up to 19 characters widen both listings to 20.
Bytes mapStartup() {
    return ModuleBuilder()
        .name("startup")
        .code({0x4E, 0xB9, 0, 0, 0, 0, 0x4E, 0x75})
        .base(fill(0x10, 0))
        .xdef(S::code, 0, "_start")
        .xref(LINK_ABS32, "initialise_hardware", {2})
        .end();
}
Bytes mapHardware() {
    return ModuleBuilder()
        .name("hardware")
        .code({0x30, 0x2D, 0, 0, 0x61, 0x00, 0, 0, 0x4E, 0x75, 0, 0})
        .data({0, 0, 0, 0})
        .base({0xB0, 0xB1, 0xB2, 0xB3})
        .bssb(8)
        .xdef(S::code, 4, "initialise_hardware")
        .xdef(S::data, 0, "counter")
        .xdef(S::base, 2, "base_word")
        .xdef(S::bssb, 4, "bssb_slot")
        .xref(LINK_REL16, "base_word", {2})
        .xref(LINK_PCREL16, "_start", {6})
        .xref(LINK_ABS16, "counter", {10})
        .reloc32(1, 0, {0})
        .end();
}

TEST(LinkMap, DefinitionsReferencesAndRecordsAsTheLinkLeftThem) {
    const std::vector<InputFile> inputs = {{"startup.o", mapStartup()}, {"hw.o", mapHardware()}};
    const GoldenCase cases[] = {
        {"nothing to list: the headings and rules at their initial widths",
         {},
         {"-m"},
         R"(
Build information for a.out (cpu: 5206)

tarnel complete - Maximum code size = 0 ($00000000) bytes

Maximum file size = 20 ($00000014) bytes


Map listing for a.out

xdef (external definition)
   xdef initial calculated section   module  internal (filename)
----------------------------------------------------------------

xref (external reference)
   xref  value  section     access            module  internal (filename)
-------------------------------------------------------------------------

relocation table
-------------------------------------------------------------------------
)",
         be({0xC0DECF00, 8, 0, 0, 0xC0DECF1F})},
        {"relocatable: written records show merged offsets; _base is listed last, for module 0",
         inputs,
         {"-m", "startup.o", "hw.o"},
         R"(
Build information for a.out (cpu: 5206)
  startup  0.000 code $00000000-$00000008 Size:        8 (??-???-????)
 hardware  0.000 code $00000008-$00000014 Size:       12 (??-???-????)
 hardware  0.000 data $00000000-$00000004 Size:        4 (??-???-????)
  startup  0.000 base $ffff8000-$ffff8010 Size:       16 (??-???-????)
 hardware  0.000 base $ffff8010-$ffff8014 Size:        4 (??-???-????)
 hardware  0.000 bssb $ffff8014-$ffff801c Size:        8 (??-???-????)

tarnel complete - Maximum code size = 52 ($00000034) bytes

Maximum file size = 192 ($000000c0) bytes


Map listing for a.out

xdef (external definition)
                 xdef initial calculated section   module  internal (filename)
------------------------------------------------------------------------------
               _start 00000000(00000000), code, in module: startup (startup.o)
  initialise_hardware 00000004(0000000c), code, in module: hardware (hw.o)
              counter 00000000(00000000), data, in module: hardware (hw.o)
            base_word 00000002(ffff8012), base, in module: hardware (hw.o)
            bssb_slot 00000004(ffff8018), bssb, in module: hardware (hw.o)
                _base 00010000(00008000), base, in module: startup (startup.o)

xref (external reference)
                 xref  value  section     access            module  internal (filename)
---------------------------------------------------------------------------------------
  initialise_hardware 00000002, code, absolute   32-bit, in module: startup (startup.o)
            base_word 00000002, code, relative   16-bit, in module: hardware (hw.o)
               _start 00000006, code, pcrelative 16-bit, in module: hardware (hw.o)
              counter 0000000a, code, absolute   16-bit, in module: hardware (hw.o)

relocation table
-------------------------------------------------------------------------
    block code offset 00000012, value 00000000 (16-bit)
    block data offset 00000000, value 00000008 (32-bit)
    block code offset 00000002, value 0000000c (32-bit)
)",
         be({0xC0DECF00, 8, 0x18, 0x1C, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 24, 0,
             0x4EB90000, 0x000C4E75,              // startup: initialise_hardware at 0xC
             0x302D8012, 0x6100FFF2, 0x4E750000,  // hardware: base_word, _start, counter
             0xC0DECF11, 8, 1, 8,                 // counter's word holds hardware's code start
             0xC0DECF11, 24, 3}) +
             fill(0x10, 0) +
             be({0xB0B1B2B3, 0xC0DECF12, 8, 4, 8,
                 0xC0DECF16, 12, 0, 1, 0x12,
                 0xC0DECF15, 12, 0, 0, 2,
                 0xC0DECF15, 12, 1, 0, 0,
                 0xC0DECF1F})},
        {"ROM: addresses include romStart, base ones the bias too; records keep module offsets",
         inputs,
         {"-m", "-r10000", "startup.o", "hw.o", "-o", "rom.bin"},
         R"(
Build information for rom.bin (cpu: 5206)
  startup  0.000 code $00010000-$00010008 Size:        8 (??-???-????)
 hardware  0.000 code $00010008-$00010014 Size:       12 (??-???-????)
 hardware  0.000 data $00010014-$00010018 Size:        4 (??-???-????)
  startup  0.000 base $ffff8000-$ffff8010 Size:       16 (??-???-????)
 hardware  0.000 base $ffff8010-$ffff8014 Size:        4 (??-???-????)
 hardware  0.000 bssb $ffff8014-$ffff801c Size:        8 (??-???-????)

tarnel complete - Maximum code size = 52 ($00000034) bytes

Maximum file size = 52 ($00000034) bytes


Map listing for rom.bin

xdef (external definition)
                 xdef initial calculated section   module  internal (filename)
------------------------------------------------------------------------------
               _start 00000000(00010000), code, in module: startup (startup.o)
  initialise_hardware 00000004(0001000c), code, in module: hardware (hw.o)
              counter 00000000(00010014), data, in module: hardware (hw.o)
            base_word 00000002(00008012), base, in module: hardware (hw.o)
            bssb_slot 00000004(00008018), bssb, in module: hardware (hw.o)
                _base 00010018(00018018), base, in module: startup (startup.o)

xref (external reference)
                 xref  value  section     access            module  internal (filename)
---------------------------------------------------------------------------------------
  initialise_hardware 00000002, code, absolute   32-bit, in module: startup (startup.o)
            base_word 00000002, code, relative   16-bit, in module: hardware (hw.o)
               _start 00000006, code, pcrelative 16-bit, in module: hardware (hw.o)
              counter 0000000a, code, absolute   16-bit, in module: hardware (hw.o)

relocation table (note: these have already been resolved due to ROM mode)
-------------------------------------------------------------------------
    block code offset 0000000a, value 00010014 (16-bit)
    block data offset 00000000, value 00010008 (32-bit)
    block code offset 00000002, value 0001000c (32-bit)
)",
         be({0x4EB90001, 0x000C4E75, 0x302D8012, 0x6100FFF2, 0x4E750014, 0x00010008}) + fill(0x10, 0) +
             be({0xB0B1B2B3}) + fill(8, 0),
         0, "rom.bin"},
        {"a failed link still prints the map; a slot without a file shows -",
         {{"b.o", ModuleBuilder()
                      .code({0x00, 0x00, 0x00, 0x10})
                      .base({1, 2})
                      .xdef(S::code, 0, "bfun")
                      .xref(LINK_ABS32, "nothere", {0})
                      .reloc16(0, 0, {2})
                      .end()}},
         {"-m", "missing.o", "b.o"},
         R"(error: File missing.o not found
error: reference nothere not found

Build information for a.out (cpu: 5206)
  -  0.000 code $00000000-$00000004 Size:        4 (??-???-????)
  -  0.000 base $ffff8000-$ffff8002 Size:        2 (??-???-????)

tarnel complete - Maximum code size = 6 ($00000006) bytes

Maximum file size = 0 ($00000000) bytes


Map listing for a.out

xdef (external definition)
     xdef initial calculated section   module  internal (filename)
------------------------------------------------------------------
     bfun 00000000(00000000), code, in module: - (b.o)
    _base 00010000(00008000), base, in module: - (-)

xref (external reference)
     xref  value  section     access            module  internal (filename)
---------------------------------------------------------------------------
  nothere 00000000, code, absolute   32-bit, in module: - (b.o)

relocation table
-------------------------------------------------------------------------
    block code offset 00000002, value 00000010 (16-bit)
)",
         std::nullopt, 1},
        {"a name field of 10 bytes indents by four and lengthens the rule to 68",
         {{"m.o", ModuleBuilder()
                      .code({0x4E, 0x75, 0x4E, 0x75})
                      .chunk(ChunkTag::link, be({0x8000000A, 0}) + textBytes("abcdefg") + Bytes{0} + be({0xFF000000}))
                      .end()}},
         {"-m", "m.o"},
         R"(
Build information for a.out (cpu: 5206)
  -  0.000 code $00000000-$00000004 Size:        4 (??-???-????)

tarnel complete - Maximum code size = 4 ($00000004) bytes

Maximum file size = 52 ($00000034) bytes


Map listing for a.out

xdef (external definition)
       xdef initial calculated section   module  internal (filename)
--------------------------------------------------------------------
    abcdefg 00000000(00000000), code, in module: - (m.o)

xref (external reference)
   xref  value  section     access            module  internal (filename)
-------------------------------------------------------------------------

relocation table
-------------------------------------------------------------------------
)",
         be({0xC0DECF00, 8, 4, 0, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 8, 0, 0x4E754E75, 0xC0DECF1F})},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

}  // namespace
}  // namespace tarnel::test

namespace tarnel::test {
namespace {

// A listing many pieces long reaches the stream whole and in order while the
// pieces after the first are written behind the formatting.
TEST(TextBuffer, LongListingsReachTheStreamInOrder) {
    std::ostringstream out;
    std::string expected;
    {
        TextBuffer t(out);
        for (uint32_t i = 0; i < 40000; ++i) {
            std::string name = "symbol_" + std::to_string(i * 7919u);
            t << " ";
            t.padded(name, 24) << " ";
            t.hex8(i * 2654435761u) << "\n";
            char line[64];
            std::snprintf(line, sizeof line, " %24s %08x\n", name.c_str(), i * 2654435761u);
            expected += line;
        }
    }
    EXPECT_EQ(out.str().size(), expected.size());
    EXPECT_TRUE(out.str() == expected);
}

}  // namespace
}  // namespace tarnel::test
