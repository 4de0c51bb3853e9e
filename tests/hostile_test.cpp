// Hostile input and faults: malformed and truncated modules, fix-ups outside
// their section bytes, too many files, mixed modes, and outputs and inputs
// that cannot be written or read. Each run must print its "error: " message,
// exit with status 1 and leave no link output behind: an existing output file
// keeps its old contents. Under the sanitizer build the same runs prove that
// nothing is read or written outside a buffer.
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "golden.hpp"
#include "harness.hpp"
#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"

namespace tarnel::test {
namespace {

const Bytes kOldOutput = {'o', 'l', 'd', '\n'};

size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

// Every chunk kind a module can carry, each section once, every reference to
// the module's own definitions: a prefix of it that still loads links cleanly.
Bytes everyChunkKind() {
    return ModuleBuilder()
        .processor(0x52060022, 1)
        .name("whole")
        .version("1.00")
        .date("01-Jan-2004")
        .chunk(ChunkTag::comment, Bytes{'c', 0})
        .code(Bytes(16, 0))
        .data(Bytes(8, 0))
        .base(Bytes(8, 0))
        .bss(8)
        .bssb(4)
        .reloc16(0, 1, {0})
        .reloc32(1, 0, {4})
        .drel16(3, {2})
        .xdef(SectionKind::code, 4, "entry")
        .xdef(SectionKind::data, 0, "table")
        .xref(LINK_ABS32, "table", {6})
        .xref(LINK_PCREL16, "entry", {10, 12})
        .end();
}

Bytes truncated(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

// An object chunk and then these raw bytes.
Bytes objectThen(const Bytes& rest) { return ModuleBuilder().raw(rest).unfinished(); }

Bytes linkChunk(const Bytes& payload) { return ModuleBuilder().code(Bytes(8, 0)).chunk(ChunkTag::link, payload).end(); }

Bytes sectionTwice(ModuleBuilder& (ModuleBuilder::*add)(const Bytes&)) {
    ModuleBuilder m;
    (m.*add)(Bytes{1, 2, 3, 4});
    (m.*add)(Bytes{5, 6, 7, 8});
    return m.end();
}

Bytes bssTwice(ModuleBuilder& (ModuleBuilder::*add)(uint32_t)) {
    ModuleBuilder m;
    (m.*add)(16);
    (m.*add)(32);
    return m.end();
}

struct Outcome {
    RunResult run;
    Bytes output;
    bool outputExists;
};

// Runs with an output file that already holds kOldOutput.
Outcome runOver(const ScratchDir& dir, std::vector<std::string> args) {
    dir.write("out", kOldOutput);
    args.insert(args.end(), {"-o", "out"});
    RunResult run = runLinker(dir, args);
    return {run, dir.read("out"), dir.exists("out")};
}

// The run failed with this one error message and no other.
void expectOneError(const RunResult& run, const std::string& message) {
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(countOf(run.out, "error: " + message), 1u) << run.out;
    EXPECT_EQ(countOf(run.out, "error: "), 1u) << run.out;
}

TEST(HostileInput, UntruncatedModuleLinksCleanly) {
    ScratchDir dir;
    dir.write("m.o", everyChunkKind());
    Outcome o = runOver(dir, {"m.o"});
    EXPECT_EQ(o.run.status, 0) << o.run.out;
    EXPECT_EQ(countOf(o.run.out, "error: "), 0u) << o.run.out;
    EXPECT_NE(o.output, kOldOutput);
}

// Cutting the file at any byte before its end is reported once, as a file too
// short to be an object or one that ends too early, in a link and in a library.
TEST(HostileInput, TruncationAtEveryOffsetIsReportedAndWritesNothing) {
    const Bytes whole = everyChunkKind();
    ScratchDir dir;
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        dir.write("cut.o", truncated(whole, cut));
        std::string message = cut < 4 ? "File cut.o is not a valid object file\n" : "Unexpected end of file in cut.o\n";
        Outcome link = runOver(dir, {"cut.o"});
        expectOneError(link.run, message);
        EXPECT_EQ(link.output, kOldOutput);

        expectOneError(runOver(dir, {"-g", "cut.o"}).run, message);
    }
}

struct HostileModule {
    const char* what;
    Bytes module;
    const char* linkMessage;     // after "error: ", with the file named bad.o
    const char* libraryMessage;  // the same under -g; nullptr: not an error there
};

// Damage the loader must catch in both modes; the library scan walks `link`
// entries as a link does and meets their damage alike.
const std::vector<HostileModule>& hostileModules() {
    static const std::vector<HostileModule> cases = {
        {"length word far beyond the file", objectThen(be({0xC0DECF10, 0xFFFFFFF0, 0, 0})),
         "Unexpected end of file in bad.o\n", "Unexpected end of file in bad.o\n"},
        {"length word one byte beyond the file", objectThen(be({0xC0DECF10, 9, 0, 0})),
         "Unexpected end of file in bad.o\n", "Unexpected end of file in bad.o\n"},
        {"file ends inside a chunk header", objectThen({0xC0, 0xDE, 0xCF, 0x10, 0, 0}),
         "Unexpected end of file in bad.o\n", "Unexpected end of file in bad.o\n"},
        {"a tag other than end without its length word", objectThen(be({0xC0DECF10})),
         "Unexpected end of file in bad.o\n", "Unexpected end of file in bad.o\n"},
        {"no end chunk", ModuleBuilder().code({1, 2, 3, 4}).unfinished(), "Unexpected end of file in bad.o\n",
         "Unexpected end of file in bad.o\n"},
        {"empty file", {}, "File bad.o is not a valid object file\n", "File bad.o is not a valid object file\n"},
        {"three bytes", {0xC0, 0xDE, 0xCF}, "File bad.o is not a valid object file\n",
         "File bad.o is not a valid object file\n"},
        {"an executable's header first", be({0xC0DECF00, 8, 0, 0, 0xC0DECF1F}),
         "File bad.o is not a valid object file\n", "File bad.o is not a valid object file\n"},
        {"processor payload of 4 bytes", ModuleBuilder().words(ChunkTag::processor, {0x52060000}).end(),
         "Malformed processor chunk in bad.o\n", "Malformed processor chunk in bad.o\n"},
        {"bss payload of 4 bytes", ModuleBuilder().words(ChunkTag::bss, {2}).end(), "Malformed bss chunk in bad.o\n",
         "Malformed bss chunk in bad.o\n"},
        {"code payload of 2 bytes", ModuleBuilder().chunk(ChunkTag::code, Bytes{0, 0}).end(),
         "Malformed code chunk in bad.o\n", "Malformed code chunk in bad.o\n"},
        {"data payload of 3 bytes", ModuleBuilder().chunk(ChunkTag::data, Bytes{0, 0, 1}).end(),
         "Malformed data chunk in bad.o\n", "Malformed data chunk in bad.o\n"},
        {"reloc16 payload of 4 bytes", ModuleBuilder().words(ChunkTag::reloc16, {0}).end(),
         "Malformed reloc16 chunk in bad.o\n", "Malformed reloc16 chunk in bad.o\n"},
        {"reloc32 payload of 10 bytes", ModuleBuilder().chunk(ChunkTag::reloc32, Bytes(10, 0)).end(),
         "Malformed reloc32 chunk in bad.o\n", "Malformed reloc32 chunk in bad.o\n"},
        {"drel16 payload of 6 bytes", ModuleBuilder().chunk(ChunkTag::drel16, Bytes(6, 0)).end(),
         "Malformed drel16 chunk in bad.o\n", "Malformed drel16 chunk in bad.o\n"},
        {"data chunk of block type 2", ModuleBuilder().section(ChunkTag::data, 2, {0, 0}).end(),
         "Unknown data block type in bad.o\n", "Unknown data block type in bad.o\n"},
        {"bss chunk of block type 1", ModuleBuilder().words(ChunkTag::bss, {1, 8}).end(),
         "Unknown bss block type in bad.o\n", "Unknown bss block type in bad.o\n"},
        {"two code chunks", sectionTwice(&ModuleBuilder::code), "Duplicate code section in bad.o\n",
         "Duplicate code section in bad.o\n"},
        {"two data chunks", sectionTwice(&ModuleBuilder::data), "Duplicate data section in bad.o\n",
         "Duplicate data section in bad.o\n"},
        {"two base chunks", sectionTwice(&ModuleBuilder::base), "Duplicate base section in bad.o\n",
         "Duplicate base section in bad.o\n"},
        {"two bss chunks", bssTwice(&ModuleBuilder::bss), "Duplicate bss section in bad.o\n",
         "Duplicate bss section in bad.o\n"},
        {"two bssb chunks", bssTwice(&ModuleBuilder::bssb), "Duplicate bssb section in bad.o\n",
         "Duplicate bssb section in bad.o\n"},
        {"link chunk without terminator", linkChunk(be({0x80000004, 0, 0x61000000})),
         "Malformed link chunk in bad.o\n", "Malformed link chunk in bad.o\n"},
        {"xdef entry word with nothing after it", linkChunk(be({0x80000008, 0xFF000000})),
         "Malformed link chunk in bad.o\n", "Malformed link chunk in bad.o\n"},
        {"xdef name field past the payload", linkChunk(be({0x80000100, 0, 0x61000000, 0xFF000000})),
         "Malformed link chunk in bad.o\n", "Malformed link chunk in bad.o\n"},
        {"name fields of 2^24 - 4 bytes in a small chunk",
         linkChunk(be({0x80FFFFFC, 0, 0x61000000, 0x02FFFFFC, 1, 0x61000000, 0, 0xFF000000})),
         "Malformed link chunk in bad.o\n", "Malformed link chunk in bad.o\n"},
        {"xref count past the payload", linkChunk(be({0x02000004, 1000, 0x61000000, 0, 0xFF000000})),
         "Malformed link chunk in bad.o\n", "Malformed link chunk in bad.o\n"},
        {"xref count word missing", linkChunk(be({0x02000004})), "Malformed link chunk in bad.o\n",
         "Malformed link chunk in bad.o\n"},
    };
    return cases;
}

TEST(HostileInput, MalformedModulesAreReportedInBothModes) {
    for (const HostileModule& c : hostileModules()) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        dir.write("bad.o", c.module);
        Outcome link = runOver(dir, {"bad.o"});
        expectOneError(link.run, c.linkMessage);
        EXPECT_EQ(link.output, kOldOutput);

        Outcome library = runOver(dir, {"-g", "bad.o"});
        if (c.libraryMessage) {
            expectOneError(library.run, c.libraryMessage);
        } else {
            EXPECT_EQ(library.run.status, 0) << library.run.out;
        }
    }
}

struct OutsideField {
    const char* what;
    Bytes module;
    const char* message;
};

// Fix-ups whose field does not lie wholly inside the module's section bytes:
// reported, and nothing is patched or written.
TEST(HostileInput, FixUpsOutsideTheirSectionAreReported) {
    const std::vector<OutsideField> cases = {
        {"reloc16 field runs one byte past the code", ModuleBuilder().code(Bytes(4, 0)).reloc16(0, 0, {3}).end(),
         "Relocation at $00000003 outside code section in bad.o\n"},
        {"reloc32 offset near 2^32", ModuleBuilder().data(Bytes(8, 0)).reloc32(1, 1, {0xFFFFFFFE}).end(),
         "Relocation at $fffffffe outside data section in bad.o\n"},
        {"reloc16 from bss", ModuleBuilder().bss(16).reloc16(2, 0, {0}).end(),
         "Relocation at $00000000 outside bss section in bad.o\n"},
        {"reloc32 from bssb", ModuleBuilder().bssb(16).reloc32(4, 0, {0}).end(),
         "Relocation at $00000000 outside bssb section in bad.o\n"},
        {"reloc32 from section 7", ModuleBuilder().code(Bytes(8, 0)).reloc32(7, 0, {0}).end(),
         "Relocation at $00000000 outside unknown section in bad.o\n"},
        {"reloc16 from a base section the module lacks", ModuleBuilder().code(Bytes(8, 0)).reloc16(3, 0, {0}).end(),
         "Relocation at $00000000 outside base section in bad.o\n"},
        {"drel16 offset at the end of the code",
         ModuleBuilder().code(Bytes(8, 0)).data(Bytes(4, 0)).drel16(1, {8}).end(),
         "Relocation at $00000008 outside code section in bad.o\n"},
        {"xref field runs past the code",
         ModuleBuilder().code(Bytes(8, 0)).xdef(SectionKind::code, 0, "f").xref(LINK_ABS32, "f", {6}).end(),
         "Relocation at $00000006 outside code section in bad.o\n"},
        {"8-bit xref patches the byte after the last one",
         ModuleBuilder().code(Bytes(8, 0)).xdef(SectionKind::code, 0, "f").xref(LINK_PCREL8, "f", {7}).end(),
         "Relocation at $00000007 outside code section in bad.o\n"},
        {"xref in a module without code",
         ModuleBuilder().data(Bytes(4, 0)).xdef(SectionKind::data, 0, "d").xref(LINK_REL16, "d", {0}).end(),
         "Relocation at $00000000 outside code section in bad.o\n"},
    };
    for (const OutsideField& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        dir.write("bad.o", c.module);
        Outcome o = runOver(dir, {"bad.o"});
        expectOneError(o.run, c.message);
        EXPECT_EQ(o.output, kOldOutput);
    }
}

TEST(HostileInput, FiveHundredThirteenthFileIsRefused) {
    ScratchDir dir;
    dir.write("m.o", ModuleBuilder().code({0x4E, 0x75}).end());
    std::vector<std::string> files(512, "m.o");
    Outcome full = runOver(dir, files);
    EXPECT_EQ(full.run.status, 0) << full.run.out.substr(0, 2000);
    EXPECT_NE(full.output, kOldOutput);

    files.push_back("m.o");
    Outcome over = runOver(dir, files);
    expectOneError(over.run, "Too many object files, m.o ignored\n");
    EXPECT_EQ(over.output, kOldOutput);
}

TEST(HostileInput, ModeChangeAfterAFileIsRefused) {
    ScratchDir dir;
    dir.write("m.o", ModuleBuilder().code({0x4E, 0x75}).xdef(SectionKind::code, 0, "f").end());

    Outcome late = runOver(dir, {"m.o", "-g"});
    EXPECT_EQ(late.run.status, 1);
    EXPECT_EQ(countOf(late.run.out, "error: Option -g must come before the object files\n"), 1u) << late.run.out;
    EXPECT_EQ(late.output, kOldOutput);

    // -s is refused its switch out of library mode; the library is still written
    Outcome leave = runOver(dir, {"-g", "m.o", "-s100"});
    EXPECT_EQ(leave.run.status, 1);
    EXPECT_EQ(countOf(leave.run.out, "error: Option -s100 must come before the object files\n"), 1u)
        << leave.run.out;
    ASSERT_GE(leave.output.size(), 4u);
    EXPECT_EQ(readWordBE(leave.output.data()), tagWord(ChunkTag::library));
}

// A name field or text without a NUL is taken whole, never read past.
TEST(HostileInput, NamesWithoutNulAreTakenWhole) {
    ByteBuilder link;
    link.word(0x80000004).word(0).text("abcd");              // xdef abcd, no NUL in its 4 bytes
    link.word(LINK_ABS32 << 24 | 4).word(1).text("abcd").word(0);  // xref abcd at code offset 0
    link.word(kLinkTerminator);
    ScratchDir dir;
    dir.write("m.o", ModuleBuilder()
                         .chunk(ChunkTag::name, Bytes{'n', 'o', 'n', 'u', 'l'})
                         .code(Bytes(4, 0))
                         .chunk(ChunkTag::link, link.bytes())
                         .end());
    Outcome o = runOver(dir, {"-m", "m.o"});
    EXPECT_EQ(o.run.status, 0) << o.run.out;
    EXPECT_NE(o.run.out.find(" nonul "), std::string::npos) << o.run.out;
    EXPECT_NE(o.run.out.find("abcd"), std::string::npos) << o.run.out;
}

// A name field of 2^24 - 4 bytes that the file really holds: loaded, resolved
// and written like any other.
TEST(HostileInput, NameFieldOfSixteenMegabytesLinks) {
    constexpr uint32_t kField = 0xFFFFFC;
    ByteBuilder link;
    link.word(0x80000000 | kField).word(0).text("big").zeros(kField - 3);
    link.word(LINK_ABS32 << 24 | kField).word(1).text("big").zeros(kField - 3).word(0);
    link.word(kLinkTerminator);
    ScratchDir dir;
    dir.write("m.o", ModuleBuilder().code(Bytes(4, 0)).chunk(ChunkTag::link, link.bytes()).end());
    Outcome o = runOver(dir, {"m.o"});
    EXPECT_EQ(o.run.status, 0) << o.run.out.substr(0, 2000);
    // the reference to code offset 0 became a relocation record
    Bytes expectedTail = be({0xC0DECF15, 12, 0, 0, 0}) + be({0xC0DECF1F});
    ASSERT_GE(o.output.size(), expectedTail.size());
    EXPECT_EQ(hexBytes(Bytes(o.output.end() - long(expectedTail.size()), o.output.end())), hexBytes(expectedTail));

    RunResult library = runLinker(dir, {"-g", "m.o", "-o", "lib"});
    EXPECT_EQ(library.status, 0);
    // the symbol table holds the whole field: 4 + N + 4 bytes
    std::ifstream head(dir.path("lib"), std::ios::binary);
    uint8_t header[8] = {};
    head.read(reinterpret_cast<char*>(header), 8);
    EXPECT_EQ(readWordBE(header), tagWord(ChunkTag::library));
    EXPECT_EQ(readWordBE(header + 4), kField + 8);
}

// ---- Faults on the output side ----

// Outputs that fail even for root, in a link and a library run: the fault is
// reported once, no size is claimed, and a device is never removed.
TEST(FaultInjection, UnwritableOutputsAreReported) {
    for (const OutputFault& c : kOutputFaults) {
        for (bool library : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (library ? " (library)" : " (link)"));
            ScratchDir dir;
            dir.write("m.o", ModuleBuilder().code(Bytes(64, 0x4E)).xdef(SectionKind::code, 0, "f").end());
            std::vector<std::string> args{"m.o", "-o", c.output};
            if (library) args.insert(args.begin(), "-g");
            RunResult r = runLinker(dir, args);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(countOf(r.out, std::string("error: ") + c.message), 1u) << r.out;
            EXPECT_NE(r.out.find("Maximum file size = 0 ($00000000) bytes\n"), std::string::npos) << r.out;
            EXPECT_TRUE(std::filesystem::exists("/dev/full"));  // a device is never removed
        }
    }
}

// A write that fails at the first buffer, or many buffers in while the
// next ones are being filled, in each kind of output.
TEST(FaultInjection, FailedLinkLeavesAnExistingOutputUntouched) {
    ScratchDir dir;
    dir.write("m.o", ModuleBuilder().code(Bytes(8, 0)).xref(LINK_ABS32, "missing", {0}).end());
    Outcome o = runOver(dir, {"m.o"});
    EXPECT_EQ(o.run.status, 1);
    EXPECT_EQ(countOf(o.run.out, "error: reference missing not found\n"), 1u) << o.run.out;
    EXPECT_EQ(o.output, kOldOutput);
}

struct InputFault {
    const char* what;
    const char* input;
    const char* message;
};

void expectInputRefused(const InputFault& c) {
    for (bool library : {false, true}) {
        SCOPED_TRACE(std::string(c.what) + (library ? " (library)" : " (link)"));
        ScratchDir dir;
        std::filesystem::create_directory(dir.path("sub"));
        dir.write("empty.o", {});
        std::vector<std::string> args{c.input};
        if (library) args.insert(args.begin(), "-g");
        Outcome o = runOver(dir, args);
        expectOneError(o.run, c.message);
        if (!library) {
            EXPECT_EQ(o.output, kOldOutput);
        }
    }
}

TEST(FaultInjection, UnloadableInputsAreReported) {
    const std::vector<InputFault> cases = {
        {"a folder", "sub", "File sub could not be read\n"},
        {"an empty file", "empty.o", "File empty.o is not a valid object file\n"},
        {"a missing file", "missing.o", "File missing.o not found\n"},
    };
    for (const InputFault& c : cases) expectInputRefused(c);
}

// Inputs that fail even for root, where permission bits on an ordinary file
// would not stop the read. Both are devices of the system, so the test is
// skipped where one is missing.
TEST(FaultInjection, InputsThatRootCannotReadAreReported) {
    const std::vector<InputFault> cases = {
        // opens, but every read fails (EBADFD) until an interface is attached
        {"a device whose reads fail", "/dev/net/tun", "File /dev/net/tun could not be read\n"},
        // a write-only attribute: the system refuses to open it for reading
        {"a file that cannot be opened for reading", "/sys/bus/pci/rescan", "File /sys/bus/pci/rescan not found\n"},
    };
    std::string missing;
    for (const InputFault& c : cases) {
        if (std::filesystem::exists(c.input))
            expectInputRefused(c);
        else
            missing += std::string(" ") + c.input;
    }
    if (!missing.empty()) GTEST_SKIP() << "not on this machine:" << missing;
}


struct LimitCase {
    const char* what;
    std::vector<std::pair<std::string, Bytes>> files;
    std::vector<std::string> args;
    const char* message;
};

// Each case fails with exactly its message, prints the summary and leaves the
// existing output as it was.
void expectEachRefused(const std::vector<LimitCase>& cases) {
    for (const LimitCase& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        for (const auto& [name, bytes] : c.files) dir.write(name, bytes);
        Outcome o = runOver(dir, c.args);
        expectOneError(o.run, c.message);
        EXPECT_EQ(o.output, kOldOutput);
        EXPECT_EQ(countOf(o.run.out, "Maximum file size = "), 1u) << o.run.out;
    }
}

Bytes withBss(uint32_t size, const char* name) { return ModuleBuilder().bss(size).xdef(SectionKind::bss, 0x10, name).end(); }
Bytes codeBytes(uint32_t size) { return ModuleBuilder().code(Bytes(size, 0x4E)).end(); }

// Sizes and addresses that would wrap past 2^32: reported once, nothing written,
// the summary printed all the same.
TEST(HostileInput, TotalsAndAddressesBeyondThirtyTwoBitsAreRefused) {
    const Bytes user = ModuleBuilder().code(Bytes(4, 0)).bss(0x80000000).xref(LINK_ABS32, "far", {0}).end();
    const std::vector<LimitCase> cases = {
        {"two bss parts of 2 GiB", {{"a.o", user}, {"b.o", withBss(0x80000000, "far")}}, {"a.o", "b.o"},
         "Merged bss section does not fit in 32 bits\n"},
        {"two bssb parts of 2 GiB",
         {{"a.o", ModuleBuilder().bssb(0x80000000).end()}, {"b.o", ModuleBuilder().bssb(0x80000000).end()}},
         {"a.o", "b.o"}, "Merged bssb section does not fit in 32 bits\n"},
        {"code and bss together reach 2^32",
         {{"a.o", codeBytes(0x100)}, {"b.o", withBss(0xFFFFFF00, "far")}}, {"a.o", "b.o"},
         "Sections together do not fit in 32 bits\n"},
        {"S-records from FFFFFF00 with 1 KiB of code", {{"a.o", codeBytes(0x400)}}, {"-sFFFFFF00", "a.o"},
         "ROM image of $00000400 bytes at $ffffff00 does not fit in 32 bits\n"},
        {"ROM image ending at 2^32", {{"a.o", codeBytes(0x400)}}, {"-rFFFFFC00", "a.o"},
         "ROM image of $00000400 bytes at $fffffc00 does not fit in 32 bits\n"},
        {"bss left out by -b still takes its addresses",
         {{"a.o", codeBytes(0x10)}, {"b.o", withBss(0x80000000, "far")}}, {"-b", "-r80000000", "a.o", "b.o"},
         "ROM image of $80000010 bytes at $80000000 does not fit in 32 bits\n"},
        {"-r with twelve digits", {{"a.o", ModuleBuilder().end()}}, {"-rffffffffffff", "a.o"},
         "Address of option -rffffffffffff does not fit in 32 bits\n"},
    };
    expectEachRefused(cases);
}

TEST(HostileInput, RomImageEndingJustBelowTwoToTheThirtyTwoLinks) {
    ScratchDir dir;
    dir.write("a.o", codeBytes(0x400));
    Outcome o = runOver(dir, {"-rFFFFFBFF", "a.o"});
    EXPECT_EQ(o.run.status, 0) << o.run.out;
    EXPECT_EQ(o.output, Bytes(0x400, 0x4E));
}

// user's code: pcrel16 dv at 2, pcrel8 bv at 4 (its second byte), pcrel32 dv
// at 8. lib's code follows at 0x0C; in a ROM image lib's data starts at 0x10
// (dv = 0x14) and its bss at 0x18 (bv = 0x1A).
Bytes pcUser() {
    return ModuleBuilder()
        .code(Bytes{0x41, 0xFA, 0, 0, 0x60, 0, 0, 0, 0, 0, 0, 0})
        .xref(LINK_PCREL16, "dv", {2})
        .xref(LINK_PCREL8, "bv", {4})
        .xref(LINK_PCREL32, "dv", {8})
        .end();
}
Bytes pcLib() {
    return ModuleBuilder()
        .code(Bytes(4, 0x4E))
        .data(Bytes(8, 0xD0))
        .bss(16)
        .xdef(SectionKind::data, 4, "dv")
        .xdef(SectionKind::bss, 2, "bv")
        .end();
}

// In a ROM image data and bss follow the code at fixed addresses: the field
// gets the true distance, whatever romStart is.
TEST(Resolution, PcRelativeToDataOrBssInRomPatchesTheTrueDistance) {
    const Bytes patched = {0x41, 0xFA, 0x00, 0x12, 0x60, 0x16, 0, 0, 0x00, 0x00, 0x00, 0x0C};
    for (const char* rom : {"-r0", "-r78000000"}) {
        SCOPED_TRACE(rom);
        ScratchDir dir;
        dir.write("user.o", pcUser());
        dir.write("lib.o", pcLib());
        Outcome o = runOver(dir, {rom, "user.o", "lib.o"});
        EXPECT_EQ(o.run.status, 0) << o.run.out;
        EXPECT_EQ(o.output, patched + Bytes(4, 0x4E) + Bytes(8, 0xD0) + Bytes(16, 0));
    }
}

// Outside a ROM image data and bss move independently of the code, so no
// distance can be patched; in a ROM image the range checks still apply.
TEST(HostileInput, PcRelativeToDataOrBssIsRefusedWhereNoDistanceHolds) {
    const Bytes far = ModuleBuilder().data(Bytes(0x100, 0)).xdef(SectionKind::data, 0x80, "dv").end();
    const std::vector<LimitCase> cases = {
        {"relocatable executable, data",
         {{"user.o", ModuleBuilder().code(Bytes(4, 0)).xref(LINK_PCREL16, "dv", {2}).end()}, {"lib.o", pcLib()}},
         {"user.o", "lib.o"}, "Pc-relative reference dv to data section in user.o needs -r or -s\n"},
        {"embedded object, bss",
         {{"user.o", ModuleBuilder().code(Bytes(4, 0)).xref(LINK_PCREL32, "bv", {0}).end()}, {"lib.o", pcLib()}},
         {"-etop", "user.o", "lib.o"}, "Pc-relative reference bv to bss section in user.o needs -r or -s\n"},
        {"ROM image, 8-bit distance of 0x84",
         {{"user.o", ModuleBuilder().code(Bytes(4, 0)).xref(LINK_PCREL8, "dv", {0}).end()}, {"lib.o", far}},
         {"-r0", "user.o", "lib.o"}, "Byte relative out of range for reference dv in user.o\n"},
    };
    expectEachRefused(cases);
}

}  // namespace
}  // namespace tarnel::test
