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
    bool inRam = false;  // --ram=40000 with ROM mode
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
        // data in RAM: everything where it runs, RAM holding data, bss, base, bssb
        {"code, data in RAM: in ROM", true, S::code, V::program, 0x1000 + 0x10, true},
        {"data in RAM", true, S::data, V::program, 0x40000 + 0x20, true},
        {"bss in RAM: after all data", true, S::bss, V::program, 0x40000 + 0x40 + 0x8, true},
        {"base in RAM: after all bss, unbiased", true, S::base, V::program, 0x40000 + 0x60 + 0x4, true},
        {"bssb in RAM: after all base", true, S::bssb, V::program, 0x40000 + 0x60 + 0x30 + 0x2, true},
        {"base record in RAM: where it runs", true, S::base, V::relocation, 0x40000 + 0x60 + 0x4, true},
        {"data record in RAM", true, S::data, V::relocation, 0x40000 + 0x20, true},
        {"build information, base in RAM: where it runs", true, S::base, V::buildInfo, 0x40000 + 0x64, true},
        // where each part runs: the base region unbiased, at 0 or behind the bss fill
        {"run, code relocatable", false, S::code, V::run, 0x10},
        {"run, base relocatable: the region's offset", false, S::base, V::run, 0x4},
        {"run, bssb relocatable: after all base", false, S::bssb, V::run, 0x30 + 0x2},
        {"run, data in ROM", true, S::data, V::run, 0x1000 + 0x100 + 0x20},
        {"run, base in ROM: behind code, data and the bss fill", true, S::base, V::run, 0x1000 + 0x160 + 0x4},
        {"run, bssb in ROM", true, S::bssb, V::run, 0x1000 + 0x160 + 0x30 + 0x2},
        {"run, data in RAM", true, S::data, V::run, 0x40000 + 0x20, true},
        {"run, bssb in RAM", true, S::bssb, V::run, 0x40000 + 0x60 + 0x30 + 0x2, true},
    };
    for (const PlacementCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::ostringstream out;
        LinkState state(out);
        linkerStartup(state);
        Module& m = state.modules[1];
        m.codeAddr = 0x10, m.dataAddr = 0x20, m.bssAddr = 0x8, m.baseAddr = 0x4, m.bssbAddr = 0x2;
        state.layout = {0x100, 0x40, 0x20, 0x30, 0};
        state.options.romMode = c.romMode;
        state.options.romStart = c.romMode ? 0x1000 : 0;
        if (c.inRam) state.options.ramStart = 0x40000;
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
    EXPECT_EQ(partAddress(state, 0, 7, AddressView::run), 0u);
    linkerTeardown(state);
}

// Where `_base` puts the base region: behind all code, data and bss in a ROM
// image (with -b too), at 0 otherwise.
TEST(Placement, BaseRegionStart) {
    struct Row {
        bool romMode, bssInRom;
        uint32_t expected;
        bool inRam = false;  // --ram=40000, romStart 0x1000: counted from romStart
    };
    for (const Row& r : {Row{false, true, 0}, Row{true, true, 0x160}, Row{true, false, 0x160},
                         Row{true, true, 0x40000 - 0x1000 + 0x60, true}}) {
        std::ostringstream out;
        LinkState state(out);
        linkerStartup(state);
        state.layout = {0x100, 0x40, 0x20, 0x30, 0x10};
        state.options.romMode = r.romMode;
        state.options.bssInRom = r.bssInRom;
        if (r.inRam) {
            state.options.romStart = 0x1000;
            state.options.ramStart = 0x40000;
        }
        EXPECT_EQ(baseRegionStart(state), r.expected) << r.romMode << r.bssInRom << r.inRam;
        linkerTeardown(state);
    }
}

// The image holds code, data, the bss fill, base, the bssb fill in that
// order; -b leaves the fills out and the base bytes follow the data.
TEST(Placement, ImageLayout) {
    struct Row {
        const char* what;
        SectionTotals totals;
        bool bssInRom;
        uint32_t offset[5];
        bool inImage[5];
        uint32_t size;
        bool inRam = false;  // --ram=40000, romStart 0x1000
        uint32_t run[5] = {};
    };
    const Row rows[] = {
        {"every section", {0x20, 0x10, 8, 4, 4}, true, {0, 0x20, 0x30, 0x38, 0x3C}, {1, 1, 1, 1, 1}, 0x40},
        {"-b", {0x20, 0x10, 8, 4, 4}, false, {0, 0x20, 0x30, 0x30, 0x34}, {1, 1, 0, 1, 0}, 0x34},
        {"no data", {0x20, 0, 8, 0, 0}, true, {0, 0x20, 0x20, 0x28, 0x28}, {1, 1, 1, 1, 1}, 0x28},
        {"empty", {}, true, {0, 0, 0, 0, 0}, {1, 1, 1, 1, 1}, 0},
        // the image holds the bytes of code, data and base; the RAM runs data, bss, base, bssb
        {"data in RAM", {0x20, 0x10, 8, 4, 4}, true, {0, 0x20, 0x30, 0x30, 0x34}, {1, 1, 0, 1, 0}, 0x34, true,
         {0x1000, 0x40000, 0x40010, 0x40018, 0x4001C}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::ostringstream out;
        LinkState state(out);
        linkerStartup(state);
        state.layout = r.totals;
        state.options.romMode = true;
        state.options.bssInRom = r.bssInRom;
        if (r.inRam) {
            state.options.romStart = 0x1000;
            state.options.ramStart = 0x40000;
        }
        const ImageLayout image = imageLayout(state);
        for (uint32_t s = 0; s < kSectionCount; ++s) {
            EXPECT_EQ(image.section[s].imageOffset, r.offset[s]) << sectionName(s);
            EXPECT_EQ(image.section[s].inImage, r.inImage[s]) << sectionName(s);
            EXPECT_EQ(image.section[s].size, sectionTotal(state, s)) << sectionName(s);
            EXPECT_EQ(image.section[s].loadAddress, state.options.romStart + r.offset[s]) << sectionName(s);
            // without RAM a section runs where the image holds it, the base region behind the bss
            const uint32_t run = r.inRam ? r.run[s]
                                 : s >= 3 ? baseRegionStart(state) + (s == 4 ? r.totals.baseTotal : 0)
                                          : r.offset[s];
            EXPECT_EQ(image.section[s].runAddress, run) << sectionName(s);
        }
        EXPECT_EQ(image.size, r.size);
        linkerTeardown(state);
    }
}

}  // namespace
}  // namespace tarnel::test
