// Fuzz target: arbitrary bytes as ELF objects through tarnel-elf2obj's
// reader and converter, in both forms: the input alone (-o), and the input
// cut before each further ELF magic into the objects of one program (-d),
// or, when it holds one object, that object given twice, so that its weak
// definitions lose to the first copy's; with the debugging information kept
// or stripped by the input's size. Besides the sanitizers' checks it asserts
// that every conversion without refusals is a well-formed object module by
// the dump's reading, its symbol and debug chunks included, and that
// everything the reader keeps lies inside the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

bool inside(std::span<const uint8_t> part, std::span<const uint8_t> whole) {
    return part.empty() || (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

// Reads one object; false when the reader refuses it (with a reason).
bool read(std::span<const uint8_t> bytes, tarnel::elf::File& file) {
    std::string error;
    if (!tarnel::elf::readFile(bytes, file, error)) {
        require(!error.empty(), "a rejected file without a reason");
        return false;
    }
    for (const tarnel::elf::Section& s : file.sections) require(inside(s.bytes, bytes), "section bytes outside the file");
    return true;
}

void requireWellFormed(const tarnel::elf2obj::Conversion& c) {
    if (!c.refusals.empty()) return;
    std::string text;
    require(tarnel::textform::dumpChunkFile(c.object, "f", tarnel::textform::DumpOptions{}, text),
            "converted module is malformed");
}

// The input cut before every ELF magic after its first byte.
std::vector<std::span<const uint8_t>> objectsIn(std::span<const uint8_t> input) {
    constexpr std::string_view kMagic("\x7F" "ELF", 4);
    std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
    std::vector<std::span<const uint8_t>> objects;
    size_t start = 0;
    for (size_t at = text.find(kMagic, 1); at != std::string_view::npos; at = text.find(kMagic, at + 1)) {
        objects.push_back(input.subspan(start, at - start));
        start = at;
    }
    objects.push_back(input.subspan(start));
    return objects;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarnel;
    const std::span<const uint8_t> input(data, size);
    const std::optional<uint32_t> cpu = (size & 1) ? std::optional<uint32_t>(0x52080000) : std::nullopt;
    const bool keepDebug = (size & 2) == 0;

    elf::File whole;
    if (read(input, whole)) requireWellFormed(elf2obj::convertObject(whole, {"fuzz.o", cpu, keepDebug}));

    std::vector<elf::File> files;
    for (std::span<const uint8_t> object : objectsIn(input)) {
        elf::File file;
        if (read(object, file)) files.push_back(std::move(file));
    }
    if (files.empty()) return 0;
    if (files.size() == 1) files.push_back(files.front());
    std::vector<elf2obj::ConvertOptions> options(files.size(), {"fuzz.o", cpu, keepDebug});
    std::vector<elf2obj::Conversion> results = elf2obj::convertProgram(files, options);
    require(results.size() == files.size(), "not one conversion per object");
    for (const elf2obj::Conversion& c : results) requireWellFormed(c);
    return 0;
}
