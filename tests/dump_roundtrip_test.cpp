// Every kind of chunk file, well formed and malformed, goes through the text
// form and comes back byte for byte; the dump says whether it is malformed
// and marks the fault where it is.
#include <gtest/gtest.h>

#include "harness.hpp"
#include "text_fixture.hpp"

namespace tarnel::test {
namespace {

using namespace std::string_literals;

Bytes chunk(uint32_t tag, const Bytes& payload) { return be({tag, uint32_t(payload.size())}) + payload; }
Bytes chunk(ChunkTag tag, const Bytes& payload) { return chunk(tagWord(tag), payload); }
Bytes text(std::string_view t) { return Bytes(t.begin(), t.end()); }
const Bytes kObject = be({tagWord(ChunkTag::object), 0});
const Bytes kEnd = be({tagWord(ChunkTag::end)});

Bytes linkPayload(std::initializer_list<Bytes> entries) {
    Bytes p;
    for (const Bytes& e : entries) p = p + e;
    return p + be({kLinkTerminator});
}

// An executable as the linker lays it out: header, processor, the five
// sections, relocation chunks, the end tag alone.
Bytes executable() {
    return chunk(ChunkTag::header, be({0x10 + 0x4 + 0x100, 0x8 + 0x20})) +
           chunk(ChunkTag::processor, be({0x52060020, 0})) +
           chunk(ChunkTag::code, be({0, 0x4E714E71, 0x23FC0000, 0x00044E75})) +
           chunk(ChunkTag::data, be({1, 0xCAFEBABE})) + chunk(ChunkTag::bss, be({2, 0x100})) +
           chunk(ChunkTag::data, be({3, 1, 2})) + chunk(ChunkTag::bss, be({4, 0x20})) +
           chunk(ChunkTag::reloc16, be({0, 3, 2})) + chunk(ChunkTag::reloc32, be({0, 1, 4, 8})) + kEnd;
}

Bytes embeddedObject() {
    LinkPayloadBuilder link;
    link.xdef(SectionKind::code, 0, "_start");
    return kObject + chunk(ChunkTag::processor, be({0x52070001, 7})) + chunk(ChunkTag::code, be({0, 0x4E750000})) +
           chunk(ChunkTag::reloc32, be({0, 0, 0})) + chunk(ChunkTag::link, link.finish()) + kEnd;
}

Bytes library() {
    ByteBuilder table;
    table.word(8).nameField("entry").word(0).word(4).nameField("abc").word(1);
    LinkPayloadBuilder link0, link1;
    link0.xdef(SectionKind::code, 0, "entry");
    const uint32_t offsets[] = {2};
    link0.xref(LINK_ABS32, "abc", offsets);
    link1.xdef(SectionKind::data, 4, "abc");
    Bytes member0 = chunk(ChunkTag::code, be({0, 0x4EB90000, 0})) + chunk(ChunkTag::reloc32, be({0, 1})) +
                    chunk(ChunkTag::link, link0.finish());
    Bytes member1 = chunk(ChunkTag::data, be({1, 0, 7})) + chunk(ChunkTag::bss, be({4, 12})) +
                    chunk(ChunkTag::drel16, be({3, 0})) + chunk(ChunkTag::link, link1.finish());
    return chunk(ChunkTag::library, table.bytes()) + chunk(ChunkTag::lib, member0) + chunk(ChunkTag::lib, member1) +
           kEnd;
}

Bytes fullModule() {
    return ModuleBuilder()
        .processor(0x52070001, 5)
        .name("modA")
        .version("1.2")
        .date("31-May-04")
        .code({0x4E, 0x71, 0, 0, 0, 0, 0x61, 0})
        .data({1, 2, 3})
        .base({9})
        .bss(256)
        .bssb(16)
        .xdef(SectionKind::code, 0, "main")
        .xdef(SectionKind::bssb, 4, "counter#1")
        .xref(LINK_ABS32, "printf", {2, 8, 12, 16, 20, 24})
        .xref(LINK_PCREL16, "far \"quoted\"\\", {})
        .xref(LINK_REL8, "\x01\xFF", {6})
        .reloc16(0, 1, {4})
        .reloc32(0, 0, {0, 8})
        .drel16(3, {6})
        .end();
}

Bytes withoutLast(Bytes b, size_t n) {
    b.resize(b.size() - n);
    return b;
}

Bytes symbolPayload() {
    return SymbolPayloadBuilder("main.c")
        .symbol(0, SymbolBinding::local, uint8_t(SymbolType::function), 0x10, 0x2A, "sum_to")
        .symbol(kAbsoluteSymbol, SymbolBinding::local, uint8_t(SymbolType::none), 0xFC060000, 0, "UART0")
        .finish();
}

Bytes debugPayload() {
    const DebugPayloadBuilder::Reloc relocs[] = {
        {0, debugTargetWord(DebugTarget::debugSection, 1), 2},
        {4, debugTargetWord(DebugTarget::part, 1), 0x10},
        {8, debugTargetWord(DebugTarget::name, 0), 0},
    };
    return DebugPayloadBuilder()
        .name("table")
        .section(".debug_info", 1, Bytes(13, 0xEE), relocs)
        .section(".debug_str", 1, text("a\0b\0"s), {})
        .finish();
}

struct RoundTripCase {
    const char* name;
    Bytes file;
    bool wellFormed;
    std::string mark;  // a line the dump must hold
};

std::vector<RoundTripCase> roundTripCases() {
    const Bytes code = chunk(ChunkTag::code, be({0, 0x4E75}));
    LinkPayloadBuilder entry;
    entry.xdef(SectionKind::code, 0, "e");
    const Bytes entryLink = entry.finish();
    return {
        // the files the linker writes and reads
        {"object module with every chunk the linker reads", fullModule(), true,
         "    xref absolute-32-bit \"printf\" at 0x00000002 0x00000008 0x0000000C 0x00000010"},
        {"executable", executable(), true, "00000000 header length 8"},
        {"embedded object", embeddedObject(), true, "# f: object module laid out as an embedded object, 92 bytes"},
        {"library", library(), true, "    export \"abc\" module 1"},
        {"end chunk with its length word", kObject + code + be({tagWord(ChunkTag::end), 0}), true,
         "00000018 end length 0"},
        {"end chunk with a payload", kObject + chunk(ChunkTag::end, be({1})), true,
         "    # readers drop an end chunk's payload"},
        {"chunks of length 0",
         kObject + chunk(ChunkTag::code, {}) + chunk(ChunkTag::link, {}) + chunk(ChunkTag::processor, {}) + kEnd, true,
         "00000018 processor length 0"},
        {"dropped, reserved and unknown tags",
         kObject + chunk(ChunkTag::comment, text("hi\0"s)) + chunk(0xC0DECF0B, {1, 2}) + chunk(0xC0DECF20, {3}) +
             chunk(0x12345678, {}) + chunk(ChunkTag::drel8, {4, 5, 6}) + kEnd,
         true, "0000001D 0xC0DECF20 length 1  # not one of the 32 tags"},
        {"text padded after its NUL", kObject + chunk(ChunkTag::name, text("ab\0\0x"s)) + kEnd, true,
         "    0000: 00 78"},
        {"link entries that are a word alone",
         kObject + chunk(ChunkTag::link, linkPayload({be({0x03000004}), be({0xFF000001}), be({0x7F000000})})) + kEnd,
         true, "    word 0xFF000001  # type byte 0xFF: the word is a whole entry"},
        {"link bytes after the terminator", kObject + chunk(ChunkTag::link, entryLink + be({7})) + kEnd, true,
         "    # after the terminator, not read:"},
        {"link name field longer than written",
         kObject + chunk(ChunkTag::link, linkPayload({be({0x80000008, 0}) + text("ab\0\0\0\0\0\0"s)})) + kEnd, true,
         "    # xdef code 0x00000000 \"ab\": the name field length 8 is not the written form"},
        {"name chunk inside a lib chunk",
         chunk(ChunkTag::library, {}) + chunk(ChunkTag::lib, chunk(ChunkTag::name, text("m\0"s))) + kEnd, true,
         "        # a lib chunk holds no chunk of this kind"},

        // the symbols and debugging information of a module
        {"symbol chunk of another version", kObject + chunk(ChunkTag::symbol, be({2, 5, 6})) + kEnd, true,
         "    # version 2: this dump reads version 1 only; the rest as bytes"},
        {"symbol entry whose fourth byte is not 0",
         kObject + chunk(ChunkTag::symbol, be({1, 4}) + text("f.c\0"s) + be({1, 0x01020309, 0, 0, 4}) + text("x\0\0\0"s)) +
             kEnd,
         true, "    # entry weak 0x03 data 0x00000000 size 0 \"x\": its fourth byte is 0x09, not 0"},
        {"symbol name field without a NUL",
         kObject + chunk(ChunkTag::symbol, be({1, 2}) + text("ab"s) + be({1, 0, 0, 0, 3}) + text("xyz"s)) + kEnd, true,
         "    # file \"ab\": the name field holds no NUL"},
        {"symbol entries followed by bytes", kObject + chunk(ChunkTag::symbol, symbolPayload() + Bytes{7}) + kEnd, true,
         "    # 1 byte after the last entry, which readers do not look at"},
        {"symbol chunk cut in an entry",
         kObject + chunk(ChunkTag::symbol, withoutLast(symbolPayload(), 5)) + kEnd, false,
         "    # malformed: an entry runs past the payload"},
        {"symbol chunk cut in its version word", kObject + chunk(ChunkTag::symbol, {0, 0}) + kEnd, false,
         "    # malformed: the version word runs past the payload"},
        {"debug section name field longer than written",
         kObject + chunk(ChunkTag::debug, be({1, 1, 0, 8}) + text(".x\0\0\0\0\0\0"s) + be({1, 2, 0, 0xABCD0000})) +
             kEnd,
         true, "    word 0x00000001 0x00000002 0x00000000  # align 1 size 2 relocs 0"},
        {"debug relocation of an unknown kind",
         kObject + chunk(ChunkTag::debug, be({1, 1, 0, 4}) + text(".x\0\0"s) + be({1, 4, 1, 0, 0, 0x07000003, 9})) +
             kEnd,
         true, "        reloc 0x00000000 0x07 3 0x00000009"},
        {"debug chunk cut in a section",
         kObject + chunk(ChunkTag::debug, withoutLast(debugPayload(), 1)) + kEnd, false,
         "    # malformed: a section runs past the payload"},

        // malformed framing
        {"empty file", {}, false, "# malformed: the file is empty"},
        {"three bytes", {0xC0, 0xDE, 0xCF}, false, "# malformed: 3 bytes left, too few for a chunk header"},
        {"file cut in a payload", kObject + be({tagWord(ChunkTag::code), 12, 0, 0x4E75}), false,
         "00000008 code length 12 truncated"},
        {"file cut in a chunk header", kObject + code + be({tagWord(ChunkTag::link)}) + Bytes{0, 0}, false,
         "# malformed: a chunk header needs 8 bytes, the file has 6 bytes left"},
        {"file without an end chunk", kObject + code, false, "# malformed: the file ends without an end chunk"},
        {"bytes after the end tag", kObject + kEnd + Bytes{1, 2, 3}, false, "# malformed: 3 bytes after the end chunk"},
        {"bytes after an end chunk with length", kObject + be({tagWord(ChunkTag::end), 0, 5, 6}), false,
         "# malformed: 8 bytes after the end chunk"},
        {"end tag followed by junk read as its length", kObject + kEnd + be({0x41424344}), false,
         "00000008 end length 1094861636 truncated"},
        {"object chunk with a length", be({tagWord(ChunkTag::object), 12}) + code + kEnd, false,
         "00000000 object length 12"},
        {"first chunk of no known kind", code + kEnd, false,
         "# f: no known kind: it begins with a code chunk, 20 bytes"},
        {"object tag alone", be({tagWord(ChunkTag::object)}), false, "00000000 raw"},

        // payloads too short for their layout
        {"short processor", kObject + chunk(ChunkTag::processor, be({0x52060000})) + kEnd, false,
         "    # malformed: a processor payload needs 8 bytes, this one has 4 bytes"},
        {"short header", chunk(ChunkTag::header, be({1})) + kEnd, false,
         "    # malformed: a header payload needs 8 bytes, this one has 4 bytes"},
        {"short code", kObject + chunk(ChunkTag::code, {0, 0}) + kEnd, false,
         "    # malformed: a code payload needs 4 bytes, this one has 2 bytes"},
        {"short bss", kObject + chunk(ChunkTag::bss, {0, 0, 0, 2, 0, 0}) + kEnd, false, "    0000: 00 00 00 02 00 00"},
        {"reloc16 not whole words", kObject + chunk(ChunkTag::reloc16, be({0, 1}) + Bytes{0, 0}) + kEnd, false,
         "    # malformed: a reloc16 payload is 8 bytes plus 4 per offset; this one has 10 bytes"},
        {"short reloc32", kObject + chunk(ChunkTag::reloc32, be({0})) + kEnd, false, "    0000: 00 00 00 00"},
        {"drel16 not whole words", kObject + chunk(ChunkTag::drel16, be({1}) + Bytes{0, 0}) + kEnd, false,
         "    # malformed: a drel16 payload is whole words; this one has 6 bytes"},
        {"data block type 2", kObject + chunk(ChunkTag::data, be({2, 0})) + kEnd, false,
         "    # malformed: a data chunk's block type is 1 (data) or 3 (base)"},
        {"bss block type 1", kObject + chunk(ChunkTag::bss, be({1, 4})) + kEnd, false,
         "    # malformed: a bss chunk's block type is 2 (bss) or 4 (bssb)"},
        {"text without a NUL", kObject + chunk(ChunkTag::version, text("v1")) + kEnd, false,
         "    # malformed: the text has no NUL byte: \"v1\""},

        // link chunks the walk cannot finish
        {"link without terminator", kObject + chunk(ChunkTag::link, be({0x80000004, 0}) + text("ab\0\0"s)) + kEnd,
         false, "    # malformed: the entries end without the terminator 0xFF000000"},
        {"link name field past the payload", kObject + chunk(ChunkTag::link, be({0x80000008, 0, 0x41000000})) + kEnd,
         false, "    # malformed: the xdef entry's name field of 8 bytes runs past the payload"},
        {"link offsets past the payload",
         kObject + chunk(ChunkTag::link, be({0x01000004, 3, 0x41000000, 2, kLinkTerminator})) + kEnd, false,
         "    # malformed: the xref entry's 3 offsets run past the payload"},
        {"link count past the payload", kObject + chunk(ChunkTag::link, be({0x02000004})) + kEnd, false,
         "    # malformed: the xref entry's count word runs past the payload"},
        {"link name field length not a multiple of 4",
         kObject + chunk(ChunkTag::link, linkPayload({be({0x80000009, 0}) + text("entry\0\0\0"s)})) + kEnd, false,
         "    word 0x80000009"},
        {"link name field without NUL",
         kObject + chunk(ChunkTag::link, linkPayload({be({0x05000004, 1}) + text("abcd") + be({6})})) + kEnd, false,
         "    # malformed: xref pcrelative-16-bit \"abcd\": the name field holds no NUL"},
        {"link other entry then cut", kObject + chunk(ChunkTag::link, be({0x03000000}) + Bytes{0xFF}) + kEnd, false,
         "    # malformed: 1 byte left, too few for an entry word; no terminator"},

        // library pieces
        {"library entry past the payload", chunk(ChunkTag::library, be({8}) + text("name")) + kEnd, false,
         "    # malformed: an entry with a name field of 8 bytes runs past the payload"},
        {"library entry without NUL", chunk(ChunkTag::library, be({4}) + text("name") + be({0})) + kEnd, false,
         "    # malformed: export \"name\" module 0: the name field holds no NUL"},
        {"library entry with odd field length",
         chunk(ChunkTag::library, be({5}) + text("abcd\0\0\0\0"s) + be({3})) + kEnd, true,
         "    # export \"abcd\" module 3: the name field length 5 is not the written form"},
        {"lib member cut by the lib chunk",
         chunk(ChunkTag::library, {}) + chunk(ChunkTag::lib, be({tagWord(ChunkTag::code), 20, 0})) + kEnd, false,
         "    00000010 code length 20 truncated"},
        {"lib ends inside a member header",
         chunk(ChunkTag::library, {}) + chunk(ChunkTag::lib, code + Bytes{1, 2, 3}) + kEnd, false,
         "    # malformed: 3 bytes left in the lib chunk, too few for a chunk header"},
        {"lib inside a lib", chunk(ChunkTag::library, {}) + chunk(ChunkTag::lib, chunk(ChunkTag::lib, code)) + kEnd,
         false, "        # malformed: a lib chunk inside a lib chunk"},
    };
}

TEST(DumpRoundTrip, EveryFileComesBackByteForByte) {
    for (const RoundTripCase& c : roundTripCases()) {
        SCOPED_TRACE(c.name);
        DumpedText dumped = dumpText(c.file);
        EXPECT_EQ(dumped.wellFormed, c.wellFormed) << dumped.text;
        EXPECT_NE(dumped.text.find(c.mark + "\n"), std::string::npos) << "missing line: " << c.mark << "\n"
                                                                      << dumped.text;
        Bytes rebuilt = chunkFileFromText(dumped.text);
        EXPECT_EQ(hexBytes(rebuilt), hexBytes(c.file)) << dumped.text;
    }
}

// The size-only form leaves section bytes out: the builder refuses it
// rather than write a different file.
TEST(DumpRoundTrip, SizeOnlyTextIsRefused) {
    DumpedText dumped = dumpText(fullModule(), false);
    EXPECT_NE(dumped.text.find("    bytes 8\n"), std::string::npos) << dumped.text;
    EXPECT_EQ(dumped.text.find("0000: 4E 71"), std::string::npos) << dumped.text;
    Bytes out;
    std::vector<textform::TextError> errors;
    EXPECT_FALSE(textform::buildFromText(dumped.text, out, errors));
    ASSERT_EQ(errors.size(), 3u);  // code, data, base
    EXPECT_EQ(errors[0].message,
              "section bytes shown by their size only cannot be built; dump the file again with its bytes in full");
}

}  // namespace
}  // namespace tarnel::test
