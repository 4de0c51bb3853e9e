// Fuzz target: arbitrary text through tarnel-mkobj's builder. Besides the
// sanitizers' checks it asserts that a text that builds gives bytes whose
// dump builds back into the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "textform/textform.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarnel::textform;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<uint8_t> built;
    std::vector<TextError> errors;
    if (!buildFromText(text, built, errors)) {
        if (errors.empty()) {
            std::fprintf(stderr, "mkobj invariant broken: a failed build reports no error\n");
            std::abort();
        }
        return 0;
    }
    std::string dumped;
    dumpChunkFile(built, "f", DumpOptions{}, dumped);
    std::vector<uint8_t> again;
    if (!buildFromText(dumped, again, errors) || again != built) {
        std::fprintf(stderr, "mkobj invariant broken: the dump of a built file does not build back into it\n");
        std::abort();
    }
    return 0;
}
