#include "elf_symbols.hpp"

#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "alias_name.hpp"
#include "driver/diag.hpp"
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

class TableBuilder {
public:
    void add(std::string_view name, uint32_t value, uint32_t size, uint8_t binding, uint8_t type, uint16_t shndx) {
        put32(entries_, name.empty() ? 0 : names_.add(name));
        put32(entries_, value);
        put32(entries_, size);
        entries_ += char(binding << 4 | type);
        entries_ += '\0';
        put16(entries_, shndx);
    }
    uint32_t count() const { return uint32_t(entries_.size() / kSymSize); }
    SymbolTable finish(uint32_t firstGlobal) { return {std::move(entries_), std::move(names_.bytes), firstGlobal}; }

private:
    std::string entries_ = std::string(kSymSize, '\0');
    StringTable names_;
};

}  // namespace

SymbolTable buildSymbolTable(LinkState& state, const uint16_t (&sectionIndex)[5]) {
    const std::vector<std::optional<ModuleSymbols>> modules = readChunks(state);
    // a symbol of a section the ELF does not hold is absolute
    auto shndxOf = [&](uint32_t section) -> uint16_t {
        return section < kSectionCount && sectionIndex[section] != 0 ? sectionIndex[section] : SHN_ABS;
    };
    TableBuilder table;

    // each module's file symbol, then its local symbols
    for (uint32_t m = 0; m < state.moduleCount; ++m) {
        const Module& mod = state.modules[m];
        const std::optional<ModuleSymbols>& symbols = modules[m];
        std::string file = mod.moduleName ? *mod.moduleName : mod.fileName ? *mod.fileName : std::string();
        if (symbols) file = std::string(symbols->chunk.file->name);
        table.add(file, 0, 0, STB_LOCAL, STT_FILE, SHN_ABS);
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
    const std::vector<uint32_t> address = definitionAddresses(state);
    const std::vector<uint32_t> sizes = definitionSizes(state);
    std::unordered_set<std::string_view> seen;
    for (size_t i = 0; i < state.xdefList.size(); ++i) {
        const LinkSymbol& s = state.xdefList[i];
        if (!seen.insert(s.name).second || hasAliasForm(s.name)) continue;
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
