#include "link/layout.hpp"

#include "driver/diag.hpp"
#include "objfmt/chunk.hpp"

namespace tarnel {

namespace {
constexpr uint32_t kBaseLimit = 0x10000;
}

void layoutSections(LinkState& state) {
    state.codeTotal = state.dataTotal = state.bssTotal = state.baseTotal = state.bssbTotal = 0;
    for (Module& m : state.modules) state.codeTotal += m.codeSize;
    for (Module& m : state.modules) {
        if (state.romMode) m.dataAddr += state.codeTotal;
        state.dataTotal += m.dataSize;
    }
    for (Module& m : state.modules) {
        if (state.romMode) m.bssAddr += state.codeTotal + state.dataTotal;
        state.bssTotal += m.bssSize;
    }
    for (Module& m : state.modules) state.baseTotal += m.baseSize;
    // the base region holds all base parts, then all bssb parts
    for (Module& m : state.modules) {
        m.bssbAddr += state.baseTotal;
        state.bssbTotal += m.bssbSize;
    }
}

void checkBaseSize(LinkState& state) {
    if (state.baseTotal > kBaseLimit) reportError(state, "Merged data > 64k\n");
}

void defineBaseSymbol(LinkState& state) {
    if (state.baseTotal == 0) return;
    // a base register loaded with _base reaches base byte X at X - 0x8000
    uint32_t value = kBaseLimit;
    if (state.romMode) value += state.codeTotal + state.dataTotal + state.bssTotal;
    constexpr std::string_view name = "_base";
    if (state.widestXdefName < name.size()) state.widestXdefName = uint32_t(name.size());
    // appended last, so a module's own _base wins the lookup
    state.xdefList.push_back(LinkSymbol{name, value, 0, 0,
                                        int16_t(SectionKind::base), uint8_t(0x80 + uint32_t(SectionKind::base))});
}

uint32_t sectionStart(const LinkState& state, uint32_t module, uint32_t section) {
    if (section >= kSectionCount || module >= state.modules.size()) return 0;
    return state.modules[module].*kSectionFields[section].addr;
}

uint32_t biasedStart(const LinkState& state, uint32_t module, uint32_t section) {
    uint32_t start = sectionStart(state, module, section);
    if (section == uint32_t(SectionKind::base) || section == uint32_t(SectionKind::bssb))
        start += uint32_t(LinkState::baseBias);
    return start;
}

}  // namespace tarnel
