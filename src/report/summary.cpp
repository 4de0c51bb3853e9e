#include "report/summary.hpp"

#include "driver/diag.hpp"

namespace tarnel {

uint32_t summaryCodeSize(const LinkState& state, const WrittenOutput& output) {
    if (state.options.libraryMode) {
        if (!output.created) return 0;
        uint32_t size = 0;
        for (uint32_t i = 0; i < state.moduleCount; ++i) {
            const Module& m = state.modules[i];
            size += m.codeSize + m.dataSize + m.baseSize + m.bssSize + m.bssbSize;
        }
        return size;
    }
    // bss and bssb as the loader ran them up
    return state.layout.codeTotal + state.layout.dataTotal + state.layout.baseTotal + state.layout.bssTotal + state.layout.bssbTotal;
}

void printSummary(LinkState& state, const WrittenOutput& output) {
    const uint32_t codeSize = summaryCodeSize(state, output);
    say(state, "tarnel complete - Maximum code size = %ld ($%08lx) bytes\n\n", long(codeSize),
        (unsigned long)codeSize);
    // a ROM image reports the image size, whatever the file holds
    const uint32_t fileSize = state.options.romMode ? codeSize : output.bytes;
    say(state, "Maximum file size = %ld ($%08lx) bytes\n", long(fileSize), (unsigned long)fileSize);
}

}  // namespace tarnel
