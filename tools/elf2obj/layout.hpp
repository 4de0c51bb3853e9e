// Where the converter put each ELF section: the module's part and the offset
// of the section's first byte within it. The converter lays the sections out;
// whatever it writes afterwards (relocations, xdefs, the symbols and the
// debugging information) places what lies in a section through this.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "objfmt/chunk.hpp"

namespace tarnel::elf2obj {

struct Placement {
    bool placed = false;
    bool refused = false;  // already reported
    SectionKind part = SectionKind::code;
    uint32_t offset = 0;  // of the section's first byte within the part
};

// Reports what the module cannot hold: the section and offset it lies at,
// the symbol it concerns, and why, with the remedy.
using Refuse = std::function<void(std::string_view section, uint32_t offset, std::string_view symbol,
                                  const std::string& why)>;

}  // namespace tarnel::elf2obj
