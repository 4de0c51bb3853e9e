#include "elf_symbols.hpp"

#include <future>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "alias_name.hpp"
#include "driver/diag.hpp"
#include "link/second_thread.hpp"
#include "link/xdef_index.hpp"
#include "elf_bytes.hpp"
#include "elf_format.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/placement.hpp"
#include "objfmt/symbol_chunk.hpp"
#include "objfmt/symbol_sizes.hpp"

namespace tarnel::elf {

namespace {

// A module's `symbol` chunk, read whole, with its globals by name.
struct ModuleSymbols {
    SymbolChunk chunk;
    std::unordered_map<std::string_view, const SymbolEntry*> globals;
};

// What a symbol entry holds that an ELF symbol cannot: a section that is not
// one of the five nor absolute, a binding or a type past their four bits.
bool fitsElf(const SymbolEntry& e) {
    return (e.section < kSectionCount || e.section == kAbsoluteSymbol) && e.binding < 16 && e.type < 16;
}

// The chunks of the modules that carry one; one that cannot be read is reported.
std::vector<std::optional<ModuleSymbols>> readChunks(LinkState& state) {
    std::vector<std::optional<ModuleSymbols>> modules(state.moduleCount);
    for (uint32_t m = 0; m < state.moduleCount; ++m) {
        const Module& mod = state.modules[m];
        if (mod.symbolChunk.empty()) continue;
        const char* file = mod.fileName->c_str();
        SymbolChunk chunk = readSymbolChunk(mod.symbolChunk);
        if (chunk.end.status == PayloadWalkEnd::Status::otherVersion) {
            reportError(state, "Symbol chunk of version %u in %s; tarnel-elf reads version 1\n", *chunk.version, file);
            continue;
        }
        if (!chunk.whole()) {
            reportError(state, "Malformed symbol chunk in %s: %s runs past the payload\n", file, chunk.end.what);
            continue;
        }
        bool fits = true;
        for (const SymbolEntry& e : chunk.entries) {
            if (fitsElf(e)) continue;
            reportError(state, "Symbol %s in %s has section %u, binding %u or type %u, which an ELF symbol cannot hold\n",
                        std::string(e.name.name).c_str(), file, e.section, e.binding, e.type);
            fits = false;
        }
        if (!fits) continue;
        ModuleSymbols& symbols = modules[m].emplace(ModuleSymbols{std::move(chunk), {}});
        for (const SymbolEntry& e : symbols.chunk.entries)
            if (e.binding != uint8_t(SymbolBinding::local)) symbols.globals.try_emplace(e.name.name, &e);
    }
    return modules;
}

// The table is sized for every symbol a link can give it up front and cut to
// what it got: symbols of large links run to hundreds of thousands.
class TableBuilder {
public:
    TableBuilder(size_t mostSymbols, size_t mostNameBytes) : entries_(kSymSize * (mostSymbols + 1), '\0') {
        names_.bytes.reserve(mostNameBytes + 1);
    }
    void add(std::string_view name, uint32_t value, uint32_t size, uint8_t binding, uint8_t type, uint16_t shndx) {
        char* entry = entries_.data() + kSymSize * ++count_;
        store32(entry, name.empty() ? 0 : names_.add(name));
        store32(entry + 4, value);
        store32(entry + 8, size);
        entry[12] = char(binding << 4 | type);
        entry[13] = '\0';
        store16(entry + 14, shndx);
    }
    // the null symbol counts
    uint32_t count() const { return count_ + 1; }
    SymbolTable finish(uint32_t firstGlobal) {
        entries_.resize(kSymSize * count());
        return {std::move(entries_), std::move(names_.bytes), firstGlobal};
    }

private:
    TableBytes entries_;
    uint32_t count_ = 0;
    StringTable names_;
};

// Below this many definitions one thread does it all: starting a second
// costs more than it saves.
constexpr size_t kTwoThreadsFrom = 32768;

}  // namespace

SymbolTable buildSymbolTable(LinkState& state, const uint16_t (&sectionIndex)[5]) {
    const std::vector<std::optional<ModuleSymbols>> modules = readChunks(state);
    // a symbol of a section the ELF does not hold is absolute
    auto shndxOf = [&](uint32_t section) -> uint16_t {
        return section < kSectionCount && sectionIndex[section] != 0 ? sectionIndex[section] : SHN_ABS;
    };
    // a module's file symbol names the source its symbol chunk names, else the module
    auto fileOf = [&](uint32_t m) -> std::string_view {
        const Module& mod = state.modules[m];
        if (modules[m]) return modules[m]->chunk.file->name;
        return mod.moduleName ? *mod.moduleName : mod.fileName ? *mod.fileName : std::string_view();
    };
    size_t mostSymbols = state.moduleCount + state.xdefList.size(), mostNameBytes = 0;
    for (uint32_t m = 0; m < state.moduleCount; ++m) {
        mostNameBytes += fileOf(m).size() + 1;
        if (!modules[m]) continue;
        mostSymbols += modules[m]->chunk.entries.size();
        for (const SymbolEntry& e : modules[m]->chunk.entries) mostNameBytes += e.name.name.size() + 1;
    }
    for (const LinkSymbol& s : state.xdefList) mostNameBytes += s.name.size() + 1;
    TableBuilder table(mostSymbols, mostNameBytes);

    // each module's file symbol, then its local symbols
    for (uint32_t m = 0; m < state.moduleCount; ++m) {
        const std::optional<ModuleSymbols>& symbols = modules[m];
        table.add(fileOf(m), 0, 0, STB_LOCAL, STT_FILE, SHN_ABS);
        if (!symbols) continue;
        for (const SymbolEntry& e : symbols->chunk.entries) {
            if (e.binding != uint8_t(SymbolBinding::local)) continue;
            if (e.section == kAbsoluteSymbol)
                table.add(e.name.name, e.value, e.size, STB_LOCAL, e.type, SHN_ABS);
            else
                table.add(e.name.name, partAddress(state, m, e.section, AddressView::program) + e.value, e.size,
                          STB_LOCAL, e.type, shndxOf(e.section));
        }
    }
    const uint32_t firstGlobal = table.count();

    // the definition each name resolves to: the first of its name
    // with many definitions, a second thread sizes them while this one finds
    // the first of each name
    std::vector<uint32_t> address, sizes;
    auto addressesAndSizes = [&] {
        address = definitionAddresses(state);
        sizes = definitionSizes(state);
    };
    std::future<void> sizing;
    const bool twoThreads = state.xdefList.size() >= kTwoThreadsFrom;
    if (twoThreads)
        sizing = startOrRunHere(addressesAndSizes);
    else
        addressesAndSizes();
    const std::vector<bool> first = XdefIndex(state.xdefList).firstOfName(state.xdefList.size());
    if (twoThreads) sizing.get();
    for (size_t i = 0; i < state.xdefList.size(); ++i) {
        const LinkSymbol& s = state.xdefList[i];
        if (!first[i] || hasAliasForm(s.name)) continue;
        const uint32_t section = uint32_t(uint16_t(s.section));
        const bool inPart = section < kSectionCount && s.module >= 0 && uint32_t(s.module) < state.moduleCount;
        uint8_t binding = STB_GLOBAL, type = STT_NOTYPE;
        uint32_t size = 0;
        const SymbolEntry* own = nullptr;
        if (inPart && modules[uint32_t(s.module)]) {
            const auto& globals = modules[uint32_t(s.module)]->globals;
            if (auto it = globals.find(s.name); it != globals.end()) own = it->second;
        }
        if (own) {
            binding = own->binding;
            type = own->type;
            size = own->size;
        } else if (inPart && !linkerMade(state, i)) {
            type = section == uint32_t(SectionKind::code) ? STT_FUNC : STT_OBJECT;
            size = sizes[i];
        }
        table.add(s.name, address[i], size, binding, type, shndxOf(section));
    }
    return table.finish(firstGlobal);
}

}  // namespace tarnel::elf
