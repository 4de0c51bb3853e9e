// The object loader: reads one file named for loading into the next module
// slot, or pulls the members a library among a link's inputs has to give.
#pragma once

#include <string>

#include "objfmt/state.hpp"

namespace tarnel {

// Loads the file at path and advances moduleCount by the slots it takes: one
// for an object file, loaded or not; one per member a library pulls; none for
// a file refused because every slot is taken. Failures are reported and the
// run goes on.
void loadObjectFile(LinkState& state, const std::string& path);

}  // namespace tarnel
