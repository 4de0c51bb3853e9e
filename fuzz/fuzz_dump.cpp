// Fuzz target: arbitrary bytes through tarnel-dump, with section bytes in full
// and by size. Besides the sanitizers' checks it asserts the text form's
// promise: the full dump of any bytes builds back into exactly those bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "textform/textform.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarnel::textform;
    std::span<const uint8_t> file(data, size);
    std::string sized;
    DumpOptions bySize;
    bySize.sectionBytesInFull = false;
    dumpChunkFile(file, "f", bySize, sized);

    std::string text;
    dumpChunkFile(file, "f", DumpOptions{}, text);
    std::vector<uint8_t> rebuilt;
    std::vector<TextError> errors;
    if (!buildFromText(text, rebuilt, errors) || rebuilt != std::vector<uint8_t>(file.begin(), file.end())) {
        std::fprintf(stderr, "dump invariant broken: the dump does not build back into the same bytes\n");
        std::abort();
    }
    return 0;
}
