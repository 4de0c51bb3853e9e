// Builds small m68k ELF relocatable objects for the converter's tests, laid
// out the way the GNU assembler writes them (sections, their RELA sections,
// the symbol table, its names, the section names, then the section headers),
// so that the tests need no cross tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "elf_file.hpp"
#include "objfmt/bytes.hpp"

namespace tarnel::test {

class ElfBuilder {
public:
    using Bytes = std::vector<uint8_t>;

    ElfBuilder() {
        sections_.push_back({});  // index 0, the null section
        symbols_.push_back({});   // index 0, the null symbol
    }

    // Header fields, changed by the tests of files the converter must reject.
    uint8_t elfClass = elf::ELFCLASS32, dataEncoding = elf::ELFDATA2MSB;
    uint16_t fileType = elf::ET_REL, machine = elf::EM_68K;
    uint32_t flags = 0x23;  // ColdFire ISA A+ with EMAC, as -mcpu=5208 gives

    uint16_t progbits(const std::string& name, const Bytes& bytes, uint32_t flags = elf::SHF_ALLOC,
                      uint32_t align = 4) {
        sections_.push_back({name, elf::SHT_PROGBITS, flags, uint32_t(bytes.size()), align, bytes, {}, true});
        return uint16_t(sections_.size() - 1);
    }
    uint16_t nobits(const std::string& name, uint32_t size, uint32_t align = 4, uint32_t flags = elf::SHF_ALLOC) {
        sections_.push_back({name, elf::SHT_NOBITS, flags, size, align, {}, {}, true});
        return uint16_t(sections_.size() - 1);
    }

    uint32_t symbol(const std::string& name, uint16_t shndx, uint32_t value, uint8_t bind = elf::STB_GLOBAL,
                    uint8_t type = elf::STT_NOTYPE, uint32_t size = 0) {
        symbols_.push_back({name, value, size, uint8_t(bind << 4 | type), shndx});
        return uint32_t(symbols_.size() - 1);
    }
    uint32_t sectionSymbol(uint16_t shndx) { return symbol("", shndx, 0, elf::STB_LOCAL, elf::STT_SECTION); }
    uint32_t fileSymbol(const std::string& name) {
        return symbol(name, elf::SHN_ABS, 0, elf::STB_LOCAL, elf::STT_FILE);
    }

    void rela(uint16_t section, uint32_t offset, uint32_t symbol, uint8_t type, int32_t addend) {
        sections_[section].relocs.push_back({offset, symbol << 8 | type, uint32_t(addend)});
    }
    // Writes the relocations of this section as SHT_REL, without addends.
    void withoutAddends(uint16_t section) { sections_[section].relocsWithAddends = false; }

    Bytes build() const {
        std::vector<Header> headers;
        std::string shstrtab(1, '\0');
        Bytes body;
        auto addSection = [&](const std::string& name, uint32_t type, uint32_t flags, uint32_t size,
                              uint32_t align, const Bytes& bytes, uint32_t link, uint32_t info, uint32_t entsize) {
            uint32_t nameOffset = uint32_t(shstrtab.size());
            shstrtab += name + '\0';
            uint32_t offset = elf::kEhdrSize + uint32_t(body.size());
            body.insert(body.end(), bytes.begin(), bytes.end());
            headers.push_back({nameOffset, type, flags, offset, size, link, info, align, entsize});
        };

        headers.push_back({});
        for (size_t i = 1; i < sections_.size(); ++i) {
            const Section& s = sections_[i];
            addSection(s.name, s.type, s.flags, s.size, s.align, s.bytes, 0, 0, 0);
        }
        uint32_t symtabIndex = uint32_t(sections_.size());
        for (size_t i = 1; i < sections_.size(); ++i) {
            const Section& s = sections_[i];
            if (s.relocs.empty()) continue;
            symtabIndex++;
        }
        for (size_t i = 1; i < sections_.size(); ++i) {
            const Section& s = sections_[i];
            if (s.relocs.empty()) continue;
            Bytes r;
            for (const Reloc& e : s.relocs) {
                word(r, e.offset);
                word(r, e.info);
                if (s.relocsWithAddends) word(r, e.addend);
            }
            uint32_t type = s.relocsWithAddends ? elf::SHT_RELA : elf::SHT_REL;
            addSection((s.relocsWithAddends ? ".rela" : ".rel") + s.name, type, elf::SHF_INFO_LINK, uint32_t(r.size()), 4,
                       r, symtabIndex, uint32_t(i), s.relocsWithAddends ? elf::kRelaSize : elf::kRelSize);
        }
        std::string strtab(1, '\0');
        Bytes syms;
        for (const Sym& sym : symbols_) {
            uint32_t nameOffset = 0;
            if (!sym.name.empty()) {
                nameOffset = uint32_t(strtab.size());
                strtab += sym.name + '\0';
            }
            word(syms, nameOffset);
            word(syms, sym.value);
            word(syms, sym.size);
            syms.push_back(sym.info);
            syms.push_back(0);
            half(syms, sym.shndx);
        }
        addSection(".symtab", elf::SHT_SYMTAB, 0, uint32_t(syms.size()), 4, syms, symtabIndex + 1, 0, elf::kSymSize);
        addSection(".strtab", elf::SHT_STRTAB, 0, uint32_t(strtab.size()), 1, Bytes(strtab.begin(), strtab.end()),
                   0, 0, 0);
        uint32_t shstrndx = uint32_t(headers.size());
        std::string names = shstrtab + ".shstrtab" + '\0';
        addSection(".shstrtab", elf::SHT_STRTAB, 0, uint32_t(names.size()), 1, Bytes(names.begin(), names.end()),
                   0, 0, 0);
        while (body.size() % 4) body.push_back(0);

        Bytes out = {0x7F, 'E', 'L', 'F', elfClass, dataEncoding, elf::EV_CURRENT, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        half(out, fileType);
        half(out, machine);
        word(out, elf::EV_CURRENT);
        word(out, 0);                                   // entry
        word(out, 0);                                   // program headers
        word(out, elf::kEhdrSize + uint32_t(body.size()));  // section headers
        word(out, flags);
        half(out, elf::kEhdrSize);
        half(out, 0);
        half(out, 0);
        half(out, elf::kShdrSize);
        half(out, uint16_t(headers.size()));
        half(out, uint16_t(shstrndx));
        out.insert(out.end(), body.begin(), body.end());
        for (const Header& h : headers)
            for (uint32_t w : {h.name, h.type, h.flags, 0u, h.offset, h.size, h.link, h.info, h.align, h.entsize})
                word(out, w);
        return out;
    }

private:
    struct Reloc {
        uint32_t offset, info, addend;
    };
    struct Section {
        std::string name;
        uint32_t type = 0, flags = 0, size = 0, align = 0;
        Bytes bytes;
        std::vector<Reloc> relocs;
        bool relocsWithAddends = true;
    };
    struct Sym {
        std::string name;
        uint32_t value = 0, size = 0;
        uint8_t info = 0;
        uint16_t shndx = 0;
    };
    struct Header {
        uint32_t name = 0, type = 0, flags = 0, offset = 0, size = 0, link = 0, info = 0, align = 0, entsize = 0;
    };

    static void word(Bytes& b, uint32_t w) {
        b.resize(b.size() + 4);
        writeWordBE(b.data() + b.size() - 4, w);
    }
    static void half(Bytes& b, uint32_t h) {
        b.resize(b.size() + 2);
        writeHalfBE(b.data() + b.size() - 2, h);
    }

    std::vector<Section> sections_;
    std::vector<Sym> symbols_;
};

}  // namespace tarnel::test
