#include "driver/link_driver.hpp"

#include "driver/diag.hpp"
#include "link/layout.hpp"
#include "link/regions.hpp"
#include "link/reloc.hpp"
#include "link/resolve.hpp"
#include "objfmt/symbol_sizes.hpp"
#include "output/library.hpp"
#include "output/outfile.hpp"
#include "output/writer.hpp"
#include "report/buildinfo.hpp"
#include "report/linkmap.hpp"
#include "report/record.hpp"
#include "report/regions.hpp"
#include "report/size_report.hpp"
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

// The files the long options ask for, after the reports on standard output:
// the link as JSON and the size report as a page, errors and all. What they
// take of the definitions is made once for both.
void writeReportFiles(LinkState& state, const WrittenOutput& output) {
    const LinkOptions& o = state.options;
    if (!o.recordFile && !o.sizeReportFile) return;
    const DefinitionTable definitions = definitionTable(state);
    if (o.recordFile)
        writeReportFile(state, *o.recordFile, [&](PieceWriter& w) { writeRecord(state, output, definitions, w); });
    if (o.sizeReportFile)
        writeReportFile(state, *o.sizeReportFile,
                        [&](PieceWriter& w) { writeSizeReport(state, output, definitions, w); });
}

// The reports written to files may not take the output's name, nor each
// other's: each would replace the other. The output is then not written, and
// of two reports of one name only the record.
void checkReportFiles(LinkState& state) {
    LinkOptions& o = state.options;
    std::optional<std::string>* files[] = {&o.recordFile, &o.sizeReportFile};
    for (size_t i = 0; i < std::size(files); ++i) {
        std::optional<std::string>& name = *files[i];
        if (!name) continue;
        const bool recordsName = i == 1 && o.recordFile && *o.recordFile == *name;
        if (*name == o.outputName || recordsName) reportError(state, "File %s is named for two outputs\n", name->c_str());
        if (recordsName) name.reset();
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

void runLink(LinkState& state, const OutputWriter& writeOutput, const OutputCheck& checkOutput) {
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
        // what another writer computes and checks before its file is made
        if (checkOutput) checkOutput(state);
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
    // the link as JSON (--record) and what takes the space as a page (--size-report)
    writeReportFiles(state, output);
}

}  // namespace tarnel
