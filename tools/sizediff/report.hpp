// The size diff as text for a CI log, or as Markdown tables for a
// pull-request comment (docs/reports.md shows both).
#pragma once

#include <string>
#include <string_view>

#include "size_diff.hpp"

namespace tarnel::sizediff {

struct ReportOptions {
    bool markdown = false;
    size_t limit = 0;  // rows shown per list; 0: all
    std::string_view before, after;  // the records' file names
};

// Appends the report of diff, whose lists are ordered as far as the limit.
void writeReport(const SizeDiff& diff, const ReportOptions& options, std::string& out);

}  // namespace tarnel::sizediff
