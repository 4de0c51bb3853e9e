// The link state: the 512-slot module table, the symbol and relocation lists,
// the totals, running offsets and widest-name maxima, and the options.
//
// Who owns what. There is one LinkState per run, made by linkerStartup and
// released by linkerTeardown. The bytes of every object file are read once into
// the state's input arena, which owns them; a Module's `fileBytes` are its
// file's share of it; every kept payload (`codeChunk`, `dataChunk`, the kept
// `link`, relocation and drel16 chunks) is a span into those bytes, and the
// link engine patches section bytes there in place. The name of an xdef, xref
// or library symbol is a view into the `link` payload it was read from, so it
// lives as long as its module; `_base` names a literal. The lists are vectors
// appended at the end only: their order is the order of loading, and the
// first xdef of a name wins. Nothing is released before teardown.
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

struct Module {
    std::optional<std::string> fileName;  // set once the file opened and began with `object`
    std::optional<std::string> moduleName;
    std::optional<std::string> version;
    std::optional<std::string> date;

    std::span<uint8_t> fileBytes;  // in the state's input arena; every payload span below lies in it

    // Kept payloads: block type word, then the section bytes (bss: type, size).
    // A section is present when its span is not empty.
    std::span<uint8_t> codeChunk, baseChunk, dataChunk, bssChunk, bssbChunk;

    uint32_t codeAddr = 0, baseAddr = 0, dataAddr = 0, bssAddr = 0, bssbAddr = 0;
    // Link mode: section bytes (payload length - 4); library mode: payload
    // length. bss and bssb: the size word in both modes.
    uint32_t codeSize = 0, baseSize = 0, dataSize = 0, bssSize = 0, bssbSize = 0;

    // Library mode: chunks kept whole for the library member.
    std::span<uint8_t> linkChunk;
    uint32_t linkChunkSize = 0;
    std::vector<std::span<uint8_t>> reloc16Chunks, reloc32Chunks, drel16Chunks;
    uint32_t reloc16Bytes = 0, reloc32Bytes = 0, drel16Bytes = 0;  // sum of length + 8

    // Link mode: the payloads of the module's drel16 chunks, until applied.
    std::vector<std::span<uint8_t>> drel16List;
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
};

struct LinkState {
    explicit LinkState(std::ostream& o) : out(o) {}

    std::ostream& out;  // every report, message and listing goes here

    // Options.
    std::string outputName = "a.out";
    std::string inputName;
    bool outputNamePending = false;
    bool libraryArgs = false;
    bool commandFileFlag = false;
    bool romMode = false;
    bool srecMode = false;
    bool embeddedMode = false;
    bool libraryMode = false;
    bool mapWanted = false;
    bool bssInRom = true;
    uint32_t romStart = 0;
    std::string embeddedLabel;  // at most 90 characters
    int32_t errorStatus = 0;
    // Whether an object module was loaded in each mode, so that library mode
    // is not switched once modules were loaded in the other.
    bool loadedForLink = false;
    bool loadedForLibrary = false;

    // Modules, and the bytes of their files.
    InputArena inputs;
    std::vector<Module> modules;  // kModuleSlots records once started
    uint32_t moduleCount = 0;

    // Loader running offsets: the end of each section loaded so far.
    uint32_t codeRunning = 0, baseRunning = 0, dataRunning = 0, bssRunning = 0, bssbRunning = 0;
    // Merged section sizes, set by the layout.
    uint32_t codeTotal = 0, dataTotal = 0, bssTotal = 0, baseTotal = 0, bssbTotal = 0;

    SymbolList xrefList;
    SymbolList xdefList;
    SymbolList librarySymbols;
    // A link: whether a library was among the inputs, and its pulls in order.
    bool libraryLinked = false;
    std::vector<LibraryPull> libraryPulls;
    uint32_t librarySymbolCount = 0;
    uint32_t librarySymbolBytes = 0;
    RelocList reloc16List;
    RelocList reloc32List;

    uint32_t processorId = 0x52060020;
    uint32_t processorWord = 0;
    uint32_t widestModuleName = 2;
    uint32_t widestXrefName = 6;
    uint32_t widestXdefName = 6;
    static constexpr int32_t baseBias = -32768;
};

// Creates the module table and puts every field at its start value.
void linkerStartup(LinkState& state);
// Releases the module table and every list.
void linkerTeardown(LinkState& state);

}  // namespace tarnel

namespace tarnel {

// Where each section lives on a Module and in the loader's running offsets,
// indexed by SectionKind: one table instead of five copies of each step.
struct SectionFields {
    std::span<uint8_t> Module::*chunk;
    uint32_t Module::*size;
    uint32_t Module::*addr;
    uint32_t LinkState::*running;
    uint32_t LinkState::*total;
};

inline constexpr SectionFields kSectionFields[5] = {
    {&Module::codeChunk, &Module::codeSize, &Module::codeAddr, &LinkState::codeRunning, &LinkState::codeTotal},
    {&Module::dataChunk, &Module::dataSize, &Module::dataAddr, &LinkState::dataRunning, &LinkState::dataTotal},
    {&Module::bssChunk, &Module::bssSize, &Module::bssAddr, &LinkState::bssRunning, &LinkState::bssTotal},
    {&Module::baseChunk, &Module::baseSize, &Module::baseAddr, &LinkState::baseRunning, &LinkState::baseTotal},
    {&Module::bssbChunk, &Module::bssbSize, &Module::bssbAddr, &LinkState::bssbRunning, &LinkState::bssbTotal},
};

}  // namespace tarnel

namespace tarnel {

// The section bytes of a module's code, data or base part: its kept payload
// after the block type word. Empty for bss, bssb, an absent part, or a
// section number outside 0..4.
inline std::span<uint8_t> sectionBytes(Module& module, uint32_t section) {
    if (section != 0 && section != 1 && section != 3) return {};
    std::span<uint8_t> chunk = module.*kSectionFields[section].chunk;
    return chunk.empty() ? chunk : chunk.subspan(4);
}

}  // namespace tarnel
