#include "elf_file.hpp"

#include <algorithm>
#include <array>

#include "objfmt/bytes.hpp"

namespace tarnel::elf {
namespace {

// True when [offset, offset + size) lies inside a buffer of `total` bytes.
bool fits(uint64_t offset, uint64_t size, uint64_t total) { return offset <= total && size <= total - offset; }

// The NUL-terminated texts at `offsets` in a string table, in their order:
// empty for an offset outside the table, cut at the table's end when the NUL
// is missing. Taken from the last offset back, each scan stops where the one
// after it began, so the table is scanned once however many names share it.
std::vector<std::string_view> namesAt(std::span<const uint8_t> table, const std::vector<uint32_t>& offsets) {
    std::vector<std::string_view> names(offsets.size());
    std::vector<uint32_t> order(offsets.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) { return offsets[x] > offsets[y]; });
    size_t laterStart = table.size(), laterEnd = table.size();
    for (uint32_t i : order) {
        const size_t offset = offsets[i];
        if (offset >= table.size()) continue;
        size_t end = offset;
        while (end < laterStart && table[end] != 0) ++end;
        if (end == laterStart) end = laterEnd;
        laterStart = offset;
        laterEnd = end;
        names[i] = {reinterpret_cast<const char*>(table.data() + offset), end - offset};
    }
    return names;
}

bool fail(std::string& error, std::string text) {
    error = std::move(text);
    return false;
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
    auto names = file.sections[shstrndx].bytes;
    std::vector<std::string_view> sectionNames = namesAt(names, nameOffsets);
    for (uint32_t i = 0; i < shnum; ++i) file.sections[i].name = sectionNames[i];
    return true;
}

bool readSymbols(File& file, std::string& error) {
    const Section* symtab = nullptr;
    for (const Section& s : file.sections)
        if (s.type == SHT_SYMTAB) symtab = &s;
    if (!symtab) return true;  // an object with nothing to name
    if (symtab->link >= file.sections.size()) return fail(error, "symbol table without a name table");
    auto names = file.sections[symtab->link].bytes;
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
    std::vector<std::string_view> symbolNames = namesAt(names, nameOffsets);
    for (size_t i = 0; i < symbolNames.size(); ++i) file.symbols[i].name = symbolNames[i];
    return true;
}

bool readRelocations(File& file, std::string& error) {
    for (uint32_t i = 0; i < file.sections.size(); ++i) {
        const Section& s = file.sections[i];
        if (s.type != SHT_RELA && s.type != SHT_REL) continue;
        RelocSection rs;
        rs.index = i;
        rs.target = s.info;
        rs.withAddends = s.type == SHT_RELA;
        if (rs.target == 0 || rs.target >= file.sections.size())
            return fail(error, "relocation section " + std::string(s.name) + " names no section");
        uint32_t entrySize = rs.withAddends ? kRelaSize : kRelSize;
        for (uint32_t at = 0; at + entrySize <= s.bytes.size(); at += entrySize) {
            const uint8_t* p = s.bytes.data() + at;
            Rela r;
            r.offset = readWordBE(p);
            uint32_t info = readWordBE(p + 4);
            r.symbol = info >> 8;
            r.type = uint8_t(info);
            r.addend = rs.withAddends ? int32_t(readWordBE(p + 8)) : 0;
            if (r.symbol >= file.symbols.size())
                return fail(error, "relocation in " + std::string(s.name) + " names no symbol");
            rs.entries.push_back(r);
        }
        file.relocations.push_back(std::move(rs));
    }
    return true;
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
    return readSections(bytes, file, error) && readSymbols(file, error) && readRelocations(file, error);
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
