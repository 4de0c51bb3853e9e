// The outputs of tarnel-mkobj and tarnel-elf2obj are written as tarnel writes
// its own: to a temporary file renamed over the name once complete. Each
// output fault the linker is tried with is tried with each tool; a write
// that fails part way, a folder at the output's name and an output that
// would replace the tool's input all leave every file as it was.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "elf2obj.hpp"
#include "elf_builder.hpp"
#include "golden.hpp"
#include "textform/textform.hpp"

namespace tarnel::test {
namespace {

struct ToolRun {
    int status;
    std::string err;
};

// Runs a tool in-process inside the folder, so that relative names land there.
ToolRun runIn(const ScratchDir& dir, const std::function<int(std::ostream&, std::ostream&)>& tool) {
    auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path(""));
    std::ostringstream out, err;
    int status = tool(out, err);
    std::filesystem::current_path(previous);
    EXPECT_EQ(out.str(), "");
    return {status, err.str()};
}

// A module of `size` code bytes: the tool's output for the input below.
Bytes moduleOf(size_t size) { return ModuleBuilder().name("in.o").code(Bytes(size, 0x4E)).end(); }

struct Tool {
    const char* name;
    int failure;  // the exit status for an output it cannot create or write
    // Writes the input of a module of `size` code bytes; returns its name.
    std::string (*input)(const ScratchDir& dir, size_t size);
    // The complaint about an output that could not be created or written.
    std::string (*complaint)(bool created, const std::string& path, const std::string& reason);
    int (*run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

const Tool kTools[] = {
    {"tarnel-mkobj", 2,
     [](const ScratchDir& dir, size_t size) {
         std::string text;
         textform::dumpChunkFile(moduleOf(size), "in.o", textform::DumpOptions{}, text);
         dir.writeText("in.txt", text);
         return std::string("in.txt");
     },
     [](bool created, const std::string& path, const std::string& reason) {
         return std::string("tarnel-mkobj: ") + (created ? "cannot write " : "cannot create ") + path + ": " +
                reason + "\n";
     },
     [](const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
         std::istringstream in;
         return textform::runMkobjTool(args, in, out, err);
     }},
    {"tarnel-elf2obj", 1,
     [](const ScratchDir& dir, size_t size) {
         ElfBuilder e;
         e.progbits(".text", Bytes(size, 0x4E));
         dir.write("in.o", e.build());
         return std::string("in.o");
     },
     [](bool created, const std::string& path, const std::string& reason) {
         return "tarnel-elf2obj: " + path + (created ? ": cannot be written: " : ": cannot be created: ") + reason +
                "\n";
     },
     [](const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
         return elf2obj::runElf2obj(args, out, err);
     }},
};

void PrintTo(const Tool& t, std::ostream* os) { *os << t.name; }

ToolRun run(const ScratchDir& dir, const Tool& tool, std::vector<std::string> args) {
    args.insert(args.begin(), tool.name);
    return runIn(dir, [&](std::ostream& out, std::ostream& err) { return tool.run(args, out, err); });
}

std::set<std::string> namesIn(const ScratchDir& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path(""))) names.insert(e.path().filename().string());
    return names;
}

// What each output fault of the linker's table gives as its reason.
const std::map<std::string, std::string> kReasons = {
    {"/dev/full", "No space left on device"},
    {"nodir/out", "No such file or directory"},
    {"/proc/tarnel-test-output", "No such file or directory"},
    {"m.o/out", "Not a directory"},
    {".", "Is a directory"},
};

class ToolOutput : public testing::TestWithParam<Tool> {};

TEST_P(ToolOutput, EveryOutputFaultIsReportedAndLeavesTheFolderAsItWas) {
    const Tool& tool = GetParam();
    for (const OutputFault& fault : kOutputFaults) {
        SCOPED_TRACE(fault.what);
        ScratchDir dir;
        const std::string input = tool.input(dir, 8);
        const Bytes inputBytes = dir.read(input);
        dir.write("m.o", {1, 2, 3, 4});
        const auto before = namesIn(dir);
        ToolRun r = run(dir, tool, {input, "-o", fault.output});
        EXPECT_EQ(r.status, tool.failure);
        EXPECT_EQ(r.err, tool.complaint(fault.created, fault.output, kReasons.at(fault.output)));
        EXPECT_EQ(namesIn(dir), before);
        EXPECT_EQ(dir.read(input), inputBytes);
        EXPECT_EQ(dir.read("m.o"), (Bytes{1, 2, 3, 4}));
    }
}

// An empty folder named as the output is refused and stays.
TEST_P(ToolOutput, AFolderAtTheOutputsNameIsKept) {
    const Tool& tool = GetParam();
    ScratchDir dir;
    const std::string input = tool.input(dir, 8);
    std::filesystem::create_directory(dir.path("out"));
    ToolRun r = run(dir, tool, {input, "-o", "out"});
    EXPECT_EQ(r.status, tool.failure);
    EXPECT_EQ(r.err, tool.complaint(false, "out", "Is a directory"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path("out")));
}

// A write that fails part way (past the file-size limit, even the limit 0)
// leaves the earlier output as it was and nothing beside it.
TEST_P(ToolOutput, AWritePastTheFileSizeLimitLeavesTheEarlierOutput) {
    const Tool& tool = GetParam();
    for (rlim_t limit : {rlim_t(0), rlim_t(4096)}) {
        SCOPED_TRACE(limit);
        ScratchDir dir;
        const std::string input = tool.input(dir, 64 << 10);
        const Bytes old = textBytes("left by an earlier run");
        dir.write("out.o", old);
        const auto before = namesIn(dir);
        ToolRun r;
        {
            FileSizeLimit lowered(limit);
            r = run(dir, tool, {input, "-o", "out.o"});
        }
        EXPECT_EQ(r.status, tool.failure);
        EXPECT_EQ(r.err, tool.complaint(true, "out.o", "File too large"));
        EXPECT_EQ(dir.read("out.o"), old);
        EXPECT_EQ(namesIn(dir), before);
    }
}

TEST_P(ToolOutput, ASuccessfulRunReplacesTheEarlierOutput) {
    const Tool& tool = GetParam();
    ScratchDir dir;
    const std::string input = tool.input(dir, 64 << 10);
    dir.write("out.o", textBytes("left by an earlier run"));
    ToolRun r = run(dir, tool, {input, "-o", "out.o"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(hexBytes(dir.read("out.o")), hexBytes(moduleOf(64 << 10)));
    EXPECT_EQ(namesIn(dir), (std::set<std::string>{input, "out.o"}));
}

// An output that is the input, by its own name or through a link, is refused
// before anything is read or written.
TEST_P(ToolOutput, AnOutputThatWouldReplaceTheInputIsRefused) {
    const Tool& tool = GetParam();
    struct Row {
        const char* what;
        const char* output;
        void (*make)(const ScratchDir& dir, const std::string& input);
    };
    const Row rows[] = {
        {"the input's own name", nullptr, [](const ScratchDir&, const std::string&) {}},
        {"a symbolic link to the input", "link",
         [](const ScratchDir& dir, const std::string& input) {
             std::filesystem::create_symlink(input, dir.path("link"));
         }},
        {"a hard link to the input", "hard",
         [](const ScratchDir& dir, const std::string& input) {
             std::filesystem::create_hard_link(dir.path(input), dir.path("hard"));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ScratchDir dir;
        const std::string input = tool.input(dir, 8);
        const Bytes inputBytes = dir.read(input);
        row.make(dir, input);
        const std::string output = row.output ? row.output : input;
        ToolRun r = run(dir, tool, {input, "-o", output});
        EXPECT_EQ(r.status, tool.failure);
        const std::string itself = std::string(tool.name) == "tarnel-mkobj" ? " is the text " : " is the input ";
        EXPECT_EQ(r.err, std::string(tool.name) + ": " + output + itself + input + " itself; name another output file\n");
        EXPECT_EQ(dir.read(input), inputBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(Tools, ToolOutput, testing::ValuesIn(kTools),
                         [](const auto& info) { return std::string(info.param.name).substr(7); });

}  // namespace
}  // namespace tarnel::test
