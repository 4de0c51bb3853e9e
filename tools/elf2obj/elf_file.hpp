// A reader for the one kind of ELF file the converter takes: a 32-bit
// big-endian m68k relocatable object, as the GNU assembler and compiler write
// it for the ColdFire. It reads the section headers, the symbol table and the
// RELA relocations and keeps spans into the caller's file bytes; it never
// reads outside them. A file it cannot trust (a name outside its string
// table, a symbol outside its section, a relocation section that patches no
// contents) or whose code is not for a ColdFire is refused with the reason.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "elf_format.hpp"

namespace tarnel::elf {

struct Section {
    std::string_view name;
    uint32_t type = 0;
    uint32_t flags = 0;
    uint32_t size = 0;
    uint32_t link = 0;
    uint32_t info = 0;
    uint32_t align = 0;
    std::span<const uint8_t> bytes;  // empty for NOBITS
};

struct Symbol {
    std::string_view name;
    uint32_t value = 0;
    uint32_t size = 0;
    uint8_t bind = 0;
    uint8_t type = 0;
    uint16_t shndx = 0;
};

struct Rela {
    uint32_t offset = 0;  // of the field within the section it patches
    uint32_t symbol = 0;  // index into the symbol table
    uint8_t type = 0;
    int32_t addend = 0;
};

// Relocations of one section, from one SHT_RELA (or SHT_REL) section.
struct RelocSection {
    uint32_t index = 0;   // of the relocation section itself
    uint32_t target = 0;  // index of the section it patches
    bool withAddends = true;
    std::vector<Rela> entries;
};

struct File {
    uint32_t flags = 0;  // e_flags: the processor family and model
    std::vector<Section> sections;
    std::vector<Symbol> symbols;
    std::vector<RelocSection> relocations;
};

// Reads the file; on failure returns false and says why in `error`.
bool readFile(std::span<const uint8_t> bytes, File& file, std::string& error);

// The name a message gives a section by its index: its own name, or "*ABS*",
// "*UND*" or "*unknown*" for the special indices and those past the table.
std::string_view sectionNameIn(const File& file, uint32_t index);
// The name a message gives a symbol: a section symbol is named after its section.
std::string_view symbolNameIn(const File& file, const Symbol& sym);

// Name of an m68k relocation type ("R_68K_PC16"), or "type N" for others.
std::string relocTypeName(uint8_t type);

}  // namespace tarnel::elf
