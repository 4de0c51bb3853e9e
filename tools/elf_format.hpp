// The numbers of the ELF format that the tools read and write: the sizes of
// its records, the header's values, section types and flags, symbol bindings
// and kinds, and the m68k relocation types. Only 32-bit big-endian files are
// read or written, so the sizes are those of ELFCLASS32.
#pragma once

#include <cstdint>

namespace tarnel::elf {

// Record sizes: the file header, a program header, a section header, a
// symbol, a relocation with an addend and one without.
constexpr uint32_t kEhdrSize = 52, kPhdrSize = 32, kShdrSize = 40, kSymSize = 16, kRelaSize = 12, kRelSize = 8;

// e_ident: the class and byte order bytes and their only values here.
constexpr uint32_t EI_CLASS = 4, EI_DATA = 5;
constexpr uint8_t ELFCLASS32 = 1, ELFDATA2MSB = 2, EV_CURRENT = 1;

// File types and the machine.
constexpr uint16_t ET_REL = 1, ET_EXEC = 2;
constexpr uint16_t EM_68K = 4;

// Section types, flags and the special section indices.
constexpr uint32_t SHT_NULL = 0, SHT_PROGBITS = 1, SHT_SYMTAB = 2, SHT_STRTAB = 3, SHT_RELA = 4,
                   SHT_NOBITS = 8, SHT_REL = 9;
constexpr uint32_t SHF_WRITE = 0x1, SHF_ALLOC = 0x2, SHF_EXECINSTR = 0x4, SHF_MERGE = 0x10, SHF_STRINGS = 0x20,
                   SHF_INFO_LINK = 0x40;
constexpr uint16_t SHN_UNDEF = 0, SHN_LORESERVE = 0xFF00, SHN_ABS = 0xFFF1, SHN_COMMON = 0xFFF2;

// Symbol bindings and kinds.
constexpr uint8_t STB_LOCAL = 0, STB_GLOBAL = 1, STB_WEAK = 2;
constexpr uint8_t STT_NOTYPE = 0, STT_OBJECT = 1, STT_FUNC = 2, STT_SECTION = 3, STT_FILE = 4;

// m68k relocation types the tools know by name.
constexpr uint8_t R_68K_NONE = 0, R_68K_32 = 1, R_68K_16 = 2, R_68K_8 = 3, R_68K_PC32 = 4, R_68K_PC16 = 5,
                  R_68K_PC8 = 6;

}  // namespace tarnel::elf
