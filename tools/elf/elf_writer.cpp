#include "elf_writer.hpp"

#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "driver/diag.hpp"
#include "driver/tarnel.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/placement.hpp"
#include "objfmt/symbol_sizes.hpp"
#include "output/writer.hpp"
#include "tool_main.hpp"

namespace tarnel::elf {

namespace {

constexpr uint32_t kEhdrSize = 52, kPhdrSize = 32, kShdrSize = 40, kSymSize = 16;
constexpr uint32_t SHT_PROGBITS = 1, SHT_SYMTAB = 2, SHT_STRTAB = 3, SHT_NOBITS = 8;
constexpr uint32_t SHF_WRITE = 1, SHF_ALLOC = 2, SHF_EXECINSTR = 4;
constexpr uint8_t STB_LOCAL = 0, STB_GLOBAL = 1;
constexpr uint8_t STT_NOTYPE = 0, STT_OBJECT = 1, STT_FUNC = 2, STT_FILE = 4;
constexpr uint16_t SHN_ABS = 0xfff1;

void put16(std::string& b, uint32_t v) {
    b += char(v >> 8);
    b += char(v);
}
void put32(std::string& b, uint32_t v) {
    put16(b, v >> 16);
    put16(b, v);
}

// A string table: offset 0 holds the empty name.
struct StringTable {
    std::string bytes = std::string(1, '\0');
    uint32_t add(std::string_view s) {
        uint32_t at = uint32_t(bytes.size());
        bytes.append(s);
        bytes += '\0';
        return at;
    }
};

struct Section {
    const char* name;
    uint32_t type, flags, address, offset, size;
    uint32_t loadAddress;  // where the image holds its bytes; its address for a section without bytes
};

struct ModelFlags {
    uint32_t model, flags;
};
// as the assembler marks each -mcpu: ISA, divide, MAC/EMAC and FPU bits
constexpr ModelFlags kModelFlags[] = {
    {0x5202, 0x01},   {0x5204, 0x01},   {0x5206, 0x01},   {0x5207, 0x23},   {0x5208, 0x23},   {0x5210, 0x13},
    {0x5211, 0x13},   {0x5212, 0x13},   {0x5213, 0x13},   {0x5214, 0x23},   {0x5216, 0x23},   {0x5221, 0x13},
    {0x5224, 0x13},   {0x5225, 0x13},   {0x5232, 0x23},   {0x5233, 0x23},   {0x5234, 0x23},   {0x5235, 0x23},
    {0x5249, 0x22},   {0x5250, 0x22},   {0x5253, 0x22},   {0x5270, 0x23},   {0x5271, 0x23},   {0x5272, 0x12},
    {0x5274, 0x23},   {0x5275, 0x23},   {0x5280, 0x23},   {0x5281, 0x23},   {0x5282, 0x23},   {0x5307, 0x12},
    {0x5327, 0x23},   {0x5328, 0x23},   {0x5329, 0x23},   {0x5372, 0x23},   {0x5373, 0x23},   {0x5407, 0x14},
    {0x5470, 0x8065}, {0x5471, 0x8065}, {0x5472, 0x8065}, {0x5473, 0x8065}, {0x5474, 0x8065}, {0x5475, 0x8065},
    {0x5480, 0x8065}, {0x5485, 0x8065},
};

}  // namespace

uint32_t elfFlagsFor(uint32_t processorId) {
    const uint32_t model = processorId >> 16;
    for (const ModelFlags& m : kModelFlags)
        if (m.model == model) return m.flags;
    // an unknown model gets the plainest ColdFire: ISA A without divide
    return 0x01;
}

uint32_t writeElf(LinkState& state, OutputFile& file) {
    const ImageLayout image = imageLayout(state);
    const uint32_t romStart = state.options.romStart;
    const Section kinds[5] = {
        {".text", SHT_PROGBITS, SHF_ALLOC | SHF_EXECINSTR, 0, 0, 0, 0},
        {".data", SHT_PROGBITS, SHF_ALLOC | SHF_WRITE, 0, 0, 0, 0},
        {".bss", SHT_NOBITS, SHF_ALLOC | SHF_WRITE, 0, 0, 0, 0},
        {".base", SHT_PROGBITS, SHF_ALLOC | SHF_WRITE, 0, 0, 0, 0},
        {".bssb", SHT_NOBITS, SHF_ALLOC | SHF_WRITE, 0, 0, 0, 0},
    };
    // each section at the address it runs at, loaded where the image holds
    // its bytes: code, data and base; bss and bssb hold none
    std::vector<Section> loaded;
    uint16_t indexOf[5] = {};
    for (uint32_t s = 0; s < 5; ++s) {
        const SectionPlace& place = image.section[s];
        if (place.size == 0) continue;
        Section sec = kinds[s];
        sec.address = place.runAddress;
        sec.loadAddress = sec.type == SHT_NOBITS ? place.runAddress : place.loadAddress;
        sec.offset = place.imageOffset;
        sec.size = place.size;
        loaded.push_back(sec);
        indexOf[s] = uint16_t(loaded.size());
    }
    const uint32_t imageOffset = kEhdrSize + kPhdrSize * uint32_t(loaded.size());

    // the symbol table: a file symbol per module, then every xdef
    StringTable strtab;
    std::string symtab(kSymSize, '\0');
    auto addSymbol = [&](uint32_t name, uint32_t value, uint32_t symSize, uint8_t info, uint16_t shndx) {
        put32(symtab, name);
        put32(symtab, value);
        put32(symtab, symSize);
        symtab += char(info);
        symtab += '\0';
        put16(symtab, shndx);
    };
    for (uint32_t m = 0; m < state.moduleCount; ++m) {
        const Module& mod = state.modules[m];
        const std::string& name = mod.moduleName ? *mod.moduleName : mod.fileName ? *mod.fileName : std::string();
        addSymbol(strtab.add(name), 0, 0, uint8_t(STB_LOCAL << 4 | STT_FILE), SHN_ABS);
    }
    const uint32_t firstGlobal = uint32_t(symtab.size() / kSymSize);
    const std::vector<uint32_t> address = definitionAddresses(state);
    const std::vector<uint32_t> sizes = definitionSizes(state);
    std::unordered_set<std::string_view> seen;
    for (size_t i = 0; i < state.xdefList.size(); ++i) {
        const LinkSymbol& s = state.xdefList[i];
        // the first xdef of a name is the one references resolve to
        if (!seen.insert(s.name).second) continue;
        const uint32_t section = uint32_t(uint16_t(s.section));
        const bool inPart = section < 5 && s.module >= 0 && uint32_t(s.module) < state.moduleCount;
        uint32_t symSize = 0;
        uint8_t type = STT_NOTYPE;
        if (inPart && s.name != "_base") {
            type = section == uint32_t(SectionKind::code) ? STT_FUNC : STT_OBJECT;
            symSize = sizes[i];
        }
        const uint16_t shndx = section < 5 && indexOf[section] != 0 ? indexOf[section] : SHN_ABS;
        addSymbol(strtab.add(s.name), address[i], symSize, uint8_t(STB_GLOBAL << 4 | type), shndx);
    }

    StringTable shstrtab;
    std::string shdrs(kShdrSize, '\0');
    auto addShdr = [&](const char* name, uint32_t type, uint32_t flags, uint32_t addr, uint32_t offset,
                       uint32_t bytes, uint32_t link, uint32_t info, uint32_t align, uint32_t entsize) {
        put32(shdrs, shstrtab.add(name));
        for (uint32_t w : {type, flags, addr, offset, bytes, link, info, align, entsize}) put32(shdrs, w);
    };
    for (const Section& sec : loaded)
        addShdr(sec.name, sec.type, sec.flags, sec.address, imageOffset + sec.offset, sec.size, 0, 0, 1, 0);
    const uint32_t symtabIndex = uint32_t(loaded.size()) + 1;
    uint32_t at = (imageOffset + image.size + 3) & ~3u;
    const uint32_t symtabOffset = at;
    at += uint32_t(symtab.size());
    const uint32_t strtabOffset = at;
    at += uint32_t(strtab.bytes.size());
    addShdr(".symtab", SHT_SYMTAB, 0, 0, symtabOffset, uint32_t(symtab.size()), symtabIndex + 1, firstGlobal, 4,
            kSymSize);
    addShdr(".strtab", SHT_STRTAB, 0, 0, strtabOffset, uint32_t(strtab.bytes.size()), 0, 0, 1, 0);
    const uint32_t shstrtabOffset = at;
    const uint32_t shstrtabName = shstrtab.add(".shstrtab");
    const uint32_t shstrtabSize = uint32_t(shstrtab.bytes.size());
    put32(shdrs, shstrtabName);
    for (uint32_t w : {SHT_STRTAB, 0u, 0u, shstrtabOffset, shstrtabSize, 0u, 0u, 1u, 0u}) put32(shdrs, w);
    at += shstrtabSize;
    const uint32_t shdrOffset = (at + 3) & ~3u;

    std::string head;
    head.append("\x7f" "ELF\x01\x02\x01", 7);  // ELF32, big-endian, version 1
    head.append(9, '\0');
    put16(head, 2);   // ET_EXEC
    put16(head, 4);   // EM_68K
    put32(head, 1);   // EV_CURRENT
    put32(head, romStart);  // the entry is the first code byte
    put32(head, kEhdrSize);
    put32(head, shdrOffset);
    put32(head, elfFlagsFor(state.processorId));
    put16(head, kEhdrSize);
    put16(head, kPhdrSize);
    put16(head, uint32_t(loaded.size()));
    put16(head, kShdrSize);
    put16(head, uint32_t(shdrs.size() / kShdrSize));
    put16(head, uint32_t(shdrs.size() / kShdrSize) - 1);
    for (const Section& sec : loaded) {
        put32(head, 1);  // PT_LOAD
        put32(head, imageOffset + sec.offset);
        put32(head, sec.address);
        put32(head, sec.loadAddress);
        put32(head, sec.type == SHT_NOBITS ? 0 : sec.size);
        put32(head, sec.size);
        put32(head, sec.flags & SHF_EXECINSTR ? 5 : 6);  // R+X or R+W
        put32(head, 1);
    }
    file.write(head.data(), head.size());

    // the loadable bytes are the ROM image, written by tarnel's own image writer
    const bool srec = state.options.srecMode;
    state.options.srecMode = false;
    const uint32_t counted = writeImage(state, file);
    state.options.srecMode = srec;

    std::string tail(symtabOffset - (imageOffset + image.size), '\0');
    tail += symtab;
    tail += strtab.bytes;
    tail += shstrtab.bytes;
    tail.append(shdrOffset - at, '\0');
    tail += shdrs;
    file.write(tail.data(), tail.size());
    return counted;
}

int runTarnelElf(const std::vector<std::string>& args, std::ostream& out) {
    // help and version are answered only when they stand alone, so that every
    // other command line is tarnel's own
    if (args.size() == 2 && (args[1] == "-h" || args[1] == "--help")) {
        out << "usage: tarnel-elf [options] [files...] -o [outfilename]\n"
               "Links like tarnel, with tarnel's options, report, messages and exit status,\n"
               "and writes the ROM image as an ELF32 big-endian m68k executable, at -r's or\n"
               "-s's address (else at 0), with a symbol table, for gdb, objdump and nm.\n"
               "-g and -e are refused: tarnel-elf writes executables only.\n"
               "\n"
               "  -h, --help    show this help and exit\n"
               "  --version     show the version and exit\n";
        return 0;
    }
    if (args.size() == 2 && args[1] == "--version") {
        tools::printVersion(out, "tarnel-elf");
        return 0;
    }
    LinkHooks hooks;
    hooks.afterArguments = [](LinkState& state) {
        if (state.options.libraryMode || state.options.embeddedMode) {
            reportError(state, "tarnel-elf writes executables only: -%c is refused\n",
                        state.options.libraryMode ? 'g' : 'e');
            return false;
        }
        // the ELF holds a ROM image: at -r's or -s's start, else at 0
        state.options.romMode = true;
        return true;
    };
    hooks.writeOutput = writeElf;
    return runTarnel(args, out, hooks);
}

}  // namespace tarnel::elf
