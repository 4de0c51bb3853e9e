#include "driver/cmdline.hpp"

#include <cctype>
#include <cstdio>
#include <span>
#include <string_view>

#include "driver/diag.hpp"
#include "objfmt/filebytes.hpp"
#include "objfmt/loader.hpp"

namespace tarnel {

void printBanner(LinkState& state) {
    say(state, "tarnel ColdFire Linker version 2.32 (31 May 2004)\n");
    say(state, "Copyright (c) the tarnel developers\n");
}

void printUsage(LinkState& state, const std::string& program) {
    say(state, "Usage  : %s [ -options ] [ files... ] -o [ outfilename ]\n", program.c_str());
    say(state, "Options: -b           disable bss in rom mode\n");
    say(state, "         -e<label>    embedded object mode\n");
    say(state, "         -f<file>     file containing commandline information\n");
    say(state, "         -g           generate library file\n");
    say(state, "         -i           display build information\n");
    say(state, "         -l<files...> library files\n");
    say(state, "         -m           display link map\n");
    say(state, "         -r<hexaddr>  generate binary rom file (e.g. -r78000000)\n");
    say(state, "         -s<hexaddr>  generate s-record file\n");
}

namespace {

constexpr size_t kLabelLimit = 90;

// The hexadecimal digits after "-r" or "-s" accumulate onto romStart; the
// first character that is not a hex digit ends them. A digit that would shift
// a non-zero digit out of the 32-bit address is refused, with the rest.
void accumulateHex(LinkState& state, const std::string& arg) {
    for (size_t i = 2; i < arg.size() && std::isxdigit(static_cast<unsigned char>(arg[i])); ++i) {
        if (state.romStart > 0x0FFFFFFF) {
            reportError(state, "Address of option %s does not fit in 32 bits\n", arg.c_str());
            return;
        }
        char c = arg[i];
        uint32_t digit = c <= '9' ? uint32_t(c - '0') : uint32_t(std::tolower(c) - 'a' + 10);
        state.romStart = state.romStart * 16 + digit;
    }
}

// Library mode cannot change once an object file was loaded in the other mode:
// the loaded modules would reach writers that cannot write them.
bool libraryModeMayChange(LinkState& state, const std::string& arg, bool wanted) {
    if (state.libraryMode == wanted) return true;
    bool loadedInOtherMode = wanted ? state.loadedForLink : state.loadedForLibrary;
    if (loadedInOtherMode) {
        reportError(state, "Option %s must come before the object files\n", arg.c_str());
        return false;
    }
    return true;
}

// Where -o and -l send the file arguments after them: the next one names the
// output after -o; every one after -l is a listed library, until -o.
void routeFileArguments(char letter, bool& outputNamePending, bool& libraryArgs) {
    if (letter == 'o') {
        outputNamePending = true;
        libraryArgs = false;
    } else if (letter == 'l') {
        libraryArgs = true;
        outputNamePending = false;
    }
}

}  // namespace

void handleOption(LinkState& state, const std::string& arg) {
    // only the letter after '-' selects the option
    char letter = arg.size() > 1 ? arg[1] : '\0';
    switch (letter) {
    case 'b': state.bssInRom = false; break;
    case 'e':
        state.embeddedMode = true;
        state.romMode = false;
        state.srecMode = false;
        state.romStart = 0;
        state.embeddedLabel = arg.substr(2, kLabelLimit);
        break;
    case 'f': state.commandFileFlag = true; break;
    case 'g':
        if (libraryModeMayChange(state, arg, true)) state.libraryMode = true;
        state.embeddedMode = false;
        state.romMode = false;
        state.srecMode = false;
        break;
    case 'i': break;  // build information is printed on every run
    case 'l':
        routeFileArguments(letter, state.outputNamePending, state.libraryArgs);
        say(state, "libflag!\n");
        break;
    case 'm': state.mapWanted = true; break;
    case 'o': routeFileArguments(letter, state.outputNamePending, state.libraryArgs); break;
    case 'r':
        state.romMode = true;
        accumulateHex(state, arg);
        state.embeddedMode = false;
        break;
    case 's':
        state.srecMode = true;
        state.embeddedMode = false;
        state.romMode = true;
        if (libraryModeMayChange(state, arg, false)) state.libraryMode = false;
        accumulateHex(state, arg);
        break;
    default: reportError(state, "Unrecognized flag: -%s\n", arg.c_str() + (arg.empty() ? 0 : 1)); break;
    }
}

void handleFileArgument(LinkState& state, const std::string& arg) {
    if (state.outputNamePending) {
        state.outputName = arg;
    } else {
        state.inputName = arg;
        if (state.libraryArgs) {
            say(state, "lib file = %s\n", state.inputName.c_str());
        } else if (state.moduleCount >= kModuleSlots) {
            reportError(state, "Too many object files, %s ignored\n", state.inputName.c_str());
        } else {
            // a file that failed to load still takes its slot; a library takes one per pulled member
            const uint32_t slots = loadObjectFile(state, state.inputName);
            if (slots != 0 && state.modules[state.moduleCount].fileName)
                (state.libraryMode ? state.loadedForLibrary : state.loadedForLink) = true;
            state.moduleCount += slots;
        }
    }
    state.outputNamePending = false;
}

void processCommandFile(LinkState& state, const std::string& path) {
    // kept with the inputs: a command file is read like one, and a folder or
    // a file whose reads fail is reported instead of ending the run
    std::span<uint8_t> bytes;
    switch (readInputFile(path, state.inputs, bytes)) {
    case ReadStatus::ok: break;
    case ReadStatus::notFound: reportError(state, "File %s could not be opened\n", path.c_str()); return;
    case ReadStatus::unreadable: reportError(state, "File %s could not be read\n", path.c_str()); return;
    }
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isSpace(text[i])) ++i;
        size_t start = i;
        while (i < text.size() && !isSpace(text[i])) ++i;
        if (start == i) break;
        tokens.emplace_back(text.substr(start, i - start));
    }
    for (const std::string& token : tokens) {
        // a -f token only sets the flag: command files do not nest
        if (token[0] == '-')
            handleOption(state, token);
        else
            handleFileArgument(state, token);
    }
}

void handleArguments(LinkState& state, const std::vector<std::string>& args) {
    size_t next = 1;
    while (next < args.size() && !state.commandFileFlag) {
        const std::string& arg = args[next++];
        if (!arg.empty() && arg[0] == '-')
            handleOption(state, arg);
        else
            handleFileArgument(state, arg);
    }
    if (state.commandFileFlag) {
        // the argument after -f names the command file; later ones are never looked at
        if (next < args.size())
            processCommandFile(state, args[next]);
        else
            reportError(state, "No commandline file to process!\n");
    }
}

}  // namespace tarnel
