// Prints, for example (names right-aligned to the widest name field):
//
//   Map listing for prog
//
//   xdef (external definition)
//      xdef initial calculated section   module  internal (filename)
//   ----------------------------------------------------------------
//     start 00000000(00000000), code, in module: main (main.o)
//
//   xref (external reference)
//      xref  value  section     access            module  internal (filename)
//   -------------------------------------------------------------------------
//    printf 00000012, code, absolute   32-bit, in module: main (main.o)
//
//   relocation table
//   -------------------------------------------------------------------------
//       block code offset 00000014, value 00000120 (32-bit)
#include "report/linkmap.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "objfmt/chunk.hpp"
#include "objfmt/placement.hpp"
#include "report/text.hpp"

namespace tarnel {

namespace {

constexpr uint32_t kInitialWidth = 6;

// Widens a heading or rule by how much the widest name exceeds six.
uint32_t extra(uint32_t width) { return width > kInitialWidth ? width - kInitialWidth : 0; }

// The end of every xdef and xref line, made once per module:
// ", in module: NAME (FILE)\n", with "-" for a name or file it lacks.
std::vector<std::string> moduleLineEnds(const LinkState& state) {
    // symbols only name slots up to the one loaded last
    std::vector<std::string> ends(std::min<size_t>(state.moduleCount + 1, state.modules.size()));
    for (size_t i = 0; i < ends.size(); ++i) {
        const Module& m = state.modules[i];
        ends[i] = std::string(", in module: ") + (m.moduleName ? *m.moduleName : "-") + " (" +
                  (m.fileName ? *m.fileName : "-") + ")\n";
    }
    return ends;
}

// Where a symbol's part of its section lies, as the map shows addresses.
uint32_t symbolBase(const LinkState& state, const LinkSymbol& s) {
    return partAddress(state, uint32_t(s.module), uint32_t(uint16_t(s.section)), AddressView::program);
}

// The display texts of sections 0..4, then of any other number.
struct SectionTexts {
    std::string_view text[kSectionCount + 1];
    SectionTexts() {
        for (uint32_t s = 0; s <= kSectionCount; ++s) text[s] = sectionDisplay(s);
    }
    std::string_view operator[](uint32_t s) const { return text[s < kSectionCount ? s : kSectionCount]; }
};

void relocLines(TextBuffer& t, const RelocList& list, std::string_view width) {
    const SectionTexts sections;
    for (const RelocEntry& r : list) {
        t << "    block " << sections[r.fromSection] << " offset ";
        t.hex8(r.offset) << ", value ";
        t.hex8(r.value) << width;
    }
}

}  // namespace

void printLinkMap(LinkState& state) {
    TextBuffer t(state.out);
    const std::vector<std::string> lineEnds = moduleLineEnds(state);
    const uint32_t w = state.widths.widestXdefName, w2 = state.widths.widestXrefName;
    const SectionTexts sections;
    std::string_view access[11];
    for (uint32_t type = 0; type <= 10; ++type) access[type] = accessDisplay(type);
    t << "\n\nMap listing for " << state.options.outputName << "\n\n";

    t << "xdef (external definition)\n";
    t.repeat(' ', extra(w)) << "   xdef " << "initial calculated section   module  internal (filename)\n";
    t.repeat('-', extra(w) + 64) << "\n";
    for (const LinkSymbol& s : state.xdefList) {
        t << " ";
        t.padded(s.name, w) << " ";
        t.hex8(s.value) << "(";
        t.hex8(s.value + symbolBase(state, s)) << "), " << sections[uint32_t(uint16_t(s.section))];
        t << lineEnds[uint32_t(s.module)];
    }
    t << "\n";

    t << "xref (external reference)\n";
    t.repeat(' ', extra(w2)) << "   xref " << " value  section     access            module  internal (filename)\n";
    t.repeat('-', extra(w2) + 73) << "\n";
    for (const LinkSymbol& s : state.xrefList) {
        t << " ";
        t.padded(s.name, w2) << " ";
        t.hex8(s.value) << ", " << sections[uint32_t(uint16_t(s.section))] << ", " << (s.type <= 10 ? access[s.type] : "");
        t << lineEnds[uint32_t(s.module)];
    }

    if (state.options.romMode)
        t << "\nrelocation table (note: these have already been resolved due to ROM mode)\n";
    else
        t << "\nrelocation table\n";
    t.repeat('-', 73) << "\n";
    relocLines(t, state.reloc16List, " (16-bit)\n");
    relocLines(t, state.reloc32List, " (32-bit)\n");

    if (state.libraryLinked) {
        t << "\nlibrary members included\n";
        t.repeat('-', 73) << "\n";
        for (const LibraryPull& p : state.libraryPulls)
            t << " " << p.member << " to satisfy " << p.symbol << " (referenced in " << p.referencedBy << ")\n";
    }
}

}  // namespace tarnel
