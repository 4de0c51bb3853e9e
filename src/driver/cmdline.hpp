// The command line: options, file names and command files, acted on strictly
// in the order given.
#pragma once

#include <span>
#include <string>
#include <vector>

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

// The object files that handling these tokens in order will load, from the
// state as it is now: a file argument after -o names the output, one after
// -l a library, any other is loaded while module slots last. With
// endAtCommandFile the tokens end at -f, as the arguments of a run do.
std::vector<std::string> filesToLoad(const LinkState& state, std::span<const std::string> tokens,
                                     bool endAtCommandFile);

}  // namespace tarnel
