// The symbol table of tarnel-elf's ELF. Per module, in link order, a file
// symbol, then the module's local symbols where it carries symbol
// information (its `symbol` chunk); then one global symbol per defined name,
// the definition references resolve to, but for the converter's aliases
// (`table+0x20`), which are not symbols of the program. A symbol the module's
// `symbol` chunk lists has the type, size and binding it has in its object;
// without one, a definition in code is a function and one in data or bss an
// object, each reaching up to the next definition of its module's part.
#pragma once

#include <cstdint>
#include <string>

#include "elf_bytes.hpp"
#include "objfmt/state.hpp"

namespace tarnel::elf {

struct SymbolTable {
    TableBytes entries;   // .symtab: the null symbol, the locals, the globals
    TableBytes names;      // .strtab
    uint32_t firstGlobal;  // .symtab's sh_info
};

// sectionIndex gives the ELF section of each of the five merged sections (0
// when the ELF has none: its symbols are absolute). A `symbol` chunk that
// cannot be read, or an entry an ELF symbol cannot hold, is reported as an
// error naming the module.
SymbolTable buildSymbolTable(LinkState& state, const uint16_t (&sectionIndex)[5]);

}  // namespace tarnel::elf
