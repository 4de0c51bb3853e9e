// The command line: options, file names and command files, acted on strictly
// in the order given.
#pragma once

#include <string>

#include "objfmt/state.hpp"

namespace tarnel {

// An argument or command-file token that begins with '-'.
void handleOption(LinkState& state, const std::string& arg);
// Any other argument or token: the output name after -o, a listed library
// after -l, otherwise an object file loaded at once.
void handleFileArgument(LinkState& state, const std::string& arg);
// Reads the whitespace-separated tokens of a command file and acts on each.
void processCommandFile(LinkState& state, const std::string& path);

}  // namespace tarnel
