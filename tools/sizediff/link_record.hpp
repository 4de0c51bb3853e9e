// What tarnel-size-diff reads of a link record (version 1, docs/record.md):
// the regions, the sections, each module's parts and every definition.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnel::sizediff {

enum class Section : uint8_t { code, data, bss, base, bssb, unknown };
constexpr size_t kSections = 6;
constexpr std::array<std::string_view, kSections> kSectionNames = {"code", "data", "bss", "base", "bssb", "unknown"};

// A memory region (ROM, RAM) with what it holds, or a merged section with
// its size as `used`.
struct Area {
    std::string_view name;
    uint64_t used;
    std::optional<uint64_t> size;  // the region's size, when it was given
};

struct RecordModule {
    std::optional<std::string_view> file, name;  // null for a file that could not be loaded
    std::array<uint64_t, kSections> part{};      // the size of its part of each section
    uint64_t total() const;
};

struct Definition {
    std::string_view name;
    uint32_t module;
    Section section;
    uint32_t size;
    bool linkerMade;  // made by the linker, not by a module
};

// The names are views of the record's text, which must outlive this, or of
// `decoded` when the text spells them with escapes.
struct LinkRecord {
    std::vector<Area> regions, sections;
    std::vector<RecordModule> modules;
    std::vector<Definition> definitions;
    std::deque<std::string> decoded;
};

// Reads a record of version 1. Anything else (not JSON, another format or
// version, a member missing, unknown or of the wrong type or range) throws
// json::Error at the place it was seen. The members the diff reads are
// checked against the schema; options, totals, library_pulls and references
// are checked as JSON of the right type.
void readLinkRecord(std::string_view text, LinkRecord& record);

}  // namespace tarnel::sizediff
