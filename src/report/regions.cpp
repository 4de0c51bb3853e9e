// Prints, for example (a region's line only when its size was given):
//
//   Region     Start         Used         Size   Used
//   ROM    $00000000         1460       524288   0.28%
//   RAM    $20000000          120        65536   0.18%
#include "report/regions.hpp"

#include "driver/diag.hpp"
#include "objfmt/placement.hpp"

namespace tarnel {

void printRegionUsage(LinkState& state) {
    if (state.options.libraryMode) return;
    std::vector<RegionUsage> regions = regionUsage(state);
    std::erase_if(regions, [](const RegionUsage& r) { return !r.size; });
    if (regions.empty()) return;
    say(state, "\nRegion     Start         Used         Size   Used\n");
    for (const RegionUsage& r : regions) {
        const unsigned long long hundredths = usedHundredths(r);
        say(state, "%-6s $%08lx %12llu %12llu %3llu.%02llu%%\n", r.name, (unsigned long)r.start,
            (unsigned long long)r.used, (unsigned long long)*r.size, hundredths / 100, hundredths % 100);
    }
}

}  // namespace tarnel
