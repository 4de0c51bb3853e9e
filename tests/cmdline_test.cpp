// The command line: each option's effect on the link state, file arguments,
// -o and -l, command files, and whole runs compared byte for byte.
#include <gtest/gtest.h>

#include <sstream>

#include "driver/cmdline.hpp"
#include "harness.hpp"
#include "objfmt/read_ahead.hpp"
#include "objfmt/state.hpp"

namespace tarnel::test {
namespace {

// Runs a test body with the scratch folder as working directory, so that
// file arguments are plain names.
class InDir {
public:
    explicit InDir(const ScratchDir& dir) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir.path(""));
    }
    ~InDir() { std::filesystem::current_path(previous_); }

private:
    std::filesystem::path previous_;
};

// A link state fed arguments and tokens one at a time.
struct Session {
    ScratchDir dir;
    InDir cwd{dir};
    std::ostringstream out;
    LinkState state{out};
    ArgumentCursor cursor;

    Session() { linkerStartup(state); }
    ~Session() { linkerTeardown(state); }

    // Each argument as the argument loop hands it on: options to
    // handleOption, everything else to handleFileArgument.
    void feed(const std::vector<std::string>& args) {
        for (const std::string& a : args) {
            if (!a.empty() && a[0] == '-')
                handleOption(state, cursor, a);
            else
                handleFileArgument(state, cursor, a);
        }
    }
    // A module defining one code symbol, so that tests see where it went.
    void module(const std::string& name, const std::string& symbol, const Bytes& data = {}) {
        ModuleBuilder b;
        b.code({0x4E, 0x75}).xdef(SectionKind::code, 0, symbol);
        if (!data.empty()) b.data(data);
        dir.write(name, b.end());
    }
    std::vector<std::string> fileNames() const {
        std::vector<std::string> names;
        for (uint32_t i = 0; i < state.moduleCount; ++i)
            names.push_back(state.modules[i].fileName.value_or("(none)"));
        return names;
    }
};

std::vector<std::string> names(const SymbolList& list) {
    std::vector<std::string> result;
    for (const LinkSymbol& s : list) result.emplace_back(s.name);
    return result;
}

// The option fields in one line, for readable comparisons.
std::string modes(const LinkState& state) {
    const LinkOptions& s = state.options;
    std::ostringstream o;
    o << std::hex << "romStart=" << s.romStart << " rom=" << s.romMode << " srec=" << s.srecMode
      << " embedded=" << s.embeddedMode << " library=" << s.libraryMode << " label=\"" << s.embeddedLabel << "\"";
    return o.str();
}

std::string flags(const LinkState& state, const ArgumentCursor& cursor) {
    const LinkOptions& s = state.options;
    std::ostringstream o;
    o << "bssInRom=" << s.bssInRom << " map=" << s.mapWanted << " cmdfile=" << cursor.commandFileFlag
      << " pending=" << cursor.outputNamePending << " libargs=" << cursor.libraryArgs;
    return o.str();
}

// ---------------------------------------------------------------------------
// Options on the link state

TEST(Options, RomStartAndModeOptions) {
    struct Case {
        std::vector<std::string> args;
        const char* modes;
    };
    const Case cases[] = {
        {{"-r78000000"}, "romStart=78000000 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        // 'A' to 'F' are 10 to 15 like 'a' to 'f'
        {{"-rA"}, "romStart=a rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-rABCDEF"}, "romStart=abcdef rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-rabcdef"}, "romStart=abcdef rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-r9aF0"}, "romStart=9af0 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        // the first character that is not a hex digit ends the value
        {{"-r12_34"}, "romStart=12 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-r12g4"}, "romStart=12 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-r12G4"}, "romStart=12 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-r12 34"}, "romStart=12 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-rz"}, "romStart=0 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-r"}, "romStart=0 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        // digits accumulate onto romStart, in 32 bits
        {{"-r1000", "-r2"}, "romStart=10002 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-r10002"}, "romStart=10002 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-r1000", "-r"}, "romStart=1000 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        // a zero shifted out of the 32 bits loses nothing
        {{"-r012345678"}, "romStart=12345678 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-r1234", "-r5678"}, "romStart=12345678 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-s100", "-r200"}, "romStart=100200 rom=1 srec=1 embedded=0 library=0 label=\"\""},
        // 0x or 0X right after the option letter is a prefix, not the digit 0 and an end
        {{"-r0x40000000"}, "romStart=40000000 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-r0X1f"}, "romStart=1f rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-s0x1000"}, "romStart=1000 rom=1 srec=1 embedded=0 library=0 label=\"\""},
        {{"-r1000", "-r0x2"}, "romStart=10002 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-r0x"}, "romStart=0 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-r0x_1"}, "romStart=0 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-r00x1"}, "romStart=0 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-rx10"}, "romStart=0 rom=1 srec=0 embedded=0 library=0 label=\"\""},
        {{"-s100200"}, "romStart=100200 rom=1 srec=1 embedded=0 library=0 label=\"\""},
        {{"-r1", "-s2"}, "romStart=12 rom=1 srec=1 embedded=0 library=0 label=\"\""},
        // only -e clears romStart
        {{"-r1000", "-etop"}, "romStart=0 rom=0 srec=0 embedded=1 library=0 label=\"top\""},
        {{"-s100", "-etop"}, "romStart=0 rom=0 srec=0 embedded=1 library=0 label=\"top\""},
        {{"-etop", "-r1"}, "romStart=1 rom=1 srec=0 embedded=0 library=0 label=\"top\""},
        {{"-etop", "-s1"}, "romStart=1 rom=1 srec=1 embedded=0 library=0 label=\"top\""},
        {{"-e"}, "romStart=0 rom=0 srec=0 embedded=1 library=0 label=\"\""},
        {{"-etop", "-e"}, "romStart=0 rom=0 srec=0 embedded=1 library=0 label=\"\""},
        // -g leaves romStart; -r leaves library mode; -s ends it
        {{"-g", "-r100"}, "romStart=100 rom=1 srec=0 embedded=0 library=1 label=\"\""},
        {{"-r100", "-g"}, "romStart=100 rom=0 srec=0 embedded=0 library=1 label=\"\""},
        {{"-s1", "-g"}, "romStart=1 rom=0 srec=0 embedded=0 library=1 label=\"\""},
        {{"-g", "-s1"}, "romStart=1 rom=1 srec=1 embedded=0 library=0 label=\"\""},
        {{"-etop", "-g"}, "romStart=0 rom=0 srec=0 embedded=0 library=1 label=\"top\""},
        {{"-g", "-etop"}, "romStart=0 rom=0 srec=0 embedded=1 library=1 label=\"top\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        Session s;
        s.feed(c.args);
        EXPECT_EQ(modes(s.state), c.modes);
        EXPECT_EQ(s.out.str(), "");
        EXPECT_EQ(s.state.errorStatus, 0);
    }
}

// A digit that would shift a non-zero digit out of the 32-bit address is
// refused with the rest of the argument; romStart keeps the digits before it.
TEST(Options, RomStartDigitsBeyondThirtyTwoBitsAreRefused) {
    struct Case {
        std::vector<std::string> args;
        const char* romStart;
        const char* message;
    };
    const Case cases[] = {
        {{"-r123456789"}, "12345678", "error: Address of option -r123456789 does not fit in 32 bits\n"},
        {{"-rffffffffffff"}, "ffffffff", "error: Address of option -rffffffffffff does not fit in 32 bits\n"},
        {{"-s1000", "-s00000"}, "10000000", "error: Address of option -s00000 does not fit in 32 bits\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        Session s;
        s.feed(c.args);
        std::ostringstream romStart;
        romStart << std::hex << s.state.options.romStart;
        EXPECT_EQ(romStart.str(), c.romStart);
        EXPECT_EQ(s.out.str(), c.message);
        EXPECT_EQ(s.state.errorStatus, -1);
    }
}

TEST(Options, OtherLettersAndWhatFollowsThem) {
    struct Case {
        std::vector<std::string> args;
        const char* flags;
        const char* out;
    };
    const char* start = "bssInRom=1 map=0 cmdfile=0 pending=0 libargs=0";
    const Case cases[] = {
        {{}, start, ""},
        {{"-b"}, "bssInRom=0 map=0 cmdfile=0 pending=0 libargs=0", ""},
        {{"-m"}, "bssInRom=1 map=1 cmdfile=0 pending=0 libargs=0", ""},
        // only the letter after '-' selects the option
        {{"-map"}, "bssInRom=1 map=1 cmdfile=0 pending=0 libargs=0", ""},
        {{"-bogus"}, "bssInRom=0 map=0 cmdfile=0 pending=0 libargs=0", ""},
        {{"-i"}, start, ""},
        {{"-info"}, start, ""},
        {{"-fcmd"}, "bssInRom=1 map=0 cmdfile=1 pending=0 libargs=0", ""},
        {{"-o"}, "bssInRom=1 map=0 cmdfile=0 pending=1 libargs=0", ""},
        {{"-l"}, "bssInRom=1 map=0 cmdfile=0 pending=0 libargs=1", "libflag!\n"},
        {{"-o", "-l"}, "bssInRom=1 map=0 cmdfile=0 pending=0 libargs=1", "libflag!\n"},
        {{"-l", "-o"}, "bssInRom=1 map=0 cmdfile=0 pending=1 libargs=0", "libflag!\n"},
        {{"-o", "-m"}, "bssInRom=1 map=1 cmdfile=0 pending=1 libargs=0", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        Session s;
        s.feed(c.args);
        EXPECT_EQ(flags(s.state, s.cursor), c.flags);
        EXPECT_EQ(s.out.str(), c.out);
        EXPECT_EQ(s.state.errorStatus, 0);
        EXPECT_EQ(modes(s.state), "romStart=0 rom=0 srec=0 embedded=0 library=0 label=\"\"");
    }
}

TEST(Options, UnrecognizedFlags) {
    const char* args[] = {"-", "-X", "-c", "-d", "-h", "-j", "-k", "-n", "-p", "-q",
                          "-B", "-M", "-R100", "-1", "--", "-Q-", "-%s"};
    for (const char* arg : args) {
        SCOPED_TRACE(arg);
        Session s;
        s.feed({arg});
        EXPECT_EQ(s.out.str(), std::string("error: Unrecognized flag: -") + (arg + 1) + "\n");
        EXPECT_EQ(s.state.errorStatus, -1);
        EXPECT_EQ(modes(s.state), "romStart=0 rom=0 srec=0 embedded=0 library=0 label=\"\"");
        EXPECT_EQ(flags(s.state, s.cursor), "bssInRom=1 map=0 cmdfile=0 pending=0 libargs=0");
    }
    // the run goes on after one
    Session s;
    s.feed({"-X", "-m", "-Y"});
    EXPECT_EQ(s.out.str(), "error: Unrecognized flag: -X\nerror: Unrecognized flag: -Y\n");
    EXPECT_TRUE(s.state.options.mapWanted);
}

TEST(Options, EmbeddedLabelKeepsNinetyCharacters) {
    const std::string ninety(90, 'L');
    struct Case {
        std::string arg;
        std::string label;
    };
    const Case cases[] = {
        {"-e" + ninety, ninety},
        {"-e" + ninety + "X", ninety},
        {"-e" + std::string(600, 'x'), std::string(90, 'x')},
        {"-e" + std::string(89, 'y'), std::string(89, 'y')},
    };
    for (const Case& c : cases) {
        Session s;
        s.feed({c.arg});
        EXPECT_EQ(s.state.options.embeddedLabel, c.label) << c.arg.size();
        EXPECT_TRUE(s.state.options.embeddedMode);
    }
}

// ---------------------------------------------------------------------------
// File arguments, -o and -l

TEST(FileArguments, OutputNameAndListedLibraries) {
    struct Case {
        std::vector<std::string> args;
        std::string output;
        std::vector<std::string> loaded;
        std::string out;
    };
    const Case cases[] = {
        {{"-o"}, "a.out", {}, ""},
        {{"-o", "a", "-o", "b", "c.o"}, "b", {"c.o"}, ""},
        {{"-l", "x", "y", "-o", "out", "z.o"}, "out", {"z.o"}, "libflag!\nlib file = x\nlib file = y\n"},
        {{"-o", "-l", "x"}, "a.out", {}, "libflag!\nlib file = x\n"},
        {{"-l", "-o", "out", "z.o"}, "out", {"z.o"}, "libflag!\n"},
        {{"-l", "x", "-m", "y"}, "a.out", {}, "libflag!\nlib file = x\nlib file = y\n"},
        {{"-o", "-m", "out", "c.o"}, "out", {"c.o"}, ""},
        {{"c.o", "-o", "out", "z.o"}, "out", {"c.o", "z.o"}, ""},
        {{"-o", "out", "-o"}, "out", {}, ""},
        {{"-o", "z.o", "c.o"}, "z.o", {"c.o"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        Session s;
        s.module("c.o", "c_entry");
        s.module("z.o", "z_entry");
        s.feed(c.args);
        EXPECT_EQ(s.out.str(), c.out);
        EXPECT_EQ(s.state.options.outputName, c.output);
        EXPECT_EQ(s.fileNames(), c.loaded);
        EXPECT_EQ(s.state.errorStatus, 0);
    }
}

TEST(FileArguments, MissingFileTakesASlot) {
    Session s;
    s.module("b.o", "b_entry");
    s.feed({"missing.o", "b.o"});
    EXPECT_EQ(s.out.str(), "error: File missing.o not found\n");
    EXPECT_EQ(s.state.errorStatus, -1);
    EXPECT_EQ(s.fileNames(), (std::vector<std::string>{"(none)", "b.o"}));
    ASSERT_EQ(s.state.xdefList.size(), 1u);
    EXPECT_EQ(s.state.xdefList[0].module, 1);
}

TEST(FileArguments, ArgumentsOfAnyLengthAreTakenWhole) {
    Session s;
    const std::string longName(5000, 'n');
    const std::string longOutput = std::string(3000, 'o') + ".out";
    s.feed({longName, "-o", longOutput});
    EXPECT_EQ(s.out.str(), "error: File " + longName + " not found\n");
    EXPECT_EQ(s.state.options.outputName, longOutput);
    EXPECT_EQ(s.state.moduleCount, 1u);
}

TEST(FileArguments, RomOptionsLeaveTheDataRunningOffset) {
    for (const char* option : {"-r100", "-s100"}) {
        SCOPED_TRACE(option);
        Session s;
        s.module("first.o", "first", Bytes(10, 1));
        s.module("second.o", "second", Bytes(6, 2));
        s.feed({"first.o", option, "second.o"});
        EXPECT_EQ(s.out.str(), "");
        // the data after the option follows the data before it, never overlaps it
        EXPECT_EQ(s.state.modules[1].dataAddr, 10u);
    }
}

TEST(FileArguments, LibraryModeCannotChangeOnceFilesAreLoaded) {
    struct Case {
        std::vector<std::string> args;
        std::string out;
        const char* modes;
        std::vector<std::string> linked, packed;
    };
    const Case cases[] = {
        {{"a.o", "-g"},
         "error: Option -g must come before the object files\n",
         "romStart=0 rom=0 srec=0 embedded=0 library=0 label=\"\"",
         {"a_sym"},
         {}},
        // the option's other effects stay
        {{"-r100", "a.o", "-gx", "b.o"},
         "error: Option -gx must come before the object files\n",
         "romStart=100 rom=0 srec=0 embedded=0 library=0 label=\"\"",
         {"a_sym", "b_sym"},
         {}},
        {{"-g", "a.o", "-s100", "b.o"},
         "error: Option -s100 must come before the object files\n",
         "romStart=100 rom=1 srec=1 embedded=0 library=1 label=\"\"",
         {},
         {"a_sym", "b_sym"}},
        {{"-g", "-s", "a.o"}, "", "romStart=0 rom=1 srec=1 embedded=0 library=0 label=\"\"", {"a_sym"}, {}},
        {{"-g", "a.o", "-g", "b.o"}, "", "romStart=0 rom=0 srec=0 embedded=0 library=1 label=\"\"", {},
         {"a_sym", "b_sym"}},
        {{"a.o", "-s", "b.o"}, "", "romStart=0 rom=1 srec=1 embedded=0 library=0 label=\"\"", {"a_sym", "b_sym"},
         {}},
        // a file that could not be loaded brought no module of either mode
        {{"missing.o", "-g", "a.o"}, "error: File missing.o not found\n",
         "romStart=0 rom=0 srec=0 embedded=0 library=1 label=\"\"", {}, {"a_sym"}},
        // listed libraries and the output name take no slot
        {{"-l", "x.a", "-o", "out", "-g", "a.o"}, "libflag!\nlib file = x.a\n",
         "romStart=0 rom=0 srec=0 embedded=0 library=1 label=\"\"", {}, {"a_sym"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        Session s;
        s.module("a.o", "a_sym");
        s.module("b.o", "b_sym");
        s.feed(c.args);
        EXPECT_EQ(s.out.str(), c.out);
        EXPECT_EQ(s.state.errorStatus, c.out.find("error: ") == std::string::npos ? 0 : -1);
        EXPECT_EQ(modes(s.state), c.modes);
        EXPECT_EQ(names(s.state.xdefList), c.linked);
        EXPECT_EQ(names(s.state.librarySymbols), c.packed);
    }
}

TEST(FileArguments, The513thFileIsRefused) {
    Session s;
    s.module("last.o", "last");
    s.module("extra.o", "extra");
    std::vector<std::string> args;
    std::string expected;
    for (int i = 0; i < 511; ++i) {
        args.push_back("m" + std::to_string(i));
        expected += "error: File m" + std::to_string(i) + " not found\n";
    }
    args.push_back("last.o");     // slot 511, the last one
    args.push_back("extra.o");    // refused: not opened, no slot
    args.push_back("-o");
    args.push_back("out");        // an output name is still taken
    args.push_back("extra2.o");
    s.feed(args);
    expected += "error: Too many object files, extra.o ignored\n";
    expected += "error: Too many object files, extra2.o ignored\n";
    EXPECT_EQ(s.out.str(), expected);
    EXPECT_EQ(s.state.moduleCount, kModuleSlots);
    EXPECT_EQ(s.state.modules[511].fileName, "last.o");
    EXPECT_EQ(names(s.state.xdefList), std::vector<std::string>{"last"});
    EXPECT_EQ(s.state.options.outputName, "out");
}

// ---------------------------------------------------------------------------
// Command files

TEST(CommandFiles, TokensAreActedOnLikeArguments) {
    Session s;
    s.module("a.o", "a_sym");
    s.module("b.o", "b_sym");
    s.dir.writeText("cmd", "  -o\tout\n\na.o\r\n-m   b.o\v-X\f-r1F\n");
    processCommandFile(s.state, s.cursor, "cmd");
    EXPECT_EQ(s.out.str(), "error: Unrecognized flag: -X\n");
    EXPECT_EQ(s.state.options.outputName, "out");
    EXPECT_EQ(s.fileNames(), (std::vector<std::string>{"a.o", "b.o"}));
    EXPECT_TRUE(s.state.options.mapWanted);
    EXPECT_EQ(s.state.options.romStart, 0x1Fu);
}

TEST(CommandFiles, EmptyAndMissingFiles) {
    Session s;
    s.dir.writeText("empty", "");
    s.dir.writeText("blank", " \n\t\n");
    processCommandFile(s.state, s.cursor, "empty");
    processCommandFile(s.state, s.cursor, "blank");
    EXPECT_EQ(s.out.str(), "");
    processCommandFile(s.state, s.cursor, "nope");
    EXPECT_EQ(s.out.str(), "error: File nope could not be opened\n");
    EXPECT_EQ(s.state.errorStatus, -1);
    EXPECT_EQ(s.state.moduleCount, 0u);
}

TEST(CommandFiles, DoNotNest) {
    Session s;
    s.module("inner.o", "inner");
    // after -f in a command file, the next token is an ordinary one
    s.dir.writeText("cmd", "-f inner.o -m -f other.cmd");
    s.dir.writeText("other.cmd", "-b\n");
    processCommandFile(s.state, s.cursor, "cmd");
    EXPECT_EQ(s.out.str(), "error: File other.cmd is not a valid object file\n");
    EXPECT_TRUE(s.cursor.commandFileFlag);
    EXPECT_TRUE(s.state.options.mapWanted);
    EXPECT_TRUE(s.state.options.bssInRom);
    EXPECT_EQ(s.fileNames(), (std::vector<std::string>{"inner.o", "(none)"}));
}

TEST(CommandFiles, OptionStateCarriesOverFromTheCommandLine) {
    Session s;
    s.module("a.o", "a_sym");
    s.dir.writeText("cmd", "prog a.o");
    s.feed({"-l", "lib1", "-o"});
    processCommandFile(s.state, s.cursor, "cmd");
    EXPECT_EQ(s.out.str(), "libflag!\nlib file = lib1\n");
    EXPECT_EQ(s.state.options.outputName, "prog");
    EXPECT_EQ(s.fileNames(), std::vector<std::string>{"a.o"});
}

TEST(CommandFiles, TokensOfAnyLength) {
    Session s;
    const std::string longName(2000, 'f');
    s.dir.writeText("cmd", "-e" + std::string(700, 'x') + "\n" + longName + " -o " + std::string(1500, 'p'));
    processCommandFile(s.state, s.cursor, "cmd");
    EXPECT_EQ(s.out.str(), "error: File " + longName + " not found\n");
    EXPECT_EQ(s.state.options.embeddedLabel, std::string(90, 'x'));
    EXPECT_EQ(s.state.options.outputName, std::string(1500, 'p'));
}

// ---------------------------------------------------------------------------
// Whole runs: everything printed, byte for byte, and the exit status

const std::string kUsage =
    "Usage  : tarnel [ -options ] [ files... ] -o [ outfilename ]\n"
    "Options: -b           disable bss in rom mode\n"
    "         -e<label>    embedded object mode\n"
    "         -f<file>     file containing commandline information\n"
    "         -g           generate library file\n"
    "         -i           display build information\n"
    "         -l<files...> library files\n"
    "         -m           display link map\n"
    "         -r<hexaddr>  generate binary rom file (e.g. -r78000000)\n"
    "         -s<hexaddr>  generate s-record file\n";

// The end of a run that placed no section: build information without module
// lines and the two size lines.
std::string emptySummary(const std::string& output, const std::string& fileSize) {
    return "\nBuild information for " + output + " (cpu: 5206)\n\n" +
           "tarnel complete - Maximum code size = 0 ($00000000) bytes\n\n" + "Maximum file size = " + fileSize +
           " bytes\n";
}

TEST(WholeRun, NoArgumentsPrintsBannerAndUsage) {
    ScratchDir dir;
    RunResult r = runLinker(dir, {});
    EXPECT_EQ(r.out, kBanner + kUsage);
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(dir.exists("a.out"));
}

TEST(WholeRun, OptionsAndTheirMessages) {
    struct Case {
        std::vector<std::string> args;
        std::string out;  // after the banner
        int status;
        bool writesAout;
    };
    const Case cases[] = {
        {{"-"}, "error: Unrecognized flag: -\n" + emptySummary("a.out", "0 ($00000000)"), 1, false},
        {{"-X"}, "error: Unrecognized flag: -X\n" + emptySummary("a.out", "0 ($00000000)"), 1, false},
        // only options: a link of no module writes the header and the end tag
        {{"-b"}, emptySummary("a.out", "20 ($00000014)"), 0, true},
        {{"-i"}, emptySummary("a.out", "20 ($00000014)"), 0, true},
        {{"-o"}, emptySummary("a.out", "20 ($00000014)"), 0, true},
        {{"-f"}, "error: No commandline file to process!\n" + emptySummary("a.out", "0 ($00000000)"), 1, false},
        // the characters after -f are not a path
        {{"-fcmd"}, "error: No commandline file to process!\n" + emptySummary("a.out", "0 ($00000000)"), 1, false},
        {{"-f", "nothere"}, "error: File nothere could not be opened\n" + emptySummary("a.out", "0 ($00000000)"), 1,
         false},
        {{"-lx", "y", "-o"}, "libflag!\nlib file = y\n" + emptySummary("a.out", "20 ($00000014)"), 0, true},
        {{"-r0"}, emptySummary("a.out", "0 ($00000000)"), 0, true},
        {{"missing.o"}, "error: File missing.o not found\n" + emptySummary("a.out", "0 ($00000000)"), 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        ScratchDir dir;
        dir.writeText("cmd", "-X\n");
        RunResult r = runLinker(dir, c.args);
        EXPECT_EQ(r.out, kBanner + c.out);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(dir.exists("a.out"), c.writesAout);
    }
}

TEST(WholeRun, CommandFileEndsTheArguments) {
    ScratchDir dir;
    dir.writeText("cmd", "-o prog\n");
    // '-X' after the command file's name is never looked at
    RunResult r = runLinker(dir, {"-f", "cmd", "-X", "missing.o"});
    EXPECT_EQ(r.out, kBanner + emptySummary("prog", "20 ($00000014)"));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(dir.exists("prog"));
    EXPECT_FALSE(dir.exists("a.out"));
}

TEST(WholeRun, LinkWithListedLibrariesAndAMissingModule) {
    ScratchDir dir;
    dir.write("z.o", ModuleBuilder().name("zmod").version("1.10").date("07-Dec-2026").code({1, 2, 3, 4}).end());
    dir.write("w.o", ModuleBuilder().code({5, 6}).data({7, 8, 9}).end());
    const std::string modules =
        "Build information for out (cpu: 5206)\n"
        " zmod   1.10 code $00000000-$00000004 Size:        4 07-Dec-2026\n"
        "    -  0.000 code $00000004-$00000006 Size:        2 (\?\?-\?\?\?-\?\?\?\?)\n"
        "    -  0.000 data $00000000-$00000003 Size:        3 (\?\?-\?\?\?-\?\?\?\?)\n\n";

    RunResult ok = runLinker(dir, {"-l", "x", "y", "-o", "out", "z.o", "w.o"});
    EXPECT_EQ(ok.out, kBanner + "libflag!\nlib file = x\nlib file = y\n\n" + modules +
                          "tarnel complete - Maximum code size = 9 ($00000009) bytes\n\n"
                          "Maximum file size = 69 ($00000045) bytes\n");
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(dir.read("out").size(), 69u);

    // a missing module takes slot 0 and is listed nowhere; nothing is written
    std::filesystem::remove(dir.path("out"));
    RunResult failed = runLinker(dir, {"nothere.o", "z.o", "w.o", "-o", "out"});
    EXPECT_EQ(failed.out, kBanner + "error: File nothere.o not found\n\n" + modules +
                              "tarnel complete - Maximum code size = 9 ($00000009) bytes\n\n"
                              "Maximum file size = 0 ($00000000) bytes\n");
    EXPECT_EQ(failed.status, 1);
    EXPECT_FALSE(dir.exists("out"));
}

TEST(WholeRun, LibraryOptionAfterALinkedFileIsRefused) {
    ScratchDir dir;
    dir.write("a.o", ModuleBuilder().code({0x4E, 0x75}).end());
    RunResult r = runLinker(dir, {"a.o", "-g"});
    // the link goes on in link mode, and its error keeps the output from being written
    EXPECT_EQ(r.out, kBanner +
                         "error: Option -g must come before the object files\n"
                         "\nBuild information for a.out (cpu: 5206)\n"
                         "  -  0.000 code $00000000-$00000002 Size:        2 (\?\?-\?\?\?-\?\?\?\?)\n\n"
                         "tarnel complete - Maximum code size = 2 ($00000002) bytes\n\n"
                         "Maximum file size = 0 ($00000000) bytes\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(dir.exists("a.out"));
}

TEST(WholeRun, TooManyFilesFromACommandFile) {
    ScratchDir dir;
    std::string tokens, expected;
    for (int i = 0; i < 514; ++i) {
        std::string name = "f" + std::to_string(i) + ".o";
        tokens += name + "\n";
        expected += i < 512 ? "error: File " + name + " not found\n"
                            : "error: Too many object files, " + name + " ignored\n";
    }
    dir.writeText("many", tokens);
    RunResult r = runLinker(dir, {"-fmany", "many"});
    EXPECT_EQ(r.out, kBanner + expected + emptySummary("a.out", "0 ($00000000)"));
    EXPECT_EQ(r.status, 1);
}

// Enough files to be read ahead on a second thread, with a missing file, a
// folder, an empty file, an output name and listed libraries among them:
// the messages come in argument order and the image holds every module's
// bytes in load order, from the arguments and from a command file alike.
TEST(WholeRun, ManyFilesLoadInArgumentOrder) {
    ScratchDir dir;
    std::filesystem::create_directory(dir.path("sub"));
    dir.write("empty.o", {});
    std::vector<std::string> args{"-r0"};
    std::string messages;
    Bytes image;
    auto module = [&](int i) {
        std::string name = "m" + std::to_string(i) + ".o";
        Bytes code{uint8_t(i), uint8_t(i >> 8), 0, 0};
        ModuleBuilder b;
        b.code(code);
        if (i == 3 || i == 40) b.xdef(SectionKind::code, 0, "twice");  // the first definition wins
        if (i == 70) b.xref(LINK_ABS16, "twice", {2});
        dir.write(name, b.end());
        args.push_back(name);
        if (i == 70) code[2] = 0, code[3] = 12;  // m3's code starts at 3 * 4
        image.insert(image.end(), code.begin(), code.end());
    };
    const int modules = int(ReadAhead::kWorthAThreadFrom) + 20;
    for (int i = 0; i < 20; ++i) module(i);
    args.insert(args.end(), {"missing.o", "sub", "-l", "lib1", "lib2", "-o", "image.bin"});
    for (int i = 20; i < 50; ++i) module(i);
    args.push_back("empty.o");
    for (int i = 50; i < modules; ++i) module(i);
    messages = "error: File missing.o not found\n"
               "error: File sub could not be read\n"
               "libflag!\n"
               "lib file = lib1\n"
               "lib file = lib2\n"
               "error: File empty.o is not a valid object file\n";

    RunResult direct = runLinker(dir, args);
    EXPECT_EQ(direct.status, 1);
    EXPECT_EQ(direct.out.substr(0, kBanner.size() + messages.size()), kBanner + messages);
    // a failed link writes nothing: link the same files without the bad ones
    std::vector<std::string> good;
    for (const std::string& a : args)
        if (a != "missing.o" && a != "sub" && a != "empty.o") good.push_back(a);
    RunResult ok = runLinker(dir, good);
    EXPECT_EQ(ok.status, 0) << ok.out;
    const std::string libraryLines = "libflag!\nlib file = lib1\nlib file = lib2\n";
    EXPECT_EQ(ok.out.substr(0, kBanner.size() + libraryLines.size()), kBanner + libraryLines);
    EXPECT_EQ(hexBytes(dir.read("image.bin")), hexBytes(image));

    std::string tokens;
    for (const std::string& a : good) tokens += a + "\n";
    dir.writeText("cmd", tokens);
    std::filesystem::remove(dir.path("image.bin"));
    RunResult fromFile = runLinker(dir, {"-f", "cmd"});
    EXPECT_EQ(fromFile.out, ok.out);
    EXPECT_EQ(hexBytes(dir.read("image.bin")), hexBytes(image));
}

TEST(WholeRun, LongArgumentIsPrintedWhole) {
    ScratchDir dir;
    const std::string name(4000, 'q');
    RunResult r = runLinker(dir, {name});
    EXPECT_EQ(r.out, kBanner + "error: File " + name + " not found\n" + emptySummary("a.out", "0 ($00000000)"));
    EXPECT_EQ(r.status, 1);
}

}  // namespace
}  // namespace tarnel::test
