// Fuzz target: whole runs of tarnel-elf, in-process, on the object files of
// a link input (link_input.hpp): linked as a ROM image at the input's start
// with -b (no bss fill, so no image of gigabytes), with -m when the flags ask
// for the map, and with the data in RAM in the other half of the address
// space when they ask for a command file.
// The modules' `symbol` and `debug` chunks go through their readers, the
// symbol table and the linking of the debugging sections.
//
// Besides the sanitizers' checks it asserts that the exit status is 0 or 1,
// that a failed link leaves no file, that a successful one writes an ELF,
// and that its section headers, and every section with bytes, lie inside it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "elf_format.hpp"
#include "elf_writer.hpp"
#include "link_input.hpp"
#include "objfmt/bytes.hpp"
#include "scratch.hpp"

namespace {

using namespace tarnel;
using namespace tarnel::fuzz;
namespace fs = std::filesystem;

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "tarnel-elf invariant broken: %s\n", what);
        std::abort();
    }
}

// The ELF header names its section headers inside the file, and each of them
// a section whose bytes lie inside it too.
void checkElf(const std::string& file) {
    const auto* b = reinterpret_cast<const uint8_t*>(file.data());
    require(file.size() >= elf::kEhdrSize && file.compare(0, 4, "\x7F" "ELF") == 0, "no ELF header");
    const uint64_t shoff = readWordBE(b + 32), shnum = readHalfBE(b + 48);
    require(shoff + shnum * elf::kShdrSize <= file.size(), "section headers past the end of the file");
    for (uint64_t i = 0; i < shnum; ++i) {
        const uint8_t* sh = b + shoff + i * elf::kShdrSize;
        if (readWordBE(sh + 4) == elf::SHT_NOBITS) continue;
        require(uint64_t(readWordBE(sh + 16)) + readWordBE(sh + 20) <= file.size(), "a section past the end of the file");
    }
}

std::string hex(uint32_t v) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%x", v);
    return buf;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LinkInput in = decodeLinkInput(data, size);
    const fs::path& dir = scratch();
    const fs::path output = dir / "out.elf";
    std::error_code ec;
    fs::remove(output, ec);

    std::vector<std::string> args{"tarnel-elf", "-b", "-r" + hex(in.romStart)};
    if (in.flags & kFlagMap) args.push_back("-m");
    if (in.flags & kFlagCommandFile) args.push_back("--ram=" + hex(in.romStart ^ 0x80000000));
    for (size_t i = 0; i < in.files.size(); ++i) {
        const fs::path path = dir / ("m" + std::to_string(i) + ".o");
        require(writeFile(path, in.files[i]), "scratch file could not be written");
        args.push_back(path.string());
    }
    args.push_back("-o");
    args.push_back(output.string());

    std::ostringstream out;
    const int status = elf::runTarnelElf(args, out);
    require(status == 0 || status == 1, "exit status other than 0 and 1");
    const bool exists = fs::exists(output);
    require(exists == (status == 0), "a successful link wrote no ELF, or a failed one left one");
    if (exists) checkElf(readFile(output));
    return 0;
}
