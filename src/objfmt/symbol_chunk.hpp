// The `symbol` chunk: the symbols of the object a module was made from, as
// that object's own symbol table has them (its local functions, variables
// and labels, and the type and size of its globals), placed in the module's
// parts, with the name of the source file. The link reads nothing of it; a
// debugger's view of the program does, and so do the definitions' sizes
// where a module carries it.
//
// Payload, version 1, every word big-endian:
//
// | bytes | field                                                          |
// |-------|----------------------------------------------------------------|
// | 4     | version: 1                                                     |
// | 4     | N, the length of the file name field                           |
// | N     | the source file's name, a NUL, zeros up to a multiple of 4     |
// | 4     | C, the number of entries                                       |
// | ...   | C entries                                                      |
//
// Each entry:
//
// | bytes | field                                                          |
// |-------|----------------------------------------------------------------|
// | 1     | section: 0..4 the module's part of that section, 0xFF absolute |
// | 1     | binding, as ELF numbers it: 0 local, 1 global, 2 weak          |
// | 1     | type, as ELF numbers it: 0 none, 1 object, 2 function          |
// | 1     | 0                                                              |
// | 4     | value: the offset within the module's part; absolute: itself  |
// | 4     | size in bytes                                                  |
// | 4     | N, the length of the name field                                |
// | N     | the name, a NUL, zeros up to a multiple of 4                   |
//
// A module holds at most one `symbol` chunk; a reader takes the first.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "objfmt/payload_reader.hpp"

namespace tarnel {

constexpr uint32_t kSymbolChunkVersion = 1;
// The section byte of a symbol whose value is an absolute number.
constexpr uint8_t kAbsoluteSymbol = 0xFF;
constexpr uint32_t kSymbolEntryHead = 16;  // the four words before the name field

// Symbol bindings and types, numbered as ELF numbers them.
enum class SymbolBinding : uint8_t { local = 0, global = 1, weak = 2 };
enum class SymbolType : uint8_t { none = 0, object = 1, function = 2 };

struct SymbolEntry {
    uint32_t offset;  // of the entry within the payload
    uint8_t section, binding, type, spare;
    uint32_t value, size;
    NameField name;
};

// A `symbol` payload as far as it can be read, front to back.
struct SymbolChunk {
    std::optional<uint32_t> version;  // when the payload holds a version word
    std::optional<NameField> file;    // the source file's name: of version 1, when it fits
    std::optional<uint32_t> count;    // C, when it fits after the file name
    std::vector<SymbolEntry> entries; // the entries that fit, in order
    PayloadWalkEnd end;

    bool whole() const { return end.status == PayloadWalkEnd::Status::whole; }
};

// Reads the payload; never reads outside it.
SymbolChunk readSymbolChunk(std::span<const uint8_t> payload);

}  // namespace tarnel
