// Fuzz target: arbitrary bytes as an object file, loaded in link mode into the
// first and the last module slot, and in library mode. Besides the sanitizers'
// checks, it asserts that everything the loader keeps points into the file's
// own bytes and that the sizes it records agree with the kept payloads.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/loader.hpp"
#include "objfmt/state.hpp"

namespace {

using namespace tarnel;

// The input lives in a memory file, reached by a path like any object file.
struct MemoryFile {
    int fd = -1;
    std::string path;
    MemoryFile() {
        fd = memfd_create("tarnel-fuzz-object", 0);
        if (fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        path = "/proc/self/fd/" + std::to_string(fd);
    }
    void store(const uint8_t* data, size_t size) {
        if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size)) {
            std::perror("memory file");
            std::abort();
        }
    }
};

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "loader invariant broken: %s\n", what);
        std::abort();
    }
}

// Every span the loader keeps lies in the bytes it read.
void checkSpan(const LinkState& state, std::span<const uint8_t> s, const char* what) {
    if (!s.empty()) require(state.inputs.holds(s.data(), s.size()), what);
}

void checkName(const LinkState& state, const LinkSymbol& sym, const char* what) {
    require(sym.module >= 0 && uint32_t(sym.module) < kModuleSlots, what);
    if (!sym.name.empty())
        require(state.inputs.holds(sym.name.data(), sym.name.size()), what);
}

void checkModule(const LinkState& state, const Module& m, bool libraryMode) {
    for (const SectionFields& f : kSectionFields) checkSpan(state, m.*f.chunk, "section payload outside the file");
    checkSpan(state, m.linkChunk, "link payload outside the file");
    for (auto* list : {&m.reloc16Chunks, &m.reloc32Chunks, &m.drel16Chunks, &m.drel16List})
        for (auto s : *list) checkSpan(state, s, "relocation payload outside the file");
    for (int k = 0; k < 5; ++k) {
        const SectionFields& f = kSectionFields[k];
        std::span<const uint8_t> chunk = m.*f.chunk;
        if (chunk.empty()) continue;
        bool isBss = k == int(SectionKind::bss) || k == int(SectionKind::bssb);
        if (isBss) {
            require(chunk.size() >= 8, "bss payload under 8 bytes kept");
            require(m.*f.size == readWordBE(chunk.data() + 4), "bss size is not the size word");
        } else {
            require(chunk.size() >= 4, "section payload under 4 bytes kept");
            uint32_t expected = uint32_t(chunk.size()) - (libraryMode ? 0 : 4);
            require(m.*f.size == expected, "section size disagrees with its payload");
        }
    }
}

void checkState(LinkState& state, bool libraryMode, std::initializer_list<uint32_t> slots) {
    for (uint32_t slot : slots) checkModule(state, state.modules[slot], libraryMode);
    for (const auto& s : state.xrefList) checkName(state, s, "xref name outside the file");
    for (const auto& s : state.xdefList) checkName(state, s, "xdef name outside the file");
    for (const auto& s : state.librarySymbols) checkName(state, s, "library symbol name outside the file");
}

// The module table is kept from one input to the next, cleared, so that each
// input does not map and fault in a fresh 512-slot table.
std::vector<Module> spareTable;

void loadInto(const std::string& path, bool libraryMode, std::initializer_list<uint32_t> slots) {
    std::ostringstream out;
    LinkState state(out);
    state.modules = std::move(spareTable);
    linkerStartup(state);
    state.options.libraryMode = libraryMode;
    for (uint32_t slot : slots) {
        state.moduleCount = slot;
        loadObjectFile(state, path);
    }
    checkState(state, libraryMode, slots);
    // a reported error and the "error: " prefix go together
    require((state.errorStatus != 0) == (out.str().find("error: ") != std::string::npos), "error status");
    spareTable = std::move(state.modules);
    spareTable.clear();
    linkerTeardown(state);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile file;
    file.store(data, size);
    // the first slot and the last
    loadInto(file.path, false, {0, kModuleSlots - 1});
    loadInto(file.path, true, {0});
    return 0;
}
