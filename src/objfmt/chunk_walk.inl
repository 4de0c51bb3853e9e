// The walks over a file's top-level chunks and over the entries of a `link`
// payload (included by chunk.hpp).
#pragma once

#include "objfmt/bytes.hpp"

namespace tarnel {

template <class OnChunk>
ChunkWalkEnd walkChunks(std::span<const uint8_t> bytes, size_t start, OnChunk&& onChunk) {
    const size_t size = bytes.size();
    size_t pos = start;
    for (;;) {
        if (pos >= size) {
            if (pos == size) return {ChunkWalkStatus::fileEnded, size, 0, 0};
            return {ChunkWalkStatus::headerCut, size, 0, 0};
        }
        const size_t left = size - pos;
        const uint32_t tag = left >= 4 ? readWordBE(&bytes[pos]) : 0;
        if (left < kChunkHeaderSize) {
            // an end tag may lack its length word; no other tag may
            if (left < 4 || tag != tagWord(ChunkTag::end)) return {ChunkWalkStatus::headerCut, pos, 0, 0};
            onChunk(Chunk{pos, tag, 0, false, bytes.subspan(pos + 4, 0)});
            return {ChunkWalkStatus::endTagAlone, pos + 4, tag, 0};
        }
        const uint32_t length = readWordBE(&bytes[pos + 4]);
        if (length > left - kChunkHeaderSize) return {ChunkWalkStatus::payloadCut, pos, tag, length};
        onChunk(Chunk{pos, tag, length, true, bytes.subspan(pos + kChunkHeaderSize, length)});
        pos += kChunkHeaderSize + size_t(length);
        if (tag == tagWord(ChunkTag::end)) return {ChunkWalkStatus::end, pos, tag, length};
    }
}

template <class OnEntry>
LinkWalkStatus walkLinkChunk(std::span<const uint8_t> payload, OnEntry&& onEntry) {
    const uint8_t* base = payload.data();
    const uint64_t size = payload.size();
    uint64_t pos = 0;
    for (;;) {
        if (size - pos < 4) return LinkWalkStatus::malformed;  // no terminator
        uint32_t word = readWordBE(base + pos);
        if (word == kLinkTerminator) return LinkWalkStatus::ok;
        LinkEntry e{};
        e.offset = uint32_t(pos);
        e.type = uint8_t(word >> 24);
        e.fieldLength = word & 0xFFFFFF;
        pos += 4;
        if (isXrefType(e.type) || isXdefType(e.type)) {
            // the name field is passed over as N rounded down to a multiple of 4
            uint64_t field = e.fieldLength & ~3u;
            if (size - pos < 4 + field) return LinkWalkStatus::malformed;
            e.value = readWordBE(base + pos);
            pos += 4;
            e.name = textOf(payload.subspan(pos, field));
            pos += field;
            if (isXrefType(e.type)) {
                e.kind = LinkEntry::Kind::xref;
                if ((size - pos) / 4 < e.value) return LinkWalkStatus::malformed;
                e.offsets = base + pos;
                pos += uint64_t(e.value) * 4;
            } else {
                e.kind = LinkEntry::Kind::xdef;
            }
        } else {
            // any other type byte: the entry word is the whole entry
            e.kind = LinkEntry::Kind::other;
        }
        onEntry(e);
    }
}

template <class OnEntry>
LibraryTableEnd walkLibraryTable(std::span<const uint8_t> table, OnEntry&& onEntry) {
    size_t pos = 0;
    while (pos < table.size()) {
        const size_t left = table.size() - pos;
        if (left < 4) return {false, pos};
        const uint32_t n = readWordBE(&table[pos]);
        const uint64_t padded = (uint64_t(n) + 3) & ~uint64_t(3);
        // the name field, its padding and the module number
        if (left - 4 < padded + 4) return {false, pos};
        LibraryTableEntry e{};
        e.offset = uint32_t(pos);
        e.fieldLength = n;
        e.field = table.subspan(pos + 4, size_t(padded));
        e.name = textOf(e.field.first(n));
        e.module = readWordBE(&table[pos + 4 + size_t(padded)]);
        onEntry(e);
        pos += 8 + size_t(padded);
    }
    return {true, pos};
}

}  // namespace tarnel
