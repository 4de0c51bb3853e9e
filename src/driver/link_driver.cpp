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
#include "report/summary.hpp"

namespace tarnel {

namespace {

// Creates the output file, lets the writer fill it and checks every write.
// A file that could not be created or written leaves the name holding what
// it held before, and counts as 0 bytes.
template <class Writer>
WrittenOutput writeOutputFile(LinkState& state, Writer&& writer) {
    OutputFile file;
    if (!file.create(state.options.outputName)) {
        reportError(state, "File %s could not be created\n", state.options.outputName.c_str());
        return {};
    }
    const uint32_t written = writer(file);
    if (!file.close()) {
        reportError(state, "Error writing %s\n", state.options.outputName.c_str());
        return {true, 0};
    }
    return {true, written};
}

// Packs the loaded modules into a library. It is written even when loading
// reported errors.
WrittenOutput libraryBranch(LinkState& state) {
    return writeOutputFile(state, [&](OutputFile& file) {
        file.writeWord(tagWord(ChunkTag::library));
        file.writeWord(librarySymbolTableSize(state));
        return 8 + writeLibrary(state, file);
    });
}

WrittenOutput linkBranch(LinkState& state, const std::function<uint32_t(LinkState&, OutputFile&)>& writeOutput) {
    // the totals of the five merged sections, which place every module's parts
    layoutSections(state);
    // the merged base section within a base register's 64 KB reach
    checkBaseSize(state);
    // every section, and a ROM image with its start, below 2^32
    checkAddressSpace(state);
    // _base, when there is base data and no module defines it first
    defineBaseSymbol(state);
    // the section ends start-up code asks for, when no module defines them
    defineBoundarySymbols(state);
    // module-relative fields get the starts of their target parts
    applyReloc16(state, state.reloc16List);
    applyReloc32(state, state.reloc32List);
    applyDrel16(state);
    // every reference patched with its definition's address or distance
    resolveXrefs(state);
    // a failed link creates nothing and leaves an existing file untouched
    if (state.errorStatus != 0) return {};
    return writeOutputFile(state, [&](OutputFile& file) {
        // the records a relocatable output carries count from its merged sections
        if (!state.options.romMode) mergeRelocOffsets(state);
        return writeOutput ? writeOutput(state, file) : writeLinkedOutput(state, file);
    });
}

}  // namespace

void runLink(LinkState& state, const std::function<uint32_t(LinkState&, OutputFile&)>& writeOutput) {
    const WrittenOutput output = state.options.libraryMode ? libraryBranch(state) : linkBranch(state, writeOutput);
    // the reports follow whatever the output and the errors
    printBuildInfo(state);
    printSummary(state, output);
    if (state.options.mapWanted) printLinkMap(state);
}

}  // namespace tarnel
