// The workload as ELF relocatable files, so that the m68k GNU linker can be
// timed on the same content: the same code and data bytes, a global symbol
// per definition, and a RELA record per reference site and local relocation.
#include <algorithm>
#include <map>
#include <string>
#include <string_view>

#include "elf_format.hpp"
#include "objfmt/bytes.hpp"
#include "objfmt/chunk_builder.hpp"
#include "workload_plan.hpp"

namespace tarnel::bench {
namespace {

// Section header indexes, in file order.
enum : uint32_t { kNull, kText, kData, kBss, kRela, kSymtab, kStrtab, kShstrtab, kSectionCount };

using namespace elf;

ByteBuilder& half(ByteBuilder& b, uint32_t v) {
    uint8_t h[2];
    writeHalfBE(h, v);
    return b.raw(h);
}

class StringTable {
public:
    StringTable() { bytes_.push_back(0); }
    uint32_t add(std::string_view s) {
        size_t at = bytes_.size();
        bytes_.resize(at + s.size() + 1);  // the name and its NUL
        std::copy(s.begin(), s.end(), bytes_.begin() + ptrdiff_t(at));
        return uint32_t(at);
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

uint32_t sectionIndexOf(SectionKind s) {
    return s == SectionKind::code ? kText : s == SectionKind::data ? kData : kBss;
}

uint32_t align4(uint32_t x) { return (x + 3) & ~3u; }

}  // namespace

std::vector<uint8_t> buildElfModule(uint32_t index, const WorkloadPlan& plan, uint64_t seed) {
    const ModulePlan& m = plan.modules[index];
    const std::vector<Definition>& defs = plan.definitions;
    auto [code, data] = sectionBytes(index, m, seed);

    // Symbols: null, the three section symbols (locals), then the module's
    // definitions and the names it refers to without defining them.
    StringTable strtab;
    ByteBuilder symtab;
    auto symbol = [&](uint32_t name, uint32_t value, uint8_t bind, uint8_t type, uint32_t shndx) {
        symtab.word(name).word(value).word(0);
        uint8_t info[2] = {uint8_t(bind << 4 | type), 0};
        half(symtab.raw(info), shndx);
    };
    symbol(0, 0, STB_LOCAL, STT_NOTYPE, 0);
    for (uint32_t s : {kText, kData, kBss}) symbol(0, 0, STB_LOCAL, STT_SECTION, s);
    const uint32_t firstGlobal = 4;
    std::map<uint32_t, uint32_t> symbolOf;  // definition -> symbol index
    uint32_t next = firstGlobal;
    for (uint32_t d : m.definitions) {
        const Definition& def = defs[d];
        symbol(strtab.add(def.name), def.value, STB_GLOBAL, def.section == SectionKind::code ? STT_FUNC : STT_OBJECT,
               sectionIndexOf(def.section));
        symbolOf[d] = next++;
    }
    for (const Site& s : m.sites)
        if (symbolOf.emplace(s.definition, next).second) {
            symbol(strtab.add(defs[s.definition].name), 0, STB_GLOBAL, STT_NOTYPE, 0);
            ++next;
        }

    ByteBuilder rela;
    for (const Site& s : m.sites) {
        uint32_t type = s.type == LINK_ABS32 ? R_68K_32 : s.type == LINK_PCREL32 ? R_68K_PC32 : R_68K_PC16;
        rela.word(s.offset).word(symbolOf[s.definition] << 8 | type).word(0);
    }
    for (const LocalReloc& r : m.relocs) rela.word(r.offset).word(sectionIndexOf(r.to) << 8 | R_68K_32).word(r.target);

    StringTable shstrtab;
    uint32_t names[kSectionCount] = {0,
                                     shstrtab.add(".text"),
                                     shstrtab.add(".data"),
                                     shstrtab.add(".bss"),
                                     shstrtab.add(".rela.text"),
                                     shstrtab.add(".symtab"),
                                     shstrtab.add(".strtab"),
                                     shstrtab.add(".shstrtab")};

    // File order: header, .text, .data, .rela.text, .symtab, .strtab,
    // .shstrtab, the section header table.
    uint32_t textAt = kEhdrSize;
    uint32_t dataAt = textAt + uint32_t(code.size());
    uint32_t relaAt = align4(dataAt + uint32_t(data.size()));
    uint32_t symtabAt = relaAt + uint32_t(rela.size());
    uint32_t strtabAt = symtabAt + uint32_t(symtab.size());
    uint32_t shstrtabAt = strtabAt + uint32_t(strtab.bytes().size());
    uint32_t headersAt = align4(shstrtabAt + uint32_t(shstrtab.bytes().size()));

    ByteBuilder f;
    static constexpr uint8_t kIdent[16] = {0x7F, 'E', 'L', 'F', ELFCLASS32, ELFDATA2MSB, EV_CURRENT};
    f.raw(kIdent);
    half(f, ET_REL);
    half(f, EM_68K);
    f.word(1).word(0).word(0).word(headersAt).word(0);
    half(f, kEhdrSize);
    half(f, 0);
    half(f, 0);
    half(f, kShdrSize);
    half(f, kSectionCount);
    half(f, kShstrtab);
    f.raw(code).raw(data).zeros(relaAt - f.size());
    f.raw(rela.bytes()).raw(symtab.bytes()).raw(strtab.bytes()).raw(shstrtab.bytes());
    f.zeros(headersAt - f.size());
    auto header = [&](uint32_t s, uint32_t type, uint32_t flags, uint32_t offset, uint32_t size, uint32_t link,
                      uint32_t info, uint32_t align, uint32_t entsize) {
        f.word(names[s]).word(type).word(flags).word(0).word(offset).word(size).word(link).word(info).word(align).word(
            entsize);
    };
    f.zeros(kShdrSize);
    header(kText, SHT_PROGBITS, SHF_ALLOC | SHF_EXECINSTR, textAt, uint32_t(code.size()), 0, 0, 4, 0);
    header(kData, SHT_PROGBITS, SHF_ALLOC | SHF_WRITE, dataAt, uint32_t(data.size()), 0, 0, 4, 0);
    header(kBss, SHT_NOBITS, SHF_ALLOC | SHF_WRITE, dataAt + uint32_t(data.size()), m.bssSize, 0, 0, 4, 0);
    header(kRela, SHT_RELA, SHF_INFO_LINK, relaAt, uint32_t(rela.size()), kSymtab, kText, 4, kRelaSize);
    header(kSymtab, SHT_SYMTAB, 0, symtabAt, uint32_t(symtab.size()), kStrtab, firstGlobal, 4, kSymSize);
    header(kStrtab, SHT_STRTAB, 0, strtabAt, uint32_t(strtab.bytes().size()), 0, 0, 1, 0);
    header(kShstrtab, SHT_STRTAB, 0, shstrtabAt, uint32_t(shstrtab.bytes().size()), 0, 0, 1, 0);
    return std::move(f.bytes());
}

}  // namespace tarnel::bench
