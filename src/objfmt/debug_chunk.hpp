// The `debug` chunk: the debugging sections of the object a module was made
// from (.debug_info, .debug_line, ...), each with its bytes and the 32-bit
// fields a linker fills in: where a part of the module, another of its
// debugging sections or a named definition ends up. The link reads nothing
// of it; an ELF for a debugger concatenates each section over the modules in
// link order and fills the fields in at the final addresses.
//
// Payload, version 1, every word big-endian:
//
// | bytes | field                                                          |
// |-------|----------------------------------------------------------------|
// | 4     | version: 1                                                     |
// | 4     | S, the number of sections                                      |
// | 4     | G, the number of names                                         |
// | ...   | G names: a word N, then N bytes: the name, a NUL, zeros up to   |
// |       | a multiple of 4                                                |
// | ...   | S sections                                                     |
//
// Each section:
//
// | bytes | field                                                          |
// |-------|----------------------------------------------------------------|
// | 4     | N, the length of the name field                                |
// | N     | the section's name (".debug_info"), a NUL, zeros to a multiple of 4 |
// | 4     | alignment: the section starts at a multiple of it when concatenated; |
// |       | 0 (none) or a power of two up to 4096                          |
// | 4     | B, the number of bytes                                         |
// | 4     | R, the number of relocations                                   |
// | B     | the bytes, then zeros up to a multiple of 4                    |
// | 12 R  | R relocations                                                  |
//
// Each relocation fills the 32-bit field at `offset` in the section's bytes
// with the target's final address plus `addend`, modulo 2^32:
//
// | bytes | field                                                          |
// |-------|----------------------------------------------------------------|
// | 4     | offset of the field within the section's bytes                 |
// | 4     | target: the kind in bits 31..24, an index in bits 23..0        |
// | 4     | addend                                                         |
//
// | kind | target                                            | index          |
// |------|---------------------------------------------------|----------------|
// | 0    | the module's part of a section                    | section 0..4   |
// | 1    | this module's share of one of its debugging sections, counted from its start in the concatenated section | section 0..S-1 |
// | 2    | the definition a link takes for a name            | name 0..G-1    |
//
// A module holds at most one `debug` chunk; a reader takes the first.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "objfmt/payload_reader.hpp"

namespace tarnel {

constexpr uint32_t kDebugChunkVersion = 1;
constexpr uint32_t kDebugRelocSize = 12;
constexpr uint32_t kDebugIndexLimit = 1u << 24;  // an index fits the target word's low 24 bits
// Debugging sections are aligned to a few bytes at most; a larger alignment
// would only fill the ELF with zeros.
constexpr uint32_t kDebugAlignLimit = 4096;

constexpr bool debugAlignmentValid(uint32_t align) { return align <= kDebugAlignLimit && (align & (align - 1)) == 0; }

enum class DebugTarget : uint8_t { part = 0, debugSection = 1, name = 2 };

constexpr uint32_t debugTargetWord(DebugTarget kind, uint32_t index) { return uint32_t(kind) << 24 | index; }

struct DebugChunkHead {
    uint32_t sectionCount;  // S
    uint32_t nameCount;     // G
};

struct DebugReloc {
    uint32_t offset;
    uint8_t kind;
    uint32_t index;
    uint32_t addend;
};

struct DebugSection {
    NameField name;
    uint32_t align, size, relocCount;
    std::span<const uint8_t> bytes;    // B bytes
    std::span<const uint8_t> padding;  // the zeros after them, up to a multiple of 4
    std::span<const uint8_t> relocs;   // 12 R bytes

    DebugReloc reloc(uint32_t i) const;
};

// A `debug` payload as far as it can be read, front to back.
struct DebugChunk {
    std::optional<uint32_t> version;     // when the payload holds a version word
    std::optional<DebugChunkHead> head;  // when it is of version 1 and its counts fit
    std::vector<NameField> names;        // the names that fit, in order
    std::vector<DebugSection> sections;  // the sections that fit, in order
    PayloadWalkEnd end;

    bool whole() const { return end.status == PayloadWalkEnd::Status::whole; }
};

// Reads the payload; never reads outside it.
DebugChunk readDebugChunk(std::span<const uint8_t> payload);

}  // namespace tarnel
