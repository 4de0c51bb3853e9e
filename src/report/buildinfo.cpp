// Prints, for example:
//
//   Build information for prog (cpu: 5206)
//       main  1.000 code $00000000-$00000120 Size:      288 (07-Dec-2026)
//     -  0.000 data $00000000-$00000010 Size:       16 (07-Dec-2026)
#include "report/buildinfo.hpp"

#include "driver/diag.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/placement.hpp"

namespace tarnel {

std::string padName(std::string_view name, uint32_t width) {
    std::string line;
    if (name.size() < width) line.assign(width - name.size(), ' ');
    line.append(name);
    return line;
}

namespace {

struct InfoPass {
    SectionKind section;
    const char* format;
};

// "(??-???-????)", spelled so that no trigraph is read
constexpr const char* kNoDate = "(\?\?-\?\?\?-\?\?\?\?)";

constexpr InfoPass kPasses[] = {
    {SectionKind::code, " %s %6s code $%08lx-$%08lx Size: %8ld %s\n"},
    {SectionKind::data, " %s %6s data $%08lx-$%08lx Size: %8ld %s\n"},
    {SectionKind::bss, " %s %6s bss  $%08lx-$%08lx Size: %8ld %s\n"},
    {SectionKind::base, " %s %6s base $%08lx-$%08lx Size: %8ld %s\n"},
    {SectionKind::bssb, " %s %6s bssb $%08lx-$%08lx Size: %8ld %s\n"},
};

}  // namespace

void printBuildInfo(LinkState& state) {
    say(state, "\n");
    say(state, "Build information for %s ", state.options.outputName.c_str());
    uint32_t id = state.processorId;
    if ((id & 0xF) != 0)
        say(state, "(cpu: %04lx%lx)\n", (unsigned long)(id >> 16), (unsigned long)(id & 0xF));
    else
        say(state, "(cpu: %04lx)\n", (unsigned long)(id >> 16));
    for (const InfoPass& pass : kPasses) {
        const SectionFields& f = kSectionFields[uint32_t(pass.section)];
        for (uint32_t i = 0; i < state.moduleCount; ++i) {
            const Module& m = state.modules[i];
            if ((m.*f.chunk).empty()) continue;
            uint32_t start = partAddress(state, i, uint32_t(pass.section), AddressView::buildInfo);
            uint32_t size = m.*f.size;
            std::string name = padName(m.moduleName ? *m.moduleName : "-", state.widths.widestModuleName);
            say(state, pass.format, name.c_str(), m.version ? m.version->c_str() : " 0.000",
                (unsigned long)start, (unsigned long)(uint32_t(start + size)), (long)size,
                m.date ? m.date->c_str() : kNoDate);
        }
    }
    say(state, "\n");
}

}  // namespace tarnel
