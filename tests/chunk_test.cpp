#include <gtest/gtest.h>

#include <string>

#include "harness.hpp"
#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"

namespace tarnel::test {
namespace {

TEST(ByteOrder, WordsAndHalvesAreBigEndianAtAnyAlignment) {
    uint8_t buf[7] = {};
    writeWordBE(buf + 1, 0x12345678);
    EXPECT_EQ(Bytes(buf, buf + 7), (Bytes{0, 0x12, 0x34, 0x56, 0x78, 0, 0}));
    EXPECT_EQ(readWordBE(buf + 1), 0x12345678u);
    writeHalfBE(buf + 3, 0xABCDEF);  // only the low 16 bits are stored
    EXPECT_EQ(readHalfBE(buf + 3), 0xCDEFu);
    EXPECT_EQ(buf[2], 0x34);
    EXPECT_EQ(buf[5], 0);
}

TEST(ChunkTags, NamesCoverAllThirtyTwoTags) {
    EXPECT_STREQ(chunkTagName(0x00), "header");
    EXPECT_STREQ(chunkTagName(0x0C), "reserved");
    EXPECT_STREQ(chunkTagName(0x10), "code");
    EXPECT_STREQ(chunkTagName(0x19), "drel16");
    EXPECT_STREQ(chunkTagName(0x1F), "end");
    EXPECT_EQ(chunkTagName(0x20), nullptr);
    EXPECT_EQ(chunkTagByName("reloc16"), 0x16);
    EXPECT_FALSE(isKnownTag(0xC0DECF20));
    EXPECT_TRUE(isKnownTag(0xC0DECF00));
}

TEST(NameFields, LengthIsNamePlusNulRoundedUpToFour) {
    EXPECT_EQ(nameFieldLength(0), 4u);
    EXPECT_EQ(nameFieldLength(3), 4u);
    EXPECT_EQ(nameFieldLength(4), 8u);
    EXPECT_EQ(nameFieldLength(5), 8u);
    EXPECT_EQ(nameFieldLength(90), 92u);
}

TEST(ObjectLayout, ExampleModuleIsFiftySixBytes) {
    Bytes module = ModuleBuilder().code({1, 2, 3, 4}).xdef(SectionKind::code, 0, "entry").end();
    Bytes expected = be({0xC0DECF01, 0, 0xC0DECF10, 8, 0}) + Bytes{1, 2, 3, 4} +
                     be({0xC0DECF14, 20, 0x80000008, 0}) + Bytes{'e', 'n', 't', 'r', 'y', 0, 0, 0} +
                     be({0xFF000000, 0xC0DECF1F});
    EXPECT_EQ(hexBytes(module), hexBytes(expected));
    EXPECT_EQ(module.size(), 56u);
}


// The chunks a walk met, one "offset:tag-number/length" item each ("/-" for
// an end tag without its length word), and how it ended.
struct WalkSeen {
    std::string chunks;
    ChunkWalkEnd end;
};

WalkSeen walk(const Bytes& file, size_t start) {
    WalkSeen seen{};
    seen.end = walkChunks(file, start, [&](const Chunk& c) {
        // every payload is the length bytes right after the chunk's header
        EXPECT_EQ(c.payload.data(), file.data() + c.offset + (c.hasLengthWord ? 8 : 4));
        EXPECT_EQ(c.payload.size(), c.length);
        seen.chunks += std::to_string(c.offset) + ":" + std::to_string(c.tag - kTagBase) + "/" +
                       (c.hasLengthWord ? std::to_string(c.length) : "-") + " ";
    });
    return seen;
}

TEST(ChunkWalk, EachFramingCaseEndsAsItShould) {
    const uint32_t code = tagWord(ChunkTag::code), end = tagWord(ChunkTag::end);
    using S = ChunkWalkStatus;
    struct Case {
        const char* name;
        Bytes file;
        size_t start;
        const char* chunks;
        S status;
        size_t offset;
    };
    const Case cases[] = {
        {"empty file", {}, 0, "", S::fileEnded, 0},
        {"end tag without length", be({end}), 0, "0:31/- ", S::endTagAlone, 4},
        {"end tag alone, 3 bytes after it", be({end}) + Bytes{1, 2, 3}, 0, "0:31/- ", S::endTagAlone, 4},
        {"end tag with length", be({end, 0}), 0, "0:31/0 ", S::end, 8},
        {"end chunk with payload, bytes after", be({end, 4, 7, 9}), 0, "0:31/4 ", S::end, 12},
        {"nothing after an end chunk is walked", be({end, 0, code, 0}), 0, "0:31/0 ", S::end, 8},
        {"zero-length chunk", be({code, 0, end}), 0, "0:16/0 8:31/- ", S::endTagAlone, 12},
        {"unknown tag walked over", be({0xC0DECF20, 4, 1, end}), 0, "0:32/4 12:31/- ", S::endTagAlone, 16},
        {"file ends between chunks", be({code, 4, 1}), 0, "0:16/4 ", S::fileEnded, 12},
        {"length past the end", be({code, 4, 1, code, 9, 1}), 0, "0:16/4 ", S::payloadCut, 12},
        {"start after the first header", be({tagWord(ChunkTag::object), 99, end}), 8, "8:31/- ", S::endTagAlone, 12},
        {"start past the end", be({tagWord(ChunkTag::object)}), 8, "", S::headerCut, 4},
    };
    for (const Case& c : cases) {
        WalkSeen seen = walk(c.file, c.start);
        EXPECT_EQ(seen.chunks, c.chunks) << c.name;
        EXPECT_EQ(seen.end.status, c.status) << c.name;
        EXPECT_EQ(seen.end.offset, c.offset) << c.name;
    }
    WalkSeen cut = walk(be({code, 4, 1, code, 9, 1}), 0);
    EXPECT_EQ(cut.end.tag, code);
    EXPECT_EQ(cut.end.length, 9u);
}

// A header of 1 to 7 bytes after a whole chunk is cut, unless it is an end
// tag: then the 4 tag bytes alone end the walk.
TEST(ChunkWalk, AHeaderCutAtOneToSevenBytesStopsAtItsStart) {
    const Bytes first = be({tagWord(ChunkTag::code), 0});
    for (uint32_t tag : {tagWord(ChunkTag::code), tagWord(ChunkTag::end)}) {
        const Bytes header = be({tag, 0});
        for (size_t n = 1; n <= 7; ++n) {
            WalkSeen seen = walk(first + Bytes(header.begin(), header.begin() + n), 0);
            const bool endTagAlone = tag == tagWord(ChunkTag::end) && n >= 4;
            EXPECT_EQ(seen.chunks, endTagAlone ? "0:16/0 8:31/- " : "0:16/0 ") << tag << " " << n;
            EXPECT_EQ(seen.end.status, endTagAlone ? ChunkWalkStatus::endTagAlone : ChunkWalkStatus::headerCut)
                << tag << " " << n;
            EXPECT_EQ(seen.end.offset, endTagAlone ? 12u : 8u) << tag << " " << n;
        }
    }
}

TEST(PayloadRules, EachReadTagHasItsMinimumAndWordRule) {
    struct Case {
        ChunkTag tag;
        uint32_t minimum;
        bool wordMultiple, checkedOnRead;
    };
    const Case cases[] = {
        {ChunkTag::header, 8, false, false},   // the dump's rule; the linker drops it unread
        {ChunkTag::processor, 8, false, true}, {ChunkTag::code, 4, false, true},
        {ChunkTag::data, 4, false, true},      {ChunkTag::bss, 8, false, true},
        {ChunkTag::reloc32, 8, true, true},    {ChunkTag::reloc16, 8, true, true},
        {ChunkTag::drel16, 4, true, true},     {ChunkTag::link, 0, false, false},
        {ChunkTag::reloc8, 0, false, false},   {ChunkTag::end, 0, false, false},
    };
    for (const Case& c : cases) {
        const PayloadRule& rule = payloadRule(c.tag);
        const char* name = chunkTagName(uint32_t(c.tag));
        EXPECT_EQ(rule.minimum, c.minimum) << name;
        EXPECT_EQ(rule.wordMultiple, c.wordMultiple) << name;
        EXPECT_EQ(rule.checkedOnRead, c.checkedOnRead) << name;
        EXPECT_TRUE(rule.fits(c.minimum + 4)) << name;
        EXPECT_EQ(rule.fits(c.minimum + 2), !c.wordMultiple) << name;
        EXPECT_EQ(rule.fits(c.minimum - 1), c.minimum == 0) << name;
    }
}

}  // namespace
}  // namespace tarnel::test
