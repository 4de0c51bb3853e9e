// tarnel-elf: tarnel's link, written as an ELF32 big-endian m68k executable
// that holds the ROM image's bytes at their addresses, the modules'
// debugging sections linked (elf_debug.hpp) and a symbol table
// (elf_symbols.hpp), for the GNU tools and debuggers.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "elf_debug.hpp"
#include "elf_symbols.hpp"
#include "objfmt/state.hpp"
#include "output/outfile.hpp"

namespace tarnel::elf {

// The e_flags the GNU assembler sets for the processor model of an id.
uint32_t elfFlagsFor(uint32_t processorId);

// What the ELF holds besides the image, made and checked before the output
// file is created: the debugging sections and the symbol table.
struct ElfTables {
    std::vector<DebugSection> debug;
    SymbolTable symbols;
};

// Makes the tables of a finished ROM-mode link; what cannot be made is
// reported as an error, which keeps the ELF from being written.
ElfTables makeElfTables(LinkState& state);

// Writes the ELF of a finished ROM-mode link with its tables; returns the
// count writeLinkedOutput returns for the same image.
uint32_t writeElf(LinkState& state, const ElfTables& tables, OutputFile& file);

// tarnel's command line and run, with the ELF as the output; a command line
// of only -h, --help or --version shows the help or the version instead.
int runTarnelElf(const std::vector<std::string>& args, std::ostream& out);

}  // namespace tarnel::elf
