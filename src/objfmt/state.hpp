// The link state: the 512-slot module table, the symbol and relocation lists,
// the section totals, the widest-name maxima and the options.
//
// Who owns what. There is one LinkState per run, made by linkerStartup and
// released by linkerTeardown; nothing is released before teardown.
// - options: set while the arguments are handled (driver/cmdline), read-only
//   after.
// - inputs: the bytes of every input file, read once into the input arena,
//   which owns them. Every kept payload of a Module (its section chunks, the
//   kept `link`, relocation and drel16 chunks, its `symbol` and `debug`
//   chunks) is a span into them, and the link engine patches section bytes
//   there in place. The `symbol` and `debug` payloads are only kept: nothing
//   in the link or its outputs reads them; tools that write a debugger's view
//   of the link (tarnel-elf) read them through objfmt/symbol_chunk and
//   objfmt/debug_chunk.
// - modules, moduleCount, processorId/processorWord: filled by the loader, one
//   slot per object file named or library member pulled; a Module owns its
//   texts. `loading` is the loader's own and nothing else reads it.
// - the lists: appended at the end only, by the loader (xdefs, xrefs, the
//   records read), the layout (`_base` and the boundary symbols) and
//   resolution (the records of absolute references). Their order is the order
//   of loading, and the first xdef of a name wins. The name of an xdef, xref or
//   library symbol is a view into the `link` payload it was read from; the
//   linker's own symbols name literals.
// - layout: the merged section sizes, set by the layout pass and read-only
//   after; objfmt/placement turns them and a Module's offsets into addresses.
// - widths: raised by the loader and the layout, read by the reports.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "objfmt/filebytes.hpp"
#include "objfmt/hugepages.hpp"

namespace tarnel {

constexpr uint32_t kModuleSlots = 512;
constexpr uint32_t kNoDefinition = UINT32_MAX;

struct Module {
    std::optional<std::string> fileName;  // set once the file opened and began with `object`
    std::optional<std::string> moduleName;
    std::optional<std::string> version;
    std::optional<std::string> date;
    std::optional<uint32_t> processorId;  // the largest its `processor` chunks name

    // Kept payloads: block type word, then the section bytes (bss: type, size).
    // A section is present when its span is not empty.
    std::span<uint8_t> codeChunk, baseChunk, dataChunk, bssChunk, bssbChunk;

    // Offsets of the module's parts within their merged sections, as the
    // loader gave them; they keep this meaning for the whole run.
    uint32_t codeAddr = 0, baseAddr = 0, dataAddr = 0, bssAddr = 0, bssbAddr = 0;
    // Link mode: section bytes (payload length - 4); library mode: payload
    // length. bss and bssb: the size word in both modes.
    uint32_t codeSize = 0, baseSize = 0, dataSize = 0, bssSize = 0, bssbSize = 0;

    // Library mode: chunks kept whole for the library member.
    std::span<uint8_t> linkChunk;
    std::vector<std::span<uint8_t>> reloc16Chunks, reloc32Chunks, drel16Chunks;

    // Link mode: the payloads of the module's drel16 chunks, until applied.
    std::vector<std::span<uint8_t>> drel16List;

    // Link mode: the first `symbol` and `debug` payloads, kept unread (empty
    // when the module has none).
    std::span<const uint8_t> symbolChunk, debugChunk;
};

// An xdef, an xref (one per place), or a library symbol.
struct LinkSymbol {
    std::string_view name;
    uint32_t value = 0;        // xdef: offset in its section part; xref: offset in code;
                               // library symbol: N, its name field length
    uint32_t useCount = 0;     // xdef: references resolved against it
    int16_t module = 0;
    int16_t section = 0;       // a SectionKind (xrefs: always code)
    uint8_t type = 0;          // the entry's type byte
};

// A section number as a relocation record keeps it: 0..4 as read, any other
// value as 255, which names no section (all of them are "unknown" alike).
constexpr uint8_t recordSection(uint32_t section) { return section < 255 ? uint8_t(section) : 255; }

struct RelocEntry {
    uint32_t offset = 0;  // within fromModule's part of fromSection; merged once written
    uint32_t value = 0;   // the field's content once applied
    uint8_t fromSection = 0;
    uint8_t toSection = 0;
    uint16_t fromModule = 0;
    uint16_t toModule = 0;
};

// The run's long lists, in huge-page blocks once they are big.
using SymbolList = std::vector<LinkSymbol, HugePageAllocator<LinkSymbol>>;
using RelocList = std::vector<RelocEntry, HugePageAllocator<RelocEntry>>;

// A library member a link pulled, and the reference that pulled it.
struct LibraryPull {
    std::string member;        // PATH(N)
    std::string symbol;        // the name it was pulled to define
    std::string referencedBy;  // the file of the first module referencing it
    uint32_t module = 0;       // the slot it was loaded into
    std::string library;       // PATH
    uint32_t number = 0;       // N, its module number in the library
};

// What the command line chose.
struct LinkOptions {
    std::string outputName = "a.out";
    bool romMode = false;       // -r, -s: a ROM image at romStart
    bool srecMode = false;      // -s: the image as S-records
    bool embeddedMode = false;  // -e: an object module exporting embeddedLabel
    bool libraryMode = false;   // -g: the modules packed, not linked
    bool mapWanted = false;     // -m
    bool bssInRom = true;       // cleared by -b
    uint32_t romStart = 0;
    std::string embeddedLabel;  // at most 90 characters

    // Flash and RAM, given as long options anywhere on the command line and
    // checked when the link starts.
    std::optional<uint32_t> ramStart;  // --ram: data, bss, base and bssb run in RAM from there
    std::optional<uint64_t> romSize;   // --rom-size: what the ROM image may take
    std::optional<uint64_t> ramSize;   // --ram-size: what the RAM may take

    // Reports written to files beside the output.
    std::optional<std::string> recordFile;      // --record: the link as JSON
    std::optional<std::string> sizeReportFile;  // --size-report: the size report as HTML
};

class ReadAhead;

// The loader's place in each section, indexed by SectionKind.
struct LoadCursor {
    uint32_t running[5] = {};  // the end of each section loaded so far
    // The start that the next slot's parts take until it brings its own:
    // where the last module's part of the section ended, or 0 when the last
    // module had no part of it.
    uint32_t nextStart[5] = {};
    // While the arguments are handled: the files read ahead, or none.
    ReadAhead* readAhead = nullptr;
};

// The merged section sizes.
struct SectionTotals {
    uint32_t codeTotal = 0, dataTotal = 0, bssTotal = 0, baseTotal = 0, bssbTotal = 0;
};

// The name columns of the reports.
struct ReportWidths {
    uint32_t widestModuleName = 2;  // the longest module name text, in characters
    uint32_t widestXrefName = 6;    // the largest name field of an xref that made a node
    uint32_t widestXdefName = 6;    // the largest name field of an xdef, `_base` included
};

struct LinkState {
    explicit LinkState(std::ostream& o) : out(o) {}

    std::ostream& out;  // every report, message and listing goes here
    int32_t errorStatus = 0;
    std::vector<std::string> errors;  // each error's message, in the order reported

    LinkOptions options;

    // Modules, and the bytes of their files.
    InputArena inputs;
    std::vector<Module> modules;  // kModuleSlots records once started
    uint32_t moduleCount = 0;
    LoadCursor loading;
    // Whether an object module was loaded in each mode, so that library mode
    // is not switched once modules were loaded in the other.
    bool loadedForLink = false;
    bool loadedForLibrary = false;
    uint32_t processorId = 0x52060020;  // the largest id read
    uint32_t processorWord = 0;         // the word that came with it

    // Lists.
    SymbolList xrefList;
    SymbolList xdefList;
    // By resolution: for each xref, the place in xdefList of the definition
    // it resolved to, or kNoDefinition (not found, or never looked up).
    std::vector<uint32_t> xrefTargets;
    SymbolList librarySymbols;
    RelocList reloc16List;
    RelocList reloc32List;
    // Where in xdefList the linker's own definitions (`_base`, the section
    // ends and the start-up symbols) begin, after every module's: the layout
    // sets it; none before.
    size_t linkerDefinitionsFrom = SIZE_MAX;
    // A link: whether a library was among the inputs, and its pulls in order.
    bool libraryLinked = false;
    std::vector<LibraryPull> libraryPulls;

    SectionTotals layout;
    ReportWidths widths;
    static constexpr int32_t baseBias = -32768;
};

// Creates the module table and puts every field at its start value.
void linkerStartup(LinkState& state);
// Releases the module table and every list.
void linkerTeardown(LinkState& state);

// Where each section lives on a Module and in the totals, indexed by
// SectionKind: one table instead of five copies of each step.
struct SectionFields {
    std::span<uint8_t> Module::*chunk;
    uint32_t Module::*size;
    uint32_t Module::*addr;
    uint32_t SectionTotals::*total;
};

inline constexpr SectionFields kSectionFields[5] = {
    {&Module::codeChunk, &Module::codeSize, &Module::codeAddr, &SectionTotals::codeTotal},
    {&Module::dataChunk, &Module::dataSize, &Module::dataAddr, &SectionTotals::dataTotal},
    {&Module::bssChunk, &Module::bssSize, &Module::bssAddr, &SectionTotals::bssTotal},
    {&Module::baseChunk, &Module::baseSize, &Module::baseAddr, &SectionTotals::baseTotal},
    {&Module::bssbChunk, &Module::bssbSize, &Module::bssbAddr, &SectionTotals::bssbTotal},
};

// The merged size of a section 0..4.
inline uint32_t sectionTotal(const LinkState& state, uint32_t section) {
    return state.layout.*kSectionFields[section].total;
}

// The section bytes of a module's code, data or base part: its kept payload
// after the block type word. Empty for bss, bssb, an absent part, or a
// section number outside 0..4.
inline std::span<uint8_t> sectionBytes(Module& module, uint32_t section) {
    if (section != 0 && section != 1 && section != 3) return {};
    std::span<uint8_t> chunk = module.*kSectionFields[section].chunk;
    return chunk.empty() ? chunk : chunk.subspan(4);
}

}  // namespace tarnel
