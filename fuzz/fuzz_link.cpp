// Fuzz target: a whole run of the linker, in-process, on up to eight object
// files (named more than 32 times in all when the input asks) and a choice of options taken from the input (see link_input.hpp),
// writing into a scratch folder on a memory file system.
//
// Besides the sanitizers' checks it asserts what every run must keep:
// - the exit status is 0 or 1, and a failed link leaves no output file, or
//   leaves the file it was to replace as it was (an output over an input);
// - for a run whose options come before the files and are not changed
//   halfway, a written executable, embedded object or library is exactly a
//   sequence of chunks ended by the 4-byte end tag, its length is the printed
//   file size, an embedded object loads back cleanly and exports only its
//   label, a ROM image is no longer than the printed size, and every line of
//   an S-record file is a well-formed record with the right checksum;
// - with the report files asked for, both are written, whatever the link,
//   each is UTF-8 throughout, and no name ends the page's data early: its
//   script element holds no '<'.
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "driver/tarnel.hpp"
#include "link_input.hpp"
#include "scratch.hpp"
#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/loader.hpp"
#include "objfmt/state.hpp"

namespace {

using namespace tarnel;
using namespace tarnel::fuzz;
namespace fs = std::filesystem;

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "link invariant broken: %s\n", what);
        std::abort();
    }
}

void mustWrite(const fs::path& path, const std::string& bytes) {
    require(writeFile(path, bytes), "scratch file could not be written");
}

// A ROM image writes every bss byte as a write of its own (and in S-records a
// line of its own): bss sizes from the input are cut to 10 bits there, so a
// run stays short; everything else of the file is left as the fuzzer made it.
void limitBssSizes(std::string& file) {
    auto* data = reinterpret_cast<uint8_t*>(file.data());
    walkChunks({data, file.size()}, kChunkHeaderSize, [&](const Chunk& chunk) {
        if (chunk.tag != tagWord(ChunkTag::bss) || chunk.length < 8) return;
        uint8_t* size = data + chunk.offset + kChunkHeaderSize + 4;
        writeWordBE(size, readWordBE(size) & 0x3FF);
    });
}

// Labels go through command files as whitespace-separated tokens.
std::string tokenSafe(std::string s) {
    for (char& c : s)
        if (c == '\0' || std::isspace(static_cast<unsigned char>(c))) c = '_';
    return s;
}

std::string hex(uint32_t v) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%x", v);
    return buf;
}

// Whether text is UTF-8: each lead byte followed by the continuation bytes
// it announces.
bool validUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const uint8_t lead = uint8_t(text[i]);
        size_t n = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                   : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
        if (n == 0 || i + n > text.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((uint8_t(text[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

// The record and the size report of a run that asked for them.
void checkReportFiles(const fs::path& record, const fs::path& page) {
    require(fs::exists(record) && fs::exists(page), "a report file asked for was not written");
    require(validUtf8(readFile(record)), "the record is not UTF-8");
    const std::string html = readFile(page);
    require(validUtf8(html), "the size report is not UTF-8");
    constexpr std::string_view open = "<script type=\"application/json\" id=\"size-data\">";
    const size_t from = html.find(open);
    require(from != std::string::npos, "the size report has no data");
    const size_t to = html.find("</script>", from);
    require(to != std::string::npos && html.find('<', from + open.size()) == to, "a name ends the size report's data");
}

long printedFileSize(const std::string& out) {
    size_t at = out.find("tarnel complete - Maximum code size = ");
    if (at == std::string::npos) return -1;
    static const std::string key = "\n\nMaximum file size = ";
    at = out.find(key, at);
    if (at == std::string::npos) return -1;
    return std::strtol(out.c_str() + at + key.size(), nullptr, 10);
}

// A chunk file: chunks with headers that fit, the first one of the given tag,
// ended by the end tag alone exactly at the end of the file.
bool isChunkFile(const std::string& file, ChunkTag first) {
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    bool tagsFit = true;
    const ChunkWalkEnd end = walkChunks(bytes, 0, [&](const Chunk& chunk) {
        tagsFit &= isKnownTag(chunk.tag) && (chunk.offset != 0 || chunk.tag == tagWord(first));
    });
    return tagsFit && end.status == ChunkWalkStatus::endTagAlone && end.offset == file.size();
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower case is not written
}

// Every line: S, a type digit, the byte count, that many bytes in upper-case
// hex, the last of them the one's complement checksum; lines end in "\n".
bool isSRecordFile(const std::string& file) {
    if (file.empty() || file.back() != '\n') return false;
    std::istringstream lines(file);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() < 4 || line[0] != 'S' || line.size() % 2 != 0) return false;
        std::vector<int> bytes;
        for (size_t i = 2; i < line.size(); i += 2) {
            int hi = hexDigit(line[i]), lo = hexDigit(line[i + 1]);
            if (hi < 0 || lo < 0) return false;
            bytes.push_back(hi * 16 + lo);
        }
        if (size_t(bytes[0]) != bytes.size() - 1) return false;
        int sum = 0;
        for (size_t i = 0; i + 1 < bytes.size(); ++i) sum += bytes[i];
        if (((~sum) & 0xFF) != bytes.back()) return false;
    }
    return true;
}

// An embedded object is itself an object module: it loads without error and
// exports exactly its label.
void checkEmbeddedLoadsBack(const fs::path& path, const std::string& label) {
    std::ostringstream out;
    LinkState state(out);
    linkerStartup(state);
    loadObjectFile(state, path.string());
    require(state.errorStatus == 0, "embedded object does not load back");
    require(state.xdefList.size() == 1 && state.xdefList[0].name == label.substr(0, 90),
            "embedded object does not export exactly its label");
    linkerTeardown(state);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LinkInput in = decodeLinkInput(data, size);
    const fs::path& dir = scratch();
    const bool overInput = (in.flags & kFlagOutputOverInput) != 0;
    const fs::path output = overInput ? dir / "m0.o" : dir / "out";
    std::error_code ec;
    fs::remove(output, ec);

    std::vector<std::string> options;
    std::string label = tokenSafe(in.label);
    switch (in.kind) {
    case OutputKind::executable: break;
    case OutputKind::rom: options.push_back("-r" + hex(in.romStart)); break;
    case OutputKind::srecord: options.push_back("-s" + hex(in.romStart)); break;
    case OutputKind::embedded: options.push_back("-e" + label); break;
    case OutputKind::library: options.push_back("-g"); break;
    }
    if (in.flags & kFlagMap) options.push_back("-m");
    if (in.flags & kFlagNoBssInRom) options.push_back("-b");
    const fs::path record = dir / "r.json", page = dir / "s.html";
    if (in.flags & kFlagReports) {
        fs::remove(record, ec);
        fs::remove(page, ec);
        options.push_back("--record=" + record.string());
        options.push_back("--size-report=" + page.string());
    }
    options.push_back("-o");
    options.push_back(output.string());

    const size_t fileCount = in.files.size();
    const size_t before = in.filesBeforeOptions % (fileCount + 1);
    const bool switchMode = (in.flags & kFlagSwitchMode) != 0;
    const bool romLike = in.kind == OutputKind::rom || in.kind == OutputKind::srecord || switchMode;

    std::vector<std::string> tokens;
    std::string firstFile;
    for (size_t i = 0; i <= fileCount; ++i) {
        if (i == before) tokens.insert(tokens.end(), options.begin(), options.end());
        if (i == 1 && switchMode) tokens.push_back(in.kind == OutputKind::library ? "-s0" : "-g");
        if (i == fileCount) break;
        std::string file = in.files[i];
        if (romLike && !(in.flags & kFlagNoBssInRom)) limitBssSizes(file);
        fs::path path = dir / ("m" + std::to_string(i) + ".o");
        mustWrite(path, file);
        if (i == 0) firstFile = file;
        tokens.push_back(path.string());
    }
    // the same files named again, each a module of its own, as in a large link
    if ((in.flags & kFlagManyFiles) && fileCount > 0)
        for (size_t named = fileCount; named <= kManyFileNames; ++named)
            tokens.push_back((dir / ("m" + std::to_string(named % fileCount) + ".o")).string());

    std::vector<std::string> args{"tarnel"};
    if (in.flags & kFlagCommandFile) {
        std::string text;
        for (const auto& t : tokens) text += t + "\n";
        mustWrite(dir / "cmd", text);
        args.push_back("-f");
        args.push_back((dir / "cmd").string());
    } else {
        args.insert(args.end(), tokens.begin(), tokens.end());
    }

    std::ostringstream out;
    int status = runTarnel(args, out);
    const std::string text = out.str();
    require(status == 0 || status == 1, "exit status other than 0 and 1");
    if (in.flags & kFlagReports) checkReportFiles(record, page);

    bool libraryAsked = false;
    for (const auto& t : tokens) libraryAsked |= t == "-g";
    bool exists = fs::exists(output);
    if (status != 0 && !libraryAsked) {
        if (overInput)
            require(readFile(output) == firstFile, "a failed link changed the file it was to replace");
        else
            require(!exists, "a failed link left an output file");
    }

    // the checks of the written file hold for runs that set their mode once, before any file
    if (before != 0 || switchMode) return 0;
    if (status == 0 && in.kind != OutputKind::library) require(exists, "a successful link wrote no file");
    // a failed run over an input leaves that input, which is checked above
    if (!exists || (overInput && status != 0)) return 0;
    std::string file = readFile(output);
    long printed = printedFileSize(text);
    switch (in.kind) {
    case OutputKind::executable:
    case OutputKind::embedded:
    case OutputKind::library: {
        ChunkTag first = in.kind == OutputKind::executable ? ChunkTag::header
                         : in.kind == OutputKind::embedded ? ChunkTag::object
                                                           : ChunkTag::library;
        require(isChunkFile(file, first), "output is not a well-framed chunk file");
        require(printed == long(file.size()), "printed file size is not the file's length");
        if (in.kind == OutputKind::embedded) checkEmbeddedLoadsBack(output, label);
        break;
    }
    case OutputKind::rom:
        require(printed >= 0 && size_t(printed) >= file.size(), "ROM image longer than the printed size");
        if (!(in.flags & kFlagNoBssInRom)) require(size_t(printed) == file.size(), "ROM image size");
        break;
    case OutputKind::srecord: require(isSRecordFile(file), "malformed S-record file"); break;
    }
    return 0;
}
