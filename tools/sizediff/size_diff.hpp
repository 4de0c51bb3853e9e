// What changed in size from one link record to another: the regions (or the
// sections, when a record has no regions), the modules and the symbols, each
// a list of rows with its counts and total.
//
// Modules are matched by file, the k-th module of a file with the k-th; those
// left over by module name, where a name is left over once in each record.
// Definitions are matched by name within matched modules, the k-th with the
// k-th; a name left over once in each record has moved. The linker's own
// definitions are matched by name alone.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link_record.hpp"

namespace tarnel::sizediff {

enum class Change : uint8_t { added, removed, changed, moved };
constexpr std::array<std::string_view, 4> kChangeNames = {"added", "removed", "changed", "moved"};

struct Row {
    Change change;
    std::optional<uint64_t> before, after;  // absent where the thing is not
    int64_t delta;                          // after - before, an absent size taken as 0
    uint32_t sequence;                      // the last tie-break: the order rows were found in
};

struct AreaRow : Row {
    std::string_view name;
    std::optional<uint64_t> sizeBefore, sizeAfter;  // a region's size, when given
};

struct ModuleRow : Row {
    std::string_view file;                        // the file the newer record names (the older, when removed)
    std::optional<std::string_view> fileBefore;   // matched by name under another file
    std::array<int64_t, kSections> partDelta{};
};

struct SymbolRow : Row {
    std::string_view name;
    Section sectionBefore, sectionAfter;
    std::string_view moduleBefore, moduleAfter;  // files; empty for the linker's own
    bool linkerMade;
};

template <class R>
struct RowList {
    std::vector<R> rows;
    std::array<size_t, 4> count{};  // rows by Change
    int64_t total = 0;              // the sum of every row's delta
};

struct SizeDiff {
    bool bySection = false;  // `areas` holds sections: a record has no regions
    RowList<AreaRow> areas;
    RowList<ModuleRow> modules;
    RowList<SymbolRow> symbols;

    bool unchanged() const { return areas.rows.empty() && modules.rows.empty() && symbols.rows.empty(); }
};

// The rows of each list come in report order as far as the first `ordered`
// (all of them for 0): growth, largest first; then shrinkage, largest first;
// then rows of the same size; ties by name, then module, then the order found.
SizeDiff diffRecords(const LinkRecord& before, const LinkRecord& after, size_t ordered);

}  // namespace tarnel::sizediff
