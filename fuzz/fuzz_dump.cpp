// Fuzz target: arbitrary bytes through tarnel-dump, with section bytes in full
// and by size. Besides the sanitizers' checks it asserts the text form's
// promise: the full dump of any bytes builds back into exactly those bytes;
// and the dump written to a stream is the dump made whole.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "textform/textform.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarnel::textform;
    std::span<const uint8_t> file(data, size);
    std::string sized;
    DumpOptions bySize;
    bySize.sectionBytesInFull = false;
    const bool sizedWholeWellFormed = dumpChunkFile(file, "f", bySize, sized);

    std::ostringstream sizedStream;
    const bool sizedWellFormed = dumpChunkFile(file, "f", bySize, sizedStream);
    std::string text;
    dumpChunkFile(file, "f", DumpOptions{}, text);
    if (sizedStream.str() != sized || sizedWellFormed != sizedWholeWellFormed) {
        std::fprintf(stderr, "dump invariant broken: the streamed dump differs from the whole one\n");
        std::abort();
    }
    std::vector<uint8_t> rebuilt;
    std::vector<TextError> errors;
    if (!buildFromText(text, rebuilt, errors) || rebuilt != std::vector<uint8_t>(file.begin(), file.end())) {
        std::fprintf(stderr, "dump invariant broken: the dump does not build back into the same bytes\n");
        std::abort();
    }
    return 0;
}
