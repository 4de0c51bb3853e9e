// The `symbol` and `debug` chunks of a converted module. The `symbol` chunk
// holds the object's symbols as its symbol table has them, placed in the
// module's parts. The `debug` chunk holds the object's debugging sections
// (.debug_*) and their R_68K_32 relocations, each re-expressed against what
// a link of modules can name: the module's part of a section, another of the
// module's debugging sections, or a name (a global or undefined symbol).
// What cannot be expressed so is refused with the reason and the remedy.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "elf_file.hpp"
#include "layout.hpp"

namespace tarnel::elf2obj {

// A debugging section: .debug_* or its compressed form .zdebug_*, not loaded.
bool isDebugSection(const elf::Section& section);
// Whether the object holds any.
bool hasDebugSections(const elf::File& file);

struct DebugChunks {
    std::vector<uint8_t> symbols, debug;  // the two payloads
};

// The payloads for an object with debugging sections, laid out as
// `placements` says (by ELF section index); the source file is `fileName`.
// Each refusal goes to `refuse`; the payloads mean nothing after one.
DebugChunks convertDebugInfo(const elf::File& file, std::span<const Placement> placements, std::string_view fileName,
                             const Refuse& refuse);

}  // namespace tarnel::elf2obj
