// The output name holds either what it held before or a complete new output,
// whatever happens to the run: failed writes, links through symbolic links,
// kills part way, several runs writing one name at once.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "harness.hpp"
#include "objfmt/read_ahead.hpp"
#include "output/outfile.hpp"

namespace tarnel::test {
namespace {

const Bytes kOld = {'o', 'l', 'd', '\n'};

std::set<std::string> namesIn(const ScratchDir& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path(""))) names.insert(e.path().filename().string());
    return names;
}

// Starts the tarnel program in dir with its output thrown away; returns its pid.
pid_t startProgram(const ScratchDir& dir, const std::vector<std::string>& args) {
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.path("").c_str()) != 0) _exit(127);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> argv{const_cast<char*>(TARNEL_PROGRAM)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(TARNEL_PROGRAM, argv.data());
        _exit(127);
    }
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

}  // namespace

// A write that fails part way, in every kind of output and over every kind of
// name, reports the name once, leaves it as it was (or absent) and leaves no
// file beside it.
TEST(AtomicOutput, FailedWriteLeavesTheNameAsItWas) {
    enum class Name { none, old, throughLink, overInput };
    struct Row {
        const char* what;
        const char* option;  // nullptr: an executable
        size_t codeBytes;
        rlim_t limit;
        Name name;
    };
    const std::vector<Row> rows = {
        {"executable, the first buffer", nullptr, 0x100, 64, Name::none},
        {"executable", nullptr, 8192, 1024, Name::none},
        {"library", "-g", 8192, 1024, Name::none},
        {"executable, many buffers", nullptr, 3 << 20, 1 << 20, Name::none},
        {"library, many buffers", "-g", 3 << 20, 1 << 20, Name::none},
        {"ROM image", "-r0", 3 << 20, 1 << 20, Name::old},
        {"S-records", "-s0", 3 << 20, 1 << 20, Name::old},
        {"ROM image through a symbolic link", "-r0", 3 << 20, 1 << 20, Name::throughLink},
        {"ROM image over its own input", "-r0", 3 << 20, 1 << 20, Name::overInput},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ScratchDir dir;
        const Bytes module = ModuleBuilder().code(Bytes(row.codeBytes, 0x4E)).end();
        dir.write("m.o", module);
        const std::string out = row.name == Name::overInput ? "m.o" : "out";
        if (row.name == Name::old) dir.write("out", kOld);
        if (row.name == Name::throughLink) {
            dir.write("target", kOld);
            std::filesystem::create_symlink("target", dir.path("out"));
        }
        const auto before = namesIn(dir);
        std::vector<std::string> args{"m.o", "-o", out};
        if (row.option) args.insert(args.begin(), row.option);
        RunResult r;
        {
            FileSizeLimit limit(row.limit);
            r = runLinker(dir, args);
        }
        EXPECT_EQ(r.status, 1);
        // the message once, and the run's report all the same
        const std::string message = "error: Error writing " + out + "\n";
        EXPECT_EQ(r.out.find(message), r.out.rfind(message)) << r.out;
        EXPECT_NE(r.out.find(kBanner + message + "\nBuild information for " + out), std::string::npos) << r.out;
        EXPECT_EQ(namesIn(dir), before);
        switch (row.name) {
        case Name::none: EXPECT_FALSE(dir.exists("out")); break;
        case Name::old: EXPECT_EQ(dir.read("out"), kOld); break;
        case Name::throughLink:
            EXPECT_EQ(dir.read("target"), kOld);
            EXPECT_TRUE(std::filesystem::is_symlink(dir.path("out")));
            break;
        case Name::overInput: EXPECT_EQ(dir.read("m.o"), module); break;
        }
    }
}

// An output left without its close (an allocation failed part way and the
// run unwound) leaves the name as it was and nothing beside it.
TEST(AtomicOutput, UnfinishedOutputLeavesNothing) {
    ScratchDir dir;
    dir.write("out", kOld);
    try {
        OutputFile file;
        ASSERT_TRUE(file.create(dir.path("out")));
        file.write(Bytes(1 << 20, 0x11).data(), 1 << 20);
        throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
    }
    EXPECT_EQ(dir.read("out"), kOld);
    EXPECT_EQ(namesIn(dir), (std::set<std::string>{"out"}));
}

// A successful link replaces the file a symbolic link names and keeps the link;
// the new file has the permission bits of a newly created file.
TEST(AtomicOutput, LinkThroughSymbolicLinkReplacesItsTarget) {
    ScratchDir dir;
    dir.write("m.o", ModuleBuilder().code({0x4E, 0x75}).end());
    dir.write("target", kOld);
    chmod(dir.path("target").c_str(), 0600);
    std::filesystem::create_symlink("target", dir.path("out"));
    mode_t mask = umask(022);
    RunResult r = runLinker(dir, {"-r0", "m.o", "-o", "out"});
    umask(mask);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path("out")));
    EXPECT_EQ(dir.read("target"), (Bytes{0x4E, 0x75}));
    struct stat st {};
    ASSERT_EQ(stat(dir.path("target").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_EQ(namesIn(dir), (std::set<std::string>{"m.o", "out", "target"}));
}

// A command file that opens but cannot be read is reported and the run goes on.
TEST(CommandFile, OneThatCannotBeReadIsReported) {
    struct Row {
        const char* path;
        const char* message;
    };
    const std::vector<Row> rows = {
        {"adir", "error: File adir could not be read\n"},
        {"/", "error: File / could not be read\n"},
        {"/dev/net/tun", "error: File /dev/net/tun could not be read\n"},
        {"missing", "error: File missing could not be opened\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        ScratchDir dir;
        std::filesystem::create_directory(dir.path("adir"));
        if (std::string(row.path) == "/dev/net/tun" && !std::filesystem::exists(row.path)) continue;
        RunResult r = runLinker(dir, {"-f", row.path});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find(row.message), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Maximum file size = "), std::string::npos) << r.out;
    }
    // /proc/self/mem opens, and reads of it fail or give nothing: never an abort
    ScratchDir dir;
    RunResult r = runLinker(dir, {"-f", "/proc/self/mem"});
    EXPECT_NE(r.out.find("Maximum file size = "), std::string::npos) << r.out;
}

// Standard output that cannot take the report fails the run.
TEST(StandardOutput, AFullDeviceFailsTheRun) {
    ScratchDir dir;
    dir.write("m.o", ModuleBuilder().code(Bytes(1 << 16, 0x4E)).xdef(SectionKind::code, 0, "start").end());
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.path("").c_str()) != 0) _exit(127);
        int full = open("/dev/full", O_WRONLY);
        int err = open("err", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(full, 1);
        dup2(err, 2);
        execl(TARNEL_PROGRAM, TARNEL_PROGRAM, "-m", "m.o", "-o", "out", (char*)nullptr);
        _exit(127);
    }
    int status = waitFor(pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    Bytes err = dir.read("err");
    EXPECT_EQ(std::string(err.begin(), err.end()), "error: Error writing standard output\n");
}

// Killed at any moment of a long write, the name holds the old file or the
// complete new one; a terminated run also leaves no temporary file.
TEST(AtomicOutput, KilledRunLeavesOldOrNewFile) {
    ScratchDir dir;
    // four modules of 26 MiB each, 104 MiB of output
    std::vector<std::string> args{"-r0"};
    for (int i = 0; i < 4; ++i) {
        std::string name = "m" + std::to_string(i) + ".o";
        dir.write(name, ModuleBuilder().code(Bytes(26 << 20, uint8_t(0x40 + i))).end());
        args.push_back(name);
    }
    args.insert(args.end(), {"-o", "out"});
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(waitFor(startProgram(dir, args)), 0);
    auto whole = std::chrono::steady_clock::now() - start;
    const Bytes complete = dir.read("out");
    ASSERT_EQ(complete.size(), size_t(104) << 20);
    const std::set<std::string> names = namesIn(dir);

    for (int sig : {SIGKILL, SIGTERM}) {
        for (int moment = 0; moment < 20; ++moment) {
            SCOPED_TRACE(std::string(strsignal(sig)) + " at moment " + std::to_string(moment));
            dir.write("out", kOld);
            pid_t pid = startProgram(dir, args);
            std::this_thread::sleep_for(whole * moment / 20);
            kill(pid, sig);
            int status = waitFor(pid);
            Bytes now = dir.read("out");
            EXPECT_TRUE(now == kOld || now == complete) << now.size() << " bytes under the name";
            if (WIFSIGNALED(status)) {
                EXPECT_EQ(WTERMSIG(status), sig);
            }
            if (sig == SIGTERM) {
                EXPECT_EQ(namesIn(dir), names);
            }
            // what a killed run left beside the name goes before the next one
            for (const std::string& n : namesIn(dir))
                if (!names.count(n)) std::filesystem::remove(dir.path(n));
        }
    }
}

// Runs writing one name at once leave one of their complete outputs.
TEST(AtomicOutput, ConcurrentRunsLeaveOneCompleteOutput) {
    ScratchDir dir;
    ByteBuilder code;
    for (int i = 0; i < (1 << 18); ++i) code.word(0x4EB90000u + uint32_t(i));
    // a relocated word per module makes the two start addresses give two files
    dir.write("m.o", ModuleBuilder().code(code.bytes()).xdef(SectionKind::code, 0, "here")
                         .xref(LINK_ABS32, "here", {0}).end());
    const std::vector<std::vector<std::string>> variants = {{"-r0", "m.o", "-o", "out"},
                                                            {"-r40000000", "m.o", "-o", "out"}};
    std::vector<Bytes> outputs;
    for (const auto& v : variants) {
        ASSERT_EQ(waitFor(startProgram(dir, v)), 0);
        outputs.push_back(dir.read("out"));
    }
    ASSERT_NE(outputs[0], outputs[1]);
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<pid_t> pids;
        for (int i = 0; i < 8; ++i) pids.push_back(startProgram(dir, variants[i % 2]));
        for (pid_t pid : pids) EXPECT_EQ(waitFor(pid), 0);
        Bytes now = dir.read("out");
        EXPECT_TRUE(now == outputs[0] || now == outputs[1]) << now.size() << " bytes";
        EXPECT_EQ(namesIn(dir), (std::set<std::string>{"m.o", "out"}));
    }
}

// A link large enough for every thread of a run (enough files to be read
// ahead, more than 32,768 places) gives the same file and report every time.
TEST(Determinism, ManyFilesAndPlacesLinkTheSameEveryTime) {
    ScratchDir dir;
    std::vector<std::string> args{"-m"};
    constexpr uint32_t kModules = ReadAhead::kWorthAThreadFrom + 44, kPlaces = 128;
    for (uint32_t m = 0; m < kModules; ++m) {
        std::vector<uint32_t> offsets;
        for (uint32_t i = 0; i < kPlaces; ++i) offsets.push_back(4 * i);
        std::string name = "m" + std::to_string(m) + ".o";
        // each module refers to the next one's name, the last to the first's
        dir.write(name, ModuleBuilder()
                            .code(Bytes(4 * kPlaces, 0))
                            .xdef(SectionKind::code, 4 * m, "f" + std::to_string(m))
                            .xref(LINK_ABS32, "f" + std::to_string((m + 1) % kModules), offsets)
                            .end());
        args.push_back(name);
    }
    args.insert(args.end(), {"-o", "out"});
    const RunResult first = runLinker(dir, args);
    ASSERT_EQ(first.status, 0) << first.out;
    const Bytes image = dir.read("out");
    for (int run = 1; run < 50; ++run) {
        RunResult again = runLinker(dir, args);
        ASSERT_EQ(again.status, 0);
        ASSERT_EQ(again.out, first.out) << "run " << run;
        ASSERT_EQ(dir.read("out"), image) << "run " << run;
    }
}

}  // namespace tarnel::test
