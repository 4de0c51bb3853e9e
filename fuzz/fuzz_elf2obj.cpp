// Fuzz target: arbitrary bytes as an ELF object through tarnel-elf2obj's
// reader and converter. Besides the sanitizers' checks it asserts that a
// conversion without refusals is a well-formed object module by the dump's
// reading, and that everything the reader keeps lies inside the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "convert.hpp"
#include "elf_file.hpp"
#include "textform/textform.hpp"

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "elf2obj invariant broken: %s\n", what);
        std::abort();
    }
}

bool inside(std::span<const uint8_t> part, const uint8_t* data, size_t size) {
    return part.empty() || (part.data() >= data && part.data() + part.size() <= data + size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarnel;
    elf::File file;
    std::string error;
    if (!elf::readFile({data, size}, file, error)) {
        require(!error.empty(), "a rejected file without a reason");
        return 0;
    }
    for (const elf::Section& s : file.sections) require(inside(s.bytes, data, size), "section bytes outside the file");
    elf2obj::ConvertOptions options{"fuzz.o", (size & 1) ? std::optional<uint32_t>(0x52080000) : std::nullopt};
    elf2obj::Conversion c = elf2obj::convertObject(file, options);
    if (!c.refusals.empty()) return 0;
    std::string text;
    require(textform::dumpChunkFile(c.object, "f", textform::DumpOptions{}, text), "converted module is malformed");
    return 0;
}
