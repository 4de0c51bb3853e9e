// The input of the whole-link fuzz target: a few object files and a choice of
// options, packed into one byte string so that the fuzzer can mutate both, and
// so that the seed corpus generator writes exactly what the target reads.
//
// Layout of the byte string:
//   byte 0       kind of run: value % 5 is an OutputKind
//   byte 1       flags (kFlag... below)
//   byte 2       how many files are named before the options (% (files + 1))
//   bytes 3..6   ROM start address for -r / -s, big-endian
//   byte 7       length L of the -e label, then L label bytes
//   the rest     object files, separated by kFileSeparator; at most kMaxFiles
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "objfmt/bytes.hpp"

namespace tarnel::fuzz {

enum class OutputKind : uint8_t { executable, rom, srecord, embedded, library };
constexpr uint8_t kOutputKinds = 5;

constexpr uint8_t kFlagMap = 1;           // -m
constexpr uint8_t kFlagNoBssInRom = 2;    // -b
constexpr uint8_t kFlagCommandFile = 4;   // every argument through a -f command file
constexpr uint8_t kFlagSwitchMode = 8;    // -g or -s once more after the first file
constexpr uint8_t kFlagOutputOverInput = 16;  // -o names the first object file
constexpr uint8_t kFlagManyFiles = 32;  // the files named over and over, more than kManyFileNames names
constexpr uint8_t kFlagReports = 64;    // --record and --size-report too

constexpr std::string_view kFileSeparator = "\n#tarnel-file#\n";
constexpr size_t kMaxFiles = 8;
// the names of a many-files run: one module slot for each
constexpr size_t kManyFileNames = 32;

struct LinkInput {
    OutputKind kind = OutputKind::executable;
    uint8_t flags = 0;
    uint8_t filesBeforeOptions = 0;
    uint32_t romStart = 0;
    std::string label;
    std::vector<std::string> files;
};

inline LinkInput decodeLinkInput(const uint8_t* data, size_t size) {
    LinkInput in;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    auto take = [&rest]() -> uint8_t {
        if (rest.empty()) return 0;
        uint8_t b = uint8_t(rest[0]);
        rest.remove_prefix(1);
        return b;
    };
    in.kind = OutputKind(take() % kOutputKinds);
    in.flags = take();
    in.filesBeforeOptions = take();
    for (int i = 0; i < 4; ++i) in.romStart = in.romStart << 8 | take();
    size_t labelLength = take();
    in.label = std::string(rest.substr(0, labelLength));
    rest.remove_prefix(std::min(labelLength, rest.size()));
    while (in.files.size() < kMaxFiles) {
        size_t cut = rest.find(kFileSeparator);
        in.files.emplace_back(rest.substr(0, cut));
        if (cut == std::string_view::npos) break;
        rest.remove_prefix(cut + kFileSeparator.size());
    }
    return in;
}

inline std::string encodeLinkInput(const LinkInput& in) {
    std::string s;
    s += char(in.kind);
    s += char(in.flags);
    s += char(in.filesBeforeOptions);
    uint8_t start[4];
    writeWordBE(start, in.romStart);
    s.append(reinterpret_cast<const char*>(start), 4);
    s += char(in.label.size());
    s += in.label;
    for (size_t i = 0; i < in.files.size(); ++i) {
        if (i) s += kFileSeparator;
        s += in.files[i];
    }
    return s;
}

}  // namespace tarnel::fuzz
