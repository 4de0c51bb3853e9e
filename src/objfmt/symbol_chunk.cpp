#include "objfmt/symbol_chunk.hpp"

namespace tarnel {

SymbolChunk readSymbolChunk(std::span<const uint8_t> payload) {
    using Status = PayloadWalkEnd::Status;
    SymbolChunk chunk;
    PayloadReader in(payload);
    auto cut = [&](size_t at, const char* what) {
        chunk.end = {Status::cut, at, what};
        return chunk;
    };
    uint32_t version = 0;
    if (!in.word(version)) return cut(0, "the version word");
    chunk.version = version;
    if (version != kSymbolChunkVersion) {
        chunk.end = {Status::otherVersion, in.offset(), nullptr};
        return chunk;
    }
    NameField file{};
    if (!readNameField(in, file)) return cut(4, "the file name field");
    chunk.file = file;
    uint32_t count = 0;
    if (!in.word(count)) return cut(in.offset(), "the count word");
    chunk.count = count;
    for (uint32_t i = 0; i < count; ++i) {
        SymbolEntry e{};
        e.offset = uint32_t(in.offset());
        std::span<const uint8_t> fixed;
        // three words, then the name field with its length word
        if (!in.bytes(kSymbolEntryHead - 4, fixed) || !readNameField(in, e.name)) return cut(e.offset, "an entry");
        e.section = fixed[0];
        e.binding = fixed[1];
        e.type = fixed[2];
        e.spare = fixed[3];
        e.value = readWordBE(&fixed[4]);
        e.size = readWordBE(&fixed[8]);
        chunk.entries.push_back(e);
    }
    chunk.end = {Status::whole, in.offset(), nullptr};
    return chunk;
}

}  // namespace tarnel
