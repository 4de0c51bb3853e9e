#include "output/reloc_chunks.hpp"

#include <vector>

#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"

namespace tarnel {

namespace {

// The records are counted per pair, then each offset is put in its pair's
// place, so the list is walked twice however many pairs it holds.
uint32_t writeRelocChunksOf(OutputFile& file, ChunkTag tag, const RelocList& list) {
    size_t count[kRelocPairCount] = {}, at[kRelocPairCount];
    for (const RelocEntry& r : list)
        if (int p = relocPairIndex(r.fromSection, r.toSection); p >= 0) ++count[p];
    size_t total = 0;
    for (uint32_t p = 0; p < kRelocPairCount; ++p) {
        at[p] = total;
        total += count[p];
    }
    std::vector<uint8_t, HugePageAllocator<uint8_t>> words(total * 4);
    for (const RelocEntry& r : list)
        if (int p = relocPairIndex(r.fromSection, r.toSection); p >= 0) writeWordBE(&words[4 * at[p]++], r.offset);

    uint32_t written = 0;
    size_t begin = 0;
    for (uint32_t p = 0; p < kRelocPairCount; ++p) {
        if (count[p] == 0) continue;  // no empty chunk is ever written
        const ChunkHead head = chunkHead(tag, uint32_t(8 + 4 * count[p]), {kRelocPairs[p].from, kRelocPairs[p].to});
        file.write(head.bytes, head.size);
        file.write(words.data() + 4 * begin, 4 * count[p]);
        written += uint32_t(16 + 4 * count[p]);
        begin += count[p];
    }
    return written;
}

}  // namespace

uint32_t writeRelocChunks(const LinkState& state, OutputFile& file) {
    return writeRelocChunksOf(file, ChunkTag::reloc16, state.reloc16List) +
           writeRelocChunksOf(file, ChunkTag::reloc32, state.reloc32List);
}

}  // namespace tarnel
