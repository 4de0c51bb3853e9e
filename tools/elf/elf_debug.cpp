#include "elf_debug.hpp"

#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "driver/diag.hpp"
#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/debug_chunk.hpp"
#include "objfmt/placement.hpp"
#include "objfmt/symbol_sizes.hpp"

namespace tarnel::elf {

namespace {

// A module's `debug` chunk, read, and where each of its sections starts in
// the concatenated section of its name.
struct ModuleDebug {
    uint32_t module;
    DebugChunk chunk;
    std::vector<uint32_t> out;    // by section: the ELF section it goes to
    std::vector<uint32_t> start;  // by section: its offset there
};

const char* fileOf(const LinkState& state, uint32_t module) { return state.modules[module].fileName->c_str(); }

// The chunks of the modules that carry one, each read whole; the others are
// reported.
std::vector<ModuleDebug> readChunks(LinkState& state) {
    std::vector<ModuleDebug> modules;
    for (uint32_t m = 0; m < state.moduleCount; ++m) {
        const Module& mod = state.modules[m];
        if (mod.debugChunk.empty()) continue;
        DebugChunk chunk = readDebugChunk(mod.debugChunk);
        if (chunk.end.status == PayloadWalkEnd::Status::otherVersion)
            reportError(state, "Debug chunk of version %u in %s; tarnel-elf reads version 1\n", *chunk.version,
                        fileOf(state, m));
        else if (!chunk.whole())
            reportError(state, "Malformed debug chunk in %s: %s runs past the payload\n", fileOf(state, m),
                        chunk.end.what);
        else
            modules.push_back({m, std::move(chunk), {}, {}});
    }
    return modules;
}

// Lays every module's sections out in the ELF's debugging sections, named
// in the order first met, each piece at a multiple of its alignment.
std::vector<DebugSection> layOut(LinkState& state, std::vector<ModuleDebug>& modules) {
    std::vector<DebugSection> sections;
    std::map<std::string_view, uint32_t> byName;
    for (ModuleDebug& md : modules) {
        for (const tarnel::DebugSection& s : md.chunk.sections) {
            if (!debugAlignmentValid(s.align)) {
                reportError(state,
                            "Debugging section %.*s in %s is aligned to %u bytes; tarnel-elf takes 0 or a power of "
                            "two up to %u\n",
                            int(s.name.name.size()), s.name.name.data(), fileOf(state, md.module), s.align,
                            kDebugAlignLimit);
                return {};
            }
            auto [it, added] = byName.try_emplace(s.name.name, uint32_t(sections.size()));
            if (added) sections.push_back({std::string(s.name.name), 1, {}});
            DebugSection& out = sections[it->second];
            const uint64_t align = s.align == 0 ? 1 : s.align;
            const uint64_t start = (out.bytes.size() + align - 1) / align * align;
            if (start + s.size > UINT32_MAX) {
                reportError(state, "Debugging section %s does not fit in 32 bits with %s\n", out.name.c_str(),
                            fileOf(state, md.module));
                return {};
            }
            out.bytes.resize(size_t(start), '\0');
            out.bytes.append(reinterpret_cast<const char*>(s.bytes.data()), s.bytes.size());
            if (align > out.align) out.align = uint32_t(align);
            md.out.push_back(it->second);
            md.start.push_back(uint32_t(start));
        }
    }
    return sections;
}

// The address of the first definition of each name: the one references
// resolve to.
using Definitions = std::unordered_map<std::string_view, uint32_t>;
Definitions firstDefinitions(const LinkState& state) {
    const std::vector<uint32_t> address = definitionAddresses(state);
    Definitions first;
    for (uint32_t i = 0; i < state.xdefList.size(); ++i) first.try_emplace(state.xdefList[i].name, address[i]);
    return first;
}

// Where a relocation's target ends up: the module's part of a section as
// every address of the link gives it (data where it runs), the start of the
// module's share of one of its debugging sections, or the definition of a
// name. Nothing, with why, for a target the module does not have.
std::optional<uint32_t> targetAddress(const LinkState& state, const ModuleDebug& md, const DebugReloc& r,
                                      const Definitions& definitions, std::string& why) {
    switch (DebugTarget(r.kind)) {
    case DebugTarget::part:
        if (r.index < kSectionCount) return partAddress(state, md.module, r.index, AddressView::program);
        break;
    case DebugTarget::debugSection:
        if (r.index < md.start.size()) return md.start[r.index];
        break;
    case DebugTarget::name:
        if (r.index >= md.chunk.names.size()) break;
        if (auto it = definitions.find(md.chunk.names[r.index].name); it != definitions.end()) return it->second;
        why = std::string(md.chunk.names[r.index].name) + " is defined by no module";
        return std::nullopt;
    }
    why = "its target, kind " + std::to_string(r.kind) + " index " + std::to_string(r.index) +
          ", is nothing the module has";
    return std::nullopt;
}

}  // namespace

std::vector<DebugSection> linkDebugSections(LinkState& state) {
    std::vector<ModuleDebug> modules = readChunks(state);
    if (modules.empty()) return {};
    std::vector<DebugSection> sections = layOut(state, modules);
    if (sections.empty()) return {};
    const Definitions definitions = firstDefinitions(state);

    // compute each field's value, check its target and its place, write it
    for (const ModuleDebug& md : modules) {
        const char* file = fileOf(state, md.module);
        for (size_t si = 0; si < md.chunk.sections.size(); ++si) {
            const tarnel::DebugSection& s = md.chunk.sections[si];
            for (uint32_t ri = 0; ri < s.relocCount; ++ri) {
                const DebugReloc r = s.reloc(ri);
                std::string why;
                const std::optional<uint32_t> target = targetAddress(state, md, r, definitions, why);
                if (target && uint64_t(r.offset) + 4 > s.size) why = "its field runs past the section";
                if (!why.empty()) {
                    reportError(state, "Debug relocation at $%08x in %s of %s: %s\n", r.offset,
                                std::string(s.name.name).c_str(), file, why.c_str());
                    continue;
                }
                auto* field = reinterpret_cast<uint8_t*>(sections[md.out[si]].bytes.data()) + md.start[si] + r.offset;
                writeWordBE(field, *target + r.addend);
            }
        }
    }
    return sections;
}

}  // namespace tarnel::elf
