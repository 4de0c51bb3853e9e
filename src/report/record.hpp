// The link record: the whole link as JSON (--record=FILE), for scripts, the
// size report and tarnel-size-diff.
#pragma once

#include <string>

#include "objfmt/state.hpp"
#include "report/summary.hpp"

namespace tarnel {

// Appends the record of the link as it stands, errors included, to out.
void writeRecord(const LinkState& state, const WrittenOutput& output, std::string& out);

}  // namespace tarnel
