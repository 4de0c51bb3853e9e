#include "driver/link_driver.hpp"

#include "driver/diag.hpp"
#include "link/layout.hpp"
#include "link/reloc.hpp"
#include "link/resolve.hpp"
#include "objfmt/chunk.hpp"
#include "output/library.hpp"
#include "output/outfile.hpp"
#include "output/writer.hpp"
#include "report/buildinfo.hpp"
#include "report/linkmap.hpp"

namespace tarnel {

namespace {

// Creates the output file, lets the writer fill it and checks every write.
// Returns the bytes written, or 0 when the file could not be created or
// written (the name then holds what it held before).
template <class Writer>
uint32_t writeOutputFile(LinkState& state, Writer&& writer) {
    OutputFile file;
    if (!file.create(state.outputName)) {
        reportError(state, "File %s could not be created\n", state.outputName.c_str());
        return 0;
    }
    uint32_t written = writer(file);
    if (!file.close()) {
        reportError(state, "Error writing %s\n", state.outputName.c_str());
        return 0;
    }
    return written;
}

// Packs the loaded modules into a library. It is written even when loading
// reported errors.
uint32_t libraryBranch(LinkState& state) {
    return writeOutputFile(state, [&](OutputFile& file) {
        file.writeWord(tagWord(ChunkTag::library));
        file.writeWord(librarySymbolTableSize(state));
        return 8 + writeLibrary(state, file);
    });
}

uint32_t linkBranch(LinkState& state) {
    layoutSections(state);
    checkBaseSize(state);
    checkAddressSpace(state);
    defineBaseSymbol(state);
    applyReloc16(state, state.reloc16List);
    applyReloc32(state, state.reloc32List);
    applyDrel16(state);
    resolveXrefs(state);
    // a failed link creates nothing and leaves an existing file untouched
    if (state.errorStatus != 0) return 0;
    return writeOutputFile(state, [&](OutputFile& file) { return writeLinkedOutput(state, file); });
}

}  // namespace

void runLink(LinkState& state) {
    uint32_t fileSize = state.libraryMode ? libraryBranch(state) : linkBranch(state);

    uint32_t codeSize = state.codeTotal + state.dataTotal + state.baseTotal + state.bssRunning + state.bssbRunning;
    printBuildInfo(state);
    say(state, "tarnel complete - Maximum code size = %ld ($%08lx) bytes\n\n", long(codeSize),
        (unsigned long)codeSize);
    // a ROM image reports the image size, whatever the file holds
    if (state.romMode) fileSize = codeSize;
    say(state, "Maximum file size = %ld ($%08lx) bytes\n", long(fileSize), (unsigned long)fileSize);
    if (state.mapWanted) printLinkMap(state);
}

}  // namespace tarnel
