// Messages on the report stream. Every error reads "error: " and its message;
// reporting one sets the error status, which suppresses a link's output file
// and makes the exit status 1, but never stops the run by itself.
#pragma once

#include "objfmt/state.hpp"

namespace tarnel {

// Prints "error: " and then the printf-formatted message; sets errorStatus.
[[gnu::format(printf, 2, 3)]] void reportError(LinkState& state, const char* format, ...);

// Prints a printf-formatted text on the report stream.
[[gnu::format(printf, 2, 3)]] void say(LinkState& state, const char* format, ...);

}  // namespace tarnel
