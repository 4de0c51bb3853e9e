// Turns an m68k ELF relocatable object into a tarnel object module.
//
// Sections map onto the module's parts: .text, .text.*, .rodata and .rodata.*
// form the code part (in that order), .data and .data.* the data part, .bss
// and .bss.* the bss part. Each piece starts at a multiple of 4 within its
// part and every part is padded with zeros to a multiple of 4, so that the
// next module's part, which the linker places right behind it, starts
// aligned too; a section aligned to more than 4 is refused. Global symbols
// become xdefs; relocations become xrefs, reloc16/reloc32 records, or are
// resolved here when they are pc-relative within the code part. The
// debugging sections and the object's symbols become a `debug` and a
// `symbol` chunk (debug_chunks.hpp) unless the options strip them; other
// sections that are not loaded and the unwind tables are dropped. Whatever
// the object format cannot express is refused.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "elf_file.hpp"

namespace tarnel::elf2obj {

struct ConvertOptions {
    std::string fallbackName;             // module name when the object names no source file
    std::optional<uint32_t> processorId;  // written as a `processor` chunk when set
    bool keepDebug = true;                // the symbol and debug chunks, for an object with debugging sections
};

struct Conversion {
    std::vector<uint8_t> object;        // the module; meaningful only without refusals
    std::vector<std::string> refusals;  // "SECTION+0xOFFSET: 'SYMBOL': what cannot be expressed"
};

Conversion convertObject(const elf::File& file, const ConvertOptions& options);

// Converts the objects of one program together, options[i] for files[i]. A
// reference from one to sym + addend (addend not 0), where another defines
// the global sym, becomes an xref to the alias named "sym+0x20" (or
// "sym-0x4"), which every module that exports sym defines at sym's value plus
// the addend; its aliases follow its own xdefs, sorted by symbol and addend.
// Of a name's definitions the first strong one wins, or without one the
// first weak one; a weak definition that does not win is not exported, and
// its module refers to the name as to another module's. Alone (in
// convertObject) a weak definition is an ordinary one.
std::vector<Conversion> convertProgram(std::span<const elf::File> files, std::span<const ConvertOptions> options);

// The processor id for a model number of four hex digits: "5208" gives 0x52080000.
std::optional<uint32_t> processorIdFor(std::string_view model);

}  // namespace tarnel::elf2obj
