#include "objfmt/debug_chunk.hpp"

#include "objfmt/chunk.hpp"

namespace tarnel {

namespace {

using Status = PayloadWalkEnd::Status;

bool readSection(PayloadReader& in, DebugSection& s) {
    if (!readNameField(in, s.name) || !in.word(s.align) || !in.word(s.size) || !in.word(s.relocCount)) return false;
    const uint64_t padded = (uint64_t(s.size) + 3) & ~uint64_t(3);
    return in.bytes(s.size, s.bytes) && in.bytes(padded - s.size, s.padding) &&
           in.bytes(uint64_t(s.relocCount) * kDebugRelocSize, s.relocs);
}

}  // namespace

DebugReloc DebugSection::reloc(uint32_t i) const {
    const uint8_t* r = relocs.data() + size_t(i) * kDebugRelocSize;
    const uint32_t target = readWordBE(r + 4);
    return {readWordBE(r), uint8_t(target >> 24), target & (kDebugIndexLimit - 1), readWordBE(r + 8)};
}

DebugChunk readDebugChunk(std::span<const uint8_t> payload) {
    DebugChunk chunk;
    PayloadReader in(payload);
    auto cut = [&](size_t at, const char* what) { return PayloadWalkEnd{Status::cut, at, what}; };
    uint32_t version = 0;
    if (!in.word(version)) {
        chunk.end = cut(0, "the version word");
        return chunk;
    }
    chunk.version = version;
    if (version != kDebugChunkVersion) {
        chunk.end = {Status::otherVersion, in.offset(), nullptr};
        return chunk;
    }
    DebugChunkHead head{};
    if (!in.word(head.sectionCount) || !in.word(head.nameCount)) {
        chunk.end = cut(4, "the count words");
        return chunk;
    }
    chunk.head = head;
    for (uint32_t i = 0; i < head.nameCount; ++i) {
        NameField name{};
        if (!readNameField(in, name)) {
            chunk.end = cut(name.offset, "a name");
            return chunk;
        }
        chunk.names.push_back(name);
    }
    for (uint32_t i = 0; i < head.sectionCount; ++i) {
        DebugSection section{};
        const size_t at = in.offset();
        if (!readSection(in, section)) {
            chunk.end = cut(at, "a section");
            return chunk;
        }
        chunk.sections.push_back(section);
    }
    chunk.end = {Status::whole, in.offset(), nullptr};
    return chunk;
}

}  // namespace tarnel
