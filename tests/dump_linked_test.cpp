// The files the linker itself writes, in every mode, dumped and built back:
// each is named as its kind, holds nothing malformed, and comes back byte
// for byte. ROM images and S-records are no chunk files, yet their bytes too
// survive the text form.
#include <gtest/gtest.h>

#include "harness.hpp"
#include "text_fixture.hpp"

namespace tarnel::test {
namespace {

Bytes callerModule() {
    return ModuleBuilder()
        .processor(0x52070001, 3)
        .name("caller")
        .version("1.0")
        .code({0x4E, 0xB9, 0, 0, 0, 0, 0x20, 0x39, 0, 0, 0, 0, 0x4E, 0x75})
        .data({0, 0, 0, 1})
        .bss(64)
        .xdef(SectionKind::code, 0, "start")
        .xref(LINK_ABS32, "helper", {2})
        .reloc32(0, 1, {8})
        .end();
}

Bytes helperModule() {
    return ModuleBuilder()
        .name("helper")
        .code({0x30, 0x2D, 0, 0, 0x4E, 0x75})
        .base({0, 7})
        .bssb(8)
        .xdef(SectionKind::code, 0, "helper")
        .drel16(3, {2})
        .end();
}

TEST(DumpLinked, EveryOutputOfTheLinkerComesBack) {
    struct Case {
        std::vector<std::string> options;
        std::string kind;
        bool chunkFile;
    };
    const Case cases[] = {
        {{}, "executable", true},  {{"-estart"}, "object module laid out as an embedded object", true},
        {{"-g"}, "library", true}, {{"-r1000"}, "", false},
        {{"-s1000"}, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.empty() ? "default" : c.options[0]);
        ScratchDir dir;
        dir.write("caller.o", callerModule());
        dir.write("helper.o", helperModule());
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"caller.o", "helper.o", "-o", "out"});
        RunResult run = runLinker(dir, args);
        ASSERT_EQ(run.status, 0) << run.out;
        const Bytes written = dir.read("out");
        ASSERT_FALSE(written.empty());

        DumpedText dumped = dumpText(written);
        EXPECT_EQ(dumped.wellFormed, c.chunkFile) << dumped.text;
        if (c.chunkFile) {
            EXPECT_TRUE(dumped.text.starts_with("# f: " + c.kind + ", ")) << dumped.text;
        }
        EXPECT_EQ(hexBytes(chunkFileFromText(dumped.text)), hexBytes(written)) << dumped.text;
    }
}

// A module kept as text links like the same module made by builder code.
TEST(DumpLinked, TextFixtureLinks) {
    ScratchDir dir;
    dir.write("text.o", chunkFileFromText("object\n"
                                          "name\n"
                                          "    text \"fixture\"\n"
                                          "code\n"
                                          "    block code\n"
                                          "    0000: 4E B9 00 00 00 00 4E 75\n"
                                          "link\n"
                                          "    xdef code 0 \"main\"\n"
                                          "    xref absolute-32-bit \"helper\" at 2\n"
                                          "    terminator\n"
                                          "end\n"));
    dir.write("helper.o", helperModule());
    RunResult run = runLinker(dir, {"text.o", "helper.o", "-o", "prog"});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("fixture"), std::string::npos) << run.out;
    // the xref was patched with helper's address, the end of the 8 code bytes
    Bytes prog = dir.read("prog");
    DumpedText dumped = dumpText(prog);
    EXPECT_NE(dumped.text.find("    0000: 4E B9 00 00 00 08 4E 75"), std::string::npos) << dumped.text;
}

}  // namespace
}  // namespace tarnel::test
