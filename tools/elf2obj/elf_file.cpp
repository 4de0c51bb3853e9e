#include "elf_file.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

#include "objfmt/bytes.hpp"

namespace tarnel::elf {
namespace {

// True when [offset, offset + size) lies inside a buffer of `total` bytes.
bool fits(uint64_t offset, uint64_t size, uint64_t total) { return offset <= total && size <= total - offset; }

constexpr const char* kDamaged = "; the object is damaged, rebuild it";

bool fail(std::string& error, std::string text) {
    error = std::move(text);
    return false;
}

bool damaged(std::string& error, const std::string& what) { return fail(error, what + kDamaged); }

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", v);
    return buf;
}

// The NUL-terminated texts at `offsets` in a string table, in their order.
// The table ends with a NUL (or is empty) and every offset lies inside it
// (only 0 in an empty one, the empty name); otherwise the file is damaged:
// `whose(i)` names the owner of offsets[i] for the message. Taken from the
// last offset back, each scan stops where the one after it began, so the
// table is scanned once however many names share it.
template <typename Whose>
bool namesAt(std::span<const uint8_t> table, const std::string& tableName, const std::vector<uint32_t>& offsets,
             Whose&& whose, std::vector<std::string_view>& names, std::string& error) {
    if (!table.empty() && table.back() != 0) return damaged(error, tableName + " does not end with a NUL");
    for (size_t i = 0; i < offsets.size(); ++i)
        if (offsets[i] >= table.size() && !(offsets[i] == 0 && table.empty()))
            return damaged(error, "the name of " + whose(i) + " lies outside " + tableName);
    names.assign(offsets.size(), {});
    std::vector<uint32_t> order(offsets.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) { return offsets[x] > offsets[y]; });
    size_t laterStart = table.size(), laterEnd = table.size();
    for (uint32_t i : order) {
        const size_t offset = offsets[i];
        if (offset >= table.size()) continue;  // the empty name of an empty table
        size_t end = offset;
        while (end < laterStart && table[end] != 0) ++end;
        if (end == laterStart) end = laterEnd;
        laterStart = offset;
        laterEnd = end;
        names[i] = {reinterpret_cast<const char*>(table.data() + offset), end - offset};
    }
    return true;
}

bool readSections(std::span<const uint8_t> bytes, File& file, std::string& error) {
    const uint8_t* h = bytes.data();
    uint32_t shoff = readWordBE(h + 32);
    uint16_t shentsize = readHalfBE(h + 46);
    uint16_t shnum = readHalfBE(h + 48);
    uint16_t shstrndx = readHalfBE(h + 50);
    if (shnum == 0) return fail(error, "no section headers");
    if (shentsize != kShdrSize) return fail(error, "section headers of an unexpected size");
    if (!fits(shoff, uint64_t(shnum) * kShdrSize, bytes.size()))
        return fail(error, "section headers run past the end of the file");
    if (shstrndx >= shnum) return fail(error, "no section name table");

    std::vector<uint32_t> nameOffsets;
    uint64_t contents = 0;  // bytes of all sections with contents together
    for (uint32_t i = 0; i < shnum; ++i) {
        const uint8_t* s = h + shoff + i * kShdrSize;
        Section sec;
        nameOffsets.push_back(readWordBE(s));
        sec.type = readWordBE(s + 4);
        sec.flags = readWordBE(s + 8);
        uint32_t offset = readWordBE(s + 16);
        sec.size = readWordBE(s + 20);
        sec.link = readWordBE(s + 24);
        sec.info = readWordBE(s + 28);
        sec.align = readWordBE(s + 32);
        if (sec.type != SHT_NOBITS && sec.type != SHT_NULL) {
            if (!fits(offset, sec.size, bytes.size()))
                return fail(error, "section " + std::to_string(i) + " runs past the end of the file");
            sec.bytes = bytes.subspan(offset, sec.size);
            // sections side by side never hold more than the file: more means
            // they overlap, and each copy of the shared bytes would cost memory
            contents += sec.size;
            if (contents > bytes.size())
                return fail(error, "sections overlap: their contents add up to more than the file holds");
        }
        file.sections.push_back(sec);
    }
    const Section& names = file.sections[shstrndx];
    if (shstrndx != 0 && names.type != SHT_STRTAB)
        return damaged(error, "the section name table, section " + std::to_string(shstrndx) +
                                  ", is not a string table");
    std::vector<std::string_view> sectionNames;
    auto section = [](size_t i) { return "section " + std::to_string(i); };
    if (!namesAt(names.bytes, "the section name table", nameOffsets, section, sectionNames, error)) return false;
    for (uint32_t i = 0; i < shnum; ++i) file.sections[i].name = sectionNames[i];
    return true;
}

std::string sectionCalled(const File& file, uint32_t index) {
    return file.sections[index].name.empty() ? "section " + std::to_string(index)
                                             : std::string(file.sections[index].name);
}

bool readSymbols(File& file, std::string& error) {
    const Section* symtab = nullptr;
    for (const Section& s : file.sections) {
        if (s.type != SHT_SYMTAB) continue;
        if (symtab) return damaged(error, "more than one symbol table");
        symtab = &s;
    }
    if (!symtab) return true;  // an object with nothing to name
    if (symtab->link >= file.sections.size() || file.sections[symtab->link].type != SHT_STRTAB)
        return damaged(error, "the symbol table takes its names from section " + std::to_string(symtab->link) +
                                  ", which is not a string table");
    std::vector<uint32_t> nameOffsets;
    for (uint32_t at = 0; at + kSymSize <= symtab->bytes.size(); at += kSymSize) {
        const uint8_t* p = symtab->bytes.data() + at;
        Symbol sym;
        nameOffsets.push_back(readWordBE(p));
        sym.value = readWordBE(p + 4);
        sym.size = readWordBE(p + 8);
        sym.bind = uint8_t(p[12] >> 4);
        sym.type = uint8_t(p[12] & 0xF);
        sym.shndx = readHalfBE(p + 14);
        file.symbols.push_back(sym);
    }
    std::vector<std::string_view> symbolNames;
    auto symbol = [](size_t i) { return "symbol " + std::to_string(i); };
    if (!namesAt(file.sections[symtab->link].bytes, "the string table " + sectionCalled(file, symtab->link),
                 nameOffsets, symbol, symbolNames, error))
        return false;
    for (size_t i = 0; i < symbolNames.size(); ++i) file.symbols[i].name = symbolNames[i];
    // a symbol lies within its section; its end is the last place it may name
    for (size_t i = 0; i < file.symbols.size(); ++i) {
        const Symbol& sym = file.symbols[i];
        if (sym.shndx == SHN_UNDEF || sym.shndx >= SHN_LORESERVE) continue;
        const std::string what = "symbol " + std::to_string(i) + " '" + std::string(sym.name) + "'";
        if (sym.shndx >= file.sections.size())
            return damaged(error, what + " lies in section " + std::to_string(sym.shndx) + ", which does not exist");
        const Section& s = file.sections[sym.shndx];
        if (sym.value > s.size)
            return damaged(error, what + " at " + hex(sym.value) + " lies past the end of " +
                                      sectionCalled(file, sym.shndx) + " (" + std::to_string(s.size) + " bytes)");
    }
    return true;
}

// Sections that patching cannot apply to: they hold no contents of the program.
constexpr uint32_t kNoContents[] = {SHT_NULL, SHT_SYMTAB, SHT_STRTAB, SHT_RELA, SHT_REL};

bool readRelocations(File& file, std::string& error) {
    uint32_t symtabIndex = 0;
    for (uint32_t i = 0; i < file.sections.size(); ++i)
        if (file.sections[i].type == SHT_SYMTAB) symtabIndex = i;
    for (uint32_t i = 0; i < file.sections.size(); ++i) {
        const Section& s = file.sections[i];
        if (s.type != SHT_RELA && s.type != SHT_REL) continue;
        const std::string section = "relocation section " + sectionCalled(file, i);
        RelocSection rs;
        rs.index = i;
        rs.target = s.info;
        rs.withAddends = s.type == SHT_RELA;
        if (rs.target == i) return damaged(error, section + " applies to itself");
        if (rs.target >= file.sections.size())
            return damaged(error, section + " applies to section " + std::to_string(rs.target) +
                                      ", which does not exist");
        const Section& target = file.sections[rs.target];
        if (rs.target == 0 || std::ranges::find(kNoContents, target.type) != std::end(kNoContents))
            return damaged(error, section + " applies to " + sectionCalled(file, rs.target) +
                                      ", which holds no contents");
        if (s.link != symtabIndex || symtabIndex == 0)
            return damaged(error, section + " takes its symbols from section " + std::to_string(s.link) +
                                      ", not from the symbol table");
        uint32_t entrySize = rs.withAddends ? kRelaSize : kRelSize;
        for (uint32_t at = 0; at + entrySize <= s.bytes.size(); at += entrySize) {
            const uint8_t* p = s.bytes.data() + at;
            Rela r;
            r.offset = readWordBE(p);
            uint32_t info = readWordBE(p + 4);
            r.symbol = info >> 8;
            r.type = uint8_t(info);
            r.addend = rs.withAddends ? int32_t(readWordBE(p + 8)) : 0;
            const std::string place = "the relocation at " + sectionCalled(file, rs.target) + "+" + hex(r.offset);
            if (r.symbol >= file.symbols.size())
                return damaged(error, place + " names symbol " + std::to_string(r.symbol) +
                                          ", past the end of the symbol table (" +
                                          std::to_string(file.symbols.size()) + " symbols)");
            if (r.symbol == 0 && r.type != R_68K_NONE) return damaged(error, place + " names no symbol");
            rs.entries.push_back(r);
        }
        file.relocations.push_back(std::move(rs));
    }
    return true;
}

// The m68k families whose e_flags name them. The 68020 and its successors
// have no bits of their own: their code has e_flags 0.
struct Family {
    uint32_t bits;
    const char* name;
};
constexpr Family kOtherFamilies[] = {
    {EF_M68K_M68000, "68000"},
    {EF_M68K_CPU32, "CPU32"},
    {EF_M68K_FIDO, "Fido"},
};

// Code for another m68k family traps or hangs on a ColdFire. An object
// whose e_flags name no ColdFire instruction set holds either no
// instructions (data alone, which the assembler leaves at e_flags 0, even in
// .text) or 68020 code: a function in loaded code tells them apart.
bool checkColdFire(const File& file, std::string& error) {
    const char* family = nullptr;
    for (const Family& f : kOtherFamilies)
        if ((file.flags & f.bits) == f.bits) family = f.name;
    if (!family && (file.flags & EF_M68K_CF_ISA_MASK) == 0) {
        for (const Symbol& sym : file.symbols) {
            if (sym.type != STT_FUNC || sym.shndx == SHN_UNDEF || sym.shndx >= file.sections.size()) continue;
            const uint32_t code = SHF_ALLOC | SHF_EXECINSTR;
            if ((file.sections[sym.shndx].flags & code) == code) family = "68020";
        }
    }
    if (!family) return true;
    return fail(error, std::string("compiled for ") + family + ", not ColdFire: add -mcpu=5208");
}

}  // namespace

bool readFile(std::span<const uint8_t> bytes, File& file, std::string& error) {
    file = File{};
    static constexpr uint8_t kMagic[4] = {0x7F, 'E', 'L', 'F'};
    if (bytes.size() < kEhdrSize || !std::equal(kMagic, kMagic + 4, bytes.begin()))
        return fail(error, "not an ELF file");
    if (bytes[EI_CLASS] != ELFCLASS32 || bytes[EI_DATA] != ELFDATA2MSB) return fail(error, "not a 32-bit big-endian ELF file");
    if (readHalfBE(&bytes[16]) != ET_REL) return fail(error, "not a relocatable object");
    if (readHalfBE(&bytes[18]) != EM_68K) return fail(error, "not an m68k object");
    file.flags = readWordBE(&bytes[36]);
    return readSections(bytes, file, error) && readSymbols(file, error) && readRelocations(file, error) &&
           checkColdFire(file, error);
}

std::string_view sectionNameIn(const File& file, uint32_t index) {
    if (index == SHN_ABS) return "*ABS*";
    if (index == SHN_UNDEF) return "*UND*";
    if (index < file.sections.size()) return file.sections[index].name;
    return "*unknown*";
}

std::string_view symbolNameIn(const File& file, const Symbol& sym) {
    return sym.type == STT_SECTION ? sectionNameIn(file, sym.shndx) : sym.name;
}

std::string relocTypeName(uint8_t type) {
    static constexpr std::array<const char*, 23> kNames = {
        "R_68K_NONE",   "R_68K_32",     "R_68K_16",      "R_68K_8",       "R_68K_PC32",   "R_68K_PC16",
        "R_68K_PC8",    "R_68K_GOT32",  "R_68K_GOT16",   "R_68K_GOT8",    "R_68K_GOT32O", "R_68K_GOT16O",
        "R_68K_GOT8O",  "R_68K_PLT32",  "R_68K_PLT16",   "R_68K_PLT8",    "R_68K_PLT32O", "R_68K_PLT16O",
        "R_68K_PLT8O",  "R_68K_COPY",   "R_68K_GLOB_DAT", "R_68K_JMP_SLOT", "R_68K_RELATIVE",
    };
    if (type < kNames.size()) return kNames[type];
    return "relocation type " + std::to_string(type);
}

}  // namespace tarnel::elf
