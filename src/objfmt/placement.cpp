#include "objfmt/placement.hpp"

#include "objfmt/chunk.hpp"

namespace tarnel {

namespace {

bool inBaseRegion(uint32_t section) {
    return section == uint32_t(SectionKind::base) || section == uint32_t(SectionKind::bssb);
}

// Where a merged section's first part starts in the program's own address
// space (base and bssb: in the base region).
uint32_t mergedStart(const LinkState& state, uint32_t section) {
    const SectionTotals& t = state.layout;
    switch (SectionKind(section)) {
    case SectionKind::data: return state.options.romMode ? t.codeTotal : 0;
    case SectionKind::bss: return state.options.romMode ? t.codeTotal + t.dataTotal : 0;
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

uint32_t partAddress(const LinkState& state, uint32_t module, uint32_t section, AddressView view) {
    const uint32_t romStart = state.options.romStart;  // 0 outside ROM mode in every link
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
    }
    return 0;
}

uint32_t baseRegionStart(const LinkState& state) {
    const SectionTotals& t = state.layout;
    return state.options.romMode ? t.codeTotal + t.dataTotal + t.bssTotal : 0;
}

ImageLayout imageLayout(const LinkState& state) {
    ImageLayout image{};
    uint32_t offset = 0;
    for (uint32_t s = 0; s < kSectionCount; ++s) {
        const bool fill = s == uint32_t(SectionKind::bss) || s == uint32_t(SectionKind::bssb);
        SectionPlace& place = image.section[s];
        place.size = sectionTotal(state, s);
        place.imageOffset = offset;
        place.inImage = !fill || state.options.bssInRom;
        if (place.inImage) offset += place.size;
    }
    image.size = offset;
    return image;
}

}  // namespace tarnel
