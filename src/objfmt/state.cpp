#include "objfmt/state.hpp"

namespace tarnel {

void linkerStartup(LinkState& state) {
    state.modules.clear();
    state.modules.resize(kModuleSlots);
    state.moduleCount = 0;
    state.options.outputName = "a.out";
}

void linkerTeardown(LinkState& state) {
    state.xrefList = {};
    state.xdefList = {};
    state.librarySymbols = {};
    state.reloc16List = {};
    state.reloc32List = {};
    state.modules = std::vector<Module>();
    state.inputs.release();
}

}  // namespace tarnel
