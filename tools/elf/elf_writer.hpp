// tarnel-elf: tarnel's link, written as an ELF32 big-endian m68k executable
// that holds the ROM image's bytes at their addresses and a symbol table, for
// the GNU tools and debuggers.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "objfmt/state.hpp"
#include "output/outfile.hpp"

namespace tarnel::elf {

// The e_flags the GNU assembler sets for the processor model of an id.
uint32_t elfFlagsFor(uint32_t processorId);

// Writes the ELF of a finished ROM-mode link; returns the count
// writeLinkedOutput returns for the same image.
uint32_t writeElf(LinkState& state, OutputFile& file);

// tarnel's command line and run, with the ELF as the output; a command line
// of only -h, --help or --version shows the help or the version instead.
int runTarnelElf(const std::vector<std::string>& args, std::ostream& out);

}  // namespace tarnel::elf
