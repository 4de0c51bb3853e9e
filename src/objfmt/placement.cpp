#include "objfmt/placement.hpp"

#include "objfmt/chunk.hpp"

namespace tarnel {

namespace {

bool inBaseRegion(uint32_t section) {
    return section == uint32_t(SectionKind::base) || section == uint32_t(SectionKind::bssb);
}

}  // namespace

uint32_t sectionStart(const LinkState& state, uint32_t module, uint32_t section) {
    if (section >= kSectionCount || module >= state.modules.size()) return 0;
    uint32_t start = state.modules[module].*kSectionFields[section].addr;
    switch (SectionKind(section)) {
    case SectionKind::data: return state.options.romMode ? start + state.layout.codeTotal : start;
    case SectionKind::bss: return state.options.romMode ? start + state.layout.codeTotal + state.layout.dataTotal : start;
    case SectionKind::bssb: return start + state.layout.baseTotal;  // the base region holds all base, then all bssb
    default: return start;
    }
}

uint32_t biasedStart(const LinkState& state, uint32_t module, uint32_t section) {
    uint32_t start = sectionStart(state, module, section);
    return inBaseRegion(section) ? start + uint32_t(LinkState::baseBias) : start;
}

uint32_t partAddress(const LinkState& state, uint32_t module, uint32_t section, AddressView view) {
    switch (view) {
    case AddressView::program: return biasedStart(state, module, section) + state.options.romStart;
    case AddressView::relocation:
        // a record to no section adds nothing
        if (section >= kSectionCount || module >= state.modules.size()) return 0;
        // outside ROM mode romStart is 0 in every link
        if (!state.options.romMode) return biasedStart(state, module, section);
        if (inBaseRegion(section))
            return sectionStart(state, module, section) + state.layout.codeTotal + state.layout.dataTotal + state.options.romStart;
        return sectionStart(state, module, section) + state.options.romStart;
    case AddressView::buildInfo:
        return inBaseRegion(section) ? biasedStart(state, module, section)
                                     : sectionStart(state, module, section) + state.options.romStart;
    }
    return 0;
}

}  // namespace tarnel
