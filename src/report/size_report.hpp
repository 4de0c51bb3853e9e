// The size report (--size-report=FILE): one self-contained HTML page that
// shows what takes the space of a link, by section, module and symbol, and
// how full each memory is.
#pragma once

#include "objfmt/state.hpp"
#include "objfmt/symbol_sizes.hpp"
#include "report/summary.hpp"
#include "report/text.hpp"

namespace tarnel {

// Writes the page of the link as it stands, errors included.
void writeSizeReport(const LinkState& state, const WrittenOutput& output, const DefinitionTable& definitions,
                     PieceWriter& w);

}  // namespace tarnel
