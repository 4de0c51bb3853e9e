#include "objfmt/placement.hpp"

#include <algorithm>

#include "objfmt/chunk.hpp"

namespace tarnel {

namespace {

bool inBaseRegion(uint32_t section) {
    return section == uint32_t(SectionKind::base) || section == uint32_t(SectionKind::bssb);
}

// The start of the RAM, counted from romStart as the program's own offsets
// are: data, bss, base and bssb follow one another from there.
uint32_t ramOffset(const LinkState& state) { return *state.options.ramStart - state.options.romStart; }

// Where a merged section's first part starts in the program's own address
// space (base and bssb: in the base region).
uint32_t mergedStart(const LinkState& state, uint32_t section) {
    const SectionTotals& t = state.layout;
    const bool rom = state.options.romMode, ram = inRam(state);
    switch (SectionKind(section)) {
    case SectionKind::data: return ram ? ramOffset(state) : rom ? t.codeTotal : 0;
    case SectionKind::bss: return ram ? ramOffset(state) + t.dataTotal : rom ? t.codeTotal + t.dataTotal : 0;
    case SectionKind::bssb: return t.baseTotal;  // the base region holds all base, then all bssb
    default: return 0;
    }
}

}  // namespace

uint32_t sectionStart(const LinkState& state, uint32_t module, uint32_t section) {
    if (section >= kSectionCount || module >= state.modules.size()) return 0;
    return mergedStart(state, section) + state.modules[module].*kSectionFields[section].addr;
}

uint32_t biasedStart(const LinkState& state, uint32_t module, uint32_t section) {
    uint32_t start = sectionStart(state, module, section);
    return inBaseRegion(section) ? start + uint32_t(LinkState::baseBias) : start;
}

bool inRam(const LinkState& state) { return state.options.romMode && state.options.ramStart.has_value(); }

uint32_t partAddress(const LinkState& state, uint32_t module, uint32_t section, AddressView view) {
    const uint32_t romStart = state.options.romStart;  // 0 outside ROM mode in every link
    // with the data in RAM every reader sees every part where it runs
    if (inRam(state) && inBaseRegion(section))
        return romStart + baseRegionStart(state) + sectionStart(state, module, section);
    switch (view) {
    case AddressView::program: return biasedStart(state, module, section) + romStart;
    case AddressView::relocation:
        // a record to no section adds nothing
        if (section >= kSectionCount || module >= state.modules.size()) return 0;
        if (state.options.romMode && inBaseRegion(section))
            return sectionStart(state, module, section) + state.layout.codeTotal + state.layout.dataTotal + romStart;
        return biasedStart(state, module, section) + romStart;
    case AddressView::buildInfo:
        return inBaseRegion(section) ? biasedStart(state, module, section)
                                     : sectionStart(state, module, section) + romStart;
    case AddressView::run:
        if (section >= kSectionCount || module >= state.modules.size()) return 0;
        return runAddress(state, section) + state.modules[module].*kSectionFields[section].addr;
    }
    return 0;
}

std::vector<PartStarts> partStarts(const LinkState& state) {
    std::vector<PartStarts> starts(std::max<uint32_t>(state.moduleCount, 1));
    for (uint32_t m = 0; m < starts.size(); ++m)
        for (uint32_t s = 0; s < kSectionCount; ++s) {
            starts[m].biased[s] = biasedStart(state, m, s);
            starts[m].program[s] = partAddress(state, m, s, AddressView::program);
        }
    return starts;
}

uint32_t baseRegionStart(const LinkState& state) {
    const SectionTotals& t = state.layout;
    if (inRam(state)) return ramOffset(state) + t.dataTotal + t.bssTotal;
    return state.options.romMode ? t.codeTotal + t.dataTotal + t.bssTotal : 0;
}

uint32_t runAddress(const LinkState& state, uint32_t section) {
    if (!inBaseRegion(section)) return mergedStart(state, section) + state.options.romStart;
    return state.options.romStart + baseRegionStart(state) + mergedStart(state, section);
}

ImageLayout imageLayout(const LinkState& state) {
    ImageLayout image{};
    uint32_t offset = 0;
    for (uint32_t s = 0; s < kSectionCount; ++s) {
        // zero fills only where the data runs from the image, and not with -b
        const bool fill = s == uint32_t(SectionKind::bss) || s == uint32_t(SectionKind::bssb);
        SectionPlace& place = image.section[s];
        place.size = sectionTotal(state, s);
        place.imageOffset = offset;
        place.inImage = !fill || (state.options.bssInRom && !inRam(state));
        place.runAddress = runAddress(state, s);
        place.loadAddress = state.options.romStart + offset;
        if (place.inImage) offset += place.size;
    }
    image.size = offset;
    return image;
}

uint64_t ramUsed(const LinkState& state) {
    const SectionTotals& t = state.layout;
    return uint64_t(t.dataTotal) + t.bssTotal + t.baseTotal + t.bssbTotal;
}

std::vector<RegionUsage> regionUsage(const LinkState& state) {
    std::vector<RegionUsage> regions;
    const LinkOptions& o = state.options;
    if (o.romMode) regions.push_back({"ROM", o.romStart, imageLayout(state).size, o.romSize});
    if (inRam(state)) regions.push_back({"RAM", *o.ramStart, ramUsed(state), o.ramSize});
    return regions;
}

}  // namespace tarnel
