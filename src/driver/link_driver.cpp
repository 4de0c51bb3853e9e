#include "driver/link_driver.hpp"

#include "driver/diag.hpp"
#include "link/layout.hpp"
#include "link/regions.hpp"
#include "link/reloc.hpp"
#include "link/resolve.hpp"
#include "output/library.hpp"
#include "output/outfile.hpp"
#include "output/writer.hpp"
#include "report/buildinfo.hpp"
#include "report/linkmap.hpp"
#include "report/record.hpp"
#include "report/regions.hpp"
#include "report/summary.hpp"
#include "report/text.hpp"

namespace tarnel {

namespace {

// Creates the output file; one that cannot be created is reported.
bool createOutput(LinkState& state, OutputFile& file) {
    if (file.create(state.options.outputName)) return true;
    reportError(state, "File %s could not be created\n", state.options.outputName.c_str());
    return false;
}

// Writes a report file beside the output, as atomically as the output, piece
// by piece as `write` makes its text.
void writeReportFile(LinkState& state, const std::string& name, const std::function<void(PieceWriter&)>& write) {
    OutputFile file;
    if (!file.create(name)) {
        reportError(state, "File %s could not be created\n", name.c_str());
        return;
    }
    {
        PieceWriter text([&](std::string_view piece) { file.write(piece.data(), piece.size()); });
        write(text);
    }
    if (!file.close()) reportError(state, "Error writing %s\n", name.c_str());
}

// The reports written to files may not take the output's name, nor each
// other's: each would replace the other.
void checkReportFiles(LinkState& state) {
    const LinkOptions& o = state.options;
    const std::optional<std::string>* files[] = {&o.recordFile, &o.sizeReportFile};
    for (size_t i = 0; i < std::size(files); ++i) {
        const std::optional<std::string>& name = *files[i];
        if (!name) continue;
        const bool taken = *name == o.outputName || (i == 1 && o.recordFile && *o.recordFile == *name);
        if (taken) reportError(state, "File %s is named for two outputs\n", name->c_str());
    }
}

// Closes the output file its writer filled. A file that could not be written
// leaves the name holding what it held before, and counts as 0 bytes.
WrittenOutput closeOutput(LinkState& state, OutputFile& file, uint32_t written) {
    if (file.close()) return {true, written};
    reportError(state, "Error writing %s\n", state.options.outputName.c_str());
    return {true, 0};
}

}  // namespace

void runLink(LinkState& state, const OutputWriter& writeOutput) {
    WrittenOutput output;
    OutputFile file;
    // the flash and RAM options, wherever they stood, go with the output chosen
    checkMemoryOptions(state);
    // every file the run writes has a name of its own
    checkReportFiles(state);
    if (state.options.libraryMode) {
        // the modules packed as they were loaded, even after loading errors
        if (createOutput(state, file)) output = closeOutput(state, file, writeLibrary(state, file));
    } else {
        // the totals of the five merged sections, which place every module's parts
        layoutSections(state);
        // the merged base section within a base register's 64 KB reach
        checkBaseSize(state);
        // every section, and a ROM image and the RAM with their starts, below 2^32
        checkAddressSpace(state);
        // the image within the ROM, the sections that run in RAM within the RAM
        checkRegions(state);
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
        // only a link without errors creates its file: a failed one leaves an existing file untouched
        if (state.errorStatus == 0 && createOutput(state, file)) {
            // the records a relocatable output carries count from its merged sections
            if (!state.options.romMode) mergeRelocOffsets(state);
            // the executable, embedded object, ROM image or S-records
            output = closeOutput(state, file, writeOutput ? writeOutput(state, file) : writeLinkedOutput(state, file));
        }
    }
    // the reports follow whatever the output and the errors
    printBuildInfo(state);
    printSummary(state, output);
    printRegionUsage(state);
    if (state.options.mapWanted) printLinkMap(state);
    // the link as JSON, errors and all
    if (state.options.recordFile)
        writeReportFile(state, *state.options.recordFile, [&](PieceWriter& w) { writeRecord(state, output, w); });
}

}  // namespace tarnel
