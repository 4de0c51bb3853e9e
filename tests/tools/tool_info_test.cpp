// -h, --help and --version of every program but tarnel, whose command line
// and banner are its own: the version each shows is the banner's.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "driver/tarnel.hpp"
#include "elf2obj.hpp"
#include "elf_writer.hpp"
#include "size_diff_tool.hpp"
#include "textform/textform.hpp"

namespace tarnel {
namespace {

struct ToolRun {
    int status;
    std::string out, err;
};
using Tool = std::function<int(const std::vector<std::string>&, std::ostream&, std::ostream&)>;

struct ToolRow {
    const char* name;
    const char* usageStart;  // how the help begins
    Tool run;
};

const ToolRow kTools[] = {
    {"tarnel-dump", "Usage: tarnel-dump [options] FILE...\n",
     [](auto& a, auto& out, auto& err) { return textform::runDumpTool(a, out, err); }},
    {"tarnel-mkobj", "Usage: tarnel-mkobj TEXT -o FILE\n",
     [](auto& a, auto& out, auto& err) {
         std::istringstream in;
         return textform::runMkobjTool(a, in, out, err);
     }},
    {"tarnel-elf2obj", "usage: tarnel-elf2obj IN.o -o OUT.o [--cpu MODEL] [--strip-debug]\n",
     [](auto& a, auto& out, auto& err) { return elf2obj::runElf2obj(a, out, err); }},
    {"tarnel-elf", "usage: tarnel-elf [options] [files...] -o [outfilename]\n",
     [](auto& a, auto& out, auto&) { return elf::runTarnelElf(a, out); }},
    {"tarnel-size-diff", "Usage: tarnel-size-diff [options] OLD.json NEW.json\n",
     [](auto& a, auto& out, auto& err) { return sizediff::runSizeDiff(a, out, err); }},
};

ToolRun run(const ToolRow& tool, std::vector<std::string> args) {
    args.insert(args.begin(), tool.name);
    std::ostringstream out, err;
    int status = tool.run(args, out, err);
    return {status, out.str(), err.str()};
}

// the version in tarnel's banner, "tarnel ColdFire Linker version V (date)"
std::string bannerVersion() {
    std::ostringstream out;
    runTarnel({"tarnel"}, out);
    const std::string text = out.str(), key = " version ";
    size_t at = text.find(key);
    if (at == std::string::npos) return "no version in the banner: " + text;
    at += key.size();
    return text.substr(at, text.find(' ', at) - at);
}

TEST(ToolInfo, VersionIsTheBannersAndHelpIsTheUsage) {
    const std::string version = bannerVersion();
    ASSERT_EQ(version, TARNEL_VERSION) << "the project version is not the banner's";
    for (const ToolRow& tool : kTools) {
        SCOPED_TRACE(tool.name);
        ToolRun v = run(tool, {"--version"});
        EXPECT_EQ(v.status, 0);
        EXPECT_EQ(v.out, std::string(tool.name) + " (tarnel) " + version + "\n");
        EXPECT_EQ(v.err, "");
        ToolRun help = run(tool, {"--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_TRUE(help.out.starts_with(tool.usageStart)) << help.out;
        EXPECT_EQ(help.err, "");
        EXPECT_EQ(run(tool, {"-h"}).out, help.out);
    }
}

// tarnel-elf reads the rest of its command line as tarnel's: -h beside other
// arguments is tarnel's unknown option, not the help
TEST(ToolInfo, TarnelElfAnswersOnlyAStandAloneRequest) {
    ToolRun r = run(kTools[3], {"-h", "missing.o", "-o", ::testing::TempDir() + "x.elf"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("usage: tarnel-elf"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace tarnel
