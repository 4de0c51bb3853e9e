#include "link/regions.hpp"

#include <string_view>

#include "driver/diag.hpp"
#include "objfmt/placement.hpp"

namespace tarnel {

void checkMemoryOptions(LinkState& state) {
    const LinkOptions& o = state.options;
    struct Given {
        const char* name;
        bool given;
    };
    const Given options[] = {{"--ram", bool(o.ramStart)}, {"--rom-size", bool(o.romSize)}, {"--ram-size", bool(o.ramSize)}};
    if (o.libraryMode) {
        // a library is not placed anywhere
        for (const Given& g : options)
            if (g.given) reportError(state, "Option %s does not go with -g\n", g.name);
        return;
    }
    if (o.ramStart && !o.romMode) reportError(state, "Option --ram needs -r or -s\n");
    if (o.romSize && !o.romMode) reportError(state, "Option --rom-size needs -r or -s\n");
    if (o.ramSize && !o.ramStart) reportError(state, "Option --ram-size needs --ram\n");
}

void checkRegions(LinkState& state) {
    for (const RegionUsage& r : regionUsage(state)) {
        if (!r.size || r.used <= *r.size) continue;
        const bool rom = std::string_view(r.name) == "ROM";
        reportError(state,
                    rom ? "ROM region of %llu bytes overflowed by %llu bytes\n"
                        : "RAM region of %llu bytes overflowed by %llu bytes\n",
                    (unsigned long long)*r.size, (unsigned long long)(r.used - *r.size));
    }
    if (!inRam(state)) return;
    // the RAM and the image may not share an address
    const uint64_t romStart = state.options.romStart, romEnd = romStart + imageLayout(state).size;
    const uint64_t ramStart = *state.options.ramStart, ramEnd = ramStart + ramUsed(state);
    if (romStart < romEnd && ramStart < ramEnd && ramStart < romEnd && romStart < ramEnd)
        reportError(state, "RAM at $%08lx-$%08lx overlaps the ROM image at $%08lx-$%08lx\n", (unsigned long)ramStart,
                    (unsigned long)ramEnd, (unsigned long)romStart, (unsigned long)romEnd);
}

}  // namespace tarnel
