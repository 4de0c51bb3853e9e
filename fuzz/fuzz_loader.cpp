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

bool inside(Module& m, const void* p, size_t n) {
    auto begin = reinterpret_cast<uintptr_t>(m.fileBytes.data());
    auto end = begin + m.fileBytes.size();
    auto at = reinterpret_cast<uintptr_t>(p);
    return at >= begin && at <= end && n <= end - at;
}

void checkSpan(Module& m, std::span<uint8_t> s, const char* what) {
    if (!s.empty()) require(inside(m, s.data(), s.size()), what);
}

void checkName(LinkState& state, const LinkSymbol& sym, const char* what) {
    require(sym.module >= 0 && uint32_t(sym.module) < kModuleSlots, what);
    if (!sym.name.empty()) require(inside(state.modules[sym.module], sym.name.data(), sym.name.size()), what);
}

void checkModule(Module& m, bool libraryMode) {
    for (const SectionFields& f : kSectionFields) checkSpan(m, m.*f.chunk, "section payload outside the file");
    checkSpan(m, m.linkChunk, "link payload outside the file");
    for (auto* list : {&m.reloc16Chunks, &m.reloc32Chunks, &m.drel16Chunks, &m.drel16List})
        for (auto s : *list) checkSpan(m, s, "relocation payload outside the file");
    for (int k = 0; k < 5; ++k) {
        const SectionFields& f = kSectionFields[k];
        std::span<uint8_t> chunk = m.*f.chunk;
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
    if (libraryMode) {
        // each kept chunk counts with its 8-byte header
        auto bytesOf = [](const std::vector<std::span<uint8_t>>& list) {
            uint32_t total = 0;
            for (auto s : list) total += uint32_t(s.size()) + 8;
            return total;
        };
        require(bytesOf(m.reloc16Chunks) == m.reloc16Bytes, "reloc16 byte total");
        require(bytesOf(m.reloc32Chunks) == m.reloc32Bytes, "reloc32 byte total");
        require(bytesOf(m.drel16Chunks) == m.drel16Bytes, "drel16 byte total");
        require(m.linkChunkSize == m.linkChunk.size(), "link chunk size");
    }
}

void checkState(LinkState& state, bool libraryMode, std::initializer_list<uint32_t> slots) {
    for (uint32_t slot : slots) checkModule(state.modules[slot], libraryMode);
    for (const auto& s : state.xrefList) checkName(state, s, "xref name outside the file");
    for (const auto& s : state.xdefList) checkName(state, s, "xdef name outside the file");
    uint32_t bytes = 0;
    for (const auto& s : state.librarySymbols) {
        checkName(state, s, "library symbol name outside the file");
        bytes += s.value;  // a library symbol holds N, its name field length
    }
    require(state.librarySymbolCount == state.librarySymbols.size(), "library symbol count");
    require(state.librarySymbolBytes == bytes, "library symbol bytes");
}

// The module table is kept from one input to the next, cleared, so that each
// input does not map and fault in a fresh 512-slot table.
std::vector<Module> spareTable;

void loadInto(const std::string& path, bool libraryMode, std::initializer_list<uint32_t> slots) {
    std::ostringstream out;
    LinkState state(out);
    state.modules = std::move(spareTable);
    linkerStartup(state);
    state.libraryMode = libraryMode;
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
    // slot 511 has no next slot to preset
    loadInto(file.path, false, {0, kModuleSlots - 1});
    loadInto(file.path, true, {0});
    return 0;
}
