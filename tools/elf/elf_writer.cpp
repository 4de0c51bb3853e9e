#include "elf_writer.hpp"

#include <algorithm>
#include <memory>
#include <string_view>

#include "driver/diag.hpp"
#include "driver/tarnel.hpp"
#include "elf_bytes.hpp"
#include "elf_format.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/placement.hpp"
#include "output/writer.hpp"
#include "tool_main.hpp"

namespace tarnel::elf {

namespace {

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

// The sections the image holds, code first, each at the address it runs at
// and loaded where the image holds its bytes: code, data and base; bss and
// bssb hold none. indexOf gives each one's ELF section, 0 for those empty.
struct LoadedSections {
    std::vector<Section> sections;
    uint16_t indexOf[5] = {};
};

LoadedSections loadedSections(const ImageLayout& image) {
    const Section kinds[5] = {
        {".text", SHT_PROGBITS, SHF_ALLOC | SHF_EXECINSTR, 0, 0, 0, 0},
        {".data", SHT_PROGBITS, SHF_ALLOC | SHF_WRITE, 0, 0, 0, 0},
        {".bss", SHT_NOBITS, SHF_ALLOC | SHF_WRITE, 0, 0, 0, 0},
        {".base", SHT_PROGBITS, SHF_ALLOC | SHF_WRITE, 0, 0, 0, 0},
        {".bssb", SHT_NOBITS, SHF_ALLOC | SHF_WRITE, 0, 0, 0, 0},
    };
    LoadedSections loaded;
    for (uint32_t s = 0; s < 5; ++s) {
        const SectionPlace& place = image.section[s];
        if (place.size == 0) continue;
        Section sec = kinds[s];
        sec.address = place.runAddress;
        sec.loadAddress = sec.type == SHT_NOBITS ? place.runAddress : place.loadAddress;
        sec.offset = place.imageOffset;
        sec.size = place.size;
        loaded.sections.push_back(sec);
        loaded.indexOf[s] = uint16_t(loaded.sections.size());
    }
    return loaded;
}

}  // namespace

uint32_t elfFlagsFor(uint32_t processorId) {
    const uint32_t model = processorId >> 16;
    for (const ModelFlags& m : kModelFlags)
        if (m.model == model) return m.flags;
    // an unknown model gets the plainest ColdFire: ISA A without divide
    return 0x01;
}

ElfTables makeElfTables(LinkState& state) {
    const ImageLayout image = imageLayout(state);
    const LoadedSections loaded = loadedSections(image);
    ElfTables tables{linkDebugSections(state), buildSymbolTable(state, loaded.indexOf)};
    // every offset of an ELF32 file is a 32-bit word: the file, with each
    // table's padding and name, must stay below 4 GiB
    uint64_t size = kEhdrSize + uint64_t(kPhdrSize + kShdrSize) * 5 + image.size + 3 * kShdrSize + 64;
    for (const DebugSection& d : tables.debug) size += d.bytes.size() + d.align + d.name.size() + 1 + kShdrSize;
    size += tables.symbols.entries.size() + 4 + tables.symbols.names.size() + 4;
    if (size > UINT32_MAX) reportError(state, "ELF file of more than 4 GiB: the debugging sections do not fit\n");
    return tables;
}

// The file: the ELF header, one program header per loaded section, the
// image, then the debugging sections, the symbol table and its names, the
// section names and the section headers.
uint32_t writeElf(LinkState& state, const ElfTables& tables, OutputFile& file) {
    const ImageLayout image = imageLayout(state);
    const LoadedSections loaded = loadedSections(image);
    const uint32_t loadedCount = uint32_t(loaded.sections.size());
    const uint32_t imageOffset = kEhdrSize + kPhdrSize * loadedCount;

    StringTable shstrtab;
    TableBytes shdrs(kShdrSize, '\0');
    auto addShdr = [&](std::string_view name, uint32_t type, uint32_t flags, uint32_t addr, uint32_t offset,
                       uint32_t bytes, uint32_t link, uint32_t info, uint32_t align, uint32_t entsize) {
        put32(shdrs, shstrtab.add(name));
        for (uint32_t w : {type, flags, addr, offset, bytes, link, info, align, entsize}) put32(shdrs, w);
    };
    for (const Section& sec : loaded.sections)
        addShdr(sec.name, sec.type, sec.flags, sec.address, imageOffset + sec.offset, sec.size, 0, 0, 1, 0);
    // after the image, each table at the next multiple of its alignment; the
    // tables are written where they are, not copied together
    struct Piece {
        uint64_t padding;
        std::string_view bytes;
    };
    std::vector<Piece> tail;
    uint64_t at = uint64_t(imageOffset) + image.size;
    auto place = [&](std::string_view bytes, uint32_t align) {
        const uint64_t start = (at + align - 1) / align * align;
        tail.push_back({start - at, bytes});
        at = start + bytes.size();
        return uint32_t(start);
    };
    for (const DebugSection& d : tables.debug)
        addShdr(d.name, SHT_PROGBITS, 0, 0, place(d.bytes, d.align), uint32_t(d.bytes.size()), 0, 0, d.align, 0);
    const uint32_t symtabIndex = uint32_t(shdrs.size() / kShdrSize);
    const uint32_t symtabOffset = place(tables.symbols.entries, 4);
    addShdr(".symtab", SHT_SYMTAB, 0, 0, symtabOffset, uint32_t(tables.symbols.entries.size()), symtabIndex + 1,
            tables.symbols.firstGlobal, 4, kSymSize);
    const uint32_t strtabOffset = place(tables.symbols.names, 1);
    addShdr(".strtab", SHT_STRTAB, 0, 0, strtabOffset, uint32_t(tables.symbols.names.size()), 0, 0, 1, 0);
    // the section names' own header names them too, so its name goes in first
    const uint32_t shstrtabName = shstrtab.add(".shstrtab");
    const uint32_t shstrtabOffset = place(shstrtab.bytes, 1);
    put32(shdrs, shstrtabName);
    for (uint32_t w : {SHT_STRTAB, 0u, 0u, shstrtabOffset, uint32_t(shstrtab.bytes.size()), 0u, 0u, 1u, 0u})
        put32(shdrs, w);
    const uint32_t shdrOffset = place(shdrs, 4);
    const uint32_t sectionCount = uint32_t(shdrs.size() / kShdrSize);

    TableBytes head;
    head.append("\x7f" "ELF\x01\x02\x01", 7);  // ELF32, big-endian, version 1
    head.append(9, '\0');
    put16(head, ET_EXEC);
    put16(head, EM_68K);
    put32(head, EV_CURRENT);
    put32(head, state.options.romStart);  // the entry is the first code byte
    put32(head, kEhdrSize);
    put32(head, shdrOffset);
    put32(head, elfFlagsFor(state.processorId));
    put16(head, kEhdrSize);
    put16(head, kPhdrSize);
    put16(head, loadedCount);
    put16(head, kShdrSize);
    put16(head, sectionCount);
    put16(head, sectionCount - 1);
    for (const Section& sec : loaded.sections) {
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

    static constexpr char kZeros[64] = {};
    for (const Piece& piece : tail) {
        for (uint64_t left = piece.padding; left > 0; left -= std::min<uint64_t>(left, sizeof kZeros))
            file.write(kZeros, size_t(std::min<uint64_t>(left, sizeof kZeros)));
        file.write(piece.bytes.data(), piece.bytes.size());
    }
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
    // the tables are made, and checked, before the output file is created;
    // a link that failed already writes nothing, and its report stays tarnel's
    auto tables = std::make_shared<ElfTables>();
    hooks.beforeOutput = [tables](LinkState& state) {
        if (state.errorStatus == 0) *tables = makeElfTables(state);
    };
    hooks.writeOutput = [tables](LinkState& state, OutputFile& file) { return writeElf(state, *tables, file); };
    return runTarnel(args, out, hooks);
}

}  // namespace tarnel::elf
