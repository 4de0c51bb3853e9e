#include "output/library.hpp"

#include <vector>

#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/chunk_builder.hpp"

namespace tarnel {

namespace {

uint32_t roundUp4(uint32_t n) { return (n + 3) & ~3u; }

// A kept chunk of a library member: its tag and payload.
struct MemberChunk {
    ChunkTag tag;
    std::span<const uint8_t> payload;
};

// A member's chunks in their fixed order: code, data, base, bss, bssb, the
// reloc16, reloc32 and drel16 chunks as read, then the link chunk.
std::vector<MemberChunk> memberChunks(const Module& m) {
    std::vector<MemberChunk> chunks;
    if (m.codeSize != 0) chunks.push_back({ChunkTag::code, m.codeChunk});
    if (m.dataSize != 0) chunks.push_back({ChunkTag::data, m.dataChunk});
    if (m.baseSize != 0) chunks.push_back({ChunkTag::data, m.baseChunk});
    if (m.bssSize != 0) chunks.push_back({ChunkTag::bss, m.bssChunk});
    if (m.bssbSize != 0) chunks.push_back({ChunkTag::bss, m.bssbChunk});
    for (auto& c : m.reloc16Chunks) chunks.push_back({ChunkTag::reloc16, c});
    for (auto& c : m.reloc32Chunks) chunks.push_back({ChunkTag::reloc32, c});
    for (auto& c : m.drel16Chunks) chunks.push_back({ChunkTag::drel16, c});
    if (!m.linkChunk.empty()) chunks.push_back({ChunkTag::link, m.linkChunk});
    return chunks;
}

// The symbol table's size: each entry is 8 bytes plus its name field rounded
// up to a multiple of 4.
uint32_t librarySymbolTableSize(const LinkState& state) {
    uint32_t size = 0;
    for (const LinkSymbol& s : state.librarySymbols) size += 8 + roundUp4(s.value);
    return size;
}

}  // namespace

uint32_t writeLibrary(const LinkState& state, OutputFile& file) {
    // the library chunk: its payload is the symbol table
    const ChunkHead libraryHead = chunkHead(ChunkTag::library, librarySymbolTableSize(state));
    file.write(libraryHead.bytes, libraryHead.size);
    uint32_t written = libraryHead.size;
    ByteBuilder table;
    for (const LinkSymbol& s : state.librarySymbols) {
        uint32_t field = s.value;  // N, the name field length of the xdef
        table.word(field).text(s.name).zeros(roundUp4(field) - s.name.size()).word(uint32_t(uint16_t(s.module)));
    }
    file.write(table.bytes().data(), table.size());
    written += uint32_t(table.size());

    for (uint32_t i = 0; i < state.moduleCount; ++i) {
        const Module& m = state.modules[i];
        std::vector<MemberChunk> chunks = memberChunks(m);
        if (chunks.empty()) continue;  // a module with nothing kept gets no lib chunk
        uint32_t length = 0;
        for (const MemberChunk& c : chunks) length += 8 + uint32_t(c.payload.size());
        const ChunkHead libHead = chunkHead(ChunkTag::lib, length);
        file.write(libHead.bytes, libHead.size);
        for (const MemberChunk& c : chunks) {
            const ChunkHead head = chunkHead(c.tag, uint32_t(c.payload.size()));
            file.write(head.bytes, head.size);
            file.writeKept(c.payload.data(), c.payload.size());
        }
        written += 8 + length;
    }

    file.write(kEndTag, sizeof kEndTag);
    return written + uint32_t(sizeof kEndTag);
}

}  // namespace tarnel
