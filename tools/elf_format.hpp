// The numbers of the ELF format that the tools read and write: the sizes of
// its records, the header's values, section types and flags, symbol bindings
// and kinds, and the m68k relocation types and e_flags. Only 32-bit
// big-endian files are read or written, so the sizes are those of ELFCLASS32.
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
                   SHF_INFO_LINK = 0x40, SHF_COMPRESSED = 0x800;
constexpr uint16_t SHN_UNDEF = 0, SHN_LORESERVE = 0xFF00, SHN_ABS = 0xFFF1, SHN_COMMON = 0xFFF2;

// Symbol bindings and kinds.
constexpr uint8_t STB_LOCAL = 0, STB_GLOBAL = 1, STB_WEAK = 2;
constexpr uint8_t STT_NOTYPE = 0, STT_OBJECT = 1, STT_FUNC = 2, STT_SECTION = 3, STT_FILE = 4;

// m68k relocation types the tools know by name.
constexpr uint8_t R_68K_NONE = 0, R_68K_32 = 1, R_68K_16 = 2, R_68K_8 = 3, R_68K_PC32 = 4, R_68K_PC16 = 5,
                  R_68K_PC8 = 6;

// m68k e_flags, as the GNU assembler sets them once it has assembled an
// instruction (an object without instructions has 0). A ColdFire object
// names its instruction set in the low four bits (1 ISA A without divide,
// 2 ISA A, 3 ISA A+, 4 ISA B without USP, 5 ISA B, 6 ISA C, 7 ISA C without
// divide) and adds MAC, EMAC and FPU bits: -mcpu=5206 gives 0x01, 5307
// 0x12, 5208 0x23, 5407 0x14, 547x 0x8065. The 68000 and 68010, CPU32 and
// Fido have bits of their own; the 68020 to 68060 have none, so their code
// has 0.
constexpr uint32_t EF_M68K_CF_ISA_MASK = 0x0F;
constexpr uint32_t EF_M68K_CPU32 = 0x00810000, EF_M68K_M68000 = 0x01000000, EF_M68K_FIDO = 0x02000000;

}  // namespace tarnel::elf
