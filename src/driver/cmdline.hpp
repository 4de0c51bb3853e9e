// The command line: options, file names and command files, acted on strictly
// in the order given.
#pragma once

#include <string>
#include <vector>

#include "objfmt/state.hpp"

namespace tarnel {

// The banner every run prints first.
void printBanner(LinkState& state);
// The usage text of a run without arguments; program is argv[0].
void printUsage(LinkState& state, const std::string& program);

// Where the arguments stand: what -o, -l and -f said about the ones after them.
struct ArgumentCursor {
    bool outputNamePending = false;  // the next file argument names the output (-o)
    bool libraryArgs = false;        // file arguments are listed libraries (-l), until -o
    bool commandFileFlag = false;    // -f: the next argument names the command file
};

// The arguments after args[0], in order, up to -f; then the command file -f names.
void handleArguments(LinkState& state, const std::vector<std::string>& args);

// An argument or command-file token that begins with '-'.
void handleOption(LinkState& state, ArgumentCursor& cursor, const std::string& arg);
// Any other argument or token: the output name after -o, a listed library
// after -l, otherwise an object file loaded at once.
void handleFileArgument(LinkState& state, ArgumentCursor& cursor, const std::string& arg);
// Reads the whitespace-separated tokens of a command file and acts on each.
void processCommandFile(LinkState& state, ArgumentCursor& cursor, const std::string& path);

}  // namespace tarnel
