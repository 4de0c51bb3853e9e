#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tarnel::test
