#include "objfmt/symbol_chunk.hpp"

#include "objfmt/chunk.hpp"

namespace tarnel {

SymbolChunk readSymbolChunk(std::span<const uint8_t> payload) {
    using Status = PayloadWalkEnd::Status;
    SymbolChunk chunk;
    PayloadReader in(payload);
    auto cut = [&](size_t at, const char* what) { return PayloadWalkEnd{Status::cut, at, what}; };
    uint32_t version = 0;
    if (!in.word(version)) {
        chunk.end = cut(0, "the version word");
        return chunk;
    }
    chunk.version = version;
    if (version != kSymbolChunkVersion) {
        chunk.end = {Status::otherVersion, in.offset(), nullptr};
        return chunk;
    }
    SymbolChunkHead head{};
    if (!in.word(head.fileFieldLength) || !in.bytes(head.fileFieldLength, head.fileField)) {
        chunk.end = cut(4, "the file name field");
        return chunk;
    }
    head.fileName = textOf(head.fileField);
    if (!in.word(head.count)) {
        chunk.end = cut(in.offset(), "the count word");
        return chunk;
    }
    chunk.head = head;
    for (uint32_t i = 0; i < head.count; ++i) {
        SymbolEntry e{};
        e.offset = uint32_t(in.offset());
        std::span<const uint8_t> fixed;
        // the four words, then the name field they give the length of
        if (!in.bytes(kSymbolEntryHead, fixed) || !in.bytes(readWordBE(&fixed[12]), e.field)) {
            chunk.end = cut(e.offset, "an entry");
            return chunk;
        }
        e.section = fixed[0];
        e.binding = fixed[1];
        e.type = fixed[2];
        e.spare = fixed[3];
        e.value = readWordBE(&fixed[4]);
        e.size = readWordBE(&fixed[8]);
        e.fieldLength = readWordBE(&fixed[12]);
        e.name = textOf(e.field);
        chunk.entries.push_back(e);
    }
    chunk.end = {Status::whole, in.offset(), nullptr};
    return chunk;
}

}  // namespace tarnel
