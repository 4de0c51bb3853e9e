// Whole links, byte for byte: section layout, the relocation and drel16
// passes with the relocation chunks they leave, symbol resolution of every
// access type with its ranges, and the links that must fail without output.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <regex>
#include <sstream>
#include <system_error>
#include <thread>

#include "golden.hpp"
#include "link/resolve.hpp"
#include "link/xdef_index.hpp"
#include "objfmt/read_ahead.hpp"
#include "objfmt/state.hpp"

namespace tarnel::test {
namespace {

using S = SectionKind;

// ---------------------------------------------------------------------------
// Section layout

// Three modules that each lack some sections: every merged section follows
// load order without gaps, and bssb follows all base data.
Bytes layoutFirst() {
    return ModuleBuilder().name("first").code(fill(6, 0xC0)).data(fill(3, 0xD0)).bss(0x40).base(fill(5, 0xB0)).bssb(8).end();
}
Bytes layoutMid() { return ModuleBuilder().name("mid").code(fill(4, 0xC1)).bss(0x10).bssb(4).end(); }
Bytes layoutLast() { return ModuleBuilder().name("last").code(fill(2, 0xC2)).data(fill(2, 0xD2)).base(fill(3, 0xB2)).end(); }

const std::vector<InputFile> kLayoutInputs = {
    {"first.o", layoutFirst()}, {"mid.o", layoutMid()}, {"last.o", layoutLast()}};

TEST(Layout, SectionsMergeInLoadOrder) {
    const GoldenCase cases[] = {
        {"relocatable: every section counts from 0, bssb after all base data",
         kLayoutInputs,
         {"first.o", "mid.o", "last.o"},
         R"(
Build information for a.out (cpu: 5206)
 first  0.000 code $00000000-$00000006 Size:        6 (??-???-????)
   mid  0.000 code $00000006-$0000000a Size:        4 (??-???-????)
  last  0.000 code $0000000a-$0000000c Size:        2 (??-???-????)
 first  0.000 data $00000000-$00000003 Size:        3 (??-???-????)
  last  0.000 data $00000003-$00000005 Size:        2 (??-???-????)
 first  0.000 bss  $00000000-$00000040 Size:       64 (??-???-????)
   mid  0.000 bss  $00000040-$00000050 Size:       16 (??-???-????)
 first  0.000 base $ffff8000-$ffff8005 Size:        5 (??-???-????)
  last  0.000 base $ffff8005-$ffff8008 Size:        3 (??-???-????)
 first  0.000 bssb $ffff8008-$ffff8010 Size:        8 (??-???-????)
   mid  0.000 bssb $ffff8010-$ffff8014 Size:        4 (??-???-????)

tarnel complete - Maximum code size = 117 ($00000075) bytes

Maximum file size = 129 ($00000081) bytes
)",
         be({0xC0DECF00, 8, 0x61, 0x14, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 16, 0}) + fill(6, 0xC0) +
             fill(4, 0xC1) + fill(2, 0xC2) + be({0xC0DECF11, 9, 1}) + fill(3, 0xD0) + fill(2, 0xD2) +
             be({0xC0DECF12, 8, 2, 0x50, 0xC0DECF11, 12, 3}) + fill(5, 0xB0) + fill(3, 0xB2) +
             be({0xC0DECF12, 8, 4, 12, 0xC0DECF1F})},
        {"ROM: data follows all code and bss all data; the base region does not move",
         kLayoutInputs,
         {"-r1000", "first.o", "mid.o", "last.o", "-o", "rom.bin"},
         R"(
Build information for rom.bin (cpu: 5206)
 first  0.000 code $00001000-$00001006 Size:        6 (??-???-????)
   mid  0.000 code $00001006-$0000100a Size:        4 (??-???-????)
  last  0.000 code $0000100a-$0000100c Size:        2 (??-???-????)
 first  0.000 data $0000100c-$0000100f Size:        3 (??-???-????)
  last  0.000 data $0000100f-$00001011 Size:        2 (??-???-????)
 first  0.000 bss  $00001011-$00001051 Size:       64 (??-???-????)
   mid  0.000 bss  $00001051-$00001061 Size:       16 (??-???-????)
 first  0.000 base $ffff8000-$ffff8005 Size:        5 (??-???-????)
  last  0.000 base $ffff8005-$ffff8008 Size:        3 (??-???-????)
 first  0.000 bssb $ffff8008-$ffff8010 Size:        8 (??-???-????)
   mid  0.000 bssb $ffff8010-$ffff8014 Size:        4 (??-???-????)

tarnel complete - Maximum code size = 117 ($00000075) bytes

Maximum file size = 117 ($00000075) bytes
)",
         fill(6, 0xC0) + fill(4, 0xC1) + fill(2, 0xC2) + fill(3, 0xD0) + fill(2, 0xD2) + fill(0x50, 0) +
             fill(5, 0xB0) + fill(3, 0xB2) + fill(12, 0),
         0, "rom.bin"},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

TEST(Layout, MergedBaseSectionIsLimitedTo64K) {
    const GoldenCase cases[] = {
        {"exactly 64 KB of base data links; its end address wraps",
         {{"big.o", ModuleBuilder().base(fill(0x10000, 0xB0)).end()}},
         {"big.o"},
         R"(
Build information for a.out (cpu: 5206)
  -  0.000 base $ffff8000-$00008000 Size:    65536 (??-???-????)

tarnel complete - Maximum code size = 65536 ($00010000) bytes

Maximum file size = 65568 ($00010020) bytes
)",
         be({0xC0DECF00, 8, 0, 0x10000, 0xC0DECF11, 0x10004, 3}) + fill(0x10000, 0xB0) + be({0xC0DECF1F})},
        {"bssb does not count toward the limit",
         {{"big.o", ModuleBuilder().base(fill(0x10000, 0xB0)).bssb(0x10).end()}},
         {"big.o"},
         R"(
Build information for a.out (cpu: 5206)
  -  0.000 base $ffff8000-$00008000 Size:    65536 (??-???-????)
  -  0.000 bssb $00008000-$00008010 Size:       16 (??-???-????)

tarnel complete - Maximum code size = 65552 ($00010010) bytes

Maximum file size = 65584 ($00010030) bytes
)",
         be({0xC0DECF00, 8, 0, 0x10010, 0xC0DECF11, 0x10004, 3}) + fill(0x10000, 0xB0) +
             be({0xC0DECF12, 8, 4, 0x10, 0xC0DECF1F})},
        {"one byte more, split over two modules, is refused",
         {{"a.o", ModuleBuilder().base(fill(0x8000, 0xB0)).end()},
          {"b.o", ModuleBuilder().base(fill(0x8001, 0xB1)).end()}},
         {"a.o", "b.o"},
         R"(error: Merged data > 64k

Build information for a.out (cpu: 5206)
  -  0.000 base $ffff8000-$00000000 Size:    32768 (??-???-????)
  -  0.000 base $00000000-$00008001 Size:    32769 (??-???-????)

tarnel complete - Maximum code size = 65537 ($00010001) bytes

Maximum file size = 0 ($00000000) bytes
)",
         std::nullopt, 1},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

// ---------------------------------------------------------------------------
// reloc16 and reloc32 records

// alpha pushes beta's parts away from 0 in every section; beta's records
// name fields in its code, data and base parts. Its chunks are read in an
// order unlike the fixed order the executable writes them in.
Bytes relocAlpha() {
    return ModuleBuilder().name("alpha").code(fill(0x100, 0x4E)).data(fill(0x20, 0x11)).bss(0x40).base(fill(0x30, 0x33)).end();
}
Bytes relocBeta() {
    return ModuleBuilder()
        .name("beta")
        .code({0x00, 0x00, 0xAA, 0xAA, 0x00, 0x04, 0xBB, 0xBB, 0x00, 0x00, 0xCC, 0xCC, 0x00, 0x10, 0xDD, 0xDD})
        .data({0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x10})
        .base({0x00, 0x08, 0x77, 0x77})
        .bss(8)
        .bssb(4)
        .reloc16(3, 2, {0})         // base -> bss
        .reloc32(1, 3, {4})         // data -> base
        .reloc16(0, 1, {4, 8, 12})  // code -> data
        .reloc32(1, 0, {0})         // data -> code
        .reloc16(0, 4, {0})         // code -> bssb: patched, never written
        .end();
}

const std::vector<InputFile> kRelocInputs = {{"alpha.o", relocAlpha()}, {"beta.o", relocBeta()}};

TEST(Relocation, RecordsAddTheirTargetsStartAndTravelPerSectionPair) {
    const GoldenCase cases[] = {
        {"relocatable: offsets become merged-section offsets, one chunk per pair",
         kRelocInputs,
         {"alpha.o", "beta.o"},
         R"(
Build information for a.out (cpu: 5206)
 alpha  0.000 code $00000000-$00000100 Size:      256 (??-???-????)
  beta  0.000 code $00000100-$00000110 Size:       16 (??-???-????)
 alpha  0.000 data $00000000-$00000020 Size:       32 (??-???-????)
  beta  0.000 data $00000020-$00000028 Size:        8 (??-???-????)
 alpha  0.000 bss  $00000000-$00000040 Size:       64 (??-???-????)
  beta  0.000 bss  $00000040-$00000048 Size:        8 (??-???-????)
 alpha  0.000 base $ffff8000-$ffff8030 Size:       48 (??-???-????)
  beta  0.000 base $ffff8030-$ffff8034 Size:        4 (??-???-????)
  beta  0.000 bssb $ffff8034-$ffff8038 Size:        4 (??-???-????)

tarnel complete - Maximum code size = 440 ($000001b8) bytes

Maximum file size = 556 ($0000022c) bytes
)",
         be({0xC0DECF00, 8, 0x180, 0x38, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 0x114, 0}) +
             fill(0x100, 0x4E) +
             Bytes{0x80, 0x34, 0xAA, 0xAA, 0x00, 0x24, 0xBB, 0xBB, 0x00, 0x20, 0xCC, 0xCC, 0x00, 0x30, 0xDD, 0xDD} +
             be({0xC0DECF11, 0x2C, 1}) + fill(0x20, 0x11) + be({0x00000102, 0xFFFF8040}) +
             be({0xC0DECF12, 8, 2, 0x48, 0xC0DECF11, 0x38, 3}) + fill(0x30, 0x33) + Bytes{0x00, 0x48, 0x77, 0x77} +
             be({0xC0DECF12, 8, 4, 4,
                 0xC0DECF16, 0x14, 0, 1, 0x104, 0x108, 0x10C,  // the 28-byte (code, data) chunk
                 0xC0DECF16, 0x0C, 3, 2, 0x30,
                 0xC0DECF15, 0x0C, 1, 0, 0x20,
                 0xC0DECF15, 0x0C, 1, 3, 0x24,
                 0xC0DECF1F})},
        {"ROM at 0x78000000: fields hold ROM addresses, the base region follows code and data",
         kRelocInputs,
         {"-r78000000", "alpha.o", "beta.o"},
         R"(
Build information for a.out (cpu: 5206)
 alpha  0.000 code $78000000-$78000100 Size:      256 (??-???-????)
  beta  0.000 code $78000100-$78000110 Size:       16 (??-???-????)
 alpha  0.000 data $78000110-$78000130 Size:       32 (??-???-????)
  beta  0.000 data $78000130-$78000138 Size:        8 (??-???-????)
 alpha  0.000 bss  $78000138-$78000178 Size:       64 (??-???-????)
  beta  0.000 bss  $78000178-$78000180 Size:        8 (??-???-????)
 alpha  0.000 base $ffff8000-$ffff8030 Size:       48 (??-???-????)
  beta  0.000 base $ffff8030-$ffff8034 Size:        4 (??-???-????)
  beta  0.000 bssb $ffff8034-$ffff8038 Size:        4 (??-???-????)

tarnel complete - Maximum code size = 440 ($000001b8) bytes

Maximum file size = 440 ($000001b8) bytes
)",
         fill(0x100, 0x4E) +
             Bytes{0x01, 0x6C, 0xAA, 0xAA, 0x01, 0x34, 0xBB, 0xBB, 0x01, 0x30, 0xCC, 0xCC, 0x01, 0x40, 0xDD, 0xDD} +
             fill(0x20, 0x11) + be({0x78000102, 0x78000178}) + fill(0x48, 0) + fill(0x30, 0x33) +
             Bytes{0x01, 0x80, 0x77, 0x77} + fill(4, 0)},
        {"fields that end exactly at the end of their section; a target outside 0..4 adds nothing",
         {{"pad.o", ModuleBuilder().code(fill(0x10, 0x4E)).end()},
          {"m.o", ModuleBuilder()
                      .code({0x4E, 0x71, 0x00, 0x00, 0x00, 0x04, 0x00, 0x08})
                      .reloc16(0, 0, {6})
                      .reloc32(0, 0, {2})
                      .reloc16(0, 7, {0})
                      .end()}},
         {"pad.o", "m.o"},
         summary({R"(  -  0.000 code $00000000-$00000010 Size:       16 (??-???-????))",
                  R"(  -  0.000 code $00000010-$00000018 Size:        8 (??-???-????))"},
                 24, 112),
         be({0xC0DECF00, 8, 0x18, 0, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 0x1C, 0}) + fill(0x10, 0x4E) +
             Bytes{0x4E, 0x71, 0x00, 0x00, 0x00, 0x14, 0x00, 0x18} +
             be({0xC0DECF16, 0x0C, 0, 0, 0x16, 0xC0DECF15, 0x0C, 0, 0, 0x12, 0xC0DECF1F})},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

// ---------------------------------------------------------------------------
// drel16 chunks

// pad moves m's parts in data, bss, base and bssb; m's drel16 chunks name
// words in its code, one chunk per block number.
Bytes drelPad() { return ModuleBuilder().name("pad").data(fill(0x20, 0xD0)).bss(0x10).base(fill(0x30, 0xB0)).bssb(8).end(); }
Bytes drelModule() {
    return ModuleBuilder()
        .name("m")
        .code({0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x04, 0xAA, 0xAA, 0xBB, 0xBB})
        .data(fill(4, 0xD1))
        .bss(4)
        .base(fill(4, 0xB1))
        .bssb(4)
        .drel16(1, {0})
        .drel16(2, {2})
        .drel16(3, {4})
        .drel16(4, {6})
        .drel16(0, {8, 10})  // unknown block: reported, fields kept
        .drel16(1, {})       // block number alone: nothing to patch
        .end();
}

const std::vector<InputFile> kDrelInputs = {{"pad.o", drelPad()}, {"m.o", drelModule()}};

TEST(Relocation, Drel16AddsTheModulesOwnStartToCodeWords) {
    const GoldenCase cases[] = {
        {"relocatable: base and bssb with the bias; drel16 chunks are not carried",
         kDrelInputs,
         {"pad.o", "m.o"},
         R"(numoff 2 blk = 0

Build information for a.out (cpu: 5206)
   m  0.000 code $00000000-$0000000c Size:       12 (??-???-????)
 pad  0.000 data $00000000-$00000020 Size:       32 (??-???-????)
   m  0.000 data $00000020-$00000024 Size:        4 (??-???-????)
 pad  0.000 bss  $00000000-$00000010 Size:       16 (??-???-????)
   m  0.000 bss  $00000010-$00000014 Size:        4 (??-???-????)
 pad  0.000 base $ffff8000-$ffff8030 Size:       48 (??-???-????)
   m  0.000 base $ffff8030-$ffff8034 Size:        4 (??-???-????)
 pad  0.000 bssb $ffff8034-$ffff803c Size:        8 (??-???-????)
   m  0.000 bssb $ffff803c-$ffff8040 Size:        4 (??-???-????)

tarnel complete - Maximum code size = 132 ($00000084) bytes

Maximum file size = 204 ($000000cc) bytes
)",
         be({0xC0DECF00, 8, 0x44, 0x40, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 16, 0}) +
             Bytes{0x00, 0x21, 0x00, 0x12, 0x80, 0x30, 0x80, 0x40, 0xAA, 0xAA, 0xBB, 0xBB} +
             be({0xC0DECF11, 0x28, 1}) + fill(0x20, 0xD0) + fill(4, 0xD1) +
             be({0xC0DECF12, 8, 2, 0x14, 0xC0DECF11, 0x38, 3}) + fill(0x30, 0xB0) + fill(4, 0xB1) +
             be({0xC0DECF12, 8, 4, 0x0C, 0xC0DECF1F})},
        {"ROM: data and bss starts include the totals before them, never romStart",
         kDrelInputs,
         {"-r100", "pad.o", "m.o"},
         R"(numoff 2 blk = 0

Build information for a.out (cpu: 5206)
   m  0.000 code $00000100-$0000010c Size:       12 (??-???-????)
 pad  0.000 data $0000010c-$0000012c Size:       32 (??-???-????)
   m  0.000 data $0000012c-$00000130 Size:        4 (??-???-????)
 pad  0.000 bss  $00000130-$00000140 Size:       16 (??-???-????)
   m  0.000 bss  $00000140-$00000144 Size:        4 (??-???-????)
 pad  0.000 base $ffff8000-$ffff8030 Size:       48 (??-???-????)
   m  0.000 base $ffff8030-$ffff8034 Size:        4 (??-???-????)
 pad  0.000 bssb $ffff8034-$ffff803c Size:        8 (??-???-????)
   m  0.000 bssb $ffff803c-$ffff8040 Size:        4 (??-???-????)

tarnel complete - Maximum code size = 132 ($00000084) bytes

Maximum file size = 132 ($00000084) bytes
)",
         Bytes{0x00, 0x2D, 0x00, 0x42, 0x80, 0x30, 0x80, 0x40, 0xAA, 0xAA, 0xBB, 0xBB} + fill(0x20, 0xD0) +
             fill(4, 0xD1) + fill(0x14, 0) + fill(0x30, 0xB0) + fill(4, 0xB1) + fill(0x0C, 0)},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

// ---------------------------------------------------------------------------
// Symbol resolution

// pad moves lib's parts; user refers to lib's symbols in every section with
// every access type. Layout: code pad 0, user 0x10, lib 0x40; data pad 0,
// lib 0x10; bss lib 0; base pad 0, lib 0x30; bssb lib 0x38 (after 0x38 of
// base). So cfun A = C = 0x44, dvar A = 0x18, bvar A = 2,
// basev A = 0x34 - 0x8000, bssbv A = 0x38 - 0x8000, here A = C = 0x10,
// _base A = 0x8000; Q = 0x10 + offset.
Bytes resolvePad() { return ModuleBuilder().name("pad").code(fill(0x10, 0xC0)).data(fill(0x10, 0xD0)).base(fill(0x30, 0xB0)).end(); }
Bytes resolveLib() {
    return ModuleBuilder()
        .name("lib")
        .code(fill(0x10, 0xC2))
        .data(fill(0x10, 0xD2))
        .bss(0x10)
        .base(fill(8, 0xB2))
        .bssb(4)
        .xdef(S::code, 4, "cfun")
        .xdef(S::data, 8, "dvar")
        .xdef(S::bss, 2, "bvar")
        .xdef(S::base, 4, "basev")
        .xdef(S::bssb, 0, "bssbv")
        .end();
}
Bytes resolveUser() {
    return ModuleBuilder()
        .name("user")
        .code({0x00, 0x00, 0x00, 0x00,  // 00 abs32 cfun
               0x00, 0x00,              // 04 abs16 dvar
               0x00, 0x00,              // 06 abs16 basev
               0x00, 0x00, 0x00, 0x00,  // 08 abs32 _base
               0x60, 0xFF,              // 0C pcrel8 cfun: the opcode byte stays
               0x00, 0x00,              // 0E pcrel16 cfun
               0x00, 0x00, 0x00, 0x00,  // 10 pcrel32 cfun
               0x41, 0xF8,              // 14 rel8 dvar: F8 + 18 wraps to 10
               0x00, 0x02,              // 16 rel16 basev, added to 2
               0x00, 0x00, 0x00, 0x10,  // 18 rel32 bssbv, added to 0x10
               0x12, 0x34,              // 1C abs8 nowhere: ignored
               0x00, 0x01,              // 1E rel16 bvar
               0x00, 0x00, 0x00, 0x00,  // 20 abs32 bvar
               0x00, 0x00,              // 24 abs16 bssbv: its record is never written
               0x00, 0x00,              // 26 pcrel16 here, backwards
               0x61, 0x00,              // 28 pcrel8 here, backwards
               0x00, 0x00, 0x00, 0x00,  // 2A rel32 cfun
               0x4E, 0x75})
        .xdef(S::code, 0, "here")
        .xref(LINK_ABS32, "cfun", {0x00})
        .xref(LINK_ABS16, "dvar", {0x04})
        .xref(LINK_ABS16, "basev", {0x06})
        .xref(LINK_ABS32, "_base", {0x08})
        .xref(LINK_PCREL8, "cfun", {0x0C})
        .xref(LINK_PCREL16, "cfun", {0x0E})
        .xref(LINK_PCREL32, "cfun", {0x10})
        .xref(LINK_REL8, "dvar", {0x14})
        .xref(LINK_REL16, "basev", {0x16})
        .xref(LINK_REL32, "bssbv", {0x18})
        .xref(LINK_ABS8, "nowhere", {0x1C})
        .xref(LINK_REL16, "bvar", {0x1E})
        .xref(LINK_ABS32, "bvar", {0x20})
        .xref(LINK_ABS16, "bssbv", {0x24})
        .xref(LINK_PCREL16, "here", {0x26})
        .xref(LINK_PCREL8, "here", {0x28})
        .xref(LINK_REL32, "cfun", {0x2A})
        .end();
}

TEST(Resolution, EveryAccessTypePatchesItsField) {
    const GoldenCase cases[] = {
        {"every access type into every section; absolute references leave records",
         {{"pad.o", resolvePad()}, {"user.o", resolveUser()}, {"lib.o", resolveLib()}},
         {"pad.o", "user.o", "lib.o"},
         R"(
Build information for a.out (cpu: 5206)
  pad  0.000 code $00000000-$00000010 Size:       16 (??-???-????)
 user  0.000 code $00000010-$00000040 Size:       48 (??-???-????)
  lib  0.000 code $00000040-$00000050 Size:       16 (??-???-????)
  pad  0.000 data $00000000-$00000010 Size:       16 (??-???-????)
  lib  0.000 data $00000010-$00000020 Size:       16 (??-???-????)
  lib  0.000 bss  $00000000-$00000010 Size:       16 (??-???-????)
  pad  0.000 base $ffff8000-$ffff8030 Size:       48 (??-???-????)
  lib  0.000 base $ffff8030-$ffff8038 Size:        8 (??-???-????)
  lib  0.000 bssb $ffff8038-$ffff803c Size:        4 (??-???-????)

tarnel complete - Maximum code size = 188 ($000000bc) bytes

Maximum file size = 372 ($00000174) bytes
)",
         be({0xC0DECF00, 8, 0x80, 0x3C, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 0x54, 0}) + fill(0x10, 0xC0) +
             Bytes{0x00, 0x00, 0x00, 0x44,  // 00
                   0x00, 0x18,              // 04
                   0x80, 0x34,              // 06
                   0x00, 0x00, 0x80, 0x00,  // 08
                   0x60, 0x28,              // 0C 0x44 - 0x1C
                   0x00, 0x26,              // 0E 0x44 - 0x1E
                   0x00, 0x00, 0x00, 0x24,  // 10 0x44 - 0x20
                   0x41, 0x10,              // 14
                   0x80, 0x36,              // 16
                   0xFF, 0xFF, 0x80, 0x48,  // 18
                   0x12, 0x34,              // 1C
                   0x00, 0x03,              // 1E
                   0x00, 0x00, 0x00, 0x02,  // 20
                   0x80, 0x38,              // 24
                   0xFF, 0xDA,              // 26 0x10 - 0x36
                   0x61, 0xD8,              // 28 0x10 - 0x38
                   0x00, 0x00, 0x00, 0x44,  // 2A
                   0x4E, 0x75} +
             fill(0x10, 0xC2) + be({0xC0DECF11, 0x24, 1}) + fill(0x10, 0xD0) + fill(0x10, 0xD2) +
             be({0xC0DECF12, 8, 2, 0x10, 0xC0DECF11, 0x3C, 3}) + fill(0x30, 0xB0) + fill(8, 0xB2) +
             be({0xC0DECF12, 8, 4, 4,
                 0xC0DECF16, 0x0C, 0, 1, 0x14,  // abs16 dvar
                 0xC0DECF16, 0x0C, 0, 3, 0x16,  // abs16 basev
                 0xC0DECF15, 0x0C, 0, 0, 0x10,  // abs32 cfun
                 0xC0DECF15, 0x0C, 0, 3, 0x18,  // abs32 _base
                 0xC0DECF15, 0x0C, 0, 2, 0x30,  // abs32 bvar
                 0xC0DECF1F})},
        {"the first definition of a name wins; a module's own _base wins over the linker's",
         {{"one.o", ModuleBuilder().name("one").code(fill(4, 0xC1)).xdef(S::code, 0, "dup").end()},
          {"two.o", ModuleBuilder()
                        .name("two")
                        .code(fill(4, 0xC2))
                        .data(fill(8, 0xD2))
                        .base(fill(4, 0xB2))
                        .xdef(S::code, 2, "dup")
                        .xdef(S::data, 4, "_base")
                        .end()},
          {"three.o", ModuleBuilder()
                          .name("three")
                          .code(fill(8, 0))
                          .xref(LINK_ABS32, "dup", {0})
                          .xref(LINK_ABS32, "_base", {4})
                          .end()}},
         {"one.o", "two.o", "three.o"},
         R"(
Build information for a.out (cpu: 5206)
   one  0.000 code $00000000-$00000004 Size:        4 (??-???-????)
   two  0.000 code $00000004-$00000008 Size:        4 (??-???-????)
 three  0.000 code $00000008-$00000010 Size:        8 (??-???-????)
   two  0.000 data $00000000-$00000008 Size:        8 (??-???-????)
   two  0.000 base $ffff8000-$ffff8004 Size:        4 (??-???-????)

tarnel complete - Maximum code size = 28 ($0000001c) bytes

Maximum file size = 140 ($0000008c) bytes
)",
         be({0xC0DECF00, 8, 0x18, 4, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 0x14, 0}) + fill(4, 0xC1) +
             fill(4, 0xC2) + be({0, 4, 0xC0DECF11, 12, 1}) + fill(8, 0xD2) + be({0xC0DECF11, 8, 3}) +
             fill(4, 0xB2) + be({0xC0DECF15, 0x0C, 0, 0, 8, 0xC0DECF15, 0x0C, 0, 1, 0x0C, 0xC0DECF1F})},
        {"an empty name field names the empty name, which resolves like any other",
         {{"m.o", ModuleBuilder()
                      .code({0, 0, 0, 0})
                      .chunk(ChunkTag::link, be({0x80000000, 2, 0x02000000, 1, 0, 0xFF000000}))
                      .end()}},
         {"-m", "m.o"},
         summary({R"(  -  0.000 code $00000000-$00000004 Size:        4 (??-???-????))"}, 4, 72) + R"(

Map listing for a.out

xdef (external definition)
   xdef initial calculated section   module  internal (filename)
----------------------------------------------------------------
        00000002(00000002), code, in module: - (m.o)

xref (external reference)
   xref  value  section     access            module  internal (filename)
-------------------------------------------------------------------------
        00000000, code, absolute   32-bit, in module: - (m.o)

relocation table
-------------------------------------------------------------------------
    block code offset 00000000, value 00000002 (32-bit)
)",
         be({0xC0DECF00, 8, 4, 0, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 8, 0, 2,
             0xC0DECF15, 12, 0, 0, 0, 0xC0DECF1F})},
        {"ROM with -b: absolute references include romStart; _base still counts the bss",
         {{"pad.o", ModuleBuilder().code(fill(0x100, 0x4E)).end()},
          {"m.o", ModuleBuilder()
                      .code({0, 0, 0, 0, 0, 0, 0x4E, 0x71, 0, 0, 0, 0})
                      .data(fill(4, 0xD0))
                      .bss(0x10)
                      .base({0xB0, 0xB1})
                      .xdef(S::code, 0x20, "fn")
                      .xref(LINK_ABS32, "_base", {0})
                      .xref(LINK_ABS16, "_base", {4})
                      .xref(LINK_ABS32, "fn", {8})
                      .end()}},
         {"-r78000000", "-b", "pad.o", "m.o"},
         // _base = 0x10000 + 0x10C + 4 + 0x10; A = _base - 0x8000
         summary({R"(  -  0.000 code $78000000-$78000100 Size:      256 (??-???-????))",
                  R"(  -  0.000 code $78000100-$7800010c Size:       12 (??-???-????))",
                  R"(  -  0.000 data $7800010c-$78000110 Size:        4 (??-???-????))",
                  R"(  -  0.000 bss  $78000110-$78000120 Size:       16 (??-???-????))",
                  R"(  -  0.000 base $ffff8000-$ffff8002 Size:        2 (??-???-????))"},
                 290, 290),
         fill(0x100, 0x4E) + be({0x78008120, 0x81204E71, 0x78000120}) + fill(4, 0xD0) + Bytes{0xB0, 0xB1}},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

// One module of four code bytes that defines t and refers to it once:
// C = Q + (value - offset), and A = value for a data or bss symbol.
struct RangeRow {
    const char* title;
    uint8_t type;
    SectionKind section;
    uint32_t value;
    uint32_t at;           // offset of the field
    Bytes code;            // before the link
    const char* message;   // "" when the reference is in range
    Bytes patched;         // the code after the link, when in range
};

TEST(Resolution, RelativeKindsAreRangeChecked) {
    const Bytes bra{0x60, 0x00, 0x4E, 0x75};
    const Bytes lea{0x41, 0x01, 0x4E, 0x75};
    const Bytes word{0x00, 0x10, 0x4E, 0x75};
    const char* byteError = "error: Byte relative out of range for reference t in m.o\n";
    const char* wordError = "error: Word relative out of range for reference t in m.o\n";
    const RangeRow rows[] = {
        {"pcrel8 +127", LINK_PCREL8, S::code, 0x7F, 0, bra, "", {0x60, 0x7F, 0x4E, 0x75}},
        {"pcrel8 +128", LINK_PCREL8, S::code, 0x80, 0, bra, byteError, {}},
        {"pcrel8 -128", LINK_PCREL8, S::code, 0xFFFFFF80, 0, bra, "", {0x60, 0x80, 0x4E, 0x75}},
        {"pcrel8 -129", LINK_PCREL8, S::code, 0xFFFFFF7F, 0, bra, byteError, {}},
        {"pcrel8 counts from the field", LINK_PCREL8, S::code, 0x81, 2, {0x4E, 0x71, 0x60, 0x00}, "",
         {0x4E, 0x71, 0x60, 0x7F}},
        {"pcrel16 +32767", LINK_PCREL16, S::code, 0x7FFF, 0, word, "", {0x7F, 0xFF, 0x4E, 0x75}},
        {"pcrel16 +32768", LINK_PCREL16, S::code, 0x8000, 0, word, wordError, {}},
        {"pcrel16 -32768", LINK_PCREL16, S::code, 0xFFFF8000, 0, word, "", {0x80, 0x00, 0x4E, 0x75}},
        {"pcrel16 -32769", LINK_PCREL16, S::code, 0xFFFF7FFF, 0, word, wordError, {}},
        {"pcrel32 has no limit", LINK_PCREL32, S::code, 0x12345678, 0, word, "", {0x12, 0x34, 0x56, 0x78}},
        {"rel8 checks A alone, the sum wraps", LINK_REL8, S::data, 0x7F, 0, lea, "", {0x41, 0x80, 0x4E, 0x75}},
        {"rel8 +128", LINK_REL8, S::data, 0x80, 0, lea, byteError, {}},
        {"rel8 -128", LINK_REL8, S::bss, 0xFFFFFF80, 0, lea, "", {0x41, 0x81, 0x4E, 0x75}},
        {"rel8 -129", LINK_REL8, S::bss, 0xFFFFFF7F, 0, lea, byteError, {}},
        {"rel16 +32767", LINK_REL16, S::data, 0x7FFF, 0, word, "", {0x80, 0x0F, 0x4E, 0x75}},
        {"rel16 to data at 0x9000", LINK_REL16, S::data, 0x9000, 0, word, wordError, {}},
        {"rel16 to base offset 0 is -32768", LINK_REL16, S::base, 0, 0, word, "", {0x80, 0x10, 0x4E, 0x75}},
        {"rel16 to base offset 0x10000 is +32768", LINK_REL16, S::base, 0x10000, 0, word, wordError, {}},
        {"rel32 has no limit and wraps", LINK_REL32, S::data, 0xFFFFFFF0, 0, {0x00, 0x00, 0x00, 0x20}, "",
         {0x00, 0x00, 0x00, 0x10}},
    };
    for (const RangeRow& row : rows) {
        bool ok = std::string(row.message).empty();
        GoldenCase c{row.title,
                     {{"m.o", ModuleBuilder().code(row.code).xdef(row.section, row.value, "t").xref(row.type, "t", {row.at}).end()}},
                     {"m.o"},
                     row.message + summary({R"(  -  0.000 code $00000000-$00000004 Size:        4 (??-???-????))"}, 4,
                                           ok ? 52 : 0),
                     std::nullopt,
                     ok ? 0 : 1};
        if (ok) c.file = be({0xC0DECF00, 8, 4, 0, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 8, 0}) + row.patched +
                         be({0xC0DECF1F});
        checkGolden(c);
    }
}

TEST(Resolution, FailedLinksPrintEverythingButWriteNothing) {
    const std::string oneModule = R"(  -  0.000 code $00000000-$0000000c Size:       12 (??-???-????))";
    const GoldenCase cases[] = {
        {"a name referenced from three places and defined nowhere is reported three times",
         {{"m.o", ModuleBuilder().code(fill(12, 0)).xref(LINK_ABS32, "missing", {0, 4, 8}).end()}},
         {"m.o"},
         "error: reference missing not found\n"
         "error: reference missing not found\n"
         "error: reference missing not found\n" +
             summary({oneModule}, 12, 0),
         std::nullopt, 1},
        {"without base data there is no _base, even with bssb",
         {{"m.o", ModuleBuilder().code(fill(12, 0)).bssb(8).xref(LINK_ABS32, "_base", {0}).end()}},
         {"m.o"},
         "error: reference _base not found\n" +
             summary({oneModule, R"(  -  0.000 bssb $ffff8000-$ffff8008 Size:        8 (??-???-????))"}, 20, 0),
         std::nullopt, 1},
        {"resolution goes on after an error and reports each fault",
         {{"m.o", ModuleBuilder()
                      .code(fill(12, 0))
                      .xdef(S::code, 0x200, "far")
                      .xref(LINK_ABS32, "gone", {0})
                      .xref(LINK_PCREL8, "far", {4})
                      .xref(LINK_ABS32, "far", {8})
                      .end()}},
         {"m.o"},
         "error: reference gone not found\n"
         "error: Byte relative out of range for reference far in m.o\n" +
             summary({oneModule}, 12, 0),
         std::nullopt, 1},
        {"ROM mode still shows the code size as the file size",
         {{"m.o", ModuleBuilder().code(fill(12, 0)).xref(LINK_ABS32, "missing", {0}).end()}},
         {"-r400", "m.o"},
         "error: reference missing not found\n" +
             summary({R"(  -  0.000 code $00000400-$0000040c Size:       12 (??-???-????))"}, 12, 12),
         std::nullopt, 1},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

// A link state made by hand, with one module of code bytes, for the
// lookups and guards that loaded modules cannot reach.
struct HandMadeLink {
    explicit HandMadeLink(const Bytes& codeBytes) : code(be({0}) + codeBytes) {
        linkerStartup(state);
        Module& m = state.modules[0];
        m.fileName = "m.o";
        m.codeChunk = std::span<uint8_t>(code);
        m.codeSize = uint32_t(codeBytes.size());
        state.moduleCount = 1;
    }
    Bytes codeBytes() const { return Bytes(code.begin() + 4, code.end()); }

    std::ostringstream out;
    LinkState state{out};
    Bytes code;  // the kept payload: block type word, then the code
};

// The loader only makes xdefs of sections 0..4, so the guards for any other
// section are driven by hand: each access type has its own diagnostic, and
// A is taken as 0.
struct BadSectionRow {
    uint8_t type;
    Bytes field;
    std::string message;
    bool isError;
    Bytes patched;
    int recordList;  // 16, 32, or 0 for none
};

TEST(Resolution, AnXdefSectionOutsideTheFiveIsDiagnosedPerAccessType) {
    const BadSectionRow rows[] = {
        {LINK_REL8, {0x41, 0x05, 0, 0}, "Error in LINK_REL8\n", false, {0x41, 0x05, 0, 0}, 0},
        {LINK_REL16, {0x00, 0x05, 0, 0}, "error: Can not perform LINK_REL16. Index addressing incorrect?\n", true,
         {0x00, 0x05, 0, 0}, 0},
        {LINK_REL32, {0, 0, 0, 5}, "Error in LINK_REL32\n", false, {0, 0, 0, 5}, 0},
        {LINK_ABS16, {0xFF, 0xFF, 0, 0}, "Error in LINK_ABS16\n", false, {0x12, 0x34, 0, 0}, 16},
        {LINK_ABS32, {0xFF, 0xFF, 0xFF, 0xFF}, "Error in LINK_ABS32 (btype = 7)\n", false, {0, 0, 0x12, 0x34}, 32},
    };
    for (const BadSectionRow& row : rows) {
        SCOPED_TRACE(row.message);
        HandMadeLink link(row.field);
        LinkState& state = link.state;
        state.options.romStart = 0x1234;
        state.xdefList.push_back(LinkSymbol{"t", 0x10, 0, 0, 7, 0x87});
        state.xrefList.push_back(LinkSymbol{"t", 0, 0, 0, 0, row.type});

        resolveXrefs(state);

        EXPECT_EQ(link.out.str(), row.message);
        EXPECT_EQ(state.errorStatus != 0, row.isError);
        EXPECT_EQ(hexBytes(link.codeBytes()), hexBytes(row.patched));
        EXPECT_EQ(state.xdefList[0].useCount, 1u);
        // an absolute reference keeps its record, target section and all
        EXPECT_EQ(state.reloc16List.size(), row.recordList == 16 ? 1u : 0u);
        EXPECT_EQ(state.reloc32List.size(), row.recordList == 32 ? 1u : 0u);
        for (const auto* list : {&state.reloc16List, &state.reloc32List}) {
            for (const RelocEntry& r : *list) {
                EXPECT_EQ(r.offset, 0u);
                EXPECT_EQ(r.value, 0x1234u);
                EXPECT_EQ(r.fromSection, 0u);
                EXPECT_EQ(r.toSection, 7u);
            }
        }
    }
}

TEST(Resolution, EveryResolvedReferenceCountsAUseOfTheFirstDefinition) {
    HandMadeLink link({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x60, 0x00});
    LinkState& state = link.state;
    state.xdefList.push_back(LinkSymbol{"dup", 0, 0, 0, 0, 0x80});
    state.xdefList.push_back(LinkSymbol{"other", 4, 0, 0, 0, 0x80});
    state.xdefList.push_back(LinkSymbol{"dup", 8, 0, 0, 0, 0x80});
    state.xrefList.push_back(LinkSymbol{"dup", 0, 0, 0, 0, LINK_ABS32});
    state.xrefList.push_back(LinkSymbol{"dup", 4, 0, 0, 0, LINK_ABS32});
    state.xrefList.push_back(LinkSymbol{"other", 8, 0, 0, 0, LINK_PCREL16});
    state.xrefList.push_back(LinkSymbol{"other", 10, 0, 0, 0, LINK_ABS8});  // never looked up

    resolveXrefs(state);

    EXPECT_EQ(link.out.str(), "");
    EXPECT_EQ(state.xdefList[0].useCount, 2u);
    EXPECT_EQ(state.xdefList[1].useCount, 1u);
    EXPECT_EQ(state.xdefList[2].useCount, 0u);
    EXPECT_EQ(hexBytes(link.codeBytes()), hexBytes({0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFC, 0x60, 0x00}));
}

// Whether this process can start a thread at all.
bool canStartAThread() {
    try {
        std::thread([] {}).join();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

// 40,000 absolute places over 1,000 names, enough for the lookups to want a
// second thread: 0 when every place is patched and recorded, else 1.
int linkManyPlaces() {
    constexpr uint32_t kPlaces = 40000, kNames = 1000;
    HandMadeLink link(Bytes(4 * kPlaces, 0));
    LinkState& state = link.state;
    std::vector<std::string> names;
    for (uint32_t i = 0; i < kNames; ++i) names.push_back("n" + std::to_string(i));
    for (uint32_t i = 0; i < kNames; ++i) state.xdefList.push_back(LinkSymbol{names[i], 2 * i, 0, 0, 0, 0x80});
    for (uint32_t i = 0; i < kPlaces; ++i) state.xrefList.push_back(LinkSymbol{names[i % kNames], 4 * i, 0, 0, 0, LINK_ABS32});
    resolveXrefs(state);
    Bytes code = link.codeBytes();
    for (uint32_t i = 0; i < kPlaces; ++i)
        if (readWordBE(code.data() + 4 * i) != 2 * (i % kNames)) return 1;
    return link.out.str().empty() && state.reloc32List.size() == kPlaces ? 0 : 1;
}

// Modules whose references reach each other's definitions, enough files
// to be read ahead and places to be looked up on a second thread.
void writeManyModules(const ScratchDir& dir, std::vector<std::string>& args) {
    constexpr uint32_t kModules = ReadAhead::kWorthAThreadFrom + 44, kPlaces = 128;
    std::vector<uint32_t> offsets;
    for (uint32_t i = 0; i < kPlaces; ++i) offsets.push_back(4 * i);
    for (uint32_t m = 0; m < kModules; ++m) {
        const std::string name = "m" + std::to_string(m) + ".o";
        dir.write(name, ModuleBuilder()
                            .code(Bytes(4 * kPlaces, 0))
                            .xdef(SectionKind::code, 4 * m, "f" + std::to_string(m))
                            .xref(LINK_ABS32, "f" + std::to_string((m + 1) % kModules), offsets)
                            .end());
        args.push_back(name);
    }
}

// Files are read ahead and names looked up on a second thread when one can
// be had, and everything is done on the calling thread when none can: the
// same patches and the same file either way. The child drops to an ordinary
// user (a task limit does not bind root) and allows that user one task,
// itself.
TEST(WholeRun, ManyFilesAndPlacesLinkWithOrWithoutASecondThread) {
    ScratchDir dir;
    std::vector<std::string> args{"-m", "-r0"};
    writeManyModules(dir, args);
    // the child, perhaps another user, reads the modules and writes beside them
    std::filesystem::permissions(dir.path(""), std::filesystem::perms::all);
    for (const auto& e : std::filesystem::directory_iterator(dir.path("")))
        std::filesystem::permissions(e.path(), std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                                   std::filesystem::perms::others_read);
    std::vector<std::string> parentArgs = args;
    parentArgs.insert(parentArgs.end(), {"-o", "out"});
    const RunResult reference = runLinker(dir, parentArgs);
    ASSERT_EQ(reference.status, 0) << reference.out;
    for (bool threadsLimited : {false, true}) {
        SCOPED_TRACE(threadsLimited);
        pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            if (threadsLimited) {
                if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
                rlimit one{1, 1};
                if (setrlimit(RLIMIT_NPROC, &one) != 0) _exit(2);
            }
            // nothing may leave the child, or it would go on running the suite
            try {
                if (canStartAThread() == threadsLimited) _exit(3);
                if (linkManyPlaces() != 0) _exit(1);
                std::vector<std::string> childArgs = args;
                childArgs.insert(childArgs.end(), {"-o", "child.out"});
                const RunResult run = runLinker(dir, childArgs);
                const std::string expected = std::regex_replace(reference.out, std::regex("\\bout\\b"), "child.out");
                _exit(run.status == 0 && run.out == expected && dir.read("child.out") == dir.read("out") ? 0 : 5);
            } catch (...) {
                _exit(4);
            }
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "child ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: wrong patches, 2: limit not set, 3: threads not as wanted, "
                                             "4: an exception, 5: another file or report";
        std::filesystem::remove(dir.path("child.out"));
    }
}

TEST(Resolution, NameIndexFindsTheFirstDefinitionAmongManyAlikeNames) {
    // names that share long prefixes and differ in their tails or lengths,
    // each defined twice
    std::vector<std::string> names = {"", "a", "ab", "abcdefgh", "abcdefghi"};
    for (int i = 0; i < 5000; ++i) names.push_back("a_rather_long_common_prefix_" + std::to_string(i));
    std::vector<LinkSymbol> xdefs;
    for (int round = 0; round < 2; ++round)
        for (const std::string& n : names) xdefs.push_back(LinkSymbol{n, 0, 0, 0, 0, 0x80});
    XdefIndex index(xdefs);
    for (uint32_t i = 0; i < names.size(); ++i) ASSERT_EQ(index.find(names[i], XdefIndex::hash(names[i])), i) << names[i];
    // exactly the first round's places are the first of their names
    const std::vector<bool> first = index.firstOfName(xdefs.size());
    for (uint32_t i = 0; i < xdefs.size(); ++i) ASSERT_EQ(first[i], i < names.size()) << i;
    for (std::string_view missing : {"abc", "a_rather_long_common_prefix_", "a_rather_long_common_prefix_5000"})
        EXPECT_EQ(index.find(missing, XdefIndex::hash(missing)), XdefIndex::npos) << missing;
}

// The name hash the index once used: unkeyed and invertible, so that names
// can be made whose hashes share their low bits.
constexpr uint64_t kOldK = 0x9E3779B97F4A7C15ull;

uint64_t oldHashOf8(const std::string& name) {
    uint64_t w;
    std::memcpy(&w, name.data(), 8);
    uint64_t h = (8 * kOldK ^ w) * kOldK;
    h ^= h >> 29;
    h *= kOldK;
    return h ^ (h >> 32);
}

// The 8-byte name whose old hash is f.
std::string nameOfOldHash(uint64_t f) {
    uint64_t inverse = kOldK;
    for (int i = 0; i < 6; ++i) inverse *= 2 - kOldK * inverse;
    uint64_t h = (f ^ (f >> 32)) * inverse;
    uint64_t g = h ^ (h >> 29) ^ (h >> 58);
    uint64_t w = (g * inverse) ^ (8 * kOldK);
    std::string name(8, '\0');
    std::memcpy(name.data(), &w, 8);
    return name;
}

// Names cannot be chosen to pile up in one run of slots: 20,000 names whose
// old hashes all share their low 20 bits (one run of 20,000 slots in a table
// of 2^15) spread like plain names, and each is found.
TEST(Resolution, NameIndexHasNoLongRunOnCraftedNames) {
    constexpr uint32_t kNames = 20000;
    std::vector<std::string> crafted, plain;
    for (uint64_t i = 1; i <= kNames; ++i) {
        crafted.push_back(nameOfOldHash(i << 20 | 0xABCDE));
        ASSERT_EQ(oldHashOf8(crafted.back()) & 0xFFFFF, 0xABCDEu);
        plain.push_back("name_" + std::to_string(i));
    }
    for (const auto* names : {&crafted, &plain}) {
        std::vector<LinkSymbol> xdefs;
        for (const std::string& n : *names) xdefs.push_back(LinkSymbol{n, 0, 0, 0, 0, 0x80});
        XdefIndex index(xdefs);
        EXPECT_LT(index.longestRun(), 1000u);
        for (uint32_t i = 0; i < kNames; ++i) ASSERT_EQ(index.find((*names)[i], XdefIndex::hash((*names)[i])), i);
    }
}

// A link with enough places to be looked up on two threads resolves exactly
// as one with few: every field holds its first definition's address, uses
// are counted, records follow the xref order, and the missing names are
// reported in that order too.
TEST(Resolution, ManyPlacesResolveInXrefOrder) {
    constexpr uint32_t kPlaces = 100003, kNames = 5000;
    HandMadeLink link(Bytes(size_t(kPlaces) * 4, 0));
    LinkState& state = link.state;
    std::vector<std::string> names;
    for (uint32_t i = 0; i < kNames; ++i) names.push_back("shared_prefix_of_a_fair_length_" + std::to_string(i));
    // every name defined twice, the second definition at another value
    for (int round = 0; round < 2; ++round)
        for (uint32_t i = 0; i < kNames; ++i)
            state.xdefList.push_back(LinkSymbol{names[i], i * 4 + uint32_t(round), 0, 0, 0, 0x80});
    const std::string missingA = "missing_one", missingB = "missing_two";
    auto nameOf = [&](uint32_t place) -> std::string_view {
        if (place == 7 || place == kPlaces - 2) return missingA;  // one near each end
        if (place == kPlaces / 2 + 1) return missingB;
        return names[(place * 7919u) % kNames];
    };
    for (uint32_t p = 0; p < kPlaces; ++p)
        state.xrefList.push_back(LinkSymbol{nameOf(p), p * 4, 0, 0, 0, uint8_t(p % 3 == 0 ? LINK_PCREL32 : LINK_ABS32)});

    resolveXrefs(state);

    EXPECT_EQ(link.out.str(), "error: reference missing_one not found\n"
                              "error: reference missing_two not found\n"
                              "error: reference missing_one not found\n");
    const Bytes code = link.codeBytes();
    std::vector<uint32_t> uses(kNames, 0);
    std::vector<RelocEntry> records;
    for (uint32_t p = 0; p < kPlaces; ++p) {
        std::string_view name = nameOf(p);
        uint32_t field = readWordBE(code.data() + p * 4);
        if (name == missingA || name == missingB) {
            ASSERT_EQ(field, 0u) << p;
            continue;
        }
        uint32_t target = (p * 7919u) % kNames;
        uses[target] += 1;
        uint32_t expected = p % 3 == 0 ? target * 4 - p * 4 : target * 4;
        ASSERT_EQ(field, expected) << p;
        if (p % 3 != 0) records.push_back(RelocEntry{p * 4, expected, 0, 0, 0, 0});
    }
    for (uint32_t i = 0; i < kNames; ++i) {
        ASSERT_EQ(state.xdefList[i].useCount, uses[i]) << names[i];
        ASSERT_EQ(state.xdefList[kNames + i].useCount, 0u) << names[i];
    }
    ASSERT_EQ(state.reloc32List.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        ASSERT_EQ(state.reloc32List[i].offset, records[i].offset) << i;
        ASSERT_EQ(state.reloc32List[i].value, records[i].value) << i;
    }
}

// ---------------------------------------------------------------------------
// Fix-ups that name no field inside their module's bytes

struct FaultRow {
    const char* title;
    Bytes module;
    const char* message;
    std::vector<std::string> moduleLines;
    uint32_t codeSize;
};

TEST(Relocation, FieldsOutsideTheSectionBytesAreReportedAndNotPatched) {
    const std::vector<std::string> code4 = {R"(  -  0.000 code $00000000-$00000004 Size:        4 (??-???-????))"};
    const Bytes four{0x4E, 0x71, 0x4E, 0x75};
    const FaultRow rows[] = {
        {"reloc16 running past the code", ModuleBuilder().code(four).reloc16(0, 0, {3}).end(),
         "Relocation at $00000003 outside code section in m.o\n", code4, 4},
        {"reloc32 running past the code", ModuleBuilder().code(four).reloc32(0, 1, {1}).end(),
         "Relocation at $00000001 outside code section in m.o\n", code4, 4},
        {"an offset that wraps when the width is added", ModuleBuilder().code(four).reloc16(0, 0, {0xFFFFFFFF}).end(),
         "Relocation at $ffffffff outside code section in m.o\n", code4, 4},
        {"a from-section the module lacks", ModuleBuilder().code(four).reloc32(1, 0, {0}).end(),
         "Relocation at $00000000 outside data section in m.o\n", code4, 4},
        {"a base field past the base bytes", ModuleBuilder().base({0, 0}).reloc32(3, 3, {0}).end(),
         "Relocation at $00000000 outside base section in m.o\n",
         {R"(  -  0.000 base $ffff8000-$ffff8002 Size:        2 (??-???-????))"}, 2},
        {"bss has no bytes", ModuleBuilder().code(four).bss(0x10).reloc16(2, 0, {0}).end(),
         "Relocation at $00000000 outside bss section in m.o\n",
         {R"(  -  0.000 code $00000000-$00000004 Size:        4 (??-???-????))",
          R"(  -  0.000 bss  $00000000-$00000010 Size:       16 (??-???-????))"},
         20},
        {"bssb has no bytes", ModuleBuilder().code(four).bssb(0x10).reloc16(4, 0, {2}).end(),
         "Relocation at $00000002 outside bssb section in m.o\n",
         {R"(  -  0.000 code $00000000-$00000004 Size:        4 (??-???-????))",
          R"(  -  0.000 bssb $ffff8000-$ffff8010 Size:       16 (??-???-????))"},
         20},
        {"a from-section outside 0..4", ModuleBuilder().code(four).reloc16(9, 0, {0}).end(),
         "Relocation at $00000000 outside unknown section in m.o\n", code4, 4},
        {"a drel16 word past the code", ModuleBuilder().code(four).drel16(1, {3}).end(),
         "Relocation at $00000003 outside code section in m.o\n", code4, 4},
        {"a drel16 chunk in a module without code", ModuleBuilder().data(four).drel16(1, {0}).end(),
         "Relocation at $00000000 outside code section in m.o\n",
         {R"(  -  0.000 data $00000000-$00000004 Size:        4 (??-???-????))"}, 4},
        {"an abs32 xref running past the code",
         ModuleBuilder().code(four).xdef(S::code, 0, "t").xref(LINK_ABS32, "t", {2}).end(),
         "Relocation at $00000002 outside code section in m.o\n", code4, 4},
        {"a pcrel8 xref whose second byte is past the code",
         ModuleBuilder().code(four).xdef(S::code, 0, "t").xref(LINK_PCREL8, "t", {3}).end(),
         "Relocation at $00000003 outside code section in m.o\n", code4, 4},
        {"an xref offset that wraps", ModuleBuilder().code(four).xdef(S::code, 0, "t").xref(LINK_REL16, "t", {0xFFFFFFFE}).end(),
         "Relocation at $fffffffe outside code section in m.o\n", code4, 4},
        {"an xref in a module without code",
         ModuleBuilder().data(four).xdef(S::data, 0, "t").xref(LINK_ABS16, "t", {0}).end(),
         "Relocation at $00000000 outside code section in m.o\n",
         {R"(  -  0.000 data $00000000-$00000004 Size:        4 (??-???-????))"}, 4},
    };
    for (const FaultRow& row : rows) {
        checkGolden({row.title, {{"m.o", row.module}}, {"m.o"},
                     std::string("error: ") + row.message + summary(row.moduleLines, row.codeSize, 0), std::nullopt,
                     1});
    }
}

// ---------------------------------------------------------------------------
// The output file itself

TEST(OutputFile, FilesThatCannotBeCreatedOrWrittenAreReported) {
    const Bytes module = ModuleBuilder().code({0x4E, 0x71, 0x4E, 0x75}).end();
    const std::vector<std::string> code4 = {R"(  -  0.000 code $00000000-$00000004 Size:        4 (??-???-????))"};
    std::vector<GoldenCase> cases;
    for (const OutputFault& f : kOutputFaults)
        cases.push_back({f.what, {{"m.o", module}}, {"m.o", "-o", f.output},
                         std::string("error: ") + f.message + summary(code4, 4, 0, f.output), std::nullopt, 1,
                         f.output});
    // a ROM image shows the image size whatever the file holds
    cases.push_back({"a ROM image on a full device", {{"m.o", module}}, {"-r0", "m.o", "-o", "/dev/full"},
                     "error: Error writing /dev/full\n" + summary(code4, 4, 4, "/dev/full"), std::nullopt, 1,
                     "/dev/full"});
    for (const GoldenCase& c : cases) checkGolden(c);
}

}  // namespace
}  // namespace tarnel::test
