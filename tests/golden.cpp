#include "golden.hpp"

#include <cstdio>
#include <filesystem>

namespace tarnel::test {

namespace {

const Bytes kOldFile = textBytes("left by an earlier run");

void runOnce(const GoldenCase& c, bool withOldFile) {
    ScratchDir dir;
    for (const InputFile& in : c.inputs) dir.write(in.name, in.bytes);
    if (withOldFile) dir.write(c.outputName, kOldFile);
    RunResult r = runLinker(dir, c.args);
    EXPECT_EQ(r.out, kBanner + c.out);
    EXPECT_EQ(r.status, c.status);
    // the link patches its copy of the inputs, never the files
    for (const InputFile& in : c.inputs) {
        if (in.name == c.outputName) continue;
        EXPECT_EQ(hexBytes(dir.read(in.name)), hexBytes(in.bytes)) << in.name;
    }
    // a device such as /dev/full is only written to, never compared
    if (std::filesystem::path(c.outputName).is_absolute()) return;
    // a folder named as the output stays what it was
    if (c.outputName == ".") return;
    if (c.file) {
        ASSERT_TRUE(dir.exists(c.outputName)) << c.outputName << " was not written";
        EXPECT_EQ(hexBytes(dir.read(c.outputName)), hexBytes(*c.file));
    } else if (withOldFile) {
        EXPECT_EQ(hexBytes(dir.read(c.outputName)), hexBytes(kOldFile)) << "the earlier file was touched";
    } else {
        EXPECT_FALSE(dir.exists(c.outputName)) << c.outputName << " was created";
    }
}

}  // namespace

std::string summary(const std::vector<std::string>& moduleLines, uint32_t codeSize, uint32_t fileSize,
                    const std::string& output) {
    std::string text = "\nBuild information for " + output + " (cpu: 5206)\n";
    for (const std::string& line : moduleLines) text += line + "\n";
    char sizes[160];
    std::snprintf(sizes, sizeof sizes,
                  "tarnel complete - Maximum code size = %u ($%08x) bytes\n\nMaximum file size = %u ($%08x) bytes\n",
                  codeSize, codeSize, fileSize, fileSize);
    return text + "\n" + sizes;
}

void checkGolden(const GoldenCase& c) {
    SCOPED_TRACE(c.title);
    runOnce(c, false);
    // an existing file can only be planted where the run would create one
    std::filesystem::path name(c.outputName);
    bool plantable = name.is_relative() && !name.has_parent_path() && name != ".";
    if (!c.file && plantable) runOnce(c, true);
}

}  // namespace tarnel::test
