// The link record: the whole link as JSON (--record=FILE), for scripts, the
// size report and tarnel-size-diff.
#pragma once

#include "objfmt/state.hpp"
#include "objfmt/symbol_sizes.hpp"
#include "report/summary.hpp"
#include "report/text.hpp"

namespace tarnel {

// Writes the record of the link as it stands, errors included.
void writeRecord(const LinkState& state, const WrittenOutput& output, const DefinitionTable& definitions,
                 PieceWriter& w);

}  // namespace tarnel
