// The command line: options, file names and command files, acted on strictly
// in the order given.
#pragma once

#include <string>

#include "objfmt/state.hpp"

namespace tarnel {

// The banner every run prints first.
void printBanner(LinkState& state);
// The usage text of a run without arguments; program is argv[0].
void printUsage(LinkState& state, const std::string& program);

// The arguments after args[0], in order, up to -f; then the command file -f names.
void handleArguments(LinkState& state, const std::vector<std::string>& args);

// An argument or command-file token that begins with '-'.
void handleOption(LinkState& state, const std::string& arg);
// Any other argument or token: the output name after -o, a listed library
// after -l, otherwise an object file loaded at once.
void handleFileArgument(LinkState& state, const std::string& arg);
// Reads the whitespace-separated tokens of a command file and acts on each.
void processCommandFile(LinkState& state, const std::string& path);

}  // namespace tarnel
