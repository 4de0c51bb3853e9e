// Where each module part lies as each reader sees it: one row per section,
// mode and reader, on a two-module link whose second module's offsets are
// those the loader gave it.
#include <gtest/gtest.h>

#include <sstream>

#include "objfmt/chunk.hpp"
#include "objfmt/placement.hpp"

namespace tarnel::test {
namespace {

struct PlacementCase {
    const char* what;
    bool romMode;
    SectionKind section;
    AddressView view;
    uint32_t expected;
};

TEST(Placement, EveryReaderSeesItsOwnAddressOfAPart) {
    using S = SectionKind;
    using V = AddressView;
    // module 1 starts at these offsets in its merged sections; all code is
    // 0x100, all data 0x40, all bss 0x20, all base 0x30
    const PlacementCase cases[] = {
        {"code, relocatable", false, S::code, V::program, 0x10},
        {"data, relocatable: counts from the merged data", false, S::data, V::program, 0x20},
        {"bss, relocatable", false, S::bss, V::program, 0x8},
        {"base: biased", false, S::base, V::program, 0x4 - 0x8000u},
        {"bssb: after all base, biased", false, S::bssb, V::program, 0x30 + 0x2 - 0x8000u},
        {"base record, relocatable: biased", false, S::base, V::relocation, 0x4 - 0x8000u},
        {"code in ROM: romStart added", true, S::code, V::program, 0x1000 + 0x10},
        {"data in ROM: after all code", true, S::data, V::program, 0x1000 + 0x100 + 0x20},
        {"bss in ROM: after all code and data", true, S::bss, V::program, 0x1000 + 0x140 + 0x8},
        {"base in ROM: biased, with romStart", true, S::base, V::program, 0x1000 + 0x4 - 0x8000u},
        {"data record in ROM", true, S::data, V::relocation, 0x1000 + 0x100 + 0x20},
        {"base record in ROM: after code and data, unbiased, bss not counted", true, S::base, V::relocation,
         0x1000 + 0x140 + 0x4},
        {"bssb record in ROM", true, S::bssb, V::relocation, 0x1000 + 0x140 + 0x30 + 0x2},
        {"build information, data in ROM", true, S::data, V::buildInfo, 0x1000 + 0x120},
        {"build information, base in ROM: biased offset, no romStart", true, S::base, V::buildInfo,
         0x4 - 0x8000u},
        {"build information, bssb in ROM", true, S::bssb, V::buildInfo, 0x32 - 0x8000u},
    };
    for (const PlacementCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::ostringstream out;
        LinkState state(out);
        linkerStartup(state);
        Module& m = state.modules[1];
        m.codeAddr = 0x10, m.dataAddr = 0x20, m.bssAddr = 0x8, m.baseAddr = 0x4, m.bssbAddr = 0x2;
        state.layout.codeTotal = 0x100, state.layout.dataTotal = 0x40, state.layout.bssTotal = 0x20, state.layout.baseTotal = 0x30;
        state.options.romMode = c.romMode;
        state.options.romStart = c.romMode ? 0x1000 : 0;
        EXPECT_EQ(partAddress(state, 1, uint32_t(c.section), c.view), c.expected);
        linkerTeardown(state);
    }
}

TEST(Placement, ASectionOutsideTheFiveStartsAtZero) {
    std::ostringstream out;
    LinkState state(out);
    linkerStartup(state);
    state.options.romMode = true;
    state.options.romStart = 0x1000;
    EXPECT_EQ(partAddress(state, 0, 7, AddressView::program), 0x1000u);  // an absolute field still gets romStart
    EXPECT_EQ(partAddress(state, 0, 7, AddressView::relocation), 0u);    // a record to no section adds nothing
    linkerTeardown(state);
}

}  // namespace
}  // namespace tarnel::test
