// The debugging sections of tarnel-elf's ELF: each section name's bytes from
// every module's `debug` chunk, concatenated in link order (each at a
// multiple of its alignment), with every relocation applied at the final
// address of its target: the module's part of a section (data where it runs),
// the start of the module's share of a debugging section, or the address of
// the definition a name resolved to. A chunk that cannot be read, or a
// relocation that cannot be applied, is an error naming the module.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "objfmt/state.hpp"

namespace tarnel::elf {

struct DebugSection {
    std::string name;
    uint32_t align = 1;
    std::string bytes;
};

std::vector<DebugSection> linkDebugSections(LinkState& state);

}  // namespace tarnel::elf
