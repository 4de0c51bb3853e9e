// The outputs of a link, byte for byte: the executable, the raw ROM image,
// its S-records (with an independent decoder that checks every record and
// rebuilds the image) and the embedded object, which links again.
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "golden.hpp"

namespace tarnel::test {
namespace {

using S = SectionKind;

TEST(Executable, ChunksAppearOnlyForSectionsThatHoldSomething) {
    const GoldenCase cases[] = {
        {"no modules: the header and the end tag, 20 bytes",
         {},
         {"-i"},
         R"(
Build information for a.out (cpu: 5206)

tarnel complete - Maximum code size = 0 ($00000000) bytes

Maximum file size = 20 ($00000014) bytes
)",
         be({0xC0DECF00, 8, 0, 0, 0xC0DECF1F})},
        {"no code: neither processor nor code chunk",
         {{"d.o", ModuleBuilder().data({1, 2, 3, 4}).bss(8).end()}},
         {"d.o"},
         R"(
Build information for a.out (cpu: 5206)
  -  0.000 data $00000000-$00000004 Size:        4 (??-???-????)
  -  0.000 bss  $00000000-$00000008 Size:        8 (??-???-????)

tarnel complete - Maximum code size = 12 ($0000000c) bytes

Maximum file size = 52 ($00000034) bytes
)",
         be({0xC0DECF00, 8, 12, 0, 0xC0DECF11, 8, 1, 0x01020304, 0xC0DECF12, 8, 2, 8, 0xC0DECF1F})},
        {"an empty code part writes no code chunk but is listed",
         {{"e.o", ModuleBuilder().code({}).end()}},
         {"e.o"},
         R"(
Build information for a.out (cpu: 5206)
  -  0.000 code $00000000-$00000000 Size:        0 (??-???-????)

tarnel complete - Maximum code size = 0 ($00000000) bytes

Maximum file size = 20 ($00000014) bytes
)",
         be({0xC0DECF00, 8, 0, 0, 0xC0DECF1F})},
        {"the processor chunk carries the highest id with the word that came with it",
         {{"a.o", ModuleBuilder().processor(0x52070021, 0x11111111).code({0x4E, 0x71}).end()},
          {"b.o", ModuleBuilder().processor(0x54070000, 0x22222222).code({0x4E, 0x75}).end()},
          {"c.o", ModuleBuilder().processor(0x53000000, 0x33333333).end()}},
         {"a.o", "b.o", "c.o"},
         R"(
Build information for a.out (cpu: 5407)
  -  0.000 code $00000000-$00000002 Size:        2 (??-???-????)
  -  0.000 code $00000002-$00000004 Size:        2 (??-???-????)

tarnel complete - Maximum code size = 4 ($00000004) bytes

Maximum file size = 52 ($00000034) bytes
)",
         be({0xC0DECF00, 8, 4, 0, 0xC0DECF03, 8, 0x54070000, 0x22222222, 0xC0DECF10, 8, 0, 0x4E714E75,
             0xC0DECF1F})},
        {"the output may replace one of the inputs it was linked from",
         {{"a.o", ModuleBuilder().code({0, 0, 0, 0}).reloc32(0, 0, {0}).end()},
          {"b.o", ModuleBuilder().code({0, 0, 0, 2}).reloc32(0, 0, {0}).end()}},
         {"a.o", "b.o", "-o", "b.o"},
         summary({R"(  -  0.000 code $00000000-$00000004 Size:        4 (??-???-????))",
                  R"(  -  0.000 code $00000004-$00000008 Size:        4 (??-???-????))"},
                 8, 80, "b.o"),
         be({0xC0DECF00, 8, 8, 0, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 12, 0, 0, 6,
             0xC0DECF15, 16, 0, 0, 0, 4, 0xC0DECF1F}),
         0, "b.o"},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

// ---------------------------------------------------------------------------
// Raw ROM image

Bytes romModule() {
    return ModuleBuilder().code(fill(0x20, 0xC0)).data(fill(0x10, 0xD0)).bss(8).base(fill(4, 0xB0)).bssb(4).end();
}

const char* kRomModuleInfo = R"(
Build information for a.out (cpu: 5206)
  -  0.000 code $78000000-$78000020 Size:       32 (??-???-????)
  -  0.000 data $78000020-$78000030 Size:       16 (??-???-????)
  -  0.000 bss  $78000030-$78000038 Size:        8 (??-???-????)
  -  0.000 base $ffff8000-$ffff8004 Size:        4 (??-???-????)
  -  0.000 bssb $ffff8004-$ffff8008 Size:        4 (??-???-????)

tarnel complete - Maximum code size = 64 ($00000040) bytes

Maximum file size = 64 ($00000040) bytes
)";

TEST(RomImage, SectionBytesWithoutFramingAndZeroFillUnlessDashB) {
    const GoldenCase cases[] = {
        {"code, data, bss zeros, base, bssb zeros: 0x40 bytes",
         {{"m.o", romModule()}},
         {"-r78000000", "m.o"},
         kRomModuleInfo,
         fill(0x20, 0xC0) + fill(0x10, 0xD0) + fill(8, 0) + fill(4, 0xB0) + fill(4, 0)},
        {"-r0x78000000 is the same address",
         {{"m.o", romModule()}},
         {"-r0x78000000", "m.o"},
         kRomModuleInfo,
         fill(0x20, 0xC0) + fill(0x10, 0xD0) + fill(8, 0) + fill(4, 0xB0) + fill(4, 0)},
        {"-b leaves the fills out: 0x34 bytes, while the file size shown stays 0x40",
         {{"m.o", romModule()}},
         {"-r78000000", "-b", "m.o"},
         kRomModuleInfo,
         fill(0x20, 0xC0) + fill(0x10, 0xD0) + fill(4, 0xB0)},
        {"nothing to place: an empty file",
         {},
         {"-r400"},
         R"(
Build information for a.out (cpu: 5206)

tarnel complete - Maximum code size = 0 ($00000000) bytes

Maximum file size = 0 ($00000000) bytes
)",
         Bytes{}},
        {"a fill longer than any single write",
         {{"m.o", ModuleBuilder().code({0x4E, 0x75}).bss(0x2345).end()}},
         {"-r0", "m.o"},
         summary({R"(  -  0.000 code $00000000-$00000002 Size:        2 (??-???-????))",
                  R"(  -  0.000 bss  $00000002-$00002347 Size:     9029 (??-???-????))"},
                 9031, 9031),
         Bytes{0x4E, 0x75} + fill(0x2345, 0)},
        {"the image starts with the first code byte, whichever module holds it",
         {{"d.o", ModuleBuilder().data({0xD0, 0xD1}).end()}, {"c.o", ModuleBuilder().code({0x4E, 0x75}).end()}},
         {"-r400", "d.o", "c.o"},
         R"(
Build information for a.out (cpu: 5206)
  -  0.000 code $00000400-$00000402 Size:        2 (??-???-????)
  -  0.000 data $00000402-$00000404 Size:        2 (??-???-????)

tarnel complete - Maximum code size = 4 ($00000004) bytes

Maximum file size = 4 ($00000004) bytes
)",
         Bytes{0x4E, 0x75, 0xD0, 0xD1}},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

// ---------------------------------------------------------------------------
// S-records

Bytes codeModule(const Bytes& code) { return ModuleBuilder().code(code).end(); }

// n bytes counting up from first, so that a misplaced byte shows.
Bytes counting(size_t n, uint8_t first) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(first + i);
    return b;
}

TEST(SRecords, EveryRecordOfALinkByteForByte) {
    const Bytes fills = ModuleBuilder().code({0x4E, 0x75}).bss(3).base({0xB0}).bssb(2).end();
    const std::string fillsInfo = summary({R"(  -  0.000 code $00003000-$00003002 Size:        2 (??-???-????))",
                                           R"(  -  0.000 bss  $00003002-$00003005 Size:        3 (??-???-????))",
                                           R"(  -  0.000 base $ffff8000-$ffff8001 Size:        1 (??-???-????))",
                                           R"(  -  0.000 bssb $ffff8001-$ffff8003 Size:        2 (??-???-????))"},
                                          8, 8);
    const GoldenCase cases[] = {
        {"S1 and S9 at 0x1000, after the S0 record naming a.out",
         {{"m.o", codeModule({0x4E, 0x71, 0x4E, 0x75})}},
         {"-s1000", "m.o"},
         summary({R"(  -  0.000 code $00001000-$00001004 Size:        4 (??-???-????))"}, 4, 4),
         textBytes("S0080000612E6F757410\n"
                   "S10710004E714E7566\n"
                   "S9031004E8\n")},
        {"-s0X1000 is the same address",
         {{"m.o", codeModule({0x4E, 0x71, 0x4E, 0x75})}},
         {"-s0X1000", "m.o"},
         summary({R"(  -  0.000 code $00001000-$00001004 Size:        4 (??-???-????))"}, 4, 4),
         textBytes("S0080000612E6F757410\n"
                   "S10710004E714E7566\n"
                   "S9031004E8\n")},
        {"S2 and S8 above 0xFFFF",
         {{"m.o", codeModule({0xAA})}},
         {"-s12345", "m.o"},
         summary({R"(  -  0.000 code $00012345-$00012346 Size:        1 (??-???-????))"}, 1, 1),
         textBytes("S0080000612E6F757410\n"
                   "S205012345AAE7\n"
                   "S80401234691\n")},
        {"S3 and S7 above 0xFFFFFF",
         {{"m.o", codeModule({0x00})}},
         {"-s78000000", "m.o"},
         summary({R"(  -  0.000 code $78000000-$78000001 Size:        1 (??-???-????))"}, 1, 1),
         textBytes("S0080000612E6F757410\n"
                   "S306780000000081\n"
                   "S7057800000181\n")},
        {"70 bytes are cut 32, 32, 6",
         {{"m.o", codeModule(counting(70, 0))}},
         {"-s2000", "m.o"},
         summary({R"(  -  0.000 code $00002000-$00002046 Size:       70 (??-???-????))"}, 70, 70),
         textBytes("S0080000612E6F757410\n"
                   "S1232000000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1FCC\n"
                   "S1232020202122232425262728292A2B2C2D2E2F303132333435363738393A3B3C3D3E3FAC\n"
                   "S109204040414243444507\n"
                   "S903204696\n")},
        {"a record that starts at 0xFFF0 stays S1; the next is S2",
         {{"m.o", codeModule(counting(48, 0x10))}},
         {"-sFFF0", "m.o"},
         summary({R"(  -  0.000 code $0000fff0-$00010020 Size:       48 (??-???-????))"}, 48, 48),
         textBytes("S0080000612E6F757410\n"
                   "S123FFF0101112131415161718191A1B1C1D1E1F202122232425262728292A2B2C2D2E2FFD\n"
                   "S214010010303132333435363738393A3B3C3D3E3F62\n"
                   "S804010020DA\n")},
        {"a termination address at 0x80000000 and above is S7 with four address bytes",
         {{"m.o", codeModule({0x4E, 0x75})}},
         {"-s80000000", "m.o"},
         summary({R"(  -  0.000 code $80000000-$80000002 Size:        2 (??-???-????))"}, 2, 2),
         textBytes("S0080000612E6F757410\n"
                   "S307800000004E75B5\n"
                   "S7058000000278\n")},
        {"every module's part starts a record of its own",
         {{"a.o", codeModule({1, 2, 3})}, {"b.o", codeModule({4, 5, 6})}},
         {"-s100", "a.o", "b.o", "-o", "two.s19"},
         summary({R"(  -  0.000 code $00000100-$00000103 Size:        3 (??-???-????))",
                  R"(  -  0.000 code $00000103-$00000106 Size:        3 (??-???-????))"},
                 6, 6, "two.s19"),
         textBytes("S00A000074776F2E73313990\n"
                   "S1060100010203F2\n"
                   "S1060103040506E6\n"
                   "S9030106F5\n"),
         0, "two.s19"},
        {"every zero byte of a fill is a record of its own",
         {{"m.o", fills}},
         {"-s3000", "m.o"},
         fillsInfo,
         textBytes("S0080000612E6F757410\n"
                   "S10530004E7507\n"
                   "S104300200C9\n"
                   "S104300300C8\n"
                   "S104300400C7\n"
                   "S1043005B016\n"
                   "S104300600C5\n"
                   "S104300700C4\n"
                   "S9033008C4\n")},
        {"-b: no fill records, the base byte follows the code",
         {{"m.o", fills}},
         {"-b", "-s3000", "m.o"},
         fillsInfo,
         textBytes("S0080000612E6F757410\n"
                   "S10530004E7507\n"
                   "S1043002B019\n"
                   "S9033003C9\n")},
        {"an empty image: the header and the termination record for the start",
         {},
         {"-s400"},
         summary({}, 0, 0),
         textBytes("S0080000612E6F757410\n"
                   "S9030400F8\n")},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

// What an independent reader makes of an S-record file.
struct DecodedRecords {
    std::string header;
    uint32_t firstAddress = 0;
    uint32_t endAddress = 0;
    Bytes image;
};

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower case is not accepted either
}

// Checks the form of every line (upper-case hex, a single line feed, byte
// count, checksum, address width by type, data records contiguous and at
// most 32 bytes, the type each address calls for) and collects the bytes.
DecodedRecords decodeSRecords(const std::string& text) {
    DecodedRecords d;
    std::istringstream lines(text);
    std::string line;
    size_t index = 0;
    bool ended = false;
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    while (std::getline(lines, line)) {
        SCOPED_TRACE("record " + std::to_string(index) + ": " + line);
        EXPECT_FALSE(ended) << "a record after the termination record";
        EXPECT_EQ(line.find('\r'), std::string::npos);
        EXPECT_GE(line.size(), 4u);
        EXPECT_EQ(line[0], 'S');
        EXPECT_EQ(line.size() % 2, 0u);
        if (line.size() < 4 || line.size() % 2 != 0) return d;
        Bytes bytes;
        for (size_t i = 2; i < line.size(); i += 2) {
            int hi = hexValue(line[i]), lo = hexValue(line[i + 1]);
            EXPECT_TRUE(hi >= 0 && lo >= 0) << "not upper-case hex";
            bytes.push_back(uint8_t(hi << 4 | lo));
        }
        EXPECT_EQ(bytes[0], bytes.size() - 1) << "byte count";
        unsigned sum = 0;
        for (size_t i = 0; i + 1 < bytes.size(); ++i) sum += bytes[i];
        EXPECT_EQ(bytes.back(), uint8_t(~sum)) << "checksum";

        int type = line[1] - '0';
        const int widths[10] = {2, 2, 3, 4, 0, 0, 0, 4, 3, 2};
        EXPECT_TRUE(type >= 0 && type <= 9 && widths[type] != 0);
        if (type < 0 || type > 9 || widths[type] == 0) return d;
        size_t width = size_t(widths[type]);
        uint32_t address = 0;
        for (size_t i = 0; i < width; ++i) address = address << 8 | bytes[1 + i];
        Bytes data(bytes.begin() + 1 + std::ptrdiff_t(width), bytes.end() - 1);

        if (index == 0) {
            EXPECT_EQ(type, 0) << "the first record is the header";
            EXPECT_EQ(address, 0u);
            d.header.assign(data.begin(), data.end());
        } else if (type >= 1 && type <= 3) {
            if (index == 1) d.firstAddress = address;
            EXPECT_EQ(address, d.firstAddress + d.image.size()) << "records are contiguous";
            EXPECT_GE(data.size(), 1u);
            EXPECT_LE(data.size(), 32u);
            EXPECT_EQ(type, address <= 0xFFFF ? 1 : address <= 0xFFFFFF ? 2 : 3);
            d.image.insert(d.image.end(), data.begin(), data.end());
        } else {
            EXPECT_TRUE(type >= 7) << "S0 only comes first";
            EXPECT_TRUE(data.empty());
            EXPECT_EQ(type, address <= 0xFFFF ? 9 : address <= 0xFFFFFF ? 8 : 7);
            d.endAddress = address;
            ended = true;
        }
        ++index;
    }
    EXPECT_TRUE(ended) << "no termination record";
    return d;
}

// Three modules with every section, references between them and
// relocation records, so that the image depends on its address.
std::vector<InputFile> busyLink() {
    return {
        {"a.o", ModuleBuilder()
                    .name("a")
                    .code(counting(0x45, 0x20))
                    .data(counting(0x21, 0x80))
                    .bss(5)
                    .base({0xB0, 0xB1, 0xB2})
                    .bssb(2)
                    .xdef(S::code, 0x10, "entry")
                    .xdef(S::data, 4, "table")
                    .reloc32(0, 1, {0x20})
                    .end()},
        {"b.o", ModuleBuilder()
                    .name("b")
                    .code(fill(0x33, 0))
                    .data(fill(3, 0xD0))
                    .xref(LINK_ABS32, "entry", {0})
                    .xref(LINK_ABS16, "table", {4})
                    .xref(LINK_PCREL16, "entry", {6})
                    .xref(LINK_ABS32, "_base", {8})
                    .reloc16(1, 0, {0})
                    .drel16(3, {0x10})
                    .end()},
        {"c.o", ModuleBuilder().name("c").bss(7).base({0xC0}).bssb(1).end()},
    };
}

TEST(SRecords, LinesCheckOutAndDecodeToTheRawImageOfTheSameLink) {
    for (const char* start : {"0", "FFE0", "FFFFF0", "78000000"}) {
        SCOPED_TRACE(start);
        ScratchDir dir;
        std::vector<std::string> names;
        for (const InputFile& in : busyLink()) names.push_back(dir.write(in.name, in.bytes));
        std::vector<std::string> args = names;
        args.insert(args.begin(), std::string("-r") + start);
        args.insert(args.end(), {"-o", "image.bin"});
        ASSERT_EQ(runLinker(dir, args).status, 0);
        args.front() = std::string("-s") + start;
        args.back() = "image.s";
        ASSERT_EQ(runLinker(dir, args).status, 0);

        Bytes raw = dir.read("image.bin");
        Bytes text = dir.read("image.s");
        DecodedRecords d = decodeSRecords(std::string(text.begin(), text.end()));
        EXPECT_EQ(d.header, "image.s");
        EXPECT_EQ(d.firstAddress, std::stoul(start, nullptr, 16));
        EXPECT_EQ(d.endAddress, uint32_t(d.firstAddress + raw.size()));
        EXPECT_EQ(hexBytes(d.image), hexBytes(raw));
        // the image holds code, data, bss, base and bssb: nothing is lost
        EXPECT_EQ(raw.size(), 0x45u + 0x33 + 0x21 + 3 + 5 + 7 + 3 + 1 + 2 + 1);
    }
}

// Outputs many times the size of the write buffer, written behind while the
// next part is formatted: every byte arrives, in order, in each output kind.
TEST(LargeOutputs, ImagesManyBuffersLongComeOutWhole) {
    Bytes code(700001), data(300007);
    uint32_t x = 12345;
    for (Bytes* part : {&code, &data})
        for (uint8_t& b : *part) b = uint8_t((x = x * 1103515245u + 12345u) >> 23);
    ScratchDir dir;
    dir.write("big.o", ModuleBuilder().code(code).data(data).bss(1000).end());

    ASSERT_EQ(runLinker(dir, {"-r0", "big.o", "-o", "image.bin"}).status, 0);
    Bytes image = code + data + Bytes(1000, 0);
    EXPECT_TRUE(dir.read("image.bin") == image);

    ASSERT_EQ(runLinker(dir, {"-s0", "big.o", "-o", "image.s"}).status, 0);
    Bytes text = dir.read("image.s");
    DecodedRecords d = decodeSRecords(std::string(text.begin(), text.end()));
    EXPECT_EQ(d.endAddress, image.size());
    EXPECT_TRUE(d.image == image);

    ASSERT_EQ(runLinker(dir, {"big.o", "-o", "a.out"}).status, 0);
    Bytes exe = dir.read("a.out");
    auto at = std::search(exe.begin(), exe.end(), code.begin(), code.end());
    ASSERT_NE(at, exe.end());
    EXPECT_NE(std::search(at + ptrdiff_t(code.size()), exe.end(), data.begin(), data.end()), exe.end());
}

TEST(SRecords, HeaderHoldsTheFirst252CharactersOfALongOutputName) {
    ScratchDir dir;
    const std::string folders = std::string(100, 'd') + "/" + std::string(100, 'e');
    std::filesystem::create_directories(dir.path(folders));
    const std::string name = folders + "/" + std::string(100, 'f');
    dir.write("m.o", codeModule({0x4E, 0x75}));
    RunResult r = runLinker(dir, {"-s0", "m.o", "-o", name});
    EXPECT_EQ(r.status, 0);
    Bytes text = dir.read(name);
    DecodedRecords d = decodeSRecords(std::string(text.begin(), text.end()));
    EXPECT_EQ(d.header, name.substr(0, 252));
    EXPECT_EQ(hexBytes(d.image), hexBytes({0x4E, 0x75}));
}

// ---------------------------------------------------------------------------
// Embedded object

TEST(EmbeddedObject, ObjectHeaderAndOneExportedLabel) {
    const Bytes nop = codeModule({0x4E, 0x75});
    const Bytes nopFile = be({0xC0DECF01, 0, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 6, 0}) + Bytes{0x4E, 0x75};
    // what a link of the nop module prints, with each row's file size
    auto nopOut = [&](uint32_t fileSize) {
        return summary({R"(  -  0.000 code $00000000-$00000002 Size:        2 (??-???-????))"}, 2, fileSize);
    };
    const GoldenCase cases[] = {
        {"label start: relocation chunks come before the 28-byte link chunk",
         {{"a.o", ModuleBuilder().code({0x4E, 0x71, 0x4E, 0x75}).data({0x11, 0x22}).end()},
          {"b.o", ModuleBuilder().code({0, 0, 0, 0}).data({0xAA, 0xBB, 0xCC, 0xDD}).reloc32(0, 1, {0}).end()}},
         {"-estart", "a.o", "b.o"},
         summary({R"(  -  0.000 code $00000000-$00000004 Size:        4 (??-???-????))",
                  R"(  -  0.000 code $00000004-$00000008 Size:        4 (??-???-????))",
                  R"(  -  0.000 data $00000000-$00000002 Size:        2 (??-???-????))",
                  R"(  -  0.000 data $00000002-$00000006 Size:        4 (??-???-????))"},
                 14, 114),
         be({0xC0DECF01, 0, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 12, 0, 0x4E714E75, 2, 0xC0DECF11, 10, 1}) +
             Bytes{0x11, 0x22, 0xAA, 0xBB, 0xCC, 0xDD} +
             be({0xC0DECF15, 12, 0, 1, 4,
                 0xC0DECF14, 0x14, 0x80000008, 0}) + textBytes("start") + Bytes{0, 0, 0} +
             be({0xFF000000, 0xC0DECF1F})},
        {"label abc: a name field of 4 bytes",
         {{"m.o", nop}},
         {"-eabc", "m.o"},
         nopOut(66),
         nopFile + be({0xC0DECF14, 16, 0x80000004, 0}) + textBytes("abc") + Bytes{0} + be({0xFF000000, 0xC0DECF1F})},
        {"label abcd: a name field of 8 bytes",
         {{"m.o", nop}},
         {"-eabcd", "m.o"},
         nopOut(70),
         nopFile + be({0xC0DECF14, 20, 0x80000008, 0}) + textBytes("abcd") + be({0, 0xFF000000, 0xC0DECF1F})},
        {"an empty label: four zero bytes",
         {{"m.o", nop}},
         {"-e", "m.o"},
         nopOut(66),
         nopFile + be({0xC0DECF14, 16, 0x80000004, 0, 0, 0xFF000000, 0xC0DECF1F})},
        {"a label cut at 90 characters: a name field of 92 bytes",
         {{"m.o", nop}},
         {"-e" + std::string(100, 'x'), "m.o"},
         nopOut(154),
         nopFile + be({0xC0DECF14, 104, 0x8000005C, 0}) + fill(90, 'x') + Bytes{0, 0} +
             be({0xFF000000, 0xC0DECF1F})},
        {"no code: the label is still exported, with no processor or code chunk",
         {{"d.o", ModuleBuilder().data({1, 2, 3, 4}).end()}},
         {"-eentry", "d.o"},
         summary({R"(  -  0.000 data $00000000-$00000004 Size:        4 (??-???-????))"}, 4, 56),
         be({0xC0DECF01, 0, 0xC0DECF11, 8, 1, 0x01020304, 0xC0DECF14, 0x14, 0x80000008, 0}) +
             textBytes("entry") + Bytes{0, 0, 0} + be({0xFF000000, 0xC0DECF1F})},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

// A command-file token is text up to its first NUL, whatever it names.
TEST(CommandFiles, ATokenEndsAtItsFirstNul) {
    const Bytes nop = codeModule({0x4E, 0x75});
    const std::vector<std::string> nopLine = {R"(  -  0.000 code $00000000-$00000002 Size:        2 (??-???-????))"};
    const Bytes nopExecutable =
        be({0xC0DECF00, 8, 2, 0, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 6, 0}) + Bytes{0x4E, 0x75} + be({0xC0DECF1F});
    using namespace std::string_literals;
    const GoldenCase cases[] = {
        {"-o out\\0xyz names the output out",
         {{"m.o", nop}, {"cmd", textBytes("m.o -o out\0xyz\n"s)}},
         {"-f", "cmd"},
         summary(nopLine, 2, 50, "out"),
         nopExecutable,
         0,
         "out"},
        {"-etop\\0xx exports top",
         {{"m.o", nop}, {"cmd", textBytes("-etop\0xx m.o"s)}},
         {"-f", "cmd"},
         summary(nopLine, 2, 66),
         be({0xC0DECF01, 0, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 6, 0}) + Bytes{0x4E, 0x75} +
             be({0xC0DECF14, 16, 0x80000004, 0}) + textBytes("top") + Bytes{0} + be({0xFF000000, 0xC0DECF1F})},
    };
    for (const GoldenCase& c : cases) checkGolden(c);
}

TEST(EmbeddedObject, LinksAgainAsAModuleThatDefinesItsLabel) {
    ScratchDir dir;
    // util reads its counter through an absolute address: the embedded
    // object keeps that record, and the second link moves the counter.
    dir.write("util.o", ModuleBuilder()
                            .name("util")
                            .code({0x20, 0x39, 0, 0, 0, 0, 0x4E, 0x75})
                            .data({0, 0, 0, 0x2A})
                            .xdef(S::data, 0, "counter")
                            .xref(LINK_ABS32, "counter", {2})
                            .end());
    RunResult first = runLinker(dir, {"-eutil", "util.o", "-o", "util.emb"});
    EXPECT_EQ(first.out, kBanner + summary({R"( util  0.000 code $00000000-$00000008 Size:        8 (??-???-????))",
                                            R"( util  0.000 data $00000000-$00000004 Size:        4 (??-???-????))"},
                                           12, 112, "util.emb"));
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(hexBytes(dir.read("util.emb")),
              hexBytes(be({0xC0DECF01, 0, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 12, 0, 0x20390000, 0x00004E75,
                           0xC0DECF11, 8, 1, 0x2A, 0xC0DECF15, 12, 0, 1, 2, 0xC0DECF14, 0x14, 0x80000008, 0}) +
                       textBytes("util") + be({0, 0xFF000000, 0xC0DECF1F})));

    // main calls util absolutely and pc-relatively and brings data of its
    // own, so util's code and counter both move.
    dir.write("main.o", ModuleBuilder()
                            .name("main")
                            .code({0x4E, 0xB9, 0, 0, 0, 0, 0x61, 0x00, 0x00, 0x00, 0x4E, 0x75})
                            .data({0, 0, 0, 1})
                            .xref(LINK_ABS32, "util", {2})
                            .xref(LINK_PCREL16, "util", {8})
                            .end());
    RunResult second = runLinker(dir, {"main.o", "util.emb", "-o", "prog"});
    EXPECT_EQ(second.out, kBanner + summary({R"( main  0.000 code $00000000-$0000000c Size:       12 (??-???-????))",
                                             R"(    -  0.000 code $0000000c-$00000014 Size:        8 (??-???-????))",
                                             R"( main  0.000 data $00000000-$00000004 Size:        4 (??-???-????))",
                                             R"(    -  0.000 data $00000004-$00000008 Size:        4 (??-???-????))"},
                                            28, 128, "prog"));
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(hexBytes(dir.read("prog")),
              hexBytes(be({0xC0DECF00, 8, 0x1C, 0, 0xC0DECF03, 8, 0x52060020, 0, 0xC0DECF10, 24, 0,
                           0x4EB90000, 0x000C6100, 0x00044E75,  // main: util at 0xC, 4 bytes ahead of 8
                           0x20390000, 0x00044E75,              // util: its counter now at 4
                           0xC0DECF11, 12, 1, 1, 0x2A,
                           0xC0DECF15, 12, 0, 0, 2,    // main's reference to util
                           0xC0DECF15, 12, 0, 1, 14,   // util's reference to its counter
                           0xC0DECF1F})));
}

}  // namespace
}  // namespace tarnel::test
