// Chunk files written as text, in the form tarnel-dump prints and
// tarnel-mkobj reads, for tests where a listing reads better than builder
// calls. A text with errors fails the test that uses it.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "module_builder.hpp"
#include "textform/textform.hpp"

namespace tarnel::test {

inline Bytes chunkFileFromText(std::string_view text) {
    Bytes bytes;
    std::vector<textform::TextError> errors;
    if (!textform::buildFromText(text, bytes, errors))
        for (const textform::TextError& e : errors) ADD_FAILURE() << "text line " << e.line << ": " << e.message;
    return bytes;
}

// The text form of a file, and whether the file was well formed.
struct DumpedText {
    std::string text;
    bool wellFormed;
};

inline DumpedText dumpText(const Bytes& file, bool sectionBytesInFull = true) {
    DumpedText d;
    textform::DumpOptions options;
    options.sectionBytesInFull = sectionBytesInFull;
    d.wellFormed = textform::dumpChunkFile(file, "f", options, d.text);
    return d;
}

}  // namespace tarnel::test
