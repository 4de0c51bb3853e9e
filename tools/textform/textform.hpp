// The text form of chunk files: tarnel-dump turns a file into it, and
// tarnel-mkobj turns it back into the very same bytes. The text shows every
// chunk with its offset, tag and length and its payload decoded; whatever
// cannot be decoded is carried as hex bytes, so every file, malformed ones
// included, survives the round trip byte for byte.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarnel::textform {

struct DumpOptions {
    // Section bytes in full as hex lines, or only their count (a text that
    // cannot be built back).
    bool sectionBytesInFull = true;
};

// Appends the text form of one chunk file to out, headed by a comment line
// with the file's name and kind. Returns false when anything in the file is
// malformed; each fault is marked where it is with a "# malformed:" comment.
bool dumpChunkFile(std::span<const uint8_t> file, std::string_view fileName, const DumpOptions& options,
                   std::string& out);
// The same text written to out as it is made, so that a large file's text is
// never held whole; the file is walked twice.
bool dumpChunkFile(std::span<const uint8_t> file, std::string_view fileName, const DumpOptions& options,
                   std::ostream& out);

struct TextError {
    uint32_t line;  // counted from 1
    std::string message;
};

// Builds the bytes that a text form describes. Returns false, with every
// error found and out left unspecified, when the text is not well formed.
bool buildFromText(std::string_view text, std::vector<uint8_t>& out, std::vector<TextError>& errors);

// The two programs; args[0] is the program name. They return the exit status.
// tarnel-mkobj reads the text "-" from in.
int runDumpTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runMkobjTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace tarnel::textform
