// Inside the workload generator: the plan of a workload, shared by the two
// object formats it writes (the linker's chunk files and, for the peer
// linker, ELF relocatable files of the same content).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "objfmt/chunk.hpp"
#include "workload.hpp"

namespace tarnel::bench {

struct Definition {
    std::string name;
    SectionKind section;  // code, data or bss
    uint32_t module;
    uint32_t value;  // offset in the module's part of the section
};

// One place in a module's code that refers to a definition.
struct Site {
    uint32_t definition;
    uint8_t type;  // LINK_ABS32, LINK_PCREL32 or LINK_PCREL16
    uint32_t offset;
};

// A 32-bit code field holding an offset into the module's own part of `to`.
struct LocalReloc {
    SectionKind to;
    uint32_t offset;
    uint32_t target;
};

struct ModulePlan {
    uint32_t codeSize = 0, dataSize = 0, bssSize = 0;
    uint32_t codeAddr = 0;  // start of its code in the merged code section
    std::vector<uint32_t> definitions;
    std::vector<Site> sites;
    std::vector<LocalReloc> relocs;
    std::vector<bool> taken;  // per 2-byte unit of code: inside a patched field
};

struct WorkloadPlan {
    std::vector<ModulePlan> modules;
    std::vector<Definition> definitions;
};

inline uint32_t fieldWidth(uint8_t type) { return type == LINK_PCREL16 ? 2 : 4; }

// The code and data bytes of a module: random, with every referencing field
// zero and every local relocation field holding its target offset.
struct SectionBytes {
    std::vector<uint8_t> code, data;
};
SectionBytes sectionBytes(uint32_t index, const ModulePlan& m, uint64_t seed);

// The module as an ELF 32-bit big-endian relocatable file for the m68k family.
std::vector<uint8_t> buildElfModule(uint32_t index, const WorkloadPlan& plan, uint64_t seed);

}  // namespace tarnel::bench
