// Library files, byte for byte: the symbol table with its module numbers,
// one `lib` chunk per module holding its kept chunks unchanged in the fixed
// order, the end tag, and what a library run prints.
#include "golden.hpp"

namespace tarnel::test {
namespace {

using S = SectionKind;

TEST(Library, SymbolTableAndOneLibChunkPerModule) {
    // xrefs between the xdefs: the scan must find only the xdefs
    const Bytes mixedLink = LinkPayloadBuilder()
                                .xdef(S::code, 0, "one")
                                .xref(LINK_ABS32, "ext", std::vector<uint32_t>{0, 4})
                                .xdef(S::code, 2, "two")
                                .xref(LINK_PCREL16, "more", std::vector<uint32_t>{8})
                                .xdef(S::code, 4, "three")
                                .finish();
    // an xref whose name (UTF-8 em dashes) and offsets hold words with a top
    // byte of 0x80: the offsets spell an xdef of "zzz" the module does not make
    const Bytes xdefLikeXref =
        LinkPayloadBuilder()
            .xdef(S::code, 0, "one")
            .xref(LINK_ABS32, "abc\u2014\u2014", std::vector<uint32_t>{0x80000004, 0, 0x7A7A7A00})
            .finish();
    // name fields of 6 and 9 bytes: the scan passes over 4 and 8 of them
    const Bytes oddLink = be({0x80000006, 0}) + textBytes("abc") + Bytes{0} + be({0x81000009, 0}) +
                          textBytes("defghij") + Bytes{0} + be({0xFF000000});

    const GoldenCase cases[] = {
        {"xdefs a and b in module 0, c in module 1: a table of 36 bytes; texts are not kept",
         {{"a.o", ModuleBuilder()
                      .name("alpha")
                      .version("2.00")
                      .date("(02-Feb-2022)")
                      .processor(0x52080000)
                      .code({0x4E, 0x75})
                      .xdef(S::code, 0, "a")
                      .xdef(S::code, 2, "b")
                      .end()},
          {"b.o", ModuleBuilder().data({1, 2, 3, 4}).xdef(S::data, 0, "c").end()}},
         {"-g", "a.o", "b.o", "-o", "lib.a"},
         R"(
Build information for lib.a (cpu: 5208)
 alpha   2.00 code $00000000-$00000006 Size:        6 (02-Feb-2022)
     -  0.000 data $00000000-$00000008 Size:        8 (??-???-????)

tarnel complete - Maximum code size = 14 ($0000000e) bytes

Maximum file size = 154 ($0000009a) bytes
)",
         be({0xC0DECF02, 36,
             4, 0x61000000, 0,  // a, module 0
             4, 0x62000000, 0,  // b, module 0
             4, 0x63000000, 1,  // c, module 1
             0xC0DECF13, 50, 0xC0DECF10, 6, 0}) +
             Bytes{0x4E, 0x75} +
             be({0xC0DECF14, 28, 0x80000004, 0, 0x61000000, 0x80000004, 2, 0x62000000, 0xFF000000,
                 0xC0DECF13, 40, 0xC0DECF11, 8, 1, 0x01020304,
                 0xC0DECF14, 16, 0x81000004, 0, 0x63000000, 0xFF000000,
                 0xC0DECF1F}),
         0, "lib.a"},
        {"no xdefs anywhere: a table of length 0; a module with only a bss chunk",
         {{"x.o", ModuleBuilder().code({0x4E, 0x71, 0x4E, 0x75}).xref(LINK_ABS32, "ext", {0}).end()},
          {"bss.o", ModuleBuilder().bss(0x100).end()}},
         {"-g", "x.o", "bss.o"},
         summary({R"(  -  0.000 code $00000000-$00000008 Size:        8 (??-???-????))",
                  R"(  -  0.000 bss  $00000000-$00000100 Size:      256 (??-???-????))"},
                 264, 88),
         be({0xC0DECF02, 0,
             0xC0DECF13, 44, 0xC0DECF10, 8, 0, 0x4E714E75,
             0xC0DECF14, 20, 0x02000004, 1, 0x65787400, 0, 0xFF000000,  // the xref to ext
             0xC0DECF13, 16, 0xC0DECF12, 8, 2, 0x100,
             0xC0DECF1F})},
        {"kept chunks leave in the fixed order, the two reloc16 chunks in the order read",
         {{"m.o", ModuleBuilder()
                      .drel16(1, {0})
                      .reloc32(0, 1, {4})
                      .reloc16(0, 1, {0})
                      .reloc16(0, 3, {2, 6})
                      .bssb(8)
                      .base({0xB0, 0xB1})
                      .bss(4)
                      .data({0xD0})
                      .code({0, 0, 0, 0, 0, 0, 0, 0})
                      .xdef(S::code, 0, "x")
                      .end()}},
         {"-g", "m.o"},
         summary({R"(  -  0.000 code $00000000-$0000000c Size:       12 (??-???-????))",
                  R"(  -  0.000 data $00000000-$00000005 Size:        5 (??-???-????))",
                  R"(  -  0.000 bss  $00000000-$00000004 Size:        4 (??-???-????))",
                  R"(  -  0.000 base $ffff8000-$ffff8006 Size:        6 (??-???-????))",
                  R"(  -  0.000 bssb $ffff8000-$ffff8008 Size:        8 (??-???-????))"},
                 35, 215),
         be({0xC0DECF02, 12, 4, 0x78000000, 0,
             0xC0DECF13, 183,
             0xC0DECF10, 12, 0, 0, 0,
             0xC0DECF11, 5, 1}) +
             Bytes{0xD0} + be({0xC0DECF11, 6, 3}) + Bytes{0xB0, 0xB1} +
             be({0xC0DECF12, 8, 2, 4,
                 0xC0DECF12, 8, 4, 8,
                 0xC0DECF16, 12, 0, 1, 0,
                 0xC0DECF16, 16, 0, 3, 2, 6,
                 0xC0DECF15, 12, 0, 1, 4,
                 0xC0DECF19, 8, 1, 0,
                 0xC0DECF14, 16, 0x80000004, 0, 0x78000000, 0xFF000000,
                 0xC0DECF1F})},
        {"a missing file leaves a gap in the module numbers; the library is still written",
         {{"a.o", ModuleBuilder().code({0x4E, 0x75}).xdef(S::code, 0, "first").end()},
          {"c.o", ModuleBuilder().code({0x4E, 0x71}).xdef(S::code, 0, "third").end()}},
         {"-g", "a.o", "missing.o", "c.o"},
         "error: File missing.o not found\n" +
             summary({R"(  -  0.000 code $00000000-$00000006 Size:        6 (??-???-????))",
                      R"(  -  0.000 code $00000000-$00000006 Size:        6 (??-???-????))"},
                     12, 144),
         be({0xC0DECF02, 32}) + be({8}) + textBytes("first") + Bytes{0, 0, 0} + be({0, 8}) + textBytes("third") +
             Bytes{0, 0, 0} + be({2,  // module 2: slot 1 is the missing file
                                  0xC0DECF13, 42, 0xC0DECF10, 6, 0}) +
             Bytes{0x4E, 0x75} + be({0xC0DECF14, 20, 0x80000008, 0}) + textBytes("first") + Bytes{0, 0, 0} +
             be({0xFF000000, 0xC0DECF13, 42, 0xC0DECF10, 6, 0}) + Bytes{0x4E, 0x71} +
             be({0xC0DECF14, 20, 0x80000008, 0}) + textBytes("third") + Bytes{0, 0, 0} +
             be({0xFF000000, 0xC0DECF1F}),
         1},
        {"name fields of 6 and 9 bytes are padded to 8 and 12 in the table",
         {{"m.o", ModuleBuilder().code({0x4E, 0x75}).chunk(ChunkTag::link, oddLink).end()}},
         {"-g", "m.o"},
         summary({R"(  -  0.000 code $00000000-$00000006 Size:        6 (??-???-????))"}, 6, 110),
         be({0xC0DECF02, 36, 6}) + textBytes("abc") + Bytes{0, 0, 0, 0, 0} + be({0, 9}) + textBytes("defghij") +
             Bytes{0, 0, 0, 0, 0} + be({0, 0xC0DECF13, 54, 0xC0DECF10, 6, 0}) + Bytes{0x4E, 0x75} +
             be({0xC0DECF14, 32}) + oddLink + be({0xC0DECF1F})},
        {"xrefs between xdefs contribute no symbol",
         {{"m.o", ModuleBuilder().code(fill(12, 0x4E)).chunk(ChunkTag::link, mixedLink).end()}},
         {"-g", "m.o"},
         summary({R"(  -  0.000 code $00000000-$00000010 Size:       16 (??-???-????))"}, 16, 176),
         be({0xC0DECF02, 40, 4}) + textBytes("one") + Bytes{0} + be({0, 4}) + textBytes("two") + Bytes{0} + be({0, 8}) +
             textBytes("three") + Bytes{0, 0, 0} + be({0, 0xC0DECF13, 116, 0xC0DECF10, 16, 0}) + fill(12, 0x4E) +
             be({0xC0DECF14, 84}) + mixedLink + be({0xC0DECF1F})},
        {"words of an xref that look like xdef entry words are not read as entries",
         {{"m.o", ModuleBuilder().code({0x4E, 0x75}).chunk(ChunkTag::link, xdefLikeXref).end()}},
         {"-g", "m.o"},
         summary({R"(  -  0.000 code $00000000-$00000006 Size:        6 (??-???-????))"}, 6, 102),
         be({0xC0DECF02, 12, 4}) + textBytes("one") + Bytes{0} + be({0, 0xC0DECF13, 70, 0xC0DECF10, 6, 0}) +
             Bytes{0x4E, 0x75} + be({0xC0DECF14, 48}) + xdefLikeXref + be({0xC0DECF1F})},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

TEST(Library, FailuresAndOptionsOfALibraryRun) {
    const Bytes nop = ModuleBuilder().code({0x4E, 0x75}).end();
    const Bytes nopLibrary = be({0xC0DECF02, 0, 0xC0DECF13, 14, 0xC0DECF10, 6, 0}) + Bytes{0x4E, 0x75} + be({0xC0DECF1F});
    // an xdef whose name field would run past the payload, after one that fits
    const Bytes badLink = be({0x80000004, 0}) + textBytes("ok") + Bytes{0, 0} + be({0x80000010, 0}) + textBytes("zz") +
                          Bytes{0, 0};
    const GoldenCase cases[] = {
        {"a link chunk whose xdef runs past its end: reported, kept whole, the symbols before it stand",
         {{"m.o", ModuleBuilder().code({0x4E, 0x75}).chunk(ChunkTag::link, badLink).end()}},
         {"-g", "m.o"},
         "error: Malformed link chunk in m.o\n" +
             summary({R"(  -  0.000 code $00000000-$00000006 Size:        6 (??-???-????))"}, 6, 78),
         be({0xC0DECF02, 12, 4}) + textBytes("ok") + Bytes{0, 0} + be({0, 0xC0DECF13, 46, 0xC0DECF10, 6, 0}) +
             Bytes{0x4E, 0x75} + be({0xC0DECF14, 24}) + badLink + be({0xC0DECF1F}),
         1},
        {"a link chunk that ends without its terminator, inside a word",
         {{"m.o", ModuleBuilder().code({0x4E, 0x75}).chunk(ChunkTag::link, be({0x02000004}) + Bytes{0xFF, 0}).end()}},
         {"-g", "m.o"},
         "error: Malformed link chunk in m.o\n" +
             summary({R"(  -  0.000 code $00000000-$00000006 Size:        6 (??-???-????))"}, 6, 48),
         be({0xC0DECF02, 0, 0xC0DECF13, 28, 0xC0DECF10, 6, 0}) + Bytes{0x4E, 0x75} +
             be({0xC0DECF14, 6, 0x02000004}) + Bytes{0xFF, 0} + be({0xC0DECF1F}),
         1},
        {"bad block types are reported as in a link; the rest of the module is kept",
         {{"m.o", ModuleBuilder()
                      .code({0x4E, 0x75})
                      .section(ChunkTag::data, 2, {0xD0})
                      .words(ChunkTag::bss, {3, 0x10})
                      .bss(4)
                      .end()}},
         {"-g", "m.o"},
         "error: Unknown data block type in m.o\n"
         "error: Unknown bss block type in m.o\n" +
             summary({R"(  -  0.000 code $00000000-$00000006 Size:        6 (??-???-????))",
                      R"(  -  0.000 bss  $00000000-$00000004 Size:        4 (??-???-????))"},
                     10, 50),
         be({0xC0DECF02, 0, 0xC0DECF13, 30, 0xC0DECF10, 6, 0}) + Bytes{0x4E, 0x75} +
             be({0xC0DECF12, 8, 2, 4, 0xC0DECF1F}),
         1},
        {"a file that ends early keeps what it held before the end",
         {{"m.o", ModuleBuilder().code({0x4E, 0x75}).xdef(S::code, 0, "x").unfinished()}},
         {"-g", "m.o"},
         "error: Unexpected end of file in m.o\n" +
             summary({R"(  -  0.000 code $00000000-$00000006 Size:        6 (??-???-????))"}, 6, 70),
         be({0xC0DECF02, 12, 4, 0x78000000, 0, 0xC0DECF13, 38, 0xC0DECF10, 6, 0}) + Bytes{0x4E, 0x75} +
             be({0xC0DECF14, 16, 0x80000004, 0, 0x78000000, 0xFF000000, 0xC0DECF1F}),
         1},
        {"the library may replace one of its members",
         {{"m.o", nop}},
         {"-g", "m.o", "-o", "m.o"},
         summary({R"(  -  0.000 code $00000000-$00000006 Size:        6 (??-???-????))"}, 6, 34, "m.o"),
         nopLibrary, 0, "m.o"},
        {"-r after -g: the library is written, the code size is shown as the file size",
         {{"m.o", nop}},
         {"-g", "-r100", "m.o"},
         summary({R"(  -  0.000 code $00000100-$00000106 Size:        6 (??-???-????))"}, 6, 6),
         nopLibrary},
        {"the map of a library run holds the headings only",
         {{"m.o", ModuleBuilder().code({0x4E, 0x75}).xdef(S::code, 0, "x").end()}},
         {"-g", "-m", "m.o"},
         summary({R"(  -  0.000 code $00000000-$00000006 Size:        6 (??-???-????))"}, 6, 70) + R"(

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
         be({0xC0DECF02, 12, 4, 0x78000000, 0, 0xC0DECF13, 38, 0xC0DECF10, 6, 0}) + Bytes{0x4E, 0x75} +
             be({0xC0DECF14, 16, 0x80000004, 0, 0x78000000, 0xFF000000, 0xC0DECF1F})},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
    // a library that could not be created counts no code; one whose writes
    // failed counted its modules as it wrote them
    for (const OutputFault& f : kOutputFaults)
        checkGolden({f.what, {{"m.o", nop}}, {"-g", "m.o", "-o", f.output},
                     std::string("error: ") + f.message +
                         summary({R"(  -  0.000 code $00000000-$00000006 Size:        6 (??-???-????))"},
                                 f.created ? 6 : 0, 0, f.output),
                     std::nullopt, 1, f.output});
}

}  // namespace
}  // namespace tarnel::test
