#include "link/layout.hpp"

#include <algorithm>
#include <vector>

#include "driver/diag.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/placement.hpp"

namespace tarnel {

namespace {
constexpr uint32_t kBaseLimit = 0x10000;
}

void layoutSections(LinkState& state) {
    // the totals alone place every part (objfmt/placement)
    for (const SectionFields& f : kSectionFields) {
        uint32_t total = 0;
        for (const Module& m : state.modules) total += m.*f.size;
        state.layout.*f.total = total;
    }
}

void checkBaseSize(LinkState& state) {
    if (state.layout.baseTotal > kBaseLimit) reportError(state, "Merged data > 64k\n");
}

void checkAddressSpace(LinkState& state) {
    constexpr uint64_t kLimit = uint64_t(1) << 32;
    // summed in 64 bits: a 32-bit total would already have wrapped
    uint64_t all = 0;
    bool sectionsFit = true;
    for (uint32_t s = 0; s < kSectionCount; ++s) {
        uint64_t total = 0;
        for (const Module& m : state.modules) total += m.*kSectionFields[s].size;
        if (total >= kLimit) {
            reportError(state, "Merged %s section does not fit in 32 bits\n", sectionName(s));
            sectionsFit = false;
        }
        all += total;
    }
    if (!sectionsFit) return;
    if (all >= kLimit) {
        reportError(state, "Sections together do not fit in 32 bits\n");
        return;
    }
    // every address of the image, and the one just after it, must be a 32-bit
    // address; so must those of the RAM where the data runs
    if (!state.options.romMode) return;
    const LinkOptions& o = state.options;
    const SectionTotals& t = state.layout;
    const uint64_t inRamSections = uint64_t(t.dataTotal) + t.bssTotal + t.baseTotal + t.bssbTotal;
    const uint64_t image = inRam(state) ? uint64_t(t.codeTotal) + t.dataTotal + t.baseTotal : all;
    if (o.romStart + image >= kLimit)
        reportError(state, "ROM image of $%08lx bytes at $%08lx does not fit in 32 bits\n", (unsigned long)image,
                    (unsigned long)o.romStart);
    if (inRam(state) && *o.ramStart + inRamSections >= kLimit)
        reportError(state, "RAM of $%08lx bytes at $%08lx does not fit in 32 bits\n", (unsigned long)inRamSections,
                    (unsigned long)*o.ramStart);
}

void defineBaseSymbol(LinkState& state) {
    // the linker's own definitions follow every module's
    state.linkerDefinitionsFrom = state.xdefList.size();
    if (state.layout.baseTotal == 0) return;
    // a base register loaded with _base reaches region byte X at X - 0x8000
    const uint32_t base = uint32_t(SectionKind::base);
    const uint32_t value = runAddress(state, base) + 0x8000 - partAddress(state, 0, base, AddressView::program);
    constexpr std::string_view name = "_base";
    if (state.widths.widestXdefName < name.size()) state.widths.widestXdefName = uint32_t(name.size());
    // appended last, so a module's own _base wins the lookup
    state.xdefList.push_back(LinkSymbol{name, value, 0, 0, int16_t(base), uint8_t(0x80 + base)});
}

namespace {

// A linker-made symbol: a name for an address in a section.
struct Boundary {
    std::string_view name;
    SectionKind section;
    uint32_t address;
};

// The section ends, and what start-up code needs to copy the data from the
// image into RAM and clear bss: each at its run address (the load addresses
// in code, where the image holds the bytes). Without the data in RAM a
// section's load address is its run address.
std::vector<Boundary> boundaries(const LinkState& state) {
    const SectionTotals& t = state.layout;
    const ImageLayout image = imageLayout(state);
    auto run = [&](SectionKind s) { return image.section[uint32_t(s)].runAddress; };
    auto load = [&](SectionKind s) -> Boundary {
        if (!inRam(state)) return {"", s, run(s)};
        return {"", SectionKind::code, image.section[uint32_t(s)].loadAddress};
    };
    const Boundary dataLoad = load(SectionKind::data), baseLoad = load(SectionKind::base);
    std::vector<Boundary> list = {
        {"_etext", SectionKind::code, run(SectionKind::code) + t.codeTotal},
        {"_edata", SectionKind::data, run(SectionKind::data) + t.dataTotal},
        {"__bss_start", SectionKind::bss, run(SectionKind::bss)},
        {"_end", SectionKind::bss, run(SectionKind::bss) + t.bssTotal},
        {"__data_load", dataLoad.section, dataLoad.address},
        {"__data_start", SectionKind::data, run(SectionKind::data)},
        {"__base_load", baseLoad.section, baseLoad.address},
        {"__base_start", SectionKind::base, run(SectionKind::base)},
        {"__base_end", SectionKind::base, run(SectionKind::base) + t.baseTotal},
    };
    // the first address past the RAM: where a stack starts
    if (inRam(state) && state.options.ramSize)
        list.push_back({"__ram_end", SectionKind::bss, uint32_t(*state.options.ramStart + *state.options.ramSize)});
    return list;
}

}  // namespace

void defineBoundarySymbols(LinkState& state) {
    const std::vector<Boundary> list = boundaries(state);
    const size_t count = list.size();
    // one pass over each list, which a big link makes long; every name the
    // linker defines begins with '_', which few others do
    auto mark = [&](const SymbolList& symbols, std::vector<bool>& seen) {
        for (const LinkSymbol& s : symbols) {
            if (s.name.empty() || s.name[0] != '_') continue;
            for (size_t i = 0; i < count; ++i)
                if (s.name == list[i].name) seen[i] = true;
        }
    };
    std::vector<bool> referenced(count), defined(count);
    mark(state.xrefList, referenced);
    if (std::none_of(referenced.begin(), referenced.end(), [](bool r) { return r; })) return;
    // a module's own definition wins
    mark(state.xdefList, defined);
    for (size_t i = 0; i < count; ++i) {
        if (!referenced[i] || defined[i]) continue;
        const Boundary& b = list[i];
        if (state.widths.widestXdefName < b.name.size()) state.widths.widestXdefName = uint32_t(b.name.size());
        // each names its address as a place in module 0's part of its section
        const uint32_t section = uint32_t(b.section);
        const uint32_t value = b.address - partAddress(state, 0, section, AddressView::program);
        state.xdefList.push_back(LinkSymbol{b.name, value, 0, 0, int16_t(section), uint8_t(0x80 + section)});
    }
}

}  // namespace tarnel
