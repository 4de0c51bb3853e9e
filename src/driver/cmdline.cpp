#include "driver/cmdline.hpp"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string_view>

#include "driver/diag.hpp"
#include "objfmt/filebytes.hpp"
#include "objfmt/loader.hpp"
#include "objfmt/read_ahead.hpp"

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

// The hexadecimal digits after "-r" or "-s", or after "-r0x" or "-s0x",
// accumulate onto romStart; the first character that is not a hex digit ends
// them. A digit that would shift a non-zero digit out of the 32-bit address
// is refused, with the rest.
void accumulateHex(LinkState& state, const std::string& arg) {
    // 0x or 0X right after the option letter is a prefix
    const size_t first = arg.size() > 3 && arg[2] == '0' && (arg[3] == 'x' || arg[3] == 'X') ? 4 : 2;
    for (size_t i = first; i < arg.size() && std::isxdigit(static_cast<unsigned char>(arg[i])); ++i) {
        if (state.options.romStart > 0x0FFFFFFF) {
            reportError(state, "Address of option %s does not fit in 32 bits\n", arg.c_str());
            return;
        }
        char c = arg[i];
        uint32_t digit = c <= '9' ? uint32_t(c - '0') : uint32_t(std::tolower(c) - 'a' + 10);
        state.options.romStart = state.options.romStart * 16 + digit;
    }
}

// Library mode cannot change once an object file was loaded in the other mode:
// the loaded modules would reach writers that cannot write them.
bool libraryModeMayChange(LinkState& state, const std::string& arg, bool wanted) {
    if (state.options.libraryMode == wanted) return true;
    bool loadedInOtherMode = wanted ? state.loadedForLink : state.loadedForLibrary;
    if (loadedInOtherMode) {
        reportError(state, "Option %s must come before the object files\n", arg.c_str());
        return false;
    }
    return true;
}

// Where -o and -l send the file arguments after them: the next one names the
// output after -o; every one after -l is a listed library, until -o.
void routeFileArguments(char letter, ArgumentCursor& cursor) {
    if (letter == 'o') {
        cursor.outputNamePending = true;
        cursor.libraryArgs = false;
    } else if (letter == 'l') {
        cursor.libraryArgs = true;
        cursor.outputNamePending = false;
    }
}

// A hexadecimal address of 32 bits, with or without a 0x or 0X prefix.
std::optional<uint32_t> parseAddress(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        value = value * 16 + uint64_t(c <= '9' ? c - '0' : std::tolower(c) - 'a' + 10);
        if (value > UINT32_MAX) return std::nullopt;
    }
    return uint32_t(value);
}

// A size in bytes: decimal, or hexadecimal after 0x or 0X, with an optional
// K or M suffix of 1024s; from 1 byte to 4 GiB.
std::optional<uint64_t> parseSize(std::string_view text) {
    uint64_t unit = 1;
    if (!text.empty() && (text.back() == 'K' || text.back() == 'k')) unit = 1024;
    if (!text.empty() && (text.back() == 'M' || text.back() == 'm')) unit = 1024 * 1024;
    if (unit != 1) text.remove_suffix(1);
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex) text.remove_prefix(2);
    if (text.empty()) return std::nullopt;
    constexpr uint64_t kLimit = uint64_t(1) << 32;
    uint64_t value = 0;
    for (char c : text) {
        const bool digit = hex ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c));
        if (!digit) return std::nullopt;
        value = value * (hex ? 16 : 10) + uint64_t(c <= '9' ? c - '0' : std::tolower(c) - 'a' + 10);
        if (value > kLimit) return std::nullopt;
    }
    value *= unit;
    if (value == 0 || value > kLimit) return std::nullopt;
    return value;
}

// The long options, --name=value: extensions that no option letter spells.
// Each takes its value, or refuses it with its message.
struct LongOption {
    std::string_view name;
    bool (*take)(LinkOptions& options, std::string_view value);
    const char* invalid;
};

constexpr LongOption kLongOptions[] = {
    {"--ram",
     [](LinkOptions& o, std::string_view v) { return bool(o.ramStart = parseAddress(v)); },
     "Invalid address in option %s\n"},
    {"--rom-size",
     [](LinkOptions& o, std::string_view v) { return bool(o.romSize = parseSize(v)); },
     "Invalid size in option %s\n"},
    {"--ram-size",
     [](LinkOptions& o, std::string_view v) { return bool(o.ramSize = parseSize(v)); },
     "Invalid size in option %s\n"},
    {"--record",
     [](LinkOptions& o, std::string_view v) { return !v.empty() && bool(o.recordFile = std::string(v)); },
     "No file name in option %s\n"},
    {"--size-report",
     [](LinkOptions& o, std::string_view v) { return !v.empty() && bool(o.sizeReportFile = std::string(v)); },
     "No file name in option %s\n"},
};

// False when the argument names no long option.
bool handleLongOption(LinkState& state, const std::string& arg) {
    const size_t equals = arg.find('=');
    const std::string_view name = std::string_view(arg).substr(0, equals);
    for (const LongOption& option : kLongOptions) {
        if (option.name != name) continue;
        // an option without "=value" has no valid value
        const bool taken = equals != std::string::npos && option.take(state.options, std::string_view(arg).substr(equals + 1));
        if (!taken) reportError(state, option.invalid, arg.c_str());
        return true;
    }
    return false;
}

}  // namespace

void handleOption(LinkState& state, ArgumentCursor& cursor, const std::string& arg) {
    // only the letter after '-' selects the option
    char letter = arg.size() > 1 ? arg[1] : '\0';
    switch (letter) {
    case '-':
        if (!handleLongOption(state, arg)) reportError(state, "Unrecognized flag: -%s\n", arg.c_str() + 1);
        break;
    case 'b': state.options.bssInRom = false; break;
    case 'e':
        state.options.embeddedMode = true;
        state.options.romMode = false;
        state.options.srecMode = false;
        state.options.romStart = 0;
        state.options.embeddedLabel = arg.substr(2, kLabelLimit);
        break;
    case 'f': cursor.commandFileFlag = true; break;
    case 'g':
        if (libraryModeMayChange(state, arg, true)) state.options.libraryMode = true;
        state.options.embeddedMode = false;
        state.options.romMode = false;
        state.options.srecMode = false;
        break;
    case 'i': break;  // build information is printed on every run
    case 'l':
        routeFileArguments(letter, cursor);
        say(state, "libflag!\n");
        break;
    case 'm': state.options.mapWanted = true; break;
    case 'o': routeFileArguments(letter, cursor); break;
    case 'r':
        state.options.romMode = true;
        accumulateHex(state, arg);
        state.options.embeddedMode = false;
        break;
    case 's':
        state.options.srecMode = true;
        state.options.embeddedMode = false;
        state.options.romMode = true;
        if (libraryModeMayChange(state, arg, false)) state.options.libraryMode = false;
        accumulateHex(state, arg);
        break;
    default: reportError(state, "Unrecognized flag: -%s\n", arg.c_str() + (arg.empty() ? 0 : 1)); break;
    }
}

void handleFileArgument(LinkState& state, ArgumentCursor& cursor, const std::string& arg) {
    if (cursor.outputNamePending)
        state.options.outputName = arg;
    else if (cursor.libraryArgs)
        say(state, "lib file = %s\n", arg.c_str());  // listed, never opened
    else
        loadObjectFile(state, arg);
    cursor.outputNamePending = false;
}

namespace {

// The files these arguments or tokens will load, in order, as the cursor
// routes them: what is worth reading ahead of the loader.
std::vector<std::string> filesToLoad(const LinkState& state, ArgumentCursor cursor, std::span<const std::string> tokens,
                                     bool endAtCommandFile) {
    uint32_t slot = state.moduleCount;
    std::vector<std::string> files;
    for (const std::string& token : tokens) {
        if (!token.empty() && token[0] == '-') {
            const char letter = token.size() > 1 ? token[1] : '\0';
            if (letter == 'f' && endAtCommandFile) break;
            routeFileArguments(letter, cursor);
            continue;
        }
        if (!cursor.outputNamePending && !cursor.libraryArgs && slot < kModuleSlots) {
            files.push_back(token);
            slot += 1;
        }
        cursor.outputNamePending = false;
    }
    return files;
}

// Reads the files of these tokens ahead while they are handled.
class ReadingAhead {
public:
    ReadingAhead(LinkState& state, const ArgumentCursor& cursor, std::span<const std::string> tokens,
                 bool endAtCommandFile)
        : state_(state), ahead_(state.inputs, filesToLoad(state, cursor, tokens, endAtCommandFile)) {
        state.loading.readAhead = &ahead_;
    }
    ~ReadingAhead() { state_.loading.readAhead = nullptr; }
    ReadingAhead(const ReadingAhead&) = delete;
    ReadingAhead& operator=(const ReadingAhead&) = delete;

private:
    LinkState& state_;
    ReadAhead ahead_;
};

}  // namespace

void processCommandFile(LinkState& state, ArgumentCursor& cursor, const std::string& path) {
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
        // a token is text: it ends at its first NUL, whatever follows
        const std::string_view token = text.substr(start, i - start);
        tokens.emplace_back(token.substr(0, token.find('\0')));
    }
    const ReadingAhead ahead(state, cursor, tokens, false);
    for (const std::string& token : tokens) {
        // a -f token only sets the flag: command files do not nest
        if (token[0] == '-')
            handleOption(state, cursor, token);
        else
            handleFileArgument(state, cursor, token);
    }
}

void handleArguments(LinkState& state, const std::vector<std::string>& args) {
    ArgumentCursor cursor;
    size_t next = 1;
    {
        const ReadingAhead ahead(state, cursor, std::span(args).subspan(args.empty() ? 0 : 1), true);
        while (next < args.size() && !cursor.commandFileFlag) {
            const std::string& arg = args[next++];
            if (!arg.empty() && arg[0] == '-')
                handleOption(state, cursor, arg);
            else
                handleFileArgument(state, cursor, arg);
        }
    }
    if (cursor.commandFileFlag) {
        // the argument after -f names the command file; later ones are never looked at
        if (next < args.size())
            processCommandFile(state, cursor, args[next]);
        else
            reportError(state, "No commandline file to process!\n");
    }
}

}  // namespace tarnel
