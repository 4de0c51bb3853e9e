#include "link/layout.hpp"

#include <algorithm>

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
    // every address of the image, and the one just after it, must be a 32-bit address
    if (state.options.romMode && state.options.romStart + all >= kLimit)
        reportError(state, "ROM image of $%08lx bytes at $%08lx does not fit in 32 bits\n", (unsigned long)all,
                    (unsigned long)state.options.romStart);
}

void defineBaseSymbol(LinkState& state) {
    if (state.layout.baseTotal == 0) return;
    // a base register loaded with _base reaches region byte X at X - 0x8000;
    // the value counts from module 0's base part, whose biased start is -0x8000
    const uint32_t value = baseRegionStart(state) + kBaseLimit;
    constexpr std::string_view name = "_base";
    if (state.widths.widestXdefName < name.size()) state.widths.widestXdefName = uint32_t(name.size());
    // appended last, so a module's own _base wins the lookup
    state.xdefList.push_back(LinkSymbol{name, value, 0, 0,
                                        int16_t(SectionKind::base), uint8_t(0x80 + uint32_t(SectionKind::base))});
}

void defineBoundarySymbols(LinkState& state) {
    // each names a place in module 0's part of its section, which starts where
    // the merged section does: the end of code, the end of data, bss's start and end
    struct Boundary {
        std::string_view name;
        SectionKind section;
        uint32_t value;
    };
    const Boundary boundaries[] = {
        {"_etext", SectionKind::code, state.layout.codeTotal},
        {"_edata", SectionKind::data, state.layout.dataTotal},
        {"__bss_start", SectionKind::bss, 0},
        {"_end", SectionKind::bss, state.layout.bssTotal},
    };
    constexpr size_t kCount = std::size(boundaries);
    // one pass over each list, which a big link makes long
    auto mark = [&](const SymbolList& list, bool (&seen)[kCount]) {
        for (const LinkSymbol& s : list)
            for (size_t i = 0; i < kCount; ++i)
                if (s.name == boundaries[i].name) seen[i] = true;
    };
    bool referenced[kCount] = {}, defined[kCount] = {};
    mark(state.xrefList, referenced);
    if (std::none_of(std::begin(referenced), std::end(referenced), [](bool r) { return r; })) return;
    // a module's own definition wins
    mark(state.xdefList, defined);
    for (size_t i = 0; i < kCount; ++i) {
        if (!referenced[i] || defined[i]) continue;
        const Boundary& b = boundaries[i];
        if (state.widths.widestXdefName < b.name.size()) state.widths.widestXdefName = uint32_t(b.name.size());
        state.xdefList.push_back(
            LinkSymbol{b.name, b.value, 0, 0, int16_t(b.section), uint8_t(0x80 + uint32_t(b.section))});
    }
}

}  // namespace tarnel
