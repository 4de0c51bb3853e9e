// Golden runs of the whole linker: one row per scenario with its input files,
// its arguments, everything it prints after the banner, the exact bytes of
// the output file (or that none is written) and the exit status.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "harness.hpp"

namespace tarnel::test {

struct InputFile {
    std::string name;
    Bytes bytes;
};

struct GoldenCase {
    std::string title;
    std::vector<InputFile> inputs;
    std::vector<std::string> args;
    std::string out;            // the whole output after the banner
    std::optional<Bytes> file;  // the output file; nullopt: the run writes none
    int status = 0;
    std::string outputName = "a.out";
};

// Runs the case and checks output, file and status. A case that writes no
// file is run twice: once in an empty folder, where no file may appear, and
// once over an existing file, which must be left exactly as it was.
void checkGolden(const GoldenCase& c);

// The end of a run's output for compact rows: the build information of
// `output` (default processor) with these module lines, each without its
// line feed, then the completion line and the file-size line.
std::string summary(const std::vector<std::string>& moduleLines, uint32_t codeSize, uint32_t fileSize,
                    const std::string& output = "a.out");

// An output the linker cannot create or write, even as root, with the message
// it reports. Relative names are in the scratch folder of the run.
struct OutputFault {
    const char* what;
    const char* output;
    const char* message;  // after "error: "
    bool created;         // the file was created, so its writer ran
};

// The one set of output faults every kind of output is tried with.
inline const std::vector<OutputFault> kOutputFaults = {
    {"a full device", "/dev/full", "Error writing /dev/full\n", true},
    {"inside a missing folder", "nodir/out", "File nodir/out could not be created\n", false},
    {"a folder no one can create files in", "/proc/tarnel-test-output",
     "File /proc/tarnel-test-output could not be created\n", false},
    {"a parent that is a regular file", "m.o/out", "File m.o/out could not be created\n", false},
    {"an existing folder", ".", "File . could not be created\n", false},
};

// n copies of a byte: filler for section parts whose content only has to be
// recognisable in the output.
inline Bytes fill(size_t n, uint8_t byte) { return Bytes(n, byte); }

// The bytes of a text, for S-record files.
inline Bytes textBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace tarnel::test
